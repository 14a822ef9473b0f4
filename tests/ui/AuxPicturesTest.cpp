// SPDX-License-Identifier: GPL-3.0-or-later
// The program's pictures: the embedded pedal-assist diagram and the JPEG decoder, the drawn icons.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>

#include "ui/Pictures.h"

extern const unsigned char kPedalAssistJpeg[];
extern const unsigned long kPedalAssistJpegSize;

namespace zelbor {

namespace {

QImage Decode(const QByteArray& bytes)
{
    return DecodeJpeg(reinterpret_cast<const unsigned char*>(bytes.constData()),
                      static_cast<unsigned long>(bytes.size()));
}

QByteArray Embedded()
{
    return QByteArray(reinterpret_cast<const char*>(kPedalAssistJpeg), static_cast<qsizetype>(kPedalAssistJpegSize));
}

bool HasJpegWriter() { return QImageWriter::supportedImageFormats().contains("jpeg"); }

} // namespace

TEST(PedalAssistDiagram, EmbeddedJpegDecodesToItsSizeWithTheRedCurve)
{
    const QImage img = PedalAssistDiagram();
    ASSERT_FALSE(img.isNull());
    EXPECT_EQ(img.size(), QSize(385, 224));
    // Mostly white paper, and the red current curve drawn on it.
    int white = 0, red = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QColor c = img.pixelColor(x, y);
            if (c.red() > 235 && c.green() > 235 && c.blue() > 235)
                ++white;
            if (c.red() > 170 && c.green() < 80 && c.blue() < 80)
                ++red;
        }
    EXPECT_GT(white, img.width() * img.height() / 2);
    EXPECT_GT(red, 300);
}

TEST(DecodeJpeg, DamagedOrMissingDataGivesANullImage)
{
    const QByteArray good = Embedded();
    ASSERT_GT(good.size(), 1000);
    EXPECT_TRUE(DecodeJpeg(nullptr, 100).isNull());
    EXPECT_TRUE(DecodeJpeg(kPedalAssistJpeg, 0).isNull());
    EXPECT_TRUE(Decode(QByteArray(4000, 'x')).isNull());
    EXPECT_TRUE(Decode(good.left(2)).isNull());                    // SOI only
    EXPECT_TRUE(Decode(good.left(good.size() * 6 / 10)).isNull()); // scan data cut short
    EXPECT_TRUE(Decode(good.left(good.size() - 2)).isNull());      // only the end marker missing

    // Scan data overwritten with garbage.
    QByteArray scrambled = good;
    for (qsizetype i = scrambled.size() / 2; i < scrambled.size() / 2 + 400; ++i)
        scrambled[i] = static_cast<char>((i * 37) & 0xFF);
    EXPECT_TRUE(Decode(scrambled).isNull());
}

TEST(DecodeJpeg, AHeaderClaimingAHugePictureIsRefused)
{
    QByteArray bytes = Embedded();
    // Find the frame header (SOF0 or SOF1 or SOF2) and make it claim 60000 x 60000 pixels.
    qsizetype sof = -1;
    for (qsizetype i = 2; i + 9 < bytes.size(); ++i)
        if (static_cast<unsigned char>(bytes[i]) == 0xFF) {
            const unsigned char m = static_cast<unsigned char>(bytes[i + 1]);
            if (m == 0xC0 || m == 0xC1 || m == 0xC2) {
                sof = i;
                break;
            }
        }
    ASSERT_GE(sof, 0);
    bytes[sof + 5] = char(0xEA);
    bytes[sof + 6] = char(0x60); // height 60000
    bytes[sof + 7] = char(0xEA);
    bytes[sof + 8] = char(0x60); // width 60000
    EXPECT_TRUE(Decode(bytes).isNull());
}

TEST(DecodeJpeg, GreyscaleAndColourPicturesFromAnotherEncoder)
{
    if (!HasJpegWriter())
        GTEST_SKIP() << "no JPEG writer plugin";
    QImage grey(40, 24, QImage::Format_Grayscale8);
    grey.fill(200);
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    ASSERT_TRUE(grey.save(&buf, "JPEG", 95));
    const QImage g = Decode(bytes);
    ASSERT_FALSE(g.isNull());
    EXPECT_EQ(g.size(), QSize(40, 24));
    const QColor c = g.pixelColor(20, 12);
    EXPECT_NEAR(c.red(), 200, 3);
    EXPECT_NEAR(c.green(), 200, 3);
    EXPECT_NEAR(c.blue(), 200, 3);

    QImage colour(17, 9, QImage::Format_RGB32); // odd sizes: partial blocks at the edges
    colour.fill(QColor(20, 60, 220));
    bytes.clear();
    QBuffer buf2(&bytes);
    buf2.open(QIODevice::WriteOnly);
    ASSERT_TRUE(colour.save(&buf2, "JPEG", 95));
    const QImage k = Decode(bytes);
    ASSERT_EQ(k.size(), QSize(17, 9));
    const QColor d = k.pixelColor(16, 8);
    EXPECT_NEAR(d.red(), 20, 12);
    EXPECT_NEAR(d.green(), 60, 12);
    EXPECT_NEAR(d.blue(), 220, 12);
}

TEST(Pictures, DrawnIconsHaveTheirSizesAndShapes)
{
    const QIcon icon = AppIcon();
    ASSERT_FALSE(icon.isNull());
    EXPECT_TRUE(icon.availableSizes().contains(QSize(16, 16)));
    EXPECT_TRUE(icon.availableSizes().contains(QSize(32, 32)));
    EXPECT_TRUE(icon.availableSizes().contains(QSize(256, 256)));

    const QImage info = InfoSignPixmap(30).toImage();
    ASSERT_EQ(info.size(), QSize(30, 30));
    EXPECT_EQ(info.pixelColor(0, 0).alpha(), 0); // round: the corners stay clear
    const QColor dot = info.pixelColor(15, 8);   // the dot of the "i"
    EXPECT_GT(dot.red(), 230);
    EXPECT_GT(dot.green(), 230);
    const QColor disc = info.pixelColor(6, 15); // the blue disc beside the stem
    EXPECT_GT(disc.blue(), 150);
    EXPECT_LT(disc.red(), 100);

    const QImage glass = MagnifierPixmap(16).toImage();
    ASSERT_EQ(glass.size(), QSize(16, 16));
    EXPECT_GT(glass.pixelColor(13, 13).alpha(), 200); // the handle, bottom right
    EXPECT_EQ(glass.pixelColor(15, 0).alpha(), 0);
}

} // namespace zelbor
