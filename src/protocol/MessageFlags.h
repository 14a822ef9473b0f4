// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The style words of a message box and the identifiers of the button that closed it, as the
// message catalogue's callers pass and get them. They are the program's own names (the system's
// message-box header defines its own as macros).
namespace zelbor {

inline constexpr int mbYesNo = 4;
inline constexpr int mbIconError = 16;
inline constexpr int mbIconWarning = 48;     // a refused field
inline constexpr int mbIconInformation = 64; // a finished transfer
inline constexpr int idOk = 1;
inline constexpr int idYes = 6;
inline constexpr int idNo = 7;

} // namespace zelbor
