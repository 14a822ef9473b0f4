// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's version, as the build's project() sets it (CMakeLists.txt, the only place it is
// typed). Its text carries a release letter for a third number above zero: 2.2.2 reads "2.2b".

namespace zelbor {

const char* ProgramVersion(); // "2.2b": the About window, `zelbor-cli --version`, the packages

} // namespace zelbor
