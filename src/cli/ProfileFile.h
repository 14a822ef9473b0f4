// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Profile files as the commands read and write them.
#include "profile/Profile.h"
#include "profile/ProfileCheck.h"

#include <filesystem>
#include <string>
#include <vector>

namespace zelbor::cli {

// The text of the profile `name`, or Failure(File) saying why it cannot be read.
std::string ReadProfileText(const std::string& name);

// Failure(File): `heading`, then each problem on a line of its own.
[[noreturn]] void RefuseProfile(const std::string& heading, const std::filesystem::path& path,
                                const std::vector<ProfileProblem>& problems);

// A profile whole and fit to be written, or Failure(File) naming every problem.
ProfileValues CheckedProfile(const std::string& name);

// Writes the profile as the whole file: no line of a file it replaces stays, so that what was
// there before (other keys, a key given twice) cannot make the new file one that write and diff
// refuse. Written whole or not at all; throws EFileError naming the file.
void SaveWholeProfile(const std::filesystem::path& path, const ProfileValues& values);

} // namespace zelbor::cli
