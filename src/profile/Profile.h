// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Profile files (*.el): the 42 stored numbers of the three blocks, as the controls hold them.
// Sections, keys, their order and the defaults are those of the parameter table.
#include <filesystem>
#include <string>
#include <string_view>

#include "protocol/Parameters.h"

namespace zelbor {

// What a profile stores. Numbers are the controls' values and indexes (-1: no selection), not wire codes.
using ProfileValues = ParameterValues;

// The reader's defaults: 10 for every number, wheel index 10 ("26"), 0 for every other list.
ProfileValues DefaultProfileValues();

// Reads the 42 keys (sections "Basic", "Pedal Assist", "Throttle Handle"); a missing file, section
// or key, or a value that is not a whole number, takes the default. Values are not limited here.
ProfileValues ReadProfile(const std::filesystem::path& path);
ProfileValues ParseProfile(std::string_view text);

// Writes all 42 keys in table order into the file, in place (foreign lines kept, missing keys and
// sections added) and atomically. Throws EFileError naming the file on failure; the old file stays whole.
void WriteProfile(const std::filesystem::path& path, const ProfileValues& values);
// What WriteProfile stores over a file whose content is `existing` ("" for a new file).
std::string ProfileText(std::string_view existing, const ProfileValues& values);

} // namespace zelbor
