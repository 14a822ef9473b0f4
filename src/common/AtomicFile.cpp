#include "common/AtomicFile.h"

#include "common/Errors.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
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
    // Replacing a symbolic link would turn it into a plain file; write through to its target instead.
    fs::path target = path;
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(path, ec)))
        target = fs::weakly_canonical(path, ec);
    if (ec || target.empty())
        target = path;

    fs::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";

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
    std::error_code ec;
    if (fs::is_directory(path, ec))
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    if (in.bad())
        return false;
    out = ss.str();
    return true;
}

} // namespace zelbor
