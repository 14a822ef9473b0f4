// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Exceptions of the core that reach the application's general error display.
#include <stdexcept>
#include <string>

#include "protocol/Conversion.h" // EConvertError, which StrToInt throws

namespace zelbor {

// A file could not be written or read; the message names the file and the system's reason.
class EFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Text taken as a whole number the way the window reads a number from a text field:
// optional sign and decimal digits (surrounding blanks allowed), or "0x"/"$" hexadecimal.
// Throws EConvertError for anything else or for a value outside int's range.
int StrToInt(const std::string& text);

} // namespace zelbor
