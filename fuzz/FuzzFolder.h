// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A scratch folder for the targets that must go through real files (the catalogue and the
// profile reader open their files by path). It lies in the system's temporary folder (TMPDIR:
// scripts/fuzz.sh points it into memory, since a file is written for every input) and is removed
// when the process ends normally; after a crash the caller's temporary folder holds it.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>
#include <unistd.h>

namespace zelbor::fuzz {

inline const std::filesystem::path& ScratchFolder()
{
    // Never destroyed: the exit handler below still needs it after static objects are gone.
    static const std::filesystem::path* const folder = [] {
        auto* p = new std::filesystem::path(std::filesystem::temp_directory_path() /
                                            ("zelbor-fuzz-" + std::to_string(::getpid())));
        std::filesystem::create_directories(*p);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(ScratchFolder(), ignored);
        });
        return p;
    }();
    return *folder;
}

inline void WriteFile(const std::filesystem::path& path, std::string_view content)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

} // namespace zelbor::fuzz
