// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the program's icon into the files that carry it outside the program: a Windows icon
// (.ico, one PNG-compressed image per size, for the executable's resources), a PNG (for the
// desktop entry of the Linux archive) and, when a third folder is named, one PNG per size laid out
// as an icon theme's folder (<folder>/<n>x<n>/apps/zelbor-config-tool.png, for the Debian package).
//
//   zelbor-app-icon <out.ico> <out.png> [<hicolor folder>]
#include <QBuffer>
#include <QByteArray>
#include <QDir>
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

bool Write(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size() && f.flush();
}

bool WriteThemeIcons(const QString& folder)
{
    for (int size : kSizes) {
        const QString apps = QStringLiteral("%1/%2x%2/apps").arg(folder).arg(size);
        if (!QDir().mkpath(apps) || !Write(QString(apps + QStringLiteral("/zelbor-config-tool.png")), Png(size)))
            return false;
    }
    return true;
}

} // namespace

} // namespace zelbor

int main(int argc, char** argv)
{
    using namespace zelbor;
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: %s <out.ico> <out.png> [<hicolor folder>]\n", argv[0]);
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QByteArray png = Png(kPngSize);
    const QString ico = QString::fromLocal8Bit(argv[1]);
    const QString single = QString::fromLocal8Bit(argv[2]);
    if (png.isEmpty() || !Write(ico, Ico()) || !Write(single, png)) {
        std::fprintf(stderr, "cannot write %s or %s\n", argv[1], argv[2]);
        return 1;
    }
    if (argc == 4 && !WriteThemeIcons(QString::fromLocal8Bit(argv[3]))) {
        std::fprintf(stderr, "cannot write the icons into %s\n", argv[3]);
        return 1;
    }
    return 0;
}
