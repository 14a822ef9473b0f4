// SPDX-License-Identifier: GPL-3.0-or-later
// Atomic replacement of a file on Windows: the content goes to a new file in the same folder,
// is flushed to disk and then takes the old file's place. ReplaceFileW keeps the old file's
// security settings and attributes (what the mode bits are on POSIX); a file that did not exist
// yet is moved into place.
#include "common/AtomicFile.h"

#include "common/Errors.h"
#include "common/PathText.h"
#include "common/win32/SystemMessage.h"

#include <atomic>
#include <string>

#include <windows.h>

namespace zelbor {
namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(const fs::path& path, DWORD err)
{
    throw EFileError("Cannot write file \"" + PathText(path) + "\": " + SystemMessage(err));
}

bool WriteAll(HANDLE h, std::string_view content)
{
    const char* p = content.data();
    std::size_t left = content.size();
    while (left > 0) {
        const DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
        DWORD written = 0;
        if (!WriteFile(h, p, chunk, &written, nullptr) || written == 0)
            return false;
        p += written;
        left -= written;
    }
    return true;
}

} // namespace

void WriteFileAtomically(const fs::path& path, std::string_view content)
{
    const auto [target, folder] = ResolveWriteTarget(path);

    // Replacing a file needs only the folder's permission: the read-only attribute, which is how
    // a file is write-protected here, is honoured before anything is written.
    const DWORD attributes = GetFileAttributesW(target.c_str());
    const bool existingFile = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    if (existingFile && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
        throw EFileError("Cannot write file \"" + PathText(path) + "\": the file is write-protected");

    // A fresh name in the target's folder (CREATE_NEW never opens an existing file), short, so
    // that a target whose name is near the length limit still has room for it beside it.
    static std::atomic<unsigned> counter{0};
    fs::path temp;
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
        temp = folder / (".zelbor-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++) + ".tmp");
        h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    if (h == INVALID_HANDLE_VALUE)
        Fail(path, GetLastError());

    auto abandon = [&](DWORD err) {
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
        DeleteFileW(temp.c_str());
        Fail(path, err);
    };
    if (!WriteAll(h, content))
        abandon(GetLastError());
    if (!FlushFileBuffers(h))
        abandon(GetLastError());
    if (!CloseHandle(h)) {
        h = INVALID_HANDLE_VALUE;
        abandon(GetLastError());
    }
    h = INVALID_HANDLE_VALUE;

    BOOL replaced = FALSE;
    if (existingFile)
        replaced =
            ReplaceFileW(target.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr);
    else
        replaced = MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
    if (!replaced)
        abandon(GetLastError());
    // ReplaceFileW carries the attributes over on Windows, Wine's does not: set them again.
    if (existingFile && GetFileAttributesW(target.c_str()) != attributes)
        SetFileAttributesW(target.c_str(), attributes);
}

bool ReadWholeFile(const fs::path& path, std::string& out)
{
    // Only files on disk are read: a folder does not open this way, and a device (NUL, CON, a
    // serial port) or a pipe is turned away by its type before anything is read from it.
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    if (GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        return false;
    }
    // Read straight into the result: a 64 KB buffer on the stack is too much for code that runs
    // inside nested message boxes.
    constexpr std::size_t kChunk = 65536;
    std::string text;
    LARGE_INTEGER size{};
    text.resize(GetFileSizeEx(h, &size) && size.QuadPart > 0 ? static_cast<std::size_t>(size.QuadPart) + 1 : kChunk);
    std::size_t used = 0;
    for (;;) {
        if (used == text.size()) // the file grew since it was measured
            text.resize(text.size() * 2);
        const std::size_t room = text.size() - used;
        DWORD n = 0;
        if (!ReadFile(h, text.data() + used, room > (1u << 30) ? (1u << 30) : static_cast<DWORD>(room), &n, nullptr)) {
            CloseHandle(h);
            return false;
        }
        if (n == 0)
            break;
        used += n;
    }
    text.resize(used);
    CloseHandle(h);
    out = std::move(text);
    return true;
}

} // namespace zelbor
