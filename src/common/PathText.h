// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// File names in the program's own texts (messages, Qt strings, INI values) are UTF-8 on every
// platform. A std::filesystem::path built from a std::string, or turned into one with
// string(), uses the system's narrow encoding instead: UTF-8 on Linux, but the ANSI code page on
// Windows, where a name such as "Réglages.el" would come out garbled and a name outside that
// code page would throw. These two convert through UTF-8 explicitly.
#include <filesystem>
#include <string>
#include <string_view>

namespace zelbor {

std::string PathText(const std::filesystem::path& path);
std::filesystem::path PathFromText(std::string_view utf8);

} // namespace zelbor
