// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The system's own text for a Win32 error code, for the messages of the file writer and the
// serial component: without its trailing line end and full stop, so that it can go inside a
// sentence.
#include <windows.h>

#include <string>

namespace zelbor {

inline std::string SystemMessage(DWORD err)
{
    char* text = nullptr;
    const DWORD n =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, err, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string s = n > 0 && text ? std::string(text, n) : "system error " + std::to_string(err);
    if (text)
        LocalFree(text);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ' || s.back() == '.'))
        s.pop_back();
    return s;
}

} // namespace zelbor
