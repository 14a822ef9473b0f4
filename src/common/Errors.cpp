// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/Errors.h"

#include "common/Ini.h"

namespace zelbor {

int StrToInt(const std::string& text)
{
    if (auto v = ParseProfileInt(text))
        return *v;
    throw NotAnInteger(text);
}

} // namespace zelbor
