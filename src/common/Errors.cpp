#include "common/Errors.h"

#include "common/Ini.h"

namespace zelbor {

int StrToInt(const std::string& text)
{
    if (auto v = ParseProfileInt(text))
        return *v;
    throw EConvertError("'" + text + "' is not a valid integer value");
}

} // namespace zelbor
