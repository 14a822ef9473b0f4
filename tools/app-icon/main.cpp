// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the program's icon into the files that carry it outside the program: a Windows icon
// (.ico, one PNG-compressed image per size, for the executable's resources) and a PNG (for the
// Linux desktop entry).
//
//   zelbor-app-icon <out.ico> <out.png>
#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QGuiApplication>
#include <QImage>

#include <cstdio>
#include <vector>

#include "ui/IconArt.h"

namespace zelbor {

namespace {

constexpr int kSizes[] = {16, 24, 32, 48, 64, 128, 256};
constexpr int kPngSize = 256;

QByteArray Png(int size)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    IconPixmap(size).toImage().convertToFormat(QImage::Format_ARGB32).save(&buffer, "PNG");
    return bytes;
}

void Put16(QByteArray& out, unsigned v)
{
    out.append(char(v & 0xff));
    out.append(char((v >> 8) & 0xff));
}
void Put32(QByteArray& out, unsigned v)
{
    Put16(out, v & 0xffff);
    Put16(out, v >> 16);
}

// ICONDIR, one ICONDIRENTRY per image, then the images. A size of 256 is written as 0.
QByteArray Ico()
{
    std::vector<QByteArray> images;
    for (int size : kSizes)
        images.push_back(Png(size));
    QByteArray out;
    Put16(out, 0); // reserved
    Put16(out, 1); // icon
    Put16(out, unsigned(images.size()));
    unsigned offset = 6 + 16 * unsigned(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        const int size = kSizes[i];
        out.append(char(size >= 256 ? 0 : size));
        out.append(char(size >= 256 ? 0 : size));
        out.append(char(0)); // no palette
        out.append(char(0));
        Put16(out, 1);  // planes
        Put16(out, 32); // bits per pixel
        Put32(out, unsigned(images[i].size()));
        Put32(out, offset);
        offset += unsigned(images[i].size());
    }
    for (const auto& image : images)
        out.append(image);
    return out;
}

bool Write(const char* path, const QByteArray& bytes)
{
    QFile f(QString::fromLocal8Bit(path));
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size() && f.flush();
}

} // namespace

} // namespace zelbor

int main(int argc, char** argv)
{
    using namespace zelbor;
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <out.ico> <out.png>\n", argv[0]);
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QByteArray png = Png(kPngSize);
    if (png.isEmpty() || !Write(argv[1], Ico()) || !Write(argv[2], png)) {
        std::fprintf(stderr, "cannot write %s or %s\n", argv[1], argv[2]);
        return 1;
    }
    return 0;
}
