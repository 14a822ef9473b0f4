// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace zelbor {

// Shows the modal About window (texts of section "ABOUT" of main.ini); returns when it has been closed.
void ShowAboutWindow();

} // namespace zelbor
