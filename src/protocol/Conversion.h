// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The error of a text that should have been a whole number. The wheel byte is its item's number
// (no selection: an empty text), and the window reads the low-battery volts from a text box, so
// encoding a block can end in this error before anything is sent.
#include <stdexcept>
#include <string>
#include <string_view>

namespace zelbor {

// The message names the text, e.g. "'' is not a valid integer value".
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The error for `text`, with the message every conversion of this program gives.
EConvertError NotAnInteger(std::string_view text);

} // namespace zelbor
