// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A profile checked before it is written to a controller. The readers take a default for anything
// missing or malformed, which is right for the window (it shows the values and lets the user look),
// but a program that writes a file to a motor controller unseen must refuse such a file instead.
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "common/Ini.h"

namespace zelbor {

struct ProfileProblem {
    std::string section;
    std::string key;      // empty for a repeated section
    std::size_t line = 0; // 0 when the key is missing
    std::string value;    // as stored
    bool ofValue = false; // the value is what is wrong (not a key missing or given twice)
    std::string reason;   // e.g. "missing", "not a whole number", "outside 1..36"
};

// Every stored number of the three blocks must be present once in its section, a whole number
// and a value the window can hold: a spin field's range (the current limit from 1 A; its upper
// bound is the controller's, see CurrentLimitMaximum), one of a list's items (not -1, "no
// selection", which says nothing about what to write), low-battery volts that fit a byte.
std::vector<ProfileProblem> CheckProfile(const IniFile& ini);

// "FILE:LINE: [Section] KEY=VALUE: reason", or "FILE: [Section] KEY: missing".
std::string ProblemText(const std::filesystem::path& file, const ProfileProblem& problem);

} // namespace zelbor
