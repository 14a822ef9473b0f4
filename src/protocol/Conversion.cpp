// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/Conversion.h"

namespace zelbor {

EConvertError NotAnInteger(std::string_view text)
{
    return EConvertError("'" + std::string(text) + "' is not a valid integer value");
}

} // namespace zelbor
