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

} // namespace

void WriteFileAtomically(const fs::path& path, std::string_view content)
{
    const auto [target, folder] = ResolveWriteTarget(path);

    std::string tmpl = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
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
    std::string text;
    text.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            text.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n == 0)
            break;
        if (errno == EINTR)
            continue;
        ::close(fd);
        return false;
    }
    ::close(fd);
    out = std::move(text);
    return true;
}

} // namespace zelbor
