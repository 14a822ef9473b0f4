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

} // namespace zelbor::cli
