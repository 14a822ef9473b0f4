// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The language of the command line's texts, chosen as the window chooses it, and the window's
// captions it shows.
#include <cstdint>
#include <optional>
#include <string>

#include "common/Ini.h"

namespace zelbor::cli {

// The language the window would start in, or the one asked for; Failure(Usage) for a language
// there is no folder of.
void ChooseLanguage(const std::optional<std::string>& asked);

// The window's captions in the chosen language.
class Texts {
public:
    Texts();
    std::string Get(const char* section, const char* key, const char* def) const
    {
        return ini_.ReadString(section, key, def);
    }
    // A block as its page is named.
    std::string Block(std::uint8_t code) const;

private:
    IniFile ini_;
};

} // namespace zelbor::cli
