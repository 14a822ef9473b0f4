// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <filesystem>
#include <string_view>

namespace zelbor {

// Replaces `path` with `content` atomically: written to a temporary file in the same folder,
// flushed to disk, then renamed over the old file (whose permissions are kept). On any failure
// the old file stays whole, the temporary file is removed and EFileError is thrown; its message
// names the file and the system's reason. An existing file that is write-protected (POSIX: the
// effective user may not write it, or it has no write permission for anyone; Windows: the
// read-only attribute) is refused before anything is written.
void WriteFileAtomically(const std::filesystem::path& path, std::string_view content);

// The file that writing `path` replaces and the folder its temporary file goes to. Replacing a
// symbolic link would turn it into a plain file, so a link is written through to its target.
struct WriteTarget {
    std::filesystem::path file;
    std::filesystem::path folder;
};
WriteTarget ResolveWriteTarget(const std::filesystem::path& path);

// Reads a whole regular file; false when it is missing, unreadable or no regular file (a folder,
// a FIFO, a device). Never blocks on opening.
bool ReadWholeFile(const std::filesystem::path& path, std::string& out);

} // namespace zelbor
