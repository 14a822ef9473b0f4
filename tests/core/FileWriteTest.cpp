// SPDX-License-Identifier: GPL-3.0-or-later
// Replacing files: a write-protected file is refused and left as it was, names near the length
// limit can be written, and reading a file costs the caller little stack.
#include "TempDir.h"

#include "common/AtomicFile.h"
#include "common/Catalogue.h"
#include "common/Errors.h"
#include "profile/Profile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#ifndef _WIN32
#include <pthread.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace zelbor;
using zelbor::test::ReadText;
using zelbor::test::TempDir;
using zelbor::test::WriteText;
namespace fs = std::filesystem;

namespace {

constexpr fs::perms kReadOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;

std::size_t Entries(const fs::path& dir)
{
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {}));
}

// The message of the EFileError that `write` throws, or "" when it throws none.
std::string Refusal(const std::function<void()>& write)
{
    try {
        write();
    } catch (const EFileError& e) {
        return e.what();
    }
    return "";
}

// A folder whose write-protected files are made writable again before it is removed (Windows
// does not delete read-only files).
struct ProtectedFolder : TempDir {
    ~ProtectedFolder()
    {
        std::error_code ec;
        for (const auto& e : fs::recursive_directory_iterator(path(), ec))
            fs::permissions(e.path(), fs::perms::owner_write, fs::perm_options::add, ec);
    }
};

} // namespace

TEST(WriteProtectedFile, IsRefusedNamedAndLeftAsItWas)
{
    ProtectedFolder dir;
    const fs::path file = dir / "touring.el";
    WriteText(file, "[Basic]\r\nLBP=30\r\n");
    fs::permissions(file, kReadOnly);

    const std::string message = Refusal([&] { WriteFileAtomically(file, "new"); });
    EXPECT_NE(message.find(file.string()), std::string::npos) << message;
    EXPECT_NE(message.find("write-protected"), std::string::npos) << message;
    EXPECT_EQ(ReadText(file), "[Basic]\r\nLBP=30\r\n");
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::owner_write, fs::perms::none);
    EXPECT_EQ(Entries(dir.path()), 1u) << "a temporary was left behind";
}

TEST(WriteProtectedFile, SaveAndTheLanguageSwitchAreRefusedToo)
{
    ProtectedFolder dir;
    const fs::path profile = dir / "touring.el";
    WriteText(profile, "[Basic]\r\nLBP=30\r\n");
    fs::permissions(profile, kReadOnly);
    EXPECT_NE(Refusal([&] { WriteProfile(profile, DefaultProfileValues()); }).find(profile.string()),
              std::string::npos);
    EXPECT_EQ(ReadText(profile), "[Basic]\r\nLBP=30\r\n");

    const fs::path languages = dir / "languages.ini";
    WriteText(languages, "[LANGUAGES]\r\nnbLang=1\r\ndefault=eng\r\nlang1=English,eng\r\n");
    fs::permissions(languages, kReadOnly);
    EXPECT_NE(Refusal([&] { StoreDefaultLanguage(languages, "fra"); }).find(languages.string()), std::string::npos);
    EXPECT_EQ(ReadText(languages), "[LANGUAGES]\r\nnbLang=1\r\ndefault=eng\r\nlang1=English,eng\r\n");
    EXPECT_EQ(Entries(dir.path()), 2u);

    // Writable files and new files are written as before.
    fs::permissions(profile, fs::perms::owner_write, fs::perm_options::add);
    EXPECT_NO_THROW(WriteProfile(profile, DefaultProfileValues()));
    EXPECT_NO_THROW(WriteProfile(dir / "new.el", DefaultProfileValues()));
    EXPECT_EQ(Entries(dir.path()), 3u);
}

#ifndef _WIN32
TEST(WriteProtectedFile, ALinkToAWriteProtectedFileIsRefused)
{
    ProtectedFolder dir;
    WriteText(dir / "real.el", "keep");
    fs::permissions(dir / "real.el", kReadOnly);
    fs::create_symlink("real.el", dir / "link.el");
    EXPECT_NE(Refusal([&] { WriteFileAtomically(dir / "link.el", "new"); }), "");
    EXPECT_EQ(ReadText(dir / "real.el"), "keep");
    EXPECT_TRUE(fs::is_symlink(dir / "link.el"));
}

// A user who may not write the file, in a folder that anyone may write to: the folder alone
// would allow the replacement. Run as a user without rights (the superuser's child gives them up).
TEST(WriteProtectedFile, AFileOfAnotherUserIsRefusedWhereTheFolderAllowsWriting)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs the superuser to create a file of another user";
    TempDir dir;
    fs::permissions(dir.path(), fs::perms::all);
    const fs::path file = dir / "shared.el";
    WriteText(file, "owner's");
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                              fs::perms::others_read); // 0644, owned by root
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(3);
        const std::string message = Refusal([&] { WriteFileAtomically(file, "other's"); });
        _exit(message.find("write-protected") != std::string::npos ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    EXPECT_EQ(ReadText(file), "owner's");
    EXPECT_EQ(Entries(dir.path()), 1u);
}
#endif

TEST(LongFileNames, NamesUpToTheLimitAreWritten)
{
    TempDir dir;
    for (std::size_t length : {240u, 248u, 255u}) {
        SCOPED_TRACE(length);
        const fs::path file = dir / (std::string(length - 3, 'n') + ".el");
        EXPECT_NO_THROW(WriteProfile(file, DefaultProfileValues()));
        EXPECT_EQ(ReadProfile(file), DefaultProfileValues());
        EXPECT_NO_THROW(WriteFileAtomically(file, "replaced"));
        EXPECT_EQ(ReadText(file), "replaced");
    }
    EXPECT_EQ(Entries(dir.path()), 3u);
}

#ifndef _WIN32
namespace {

// The deepest stack that `work` used, on a thread whose stack was filled with a pattern first.
std::size_t StackDepth(const std::function<void()>& work)
{
    constexpr std::size_t kSize = 1 << 20;
    constexpr unsigned char kPattern = 0xA5;
    void* stack = nullptr;
    if (posix_memalign(&stack, static_cast<std::size_t>(sysconf(_SC_PAGESIZE)), kSize) != 0)
        return kSize;
    std::memset(stack, kPattern, kSize);
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstack(&attr, stack, kSize);
    pthread_t thread;
    auto run = [](void* arg) -> void* {
        (*static_cast<const std::function<void()>*>(arg))();
        return nullptr;
    };
    const bool started = pthread_create(&thread, &attr, run, const_cast<std::function<void()>*>(&work)) == 0;
    if (started)
        pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
    const auto* bytes = static_cast<const unsigned char*>(stack);
    std::size_t untouched = 0;
    while (untouched < kSize && bytes[untouched] == kPattern)
        ++untouched;
    std::free(stack);
    return started ? kSize - untouched : kSize;
}

} // namespace

TEST(StackUse, ACatalogueLookupStaysWellBelowTheSizeOfABuffer)
{
    // Message boxes nest, and each one looks its texts up: a lookup must not take tens of
    // kilobytes of stack. The budget covers the thread's own start as well.
    TempDir dir;
    SetExecutableFolder(dir.path());
    CurrentLanguage = "eng";
    WriteText(dir / "Languages/eng/soft/errors.ini", "[ERRORS]\r\nerr1=Profile gone|Save\r\n");
    std::string caption;
    const std::size_t depth = StackDepth([&] { caption = GetErrorCaption("err1"); });
    CurrentLanguage.clear();
    EXPECT_EQ(caption, "Save");
    EXPECT_LT(depth, 24u * 1024u);
}
#endif
