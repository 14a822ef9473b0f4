// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/AtomicFile.h"

#include "common/Errors.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelbor {
namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(const fs::path& path, int err)
{
    throw EFileError("Cannot write file \"" + path.string() + "\": " + std::strerror(err));
}

bool WriteAll(int fd, std::string_view content)
{
    const char* p = content.data();
    std::size_t left = content.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

// The reason the user may not replace the existing file `target`, or 0 when nothing stands in
// the way. Renaming a temporary over a file needs only the folder's permission, so the file's own
// protection is asked for first: the system's verdict for the effective user (mode bits, ACLs, a
// read-only mount), and, for the superuser who passes that check always, whether the file has
// any write permission at all. A file without one ("chmod a-w") is meant to stay as it is.
int WriteRefusal(const fs::path& target)
{
    struct stat st {};
    if (::stat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return 0; // a new file, or something the rename itself turns away
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0 &&
        (errno == EACCES || errno == EPERM || errno == EROFS))
        return errno;
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return EACCES;
    return 0;
}

} // namespace

void WriteFileAtomically(const fs::path& path, std::string_view content)
{
    const auto [target, folder] = ResolveWriteTarget(path);

    if (const int refusal = WriteRefusal(target)) {
        if (refusal == EROFS)
            Fail(path, refusal);
        throw EFileError("Cannot write file \"" + path.string() + "\": the file is write-protected");
    }

    // A short name of its own, so that a target whose name is near the length limit still has
    // room for its temporary beside it.
    std::string tmpl = (folder / ".zelbor-XXXXXX").string();
    int fd = ::mkstemp(tmpl.data());
    if (fd < 0)
        Fail(path, errno);

    auto abandon = [&](int err) {
        ::close(fd);
        ::unlink(tmpl.c_str());
        Fail(path, err);
    };

    struct stat old {};
    mode_t mode = 0644;
    if (::stat(target.c_str(), &old) == 0)
        mode = old.st_mode & 07777;
    if (::fchmod(fd, mode) != 0)
        abandon(errno);
    if (!WriteAll(fd, content))
        abandon(errno);
    if (::fsync(fd) != 0)
        abandon(errno);
    if (::close(fd) != 0) {
        int err = errno;
        ::unlink(tmpl.c_str());
        Fail(path, err);
    }
    if (::rename(tmpl.c_str(), target.c_str()) != 0) {
        int err = errno;
        ::unlink(tmpl.c_str());
        Fail(path, err);
    }
    // Make the rename itself durable. The new content is already in place, so a failure
    // here is not reported as a failed write.
    int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

bool ReadWholeFile(const fs::path& path, std::string& out)
{
    // Only regular files are read. Opening without blocking matters: a FIFO without a writer
    // would block a plain open for good, and a device such as /dev/zero never ends.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    // Read straight into the result: a 64 KB buffer on the stack is too much for code that runs
    // inside nested message boxes.
    constexpr std::size_t kChunk = 65536;
    std::string text;
    text.resize(st.st_size > 0 ? static_cast<std::size_t>(st.st_size) + 1 : kChunk);
    std::size_t used = 0;
    for (;;) {
        if (used == text.size()) // the file grew since it was measured
            text.resize(text.size() * 2);
        const ssize_t n = ::read(fd, text.data() + used, text.size() - used);
        if (n > 0) {
            used += static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0)
            break;
        if (errno == EINTR)
            continue;
        ::close(fd);
        return false;
    }
    text.resize(used);
    ::close(fd);
    out = std::move(text);
    return true;
}

} // namespace zelbor
