// SPDX-License-Identifier: GPL-3.0-or-later
// The advice given when a serial device may not be opened: a group is offered only where
// joining it would give access, never the superuser's group.
#include "SerialTestSupport.h"
#include "common/Catalogue.h"
#include "serial/AccessAdvice.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <tuple>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zelbor::test {
namespace {

namespace fs = std::filesystem;

// A group other than root's that this process may give its own files: any group for the
// superuser, otherwise one it belongs to.
std::optional<std::pair<gid_t, std::string>> UsableGroup()
{
    if (geteuid() == 0) {
        for (const char* name : {"dialout", "uucp", "tty", "users", "nogroup"})
            if (const struct group* g = getgrnam(name); g && g->gr_gid != 0)
                return std::make_pair(g->gr_gid, std::string(g->gr_name));
    }
    gid_t groups[256];
    const int n = getgroups(256, groups);
    for (int i = 0; i < n; ++i)
        if (groups[i] != 0)
            if (const struct group* g = getgrgid(groups[i]))
                return std::make_pair(groups[i], std::string(g->gr_name));
    return std::nullopt;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class AccessAdviceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_GE(pty.master, 0); }
    std::string AdviceFor(gid_t gid, mode_t mode)
    {
        EXPECT_EQ(chown(pty.path.c_str(), static_cast<uid_t>(-1), gid), 0);
        EXPECT_EQ(chmod(pty.path.c_str(), mode), 0);
        return AccessDeniedDetail(pty.path);
    }
    Pty pty;
};

TEST_F(AccessAdviceTest, AGroupThatMayReadAndWriteIsNamedAsTheCure)
{
    const auto group = UsableGroup();
    if (!group)
        GTEST_SKIP() << "no group other than root's to give the terminal";
    const std::string text = AdviceFor(group->first, 0660);
    EXPECT_TRUE(Contains(text, pty.path)) << text;
    EXPECT_TRUE(Contains(text, "\"" + group->second + "\"")) << text;
    EXPECT_TRUE(Contains(text, "sudo usermod -aG " + group->second + " $USER")) << text;
}

TEST_F(AccessAdviceTest, NoGroupIsOfferedWhereJoiningItWouldNotHelpOrIsUnsafe)
{
    const auto group = UsableGroup();
    struct Case {
        gid_t gid;
        mode_t mode;
        const char* what;
    };
    std::vector<Case> cases = {{0, 0600, "crw------- root root"}, {0, 0660, "group root may use it"}};
    if (group) {
        cases.push_back({group->first, 0600, "only the owner may use it"});
        cases.push_back({group->first, 0640, "the group may only read"});
        cases.push_back({group->first, 0620, "the group may only write"});
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string text = AdviceFor(c.gid, c.mode);
        EXPECT_TRUE(Contains(text, pty.path)) << text;
        EXPECT_FALSE(Contains(text, "usermod")) << text;
        EXPECT_TRUE(Contains(text, "not open to this user")) << text;
        EXPECT_TRUE(Contains(text, "administrator")) << text;
    }
    EXPECT_TRUE(Contains(AdviceFor(0, 0600), "(owner \"")) << "the text names what the device allows";
    EXPECT_TRUE(Contains(AdviceFor(0, 0600), "rw-------"));
}

TEST(AccessAdvice, AMissingDeviceNamesNoGroup)
{
    const std::string text = AccessDeniedDetail("/dev/no-such-device-here");
    EXPECT_TRUE(Contains(text, "/dev/no-such-device-here")) << text;
    EXPECT_FALSE(Contains(text, "usermod")) << text;
}

// The advice is in the language the user chose, from the shipped language files.
TEST(AccessAdvice, TheAdviceIsInTheCurrentLanguage)
{
    const fs::path savedFolder = ExecutableFolder();
    const std::string savedLanguage = CurrentLanguage;
    SetExecutableFolder(ZELBOR_RESOURCES_DIR); // holds Languages/ as the shipping folder does
    const std::string device = "/dev/no-such-device-here";
    for (const auto& [code, refused, ask] : {std::tuple{"fra", "L’accès à " + device, "administrateur"},
                                             std::tuple{"deu", "Der Zugriff auf " + device, "Verwalter"}}) {
        CurrentLanguage = code;
        const std::string text = AccessDeniedDetail(device);
        EXPECT_TRUE(Contains(text, refused)) << text;
        EXPECT_TRUE(Contains(text, ask)) << text;
        EXPECT_FALSE(Contains(text, "not permitted")) << text;
    }
    SetExecutableFolder(savedFolder);
    CurrentLanguage = savedLanguage;
}

// The whole path: a terminal that only root may use, opened by a user without rights. The
// superuser is not refused, so a child process gives up its rights first.
TEST(AccessAdvice, OpenPortOnARootOnlyTerminalGivesTheAdvice)
{
    Pty pty;
    ASSERT_GE(pty.master, 0);
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(pty.path.c_str(), 0, 0), 0);
        ASSERT_EQ(chmod(pty.path.c_str(), 0600), 0);
    } else {
        ASSERT_EQ(chmod(pty.path.c_str(), 0), 0); // not even its owner may use it
    }
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(out[0]);
        if (root && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
            _exit(3);
        std::string detail = "(opened)";
        {
            NotifyQueue queue;
            TComm comm(queue);
            comm.SetCommName(pty.path);
            try {
                comm.OpenPort();
                comm.ClosePort();
            } catch (const ECommsError& e) {
                detail = std::string(e.what()) + "\n" + e.Detail();
            }
        }
        const bool written = write(out[1], detail.data(), detail.size()) == static_cast<ssize_t>(detail.size());
        _exit(written ? 0 : 4);
    }
    close(out[1]);
    std::string detail;
    char buffer[512];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;)
        detail.append(buffer, static_cast<std::size_t>(n));
    close(out[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    EXPECT_TRUE(Contains(detail, "Error opening serial port\n")) << detail;
    EXPECT_TRUE(Contains(detail, "Access to " + pty.path + " is not permitted")) << detail;
    EXPECT_FALSE(Contains(detail, "usermod")) << detail;
    EXPECT_TRUE(Contains(detail, "administrator")) << detail;
}

} // namespace
} // namespace zelbor::test
