// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/PathText.h"

namespace zelbor {

std::string PathText(const std::filesystem::path& path)
{
#ifdef _WIN32
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
#else
    return path.string(); // the bytes as they are, whatever the locale
#endif
}

std::filesystem::path PathFromText(std::string_view utf8)
{
#ifdef _WIN32
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
#else
    return std::filesystem::path(utf8);
#endif
}

} // namespace zelbor
