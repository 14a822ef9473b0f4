// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Pictures.h"

#include "ui/IconArt.h"
#include "ui/Theme.h"

#include <QGuiApplication>
#include <QPalette>

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <jpeglib.h>
#include <numbers>

// The pedal-assist diagram, drawn and encoded at build time (see tools/pas-diagram).
extern const unsigned char kPedalAssistJpeg[];
extern const unsigned long kPedalAssistJpegSize;

namespace zelbor {

namespace {

// libjpeg reports fatal errors through error_exit, which by default ends the process. The
// manager below jumps back into the decoder instead. Warnings (for example data that ends before
// the image is complete, which libjpeg would pad with grey) are treated as errors as well: a
// damaged picture is not shown at all rather than shown half.
struct JpegErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void JpegErrorExit(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    std::longjmp(err->jump, 1);
}

void JpegEmitMessage(j_common_ptr cinfo, int level)
{
    if (level < 0) // a warning: corrupt or incomplete data
        JpegErrorExit(cinfo);
}

void JpegOutputMessage(j_common_ptr) {}

// Larger pictures are refused before any pixel memory is taken: a damaged header must not make
// the program ask for gigabytes.
constexpr unsigned long kMaxPixels = 64UL * 1024 * 1024;

// The decoded picture as plain memory (filled by DecodeRaw, which may be left by longjmp and so
// holds no object with a destructor).
struct RawImage {
    unsigned char* pixels; // width * height * 3 bytes, RGB, malloc'd
    unsigned width;
    unsigned height;
};

bool DecodeRaw(const unsigned char* data, unsigned long size, RawImage* out)
{
    jpeg_decompress_struct cinfo;
    JpegErrorManager err;
    std::memset(&cinfo, 0, sizeof cinfo);
    std::memset(&err, 0, sizeof err);
    out->pixels = nullptr;
    out->width = out->height = 0;
    // Only a volatile pointer survives the jump with a value that can be trusted.
    unsigned char* volatile rowBuffer = nullptr;

    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = JpegErrorExit;
    err.pub.emit_message = JpegEmitMessage;
    err.pub.output_message = JpegOutputMessage;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        std::free(rowBuffer);
        std::free(out->pixels);
        out->pixels = nullptr;
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, size);
    jpeg_read_header(&cinfo, TRUE);
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_start_decompress(&cinfo);

    const unsigned width = cinfo.output_width;
    const unsigned height = cinfo.output_height;
    const unsigned components = static_cast<unsigned>(cinfo.output_components);
    if (width == 0 || height == 0 || static_cast<unsigned long>(width) * height > kMaxPixels ||
        (components != 3 && components != 4)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    out->pixels = static_cast<unsigned char*>(std::malloc(static_cast<std::size_t>(width) * height * 3));
    rowBuffer = static_cast<unsigned char*>(std::malloc(static_cast<std::size_t>(width) * components));
    if (!out->pixels || !rowBuffer) {
        jpeg_destroy_decompress(&cinfo);
        std::free(rowBuffer);
        std::free(out->pixels);
        out->pixels = nullptr;
        return false;
    }
    while (cinfo.output_scanline < height) {
        const unsigned y = cinfo.output_scanline;
        JSAMPROW row = rowBuffer;
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1)
            JpegErrorExit(reinterpret_cast<j_common_ptr>(&cinfo));
        unsigned char* dst = out->pixels + static_cast<std::size_t>(y) * width * 3;
        if (components == 3) {
            std::memcpy(dst, rowBuffer, static_cast<std::size_t>(width) * 3);
        } else {
            // Inverted CMYK as the common encoders store it.
            for (unsigned x = 0; x < width; ++x) {
                const unsigned char* s = rowBuffer + x * 4;
                dst[x * 3 + 0] = static_cast<unsigned char>(s[0] * s[3] / 255);
                dst[x * 3 + 1] = static_cast<unsigned char>(s[1] * s[3] / 255);
                dst[x * 3 + 2] = static_cast<unsigned char>(s[2] * s[3] / 255);
            }
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::free(rowBuffer);
    out->width = width;
    out->height = height;
    return true;
}

QPainter& Prepare(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing, true);
    return p;
}

} // namespace

QImage DecodeJpeg(const unsigned char* data, unsigned long size)
{
    if (!data || size == 0)
        return QImage();
    RawImage raw{};
    if (!DecodeRaw(data, size, &raw))
        return QImage();
    QImage image(static_cast<int>(raw.width), static_cast<int>(raw.height), QImage::Format_RGB888);
    if (!image.isNull()) {
        for (unsigned y = 0; y < raw.height; ++y)
            std::memcpy(image.scanLine(static_cast<int>(y)), raw.pixels + static_cast<std::size_t>(y) * raw.width * 3,
                        static_cast<std::size_t>(raw.width) * 3);
    }
    std::free(raw.pixels);
    return image;
}

QImage PedalAssistDiagram() { return DecodeJpeg(kPedalAssistJpeg, kPedalAssistJpegSize); }

QIcon AppIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(IconPixmap(size));
    return icon;
}

QPixmap InfoSignPixmap(int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    Prepare(p);
    const double s = size;
    p.setPen(QPen(QColor(10, 60, 140), std::max(1.0, s / 20)));
    p.setBrush(QColor(30, 110, 210));
    p.drawEllipse(QRectF(s * 0.04, s * 0.04, s * 0.92, s * 0.92));
    // The "i": a dot and a stem, drawn as shapes so that it looks the same with any font.
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(s * 0.5, s * 0.27), s * 0.08, s * 0.08);
    p.drawRoundedRect(QRectF(s * 0.42, s * 0.42, s * 0.16, s * 0.38), s * 0.04, s * 0.04);
    p.end();
    return pm;
}

QPixmap MagnifierPixmap(int size) { return MagnifierPixmap(size, QGuiApplication::palette()); }

QPixmap MagnifierPixmap(int size, const QPalette& palette)
{
    // The dark handle and rim of a light window; on a dark one the same hues made lighter, so that
    // the outline keeps the contrast asked of a picture that is a control (3 : 1).
    const QColor window[] = {palette.color(QPalette::Window)};
    const QColor handle = WithContrast(QColor(90, 60, 30), window, 3.0);
    const QColor rim = WithContrast(QColor(50, 50, 60), window, 3.0);
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    Prepare(p);
    const double s = size;
    // Handle first, so that the rim covers its end.
    p.setPen(QPen(handle, s * 0.16, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(s * 0.62, s * 0.62), QPointF(s * 0.9, s * 0.9));
    p.setPen(QPen(rim, s * 0.1));
    p.setBrush(QColor(190, 225, 250));
    p.drawEllipse(QPointF(s * 0.4, s * 0.4), s * 0.28, s * 0.28);
    p.end();
    return pm;
}

} // namespace zelbor
