// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command line as a user runs it: zelbor-cli as a process of its own, its standard output,
// standard error and exit status, against the virtual controller on a pseudo-terminal whose log
// (its standard error) tells what reached the controller, frame by frame.
#include "VirtualControllerProcess.h"
#include "common/Ini.h"
#include "protocol/Parameters.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace zelbor::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The folder zelbor-cli ships in: its Languages/ beside it.
inline fs::path CliShipDir() { return fs::path(ZELBOR_CLI).parent_path(); }

inline std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteFile(const fs::path& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

inline std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// A caption of the window as the shipped language files have it, e.g. ("main", "CONTROLERINFO",
// "manufacturer"): read here from the file, so that the test follows the file, not the code.
inline std::string ShippedText(const std::string& language, const std::string& file, const std::string& section,
                               const std::string& key)
{
    const auto ini = IniFile::Load(CliShipDir() / "Languages" / language / "soft" / (file + ".ini"));
    return ini.ReadString(section, key, "");
}

// The message part of a catalogue entry ("text|caption").
inline std::string CatalogueText(const std::string& language, const std::string& key)
{
    const auto ini = IniFile::Load(CliShipDir() / "Languages" / language / "soft" / "errors.ini");
    const std::string raw = ini.ReadRaw("ERRORS", key, "");
    return raw.substr(0, raw.find('|'));
}

// The caption of a block's page, as the shipped language file names it (e.g. "Pedal Assist").
inline std::string BlockCaption(const std::string& language, std::uint8_t block)
{
    const char* key = block == bcBasic ? "tabBasicName" : block == bcPedalAssist ? "tabPAName" : "tabThrottleName";
    return ShippedText(language, "main", "TABS", key);
}

// The per-user data folder of every run that does not name its own: one per test process.
inline fs::path CliUserDataDir()
{
    static const fs::path dir = [] {
        const fs::path d = fs::path(testing::TempDir()) / ("cli-userdata-" + std::to_string(getpid()));
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

struct CliRun {
    bool exited = false;      // ended by itself with an exit status
    int status = -1;          // its exit status
    int signal = 0;           // the signal that ended it, if one did
    bool interrupted = false; // the run's SIGINT was sent
    bool guardHit = false;    // still running when the guard ran out: killed
    std::string out;
    std::string err;
    std::string Describe() const
    {
        std::ostringstream s;
        s << "status " << status << (exited ? "" : " (did not exit)") << (signal ? " signal " : "")
          << (signal ? std::to_string(signal) : "") << (guardHit ? " (killed by the test's guard)" : "")
          << "\n--- stdout ---\n"
          << out << "--- stderr ---\n"
          << err;
        return s.str();
    }
};

struct CliOptions {
    std::map<std::string, std::string> env; // set for the child, replacing the test's own
    std::function<bool()> interruptWhen;    // polled while it runs: true sends SIGINT once
    int interruptSignal = SIGINT;
    std::chrono::milliseconds guard = 60s; // a hung program fails the test instead of hanging it
};

// Runs zelbor-cli with `args`, standard input from /dev/null, standard output and error to files.
inline CliRun RunCli(const std::vector<std::string>& args, const CliOptions& options = {})
{
    static int serial = 0;
    const fs::path dir =
        fs::path(testing::TempDir()) / ("cli-run-" + std::to_string(getpid()) + "-" + std::to_string(++serial));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string outPath = (dir / "stdout").string(), errPath = (dir / "stderr").string();

    std::vector<std::string> argStrings = {ZELBOR_CLI};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argStrings)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (!options.env.count(name) && name != "XDG_DATA_HOME")
            envStrings.push_back(entry);
    }
    for (const auto& [name, value] : options.env)
        envStrings.push_back(name + "=" + value);
    // What the program keeps per user (the snapshots of write) goes to a folder of the test run,
    // never into the home folder of whoever runs the tests, unless the test names one itself.
    if (!options.env.count("XDG_DATA_HOME"))
        envStrings.push_back("XDG_DATA_HOME=" + CliUserDataDir().string());
    std::vector<char*> envp;
    for (auto& e : envStrings)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&fa, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    // The child starts with the default signal handling, whatever the test runner has.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    CliRun run;
    const int spawned = posix_spawn(&pid, argv[0], &fa, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&fa);
    posix_spawnattr_destroy(&attr);
    if (spawned != 0) {
        run.err = std::string("cannot start ") + ZELBOR_CLI + ": " + std::strerror(spawned);
        return run;
    }

    const auto deadline = std::chrono::steady_clock::now() + options.guard;
    int st = 0;
    for (;;) {
        const pid_t w = waitpid(pid, &st, WNOHANG);
        if (w == pid)
            break;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &st, 0);
            run.guardHit = true;
            break;
        }
        if (options.interruptWhen && !run.interrupted && options.interruptWhen()) {
            kill(pid, options.interruptSignal);
            run.interrupted = true;
        }
        std::this_thread::sleep_for(5ms);
    }
    run.exited = WIFEXITED(st) && !run.guardHit;
    run.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    run.signal = WIFSIGNALED(st) ? WTERMSIG(st) : 0;
    run.out = ReadFile(outPath);
    run.err = ReadFile(errPath);
    fs::remove_all(dir);
    return run;
}

// The virtual controller with its log (standard error) in a file: Controller of the serial tests
// inherits the test's standard error, so that is pointed at the file while it starts.
class LoggedController {
public:
    explicit LoggedController(std::vector<std::string> args, bool paced = false)
    {
        static int serial = 0;
        log_ = fs::path(testing::TempDir()) / ("vc-log-" + std::to_string(getpid()) + "-" + std::to_string(++serial));
        if (!paced)
            args.insert(args.begin(), "--no-pacing");
        const int fd = open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        std::fflush(stderr);
        const int saved = dup(2);
        dup2(fd, 2);
        close(fd);
        controller_ = std::make_unique<Controller>(std::move(args));
        std::fflush(stderr);
        dup2(saved, 2);
        close(saved);
    }
    ~LoggedController()
    {
        controller_.reset();
        fs::remove(log_);
    }
    const std::string& Port() const { return controller_->port; }
    Controller& Process() { return *controller_; }
    std::string Log() const { return ReadFile(log_); }

    // What the controller received ("<- ") or sent ("-> "), in order, as upper-case hexadecimal.
    std::vector<std::string> Received() const { return Frames("<- "); }
    std::vector<std::string> Sent() const { return Frames("-> "); }
    // The received frames that start with `prefix`, e.g. "16 5" for the block writes.
    std::vector<std::string> Received(const std::string& prefix) const
    {
        std::vector<std::string> out;
        for (const auto& f : Received())
            if (f.rfind(prefix, 0) == 0)
                out.push_back(f);
        return out;
    }
    // The command and block code of each received frame that starts with `prefix` ("16 52").
    std::vector<std::string> Heads(const std::string& prefix) const
    {
        std::vector<std::string> out;
        for (const auto& f : Received(prefix))
            out.push_back(f.substr(0, 5));
        return out;
    }

    // The values the controller answered in its last read reply of each block, decoded.
    ParameterValues AnsweredValues() const
    {
        ParameterValues values;
        for (const auto& frame : Sent()) {
            const Bytes bytes = ParseHex(frame);
            if (!bytes.empty() && FindBlock(bytes[0]) && bytes.size() == FindBlock(bytes[0])->dataBytes + 3)
                DecodeBlock(bytes[0], bytes, values);
        }
        return values;
    }

    static Bytes ParseHex(const std::string& text)
    {
        Bytes out;
        std::istringstream in(text);
        for (std::string b; in >> b;)
            out.push_back(static_cast<std::uint8_t>(std::stoul(b, nullptr, 16)));
        return out;
    }

private:
    std::vector<std::string> Frames(const std::string& arrow) const
    {
        static const std::regex hex("^[0-9A-F]{2}( [0-9A-F]{2})*");
        std::vector<std::string> out;
        for (const auto& line : Lines(Log())) {
            const auto at = line.find("] " + arrow);
            if (at == std::string::npos)
                continue;
            const std::string rest = line.substr(at + 2 + arrow.size());
            std::smatch m;
            if (std::regex_search(rest, m, hex))
                out.push_back(m.str());
        }
        return out;
    }

    fs::path log_;
    std::unique_ptr<Controller> controller_;
};

// An item of a list whose byte plus one is no item's byte: a controller that stores one more than
// it is sent (--store-differs) then holds a byte the window shows as no selection.
inline int ItemBeforeAGap(const ParameterField& f)
{
    for (int i = 0; i < f.ItemCount(); ++i) {
        const unsigned next = (f.ItemBits(i) + 1) & f.Mask();
        if (i != f.specialIndex && f.ItemIndex(next) < 0)
            return i;
    }
    ADD_FAILURE() << f.control << " has no item before a gap";
    return 0;
}

// A temporary folder per test.
class CliTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        static int serial = 0;
        dir = fs::path(testing::TempDir()) / ("cli-test-" + std::to_string(getpid()) + "-" + std::to_string(++serial));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir, ec);
    }

    // `read` of everything into `file`, expected to succeed.
    void ReadInto(LoggedController& vc, const fs::path& file)
    {
        const CliRun r = RunCli({"read", "--port", vc.Port(), "--out", file.string()});
        ASSERT_EQ(r.status, 0) << r.Describe() << vc.Log();
        ASSERT_TRUE(fs::exists(file));
    }

    fs::path dir;
};

// ---- Profile text, edited line by line as a user would in an editor ----

// The line number (1 for the first) of `key` in `section`, 0 when it is not there.
inline std::size_t LineOf(const std::string& text, const std::string& section, const std::string& key)
{
    std::string current;
    std::size_t n = 0;
    for (const auto& raw : Lines(text)) {
        ++n;
        const std::string line = raw.substr(0, raw.find_last_not_of("\r \t") + 1);
        if (!line.empty() && line.front() == '[')
            current = line.substr(1, line.size() - 2);
        else if (current == section && line.rfind(key + "=", 0) == 0)
            return n;
    }
    return 0;
}

// The text with the line of `key` in `section` replaced by `replacement` (nullopt: removed).
inline std::string EditLine(const std::string& text, const std::string& section, const std::string& key,
                            const std::optional<std::string>& replacement)
{
    const std::size_t target = LineOf(text, section, key);
    EXPECT_NE(target, 0u) << "[" << section << "] " << key << " is not in the profile";
    std::string out;
    std::size_t n = 0;
    for (const auto& line : Lines(text)) {
        if (++n == target) {
            if (replacement)
                out += *replacement + "\n";
            continue;
        }
        out += line + "\n";
    }
    return out;
}

inline std::string SetKey(const std::string& text, const std::string& section, const std::string& key,
                          const std::string& value)
{
    return EditLine(text, section, key, key + "=" + value);
}

inline nlohmann::json ParseJson(const CliRun& r)
{
    // Exactly one object on one line.
    EXPECT_EQ(Lines(r.out).size(), 1u) << r.Describe();
    try {
        return nlohmann::json::parse(r.out);
    } catch (const std::exception& e) {
        ADD_FAILURE() << "not JSON: " << e.what() << "\n" << r.Describe();
        return nlohmann::json::object();
    }
}

} // namespace zelbor::test
