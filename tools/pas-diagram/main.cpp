// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the pedal-assist diagram shown on the Pedal Assist page (motor current against time while
// pedalling) and writes it as a JPEG. With a second argument it also writes a C++ source that embeds
// the JPEG bytes, so the program carries the picture inside itself.
//
//   zelbor-pas-diagram <out.jpg> [<out.cpp>]
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <jpeglib.h>
#include <string>
#include <vector>

namespace zelbor {

namespace {

constexpr int kWidth = 385;
constexpr int kHeight = 224;
constexpr int kQuality = 92;

// Time marks (x) and current levels (y) of the curve.
constexpr double xAxis = 30;   // current axis
constexpr double xPedal = 44;  // pedalling begins
constexpr double xMotor = 96;  // enough pedal signals counted: the motor starts
constexpr double xLimit = 160; // end of the slow-start ramp
constexpr double xKeep = 214;  // end of the current decay
constexpr double xStop = 270;  // pedalling stops
constexpr double xDelay = 316; // end of the stop delay
constexpr double xZero = 362;  // end of the stop decay
constexpr double yZero = 158;  // zero current / time axis
constexpr double yLimit = 40;
constexpr double yKeep = 94;
constexpr double yStart = 128;

const QColor kAxis(40, 40, 40);
const QColor kCurve(200, 30, 30);
const QColor kGuide(120, 120, 120);
const QColor kMeasure(20, 70, 170);
const QColor kPedal(30, 120, 50);

void FilledArrow(QPainter& p, QPointF tip, double dx, double dy, const QColor& c)
{
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    const double len = 5, half = 2.6;
    QPointF back(tip.x() - dx * len, tip.y() - dy * len);
    QPointF n(-dy * half, dx * half);
    QPolygonF head;
    head << tip << back + n << back - n;
    p.drawPolygon(head);
    p.restore();
}

// A horizontal dimension between x1 and x2 at height y, with its caption centred below (or above).
void Span(QPainter& p, double x1, double x2, double y, const QString& text, bool above, const QFont& font)
{
    p.save();
    p.setPen(QPen(kMeasure, 1));
    p.drawLine(QPointF(x1 + 1, y), QPointF(x2 - 1, y));
    FilledArrow(p, QPointF(x1, y), -1, 0, kMeasure);
    FilledArrow(p, QPointF(x2, y), 1, 0, kMeasure);
    p.setFont(font);
    QFontMetrics fm(font);
    const double w = fm.horizontalAdvance(text);
    const double cx = (x1 + x2) / 2;
    const double ty = above ? y - 3 : y + fm.ascent() + 2;
    p.drawText(QPointF(cx - w / 2, ty), text);
    p.restore();
}

void DashedV(QPainter& p, double x, double y1, double y2)
{
    p.save();
    p.setPen(QPen(kGuide, 1, Qt::DashLine));
    p.drawLine(QPointF(x, y1), QPointF(x, y2));
    p.restore();
}

void DashedH(QPainter& p, double x1, double x2, double y)
{
    p.save();
    p.setPen(QPen(kGuide, 1, Qt::DashLine));
    p.drawLine(QPointF(x1, y), QPointF(x2, y));
    p.restore();
}

QImage Draw()
{
    QImage img(kWidth, kHeight, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);

    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(10);
    QFont small = font;
    small.setPixelSize(9);
    QFont bold = font;
    bold.setBold(true);

    // Axes with arrow heads.
    p.setPen(QPen(kAxis, 1.4));
    p.drawLine(QPointF(xAxis, yZero), QPointF(xAxis, 8));
    FilledArrow(p, QPointF(xAxis, 5), 0, -1, kAxis);
    p.drawLine(QPointF(xAxis, yZero), QPointF(kWidth - 8, yZero));
    FilledArrow(p, QPointF(kWidth - 5, yZero), 1, 0, kAxis);
    p.setFont(bold);
    p.drawText(QPointF(xAxis + 6, 12), QStringLiteral("Motor current"));
    p.drawText(QPointF(kWidth - 36, yZero + 13), QStringLiteral("Time"));
    p.setFont(font);
    p.drawText(QPointF(xAxis - 10, yZero + 4), QStringLiteral("0"));

    // Level guides and captions.
    DashedH(p, xAxis, xLimit, yLimit);
    DashedH(p, xAxis, xMotor, yStart);
    DashedH(p, xAxis, xKeep, yKeep);
    p.setPen(kAxis);
    p.setFont(font);
    p.drawText(QPointF(xAxis + 4, yLimit - 4), QStringLiteral("Limit current"));
    p.drawText(QPointF(xAxis + 4, yStart - 4), QStringLiteral("Start current"));
    p.drawText(QPointF(xKeep + 4, yKeep - 5), QStringLiteral("Keep current"));

    // Time guides.
    DashedV(p, xMotor, yStart, yZero);
    DashedV(p, xLimit, yLimit, yZero);
    DashedV(p, xKeep, yKeep, yZero);
    DashedV(p, xStop, yKeep, yZero + 42);
    DashedV(p, xDelay, yKeep, yZero);
    DashedV(p, xPedal, yZero, yZero + 42);

    // The current curve.
    QPainterPath curve;
    curve.moveTo(xPedal, yZero);
    curve.lineTo(xMotor, yZero);
    curve.lineTo(xMotor, yStart);
    curve.lineTo(xLimit, yLimit);
    // The decay: an exponential-looking fall from the limit down to the keep level.
    curve.cubicTo(QPointF(xLimit + 18, yKeep - 18), QPointF(xKeep - 24, yKeep), QPointF(xKeep, yKeep));
    curve.lineTo(xDelay, yKeep);
    curve.cubicTo(QPointF(xDelay + 14, yKeep + 34), QPointF(xZero - 18, yZero), QPointF(xZero, yZero));
    p.setPen(QPen(kCurve, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(curve);

    // Phase captions along the curve.
    p.setPen(kCurve);
    p.setFont(small);
    {
        // Left of the ramp, right-aligned against it.
        const QString t = QStringLiteral("Slow start");
        const double y = (yStart + yLimit) / 2 + 4;
        const double rampX = xMotor + (yStart - y) / (yStart - yLimit) * (xLimit - xMotor);
        p.drawText(QPointF(rampX - 6 - QFontMetrics(small).horizontalAdvance(t), y), t);
    }
    p.drawText(QPointF(xLimit + 22, yLimit + 18), QStringLiteral("Current decay"));
    p.drawText(QPointF(xDelay + 8, yKeep - 5), QStringLiteral("Stop decay"));

    // Dimensions under the curve.
    Span(p, xPedal, xMotor, yZero - 12, QStringLiteral("Start degree"), true, small);
    Span(p, xStop, xDelay, yZero - 12, QStringLiteral("Stop delay"), true, small);

    // Pedal signal strip: pulses while pedalling.
    const double yPulseLow = yZero + 38, yPulseHigh = yZero + 26;
    p.setPen(QPen(kPedal, 1.2));
    QPainterPath pulses;
    pulses.moveTo(xAxis, yPulseLow);
    double x = xPedal;
    pulses.lineTo(x, yPulseLow);
    while (x + 8 <= xStop) {
        pulses.lineTo(x, yPulseHigh);
        pulses.lineTo(x + 4, yPulseHigh);
        pulses.lineTo(x + 4, yPulseLow);
        pulses.lineTo(x + 8, yPulseLow);
        x += 8;
    }
    pulses.lineTo(kWidth - 10, yPulseLow);
    p.drawPath(pulses);
    p.setFont(small);
    p.setPen(kPedal);
    p.drawText(QPointF(xAxis - 26, yPulseHigh - 4), QStringLiteral("Pedal signals"));
    p.setPen(kAxis);
    p.drawText(QPointF(xPedal + 3, yPulseLow + 14), QStringLiteral("Pedalling starts"));
    p.drawText(QPointF(xStop + 3, yPulseLow + 14), QStringLiteral("Pedalling stops"));
    p.setPen(kMeasure);
    p.drawText(QPointF(xMotor + 4, yZero + 12), QStringLiteral("Motor starts"));

    p.end();
    return img;
}

std::vector<unsigned char> EncodeJpeg(const QImage& source)
{
    QImage img = source.convertToFormat(QImage::Format_RGB888);
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr); // an encoder failure here ends the build step, which is right
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(img.width());
    cinfo.image_height = static_cast<JDIMENSION>(img.height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, kQuality, TRUE);
    // Full-resolution colour keeps the thin red curve and the coloured captions crisp.
    cinfo.comp_info[0].h_samp_factor = 1;
    cinfo.comp_info[0].v_samp_factor = 1;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(img.constScanLine(static_cast<int>(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<unsigned char> out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

bool WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    f.close();
    return static_cast<bool>(f);
}

std::string EmbeddingSource(const std::vector<unsigned char>& jpeg)
{
    std::string s;
    s += "// Generated by zelbor-pas-diagram: the pedal-assist diagram as JPEG bytes.\n";
    s += "extern const unsigned char kPedalAssistJpeg[];\n";
    s += "extern const unsigned long kPedalAssistJpegSize;\n";
    s += "const unsigned char kPedalAssistJpeg[] = {";
    char num[8];
    for (std::size_t i = 0; i < jpeg.size(); ++i) {
        if (i % 16 == 0)
            s += "\n   ";
        std::snprintf(num, sizeof num, " %u,", static_cast<unsigned>(jpeg[i]));
        s += num;
    }
    s += "\n};\n";
    s += "const unsigned long kPedalAssistJpegSize = " + std::to_string(jpeg.size()) + "UL;\n";
    return s;
}

} // namespace

} // namespace zelbor

int main(int argc, char** argv)
{
    using namespace zelbor;
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s <out.jpg> [<out.cpp>]\n", argv[0]);
        return 2;
    }
    QGuiApplication app(argc, argv);
    const std::vector<unsigned char> jpeg = EncodeJpeg(Draw());
    if (!WriteFile(argv[1], std::string(jpeg.begin(), jpeg.end()))) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    if (argc == 3 && !WriteFile(argv[2], EmbeddingSource(jpeg))) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
