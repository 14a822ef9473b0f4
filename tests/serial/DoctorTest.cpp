// SPDX-License-Identifier: GPL-3.0-or-later
// What the tool finds out about a port that does not open: who holds it, which grabbing service
// runs, whether the node is gone; and that these texts come from the language file.
#include "CommFixture.h"
#include "SerialTestSupport.h"
#include "common/Catalogue.h"
#include "serial/Doctor.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace zelbor::test {
namespace {

namespace fs = std::filesystem;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Another process with the device open: the flock command takes the same lock this tool takes,
// then sleeps with the device open, as a second instance of the tool would.
class Holder {
public:
    // `inherited`: the test's own descriptors of the terminal pair, which the holder must not keep
    // (holding the master side would make it the far end of the line).
    Holder(const std::string& device, std::initializer_list<int> inherited)
    {
        const char* argv[] = {"flock", "-x", device.c_str(), "sleep", "60", nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        for (int fd : inherited)
            posix_spawn_file_actions_addclose(&actions, fd);
        if (posix_spawnp(&pid_, "flock", &actions, nullptr, const_cast<char**>(argv), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        // Wait until it has the device open.
        for (int i = 0; i < 200 && pid_ > 0; ++i) {
            if (!FindPortHolders(device).empty())
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    ~Holder()
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    pid_t Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

TEST(Doctor, AnotherProcessHoldingThePortIsNamedByProgramAndProcessId)
{
    Pty pty;
    ASSERT_GE(pty.master, 0);
    EXPECT_TRUE(FindPortHolders(pty.path).empty()); // this process itself does not count
    Holder holder(pty.path, {pty.master, pty.slave});
    ASSERT_GT(holder.Pid(), 0);
    const auto holders = FindPortHolders(pty.path);
    ASSERT_FALSE(holders.empty());
    EXPECT_EQ(holders.front().pid, holder.Pid());
    EXPECT_EQ(holders.front().name, "flock");

    // Opening it fails, and the message keeps its reason and adds who holds it.
    NotifyQueue queue;
    TComm comm(queue);
    comm.SetCommName(pty.path);
    const OpenFailure f = OpenError(comm);
    EXPECT_EQ(f.text, "Error opening serial port");
    EXPECT_TRUE(Contains(f.detail, "held by another program")) << f.detail;
    EXPECT_TRUE(Contains(f.detail, "\"flock\" (process " + std::to_string(holder.Pid()) + ")")) << f.detail;
}

TEST(Doctor, FindingsFromAPreparedProcessTree)
{
    Pty pty;
    ASSERT_GE(pty.master, 0);
    const fs::path proc = fs::path(testing::TempDir()) / ("proc-" + std::to_string(getpid()));
    fs::remove_all(proc);
    const auto process = [&](const std::string& pid, const std::string& comm) {
        fs::create_directories(proc / pid / "fd");
        std::ofstream(proc / pid / "comm") << comm << "\n";
    };
    process("812", "brltty");
    process("95", "ModemManager");
    process("96", "ModemManager");
    process("4000", "editor");
    process("self", "brltty-not-a-pid");
    fs::create_symlink(pty.path, proc / "4000" / "fd" / "7");
    fs::create_symlink("/dev/null", proc / "812" / "fd" / "0");
    EXPECT_EQ(RunningGrabbers(proc.string()), (std::vector<std::string>{"ModemManager", "brltty"}));
    const auto holders = FindPortHolders(pty.path, proc.string());
    ASSERT_EQ(holders.size(), 1u);
    EXPECT_EQ(holders[0].pid, 4000);
    EXPECT_EQ(holders[0].name, "editor"); // from comm when there is no command line

    // A pseudo-terminal has no USB adapter behind it: the services that grab USB adapters are
    // not blamed for it.
    const std::string findings = OpenFailureFindings(pty.path, proc.string());
    EXPECT_TRUE(Contains(findings, "\"editor\" (process 4000)")) << findings;
    EXPECT_FALSE(Contains(findings, "brltty")) << findings;

    EXPECT_TRUE(
        Contains(OpenFailureFindings("/dev/ttyUSB-gone-" + std::to_string(getpid()), proc.string()), "not there"));
    EXPECT_TRUE(FindPortHolders("/nonexistent/device", proc.string()).empty());
    EXPECT_TRUE(OpenFailureFindings("", proc.string()).empty());
    fs::remove_all(proc);
}

TEST(Doctor, TextsComeFromTheLanguageFileWithEnglishBuiltIn)
{
    const fs::path folder = fs::path(testing::TempDir()) / ("doctor-lang-" + std::to_string(getpid()));
    fs::create_directories(folder / "Languages" / "tst" / "soft");
    std::ofstream(folder / "Languages" / "tst" / "soft" / "errors.ini")
        << "[ERRORS]\nerr1=x|y\n[DOCTOR]\nholder=%2 (%3) tient %1 ; 100%.\nempty=\n";
    const fs::path savedFolder = ExecutableFolder();
    const std::string savedLanguage = CurrentLanguage;
    SetExecutableFolder(folder);
    CurrentLanguage = "tst";
    EXPECT_EQ(DoctorText("holder", "unused", {"/dev/ttyUSB0", "prog", "12"}), "prog (12) tient /dev/ttyUSB0 ; 100%.");
    EXPECT_EQ(DoctorText("vanished", "%1 is gone, %9 stays empty", {"COM3"}), "COM3 is gone,  stays empty");
    EXPECT_EQ(DoctorText("empty", "built in"), "built in"); // an empty entry does not blank the message
    CurrentLanguage = "none";
    EXPECT_EQ(DoctorText("holder", "English %1", {"a"}), "English a");
    SetExecutableFolder(savedFolder);
    CurrentLanguage = savedLanguage;
    fs::remove_all(folder);
}

} // namespace
} // namespace zelbor::test
