// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's icon at one size. Also drawn at build time into the icon files of the Windows
// executable and the Linux desktop entry (tools/app-icon), so that all of them look the same.
#include <QPixmap>

namespace zelbor {

QPixmap IconPixmap(int size);

} // namespace zelbor
