// SPDX-License-Identifier: GPL-3.0-or-later
// The command line itself: usage errors, help, and the port list as the window shows it.
#include "CliTestSupport.h"

#include "cli/Cli.h"
#include "cli/Session.h"
#include "common/Errors.h"
#include "common/Version.h"
#include "protocol/Transfer.h"
#include "serial/Comm.h"

#include <new>

namespace zelbor::test {
namespace {

class CliUsage : public CliTest {};

TEST_F(CliUsage, UsageErrorsGiveTwoAndSendNothing)
{
    LoggedController vc({});
    ASSERT_FALSE(vc.Port().empty());
    const std::string profile = (dir / "p.el").string();
    WriteFile(profile, "[Basic]\n");
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"identify", "--port", vc.Port(), "--bogus"},
        {"--bogus", "identify", "--port", vc.Port()},
        {"identify"},
        {"identify", "--port"},
        {"read", "--port", vc.Port()},  // no --out
        {"write", "--port", vc.Port()}, // no profile
        {"write", "--port", vc.Port(), profile, "--block", "brakes"},
        {"write", "--port", vc.Port(), profile, "--block"},
        {"--timeout", "0", "identify", "--port", vc.Port()},
        {"--timeout", "600001", "identify", "--port", vc.Port()},
        {"--timeout", "12abc", "identify", "--port", vc.Port()},
        {"--timeout", "-5", "identify", "--port", vc.Port()},
        {"identify", "--port", vc.Port(), "--timeout"},
    };
    for (const auto& args : cases) {
        std::string joined;
        for (const auto& a : args)
            joined += a + " ";
        SCOPED_TRACE(joined);
        const CliRun r = RunCli(args);
        EXPECT_EQ(r.status, 2) << r.Describe();
        EXPECT_EQ(r.err.rfind("zelbor-cli: ", 0), 0u) << r.Describe();
        EXPECT_TRUE(r.out.empty()) << r.Describe();
    }
    EXPECT_TRUE(vc.Received().empty()) << vc.Log();

    // With --json the error is the one object on standard output as well.
    const CliRun r = RunCli({"--json", "identify"});
    EXPECT_EQ(r.status, 2) << r.Describe();
    const auto j = ParseJson(r);
    EXPECT_EQ(j["error"]["status"], 2) << r.out;
    EXPECT_FALSE(j["error"]["message"].get<std::string>().empty());
}

TEST_F(CliUsage, HelpGivesZeroAndListsEveryExitStatus)
{
    const CliRun r = RunCli({"--help"});
    ASSERT_EQ(r.status, 0) << r.Describe();
    EXPECT_TRUE(r.err.empty()) << r.err;
    for (const char* command : {"ports", "identify", "read", "write", "diff"})
        EXPECT_NE(r.out.find(command), std::string::npos) << command;
    // Each status begins a line of its own.
    for (int status : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 130}) {
        const std::regex line("(^|\n)[ \t]*" + std::to_string(status) + "[ \t]");
        EXPECT_TRUE(std::regex_search(r.out, line)) << "status " << status << " is not listed:\n" << r.out;
    }

    // The help of one command, three ways: it knows its own options.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"write", "--help"}, {"help", "write"}, {"write", "-h"}}) {
        const CliRun w = RunCli(args);
        EXPECT_EQ(w.status, 0) << w.Describe();
        EXPECT_NE(w.out.find("--block"), std::string::npos) << w.Describe();
    }
    const CliRun unknown = RunCli({"help", "frobnicate"});
    EXPECT_EQ(unknown.status, 2) << unknown.Describe();

    // The version as the build's project names it, alone or as JSON; it takes no command.
    const CliRun version = RunCli({"--version"});
    EXPECT_EQ(version.status, 0) << version.Describe();
    EXPECT_EQ(version.out, std::string("zelbor-cli ") + ProgramVersion() + "\n");
    const CliRun json = RunCli({"--version", "--json"});
    EXPECT_EQ(ParseJson(json)["version"], ProgramVersion()) << json.Describe();
    const CliRun withCommand = RunCli({"--version", "ports"});
    EXPECT_EQ(withCommand.status, 2) << withCommand.Describe();
}

TEST_F(CliUsage, HelpWithJsonIsOneJsonObject)
{
    for (const std::vector<std::string>& args : {std::vector<std::string>{"help", "--json"},
                                                 {"--json", "--help"},
                                                 {"--json", "help", "write"},
                                                 {"diff", "--help", "--json"}}) {
        std::string joined;
        for (const auto& a : args)
            joined += a + " ";
        SCOPED_TRACE(joined);
        const CliRun r = RunCli(args);
        EXPECT_EQ(r.status, 0) << r.Describe();
        const auto j = ParseJson(r);
        ASSERT_TRUE(j.contains("help")) << r.out;
        EXPECT_NE(j["help"].get<std::string>().find("Usage: zelbor-cli"), std::string::npos) << r.out;
    }
}

TEST_F(CliUsage, IdentifyHelpStatesHowOftenTheRequestIsRepeated)
{
    // The timer's interval and the waits before and after each request: not the timer alone.
    const auto period = TTransferSequence::kConnectRetryInterval + 2 * TTransferSequence::kIdentifyWait;
    const CliRun r = RunCli({"identify", "--help"});
    EXPECT_EQ(r.status, 0) << r.Describe();
    std::string text = r.out; // the words may be wrapped onto the next line
    std::replace(text.begin(), text.end(), '\n', ' ');
    EXPECT_NE(text.find(std::to_string(period.count()) + " ms"), std::string::npos) << r.out;
    EXPECT_EQ(text.find("every " + std::to_string(TTransferSequence::kConnectRetryInterval.count()) + " ms"),
              std::string::npos)
        << r.out;
}

TEST_F(CliUsage, PortsListsAVirtualPortByItsLinkNameAndPathAndAnswersToThatName)
{
    // The virtual-port folder is $XDG_RUNTIME_DIR/zelbor-ports: the child gets a private one,
    // and the controller announces itself there under a name of the test's choosing.
    const fs::path runtime = dir / "runtime";
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all, fs::perm_options::replace);
    const fs::path folder = runtime / "zelbor-ports";
    LoggedController vc({"--folder", folder.string(), "--name", "bench-controller"});
    ASSERT_EQ(vc.Port(), (folder / "bench-controller").string()) << vc.Log();
    CliOptions env;
    env.env["XDG_RUNTIME_DIR"] = runtime.string();

    const CliRun r = RunCli({"ports"}, env);
    ASSERT_EQ(r.status, 0) << r.Describe();
    const std::string expected = "bench-controller\t" + vc.Port();
    const auto lines = Lines(r.out);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), expected), 1) << r.out;
    // No other entry is a virtual port: the folder holds this one only.
    for (const auto& line : lines) {
        if (line != expected) {
            EXPECT_EQ(line.find(folder.string()), std::string::npos) << line;
        }
    }

    const CliRun j = RunCli({"ports", "--json"}, env);
    ASSERT_EQ(j.status, 0) << j.Describe();
    const auto json = ParseJson(j);
    int found = 0;
    for (const auto& p : json["ports"])
        if (p["name"] == "bench-controller") {
            ++found;
            EXPECT_EQ(p["path"], vc.Port());
        }
    EXPECT_EQ(found, 1) << j.out;

    // The name the list shows is enough for --port.
    const CliRun id = RunCli({"--json", "identify", "--port", "bench-controller"}, env);
    EXPECT_EQ(id.status, 0) << id.Describe() << vc.Log();
    EXPECT_EQ(ParseJson(id)["identification"]["manufacturer"], "ZLBR");
    EXPECT_FALSE(vc.Heads("11 51").empty()) << vc.Log(); // it was this controller that answered
}

TEST(CliExitStatus, EachKindOfFailureEndsWithTheNumberScriptsBranchOn)
{
    using cli::Failure;
    using cli::Status;
    const std::pair<std::exception_ptr, int> cases[] = {
        {std::make_exception_ptr(Failure(Status::Differences, "")), 1},
        {std::make_exception_ptr(Failure(Status::Usage, "")), 2},
        {std::make_exception_ptr(Failure(Status::PortOpen, "")), 3},
        {std::make_exception_ptr(Failure(Status::NoAnswer, "")), 4},
        {std::make_exception_ptr(Failure(Status::Refused, "")), 5},
        {std::make_exception_ptr(Failure(Status::Mismatch, "")), 6},
        {std::make_exception_ptr(Failure(Status::File, "")), 7},
        {std::make_exception_ptr(EFileError("profile.el: cannot be written")), 7},
        {std::make_exception_ptr(Failure(Status::Lost, "")), 8},
        {std::make_exception_ptr(Failure(Status::Unexpected, "")), 9},
        // What no step expects is a fault of the program, whatever was thrown.
        {std::make_exception_ptr(ECommsError("Error opening serial port")), 9},
        {std::make_exception_ptr(EConvertError("'x' is not a valid integer value")), 9},
        {std::make_exception_ptr(std::bad_alloc()), 9},
        {std::make_exception_ptr(42), 9},
        {std::make_exception_ptr(Failure(Status::Interrupted, "")), 130},
    };
    for (const auto& [error, status] : cases)
        EXPECT_EQ(cli::ExitStatus(error), status) << "expected " << status;
    EXPECT_EQ(cli::ExitStatus(nullptr), 0);
}

} // namespace
} // namespace zelbor::test
