// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The byte strings of the line protocol between the Windows tests and their Linux peer: two
// lower-case hex digits a byte, both ends the same.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace zelbor::test {

inline std::string Hex(const std::vector<std::uint8_t>& bytes)
{
    static const char* digits = "0123456789abcdef";
    std::string s;
    for (auto b : bytes) {
        s += digits[b >> 4];
        s += digits[b & 15];
    }
    return s;
}

// False (with `out` holding what came before) when the text is not whole hex pairs.
inline bool ParseHex(const std::string& text, std::vector<std::uint8_t>& out)
{
    if (text.size() % 2 != 0)
        return false;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        char* end = nullptr;
        const std::string pair = text.substr(i, 2);
        const long v = std::strtol(pair.c_str(), &end, 16);
        if (*end != '\0')
            return false;
        out.push_back(static_cast<std::uint8_t>(v));
    }
    return true;
}

} // namespace zelbor::test
