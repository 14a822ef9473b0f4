// SPDX-License-Identifier: GPL-3.0-or-later
// doctor against a virtual controller that misbehaves in each of the ways a real line does: the
// verdict names the cause, and only an identification exits with 0.
#include "CliTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>

#include <sys/wait.h>
#include <unistd.h>

namespace zelbor::test {
namespace {

class CliDoctor : public CliTest {};

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(CliDoctor, TheVerdictNamesWhatCameBackOnTheLine)
{
    struct Case {
        std::vector<std::string> controller;
        int status;
        const char* finding; // in the verdict
        const char* traced;  // a line of --trace
    };
    const std::vector<Case> cases = {
        {{}, 0, "The controller answered: ZLBR M250", "<- 19 bytes: 51 10 5A 4C"},
        {{"--silent"}, 4, "Nothing came back", "-> 5 bytes: 11 51 04 B0 05"},
        {{"--echo"}, 4, "Only the tool's own request came back", "<- 5 bytes: 11 51 04 B0 05"},
        {{"--garbage"}, 4, "Bytes came back that are no reply", "<- 19 bytes: "},
        {{"--wrong-speed"}, 4, "Bytes came back that are no reply", "<- 19 bytes: A8"},
        {{"--short-reply"}, 4, "too short to use (9 bytes)", "<- 9 bytes: 51 10"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.controller.empty() ? "a sound controller" : k.controller.front());
        LoggedController vc(k.controller);
        ASSERT_FALSE(vc.Port().empty()) << vc.Log();
        const CliRun r = RunCli({"doctor", "--port", vc.Port(), "--timeout", "1500", "--trace"});
        EXPECT_EQ(r.status, k.status) << r.Describe();
        EXPECT_TRUE(Contains(r.out, k.finding)) << r.out;
        EXPECT_TRUE(Contains(r.err, k.traced)) << r.err;

        const CliRun j = RunCli({"--json", "doctor", "--port", vc.Port(), "--timeout", "1500"});
        const auto json = ParseJson(j);
        EXPECT_EQ(json["verdict"]["identified"], k.status == 0) << j.out;
        EXPECT_TRUE(Contains(json["verdict"]["finding"].get<std::string>(), k.finding)) << j.out;
    }
}

TEST_F(CliDoctor, APortHeldByAnotherProcessIsNamedWithTheProgram)
{
    LoggedController vc({});
    ASSERT_FALSE(vc.Port().empty()) << vc.Log();
    // The far end of the virtual port keeps it open too; it is not what stands in the way.
    const CliRun free = RunCli({"doctor", "--port", vc.Port()});
    EXPECT_EQ(free.status, 0) << free.Describe();
    EXPECT_FALSE(Contains(free.out, "is held by")) << free.out;

    const std::string script = "exec flock -x " + vc.Port() + " sleep 30";
    pid_t holder = fork();
    if (holder == 0) {
        execl("/bin/sh", "sh", "-c", script.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(holder, 0);
    CliRun r;
    for (int i = 0; i < 50; ++i) { // until the holder has the port
        r = RunCli({"doctor", "--port", vc.Port()});
        if (r.status != 0)
            break;
        usleep(100'000);
    }
    kill(holder, SIGTERM);
    waitpid(holder, nullptr, 0);
    EXPECT_EQ(r.status, 3) << r.Describe();
    EXPECT_TRUE(Contains(r.out, "is held by the program \"flock\" (process " + std::to_string(holder) + ")")) << r.out;
}

} // namespace
} // namespace zelbor::test
