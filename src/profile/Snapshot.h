// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// As-found snapshots: what a controller reported the first time all three blocks were read after
// a connect, kept as an ordinary profile plus a section of its own that says which controller it
// came from and when. Any profile reader loads one as it stands (it ignores the extra section).
// Snapshots are the user's: they live in the per-user data folder whatever kind of copy runs,
// are written whole or not at all, and are never overwritten or deleted by the program.
#include "profile/Profile.h"
#include "protocol/Communication.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace zelbor {

// The section that marks a profile as a snapshot.
inline constexpr const char* kSnapshotSection = "Snapshot";

// The identification and the time, as stored (UTF-8 texts as the window shows them).
struct SnapshotHeader {
    std::string time; // UTC, "2026-12-09T01:42:05Z"
    std::string manufacturer;
    std::string model;
    std::string hardwareVersion;
    std::string firmwareVersion;
    std::string nominalVoltage; // "48V"
    std::string maxCurrent;     // "25A"
    std::string source;         // what took it: "window", "zelbor-cli write"
};

struct Snapshot {
    std::filesystem::path path;
    SnapshotHeader header;
    ProfileValues values;
};

// <data>/Snapshots, for a portable copy too. Throws EFileError when the system names no per-user
// data folder. Not created here.
std::filesystem::path SnapshotsFolder();

// The header of a controller's identification taken at `when`.
SnapshotHeader MakeSnapshotHeader(const ControllerInfo& info, std::chrono::system_clock::time_point when,
                                  std::string source);

// The file's whole text: the 42 keys in table order, then the snapshot section.
std::string SnapshotText(const SnapshotHeader& header, const ProfileValues& values);

// Stores a new snapshot in `folder` (created with its parents), named by date, time, model and
// firmware; a name taken already gets a number, so that no file is ever replaced. The file
// appears complete or not at all. Returns its path; throws EFileError naming the folder.
std::filesystem::path WriteSnapshot(const std::filesystem::path& folder, const SnapshotHeader& header,
                                    const ProfileValues& values);

// A snapshot file, or nullopt when it cannot be read or holds no snapshot section.
std::optional<Snapshot> ReadSnapshot(const std::filesystem::path& path);

// Every snapshot of `folder` (*.el files with a snapshot section), newest first; empty when the
// folder does not exist. Files that are not snapshots are left out.
std::vector<Snapshot> ListSnapshots(const std::filesystem::path& folder);

} // namespace zelbor
