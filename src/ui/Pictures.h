// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QIcon>
#include <QImage>
#include <QPixmap>

namespace zelbor {

// The project's own pictures.
QIcon AppIcon();                   // window icon
QPixmap InfoSignPixmap(int size);  // circular "i" information sign (imgInfo, 30 x 30)
QPixmap MagnifierPixmap(int size); // magnifying glass (imgSearchPorts, 16 x 16)
// The magnifying glass in colours that stand out on the palette's window colour.
QPixmap MagnifierPixmap(int size, const QPalette& palette);

// The pedal-assist diagram (imgPAS, 385 x 224), a JPEG shipped with the program and decoded with libjpeg.
// Returns a null image when decoding fails.
QImage PedalAssistDiagram();
// Decodes JPEG data with libjpeg; a null image for data that is not a valid JPEG (never crashes).
QImage DecodeJpeg(const unsigned char* data, unsigned long size);

} // namespace zelbor
