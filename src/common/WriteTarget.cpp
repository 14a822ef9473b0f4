// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/AtomicFile.h"

namespace zelbor {

namespace fs = std::filesystem;

WriteTarget ResolveWriteTarget(const fs::path& path)
{
    fs::path file = path;
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(path, ec)))
        file = fs::weakly_canonical(path, ec);
    if (ec || file.empty())
        file = path;
    fs::path folder = file.parent_path();
    if (folder.empty())
        folder = ".";
    return {file, folder};
}

} // namespace zelbor
