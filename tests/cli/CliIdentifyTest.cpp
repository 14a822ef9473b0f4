// SPDX-License-Identifier: GPL-3.0-or-later
// identify: the controller's answer in the window's captions and as JSON; a port that cannot be
// opened and a controller that never answers.
#include "CliTestSupport.h"

#include "serial/AccessAdvice.h"
#include "serial/Comm.h"
#include "serial/CommPortSettings.h"
#include "serial/NotifyQueue.h"

#include <grp.h>
#include <pty.h>
#include <pwd.h>
#include <termios.h>

namespace zelbor::test {
namespace {

class CliIdentify : public CliTest {};

const std::vector<std::string> kControllerOptions = {"--manufacturer", "ACME", "--model",       "Q100",
                                                     "--hardware",     "13",   "--firmware",    "2016",
                                                     "--voltage-code", "1",    "--max-current", "17"};

// The six captions of the window's Controller Info, in its order, from the language's main.ini.
std::vector<std::string> InfoCaptions(const std::string& language)
{
    std::vector<std::string> captions;
    for (const char* key : {"manufacturer", "model", "chardware", "firmware", "nomVolt", "maxCurrent"})
        captions.push_back(ShippedText(language, "main", "CONTROLERINFO", key));
    return captions;
}

TEST_F(CliIdentify, ShowsTheControllersAnswerUnderTheWindowsCaptions)
{
    LoggedController vc(kControllerOptions);
    ASSERT_FALSE(vc.Port().empty());
    const std::vector<std::string> values = {"ACME", "Q100", "V1.3", "V2.0.1.6", "36V", "17A"};

    // The default language is that of languages.ini, as in the window.
    const std::string fallback =
        IniFile::Load(CliShipDir() / "Languages" / "languages.ini").ReadString("LANGUAGES", "default", "");
    ASSERT_FALSE(fallback.empty());
    for (const std::string& language : {std::string(), std::string("deu"), std::string("eng")}) {
        SCOPED_TRACE("language " + language);
        const auto captions = InfoCaptions(language.empty() ? fallback : language);
        std::vector<std::string> expected;
        for (std::size_t i = 0; i < captions.size(); ++i) {
            ASSERT_FALSE(captions[i].empty());
            expected.push_back(captions[i] + " " + values[i]);
        }
        std::vector<std::string> args = {"identify", "--port", vc.Port()};
        if (!language.empty())
            args.insert(args.begin(), {"--language", language});
        const CliRun r = RunCli(args);
        ASSERT_EQ(r.status, 0) << r.Describe() << vc.Log();
        EXPECT_EQ(Lines(r.out), expected) << r.out;
    }
    // The German captions are not the English ones: the language did reach the output.
    EXPECT_NE(InfoCaptions("deu")[0], InfoCaptions("eng")[0]);
}

TEST_F(CliIdentify, JsonCarriesTheIdentificationWhereverTheOptionStands)
{
    LoggedController vc(kControllerOptions);
    ASSERT_FALSE(vc.Port().empty());
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--json", "identify", "--port", vc.Port()},
                                                 {"identify", "--port", vc.Port(), "--json"},
                                                 {"identify", "--json", "--language", "deu", "--port", vc.Port()}}) {
        const CliRun r = RunCli(args);
        ASSERT_EQ(r.status, 0) << r.Describe();
        const auto j = ParseJson(r);
        const auto& id = j["identification"];
        EXPECT_EQ(id["manufacturer"], "ACME") << r.out;
        EXPECT_EQ(id["model"], "Q100");
        EXPECT_EQ(id["hardwareVersion"], "V1.3");
        EXPECT_EQ(id["firmwareVersion"], "V2.0.1.6");
        EXPECT_EQ(id["nominalVoltage"], "36V");
        EXPECT_EQ(id["maximumCurrent"], "17A");
        EXPECT_FALSE(j.contains("error")) << r.out;
    }
}

// Bytes as the single-byte characters of the same numbers, in UTF-8.
std::string Latin1(const std::string& bytes)
{
    std::string out;
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// A name's text ends before its first zero byte.
std::string UpToZero(const std::string& text) { return text.substr(0, text.find('\0')); }

TEST_F(CliIdentify, EveryByteOfTheControllersNamesParsesBackFromJsonAsItsCharacter)
{
    // The bytes 1 to 255, then 0, fourteen to a controller: its manufacturer, model, hardware and
    // firmware version. The zero byte ends the name that holds it.
    std::string all;
    for (int b = 1; b <= 256; ++b)
        all += static_cast<char>(b & 0xFF);
    all.resize((all.size() + 13) / 14 * 14, 'x');
    for (std::size_t first = 0; first < all.size(); first += 14) {
        const std::string b = all.substr(first, 14);
        std::string hex;
        for (const char c : b) {
            char h[4];
            std::snprintf(h, sizeof h, "%02X ", static_cast<unsigned char>(c));
            hex += h;
        }
        SCOPED_TRACE(hex);
        LoggedController vc({"--identity", hex});
        ASSERT_FALSE(vc.Port().empty());
        const CliRun r = RunCli({"--json", "identify", "--port", vc.Port()});
        ASSERT_EQ(r.status, 0) << r.Describe() << vc.Log();
        const auto id = ParseJson(r)["identification"];
        EXPECT_EQ(id["manufacturer"], Latin1(UpToZero(b.substr(0, 4)))) << r.out;
        EXPECT_EQ(id["model"], Latin1(UpToZero(b.substr(4, 4)))) << r.out;
        const std::string hw = {'V', b[8], '.', b[9]};
        const std::string fw = {'V', b[10], '.', b[11], '.', b[12], '.', b[13]};
        EXPECT_EQ(id["hardwareVersion"], Latin1(UpToZero(hw))) << r.out;
        EXPECT_EQ(id["firmwareVersion"], Latin1(UpToZero(fw))) << r.out;
    }
}

TEST_F(CliIdentify, APortThatDoesNotExistGivesThreeWithTheWindowsReason)
{
    const std::string missing = (dir / "ttyNOWHERE0").string();
    // What the window's serial component says about the same port.
    NotifyQueue queue;
    TComm comm{queue};
    ApplyCommPortSettings(comm);
    comm.SetCommName(missing);
    std::string text, detail;
    try {
        comm.OpenPort();
        FAIL() << "opened " << missing;
    } catch (const ECommsError& e) {
        text = e.what();
        detail = e.Detail();
    }
    ASSERT_FALSE(detail.empty());

    const CliRun r = RunCli({"identify", "--port", missing});
    EXPECT_EQ(r.status, 3) << r.Describe();
    EXPECT_EQ(r.err.rfind("zelbor-cli: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(text), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(detail), std::string::npos) << r.err;

    const CliRun j = RunCli({"--json", "read", "--port", missing, "--out", (dir / "never.el").string()});
    EXPECT_EQ(j.status, 3) << j.Describe();
    EXPECT_EQ(ParseJson(j)["error"]["status"], 3) << j.out;
    EXPECT_FALSE(fs::exists(dir / "never.el"));
}

TEST_F(CliIdentify, APortThisUserMayNotOpenGivesThreeWithTheCure)
{
    // A pseudo-terminal of root's, open to its owner only, and the command line run as another
    // user. Without root there is no other user to become, and the user's own terminals stay open
    // to the user whatever their mode.
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root, to run the command line as another user";
    const passwd* nobody = getpwnam("nobody");
    if (!nobody)
        GTEST_SKIP() << "no user \"nobody\" to run as";
    int master = -1, slave = -1;
    char name[256] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    ASSERT_EQ(chown(name, 0, 0), 0);
    ASSERT_EQ(chmod(name, 0600), 0);
    const std::string expected = AccessDeniedDetail(name);

    // As nobody: the results go to files that nobody may write.
    fs::permissions(dir, fs::perms::all, fs::perm_options::replace);
    const fs::path out = dir / "out", err = dir / "err";
    const pid_t pid = fork();
    if (pid == 0) {
        const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (o < 0 || e < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0 || setgroups(0, nullptr) != 0 ||
            setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0)
            _exit(99);
        execl(ZELBOR_CLI, ZELBOR_CLI, "identify", "--port", name, "--timeout", "500", static_cast<char*>(nullptr));
        _exit(98);
    }
    ASSERT_GT(pid, 0);
    int st = 0;
    waitpid(pid, &st, 0);
    close(master);
    close(slave);
    ASSERT_TRUE(WIFEXITED(st));
    const std::string errText = ReadFile(err);
    EXPECT_EQ(WEXITSTATUS(st), 3) << ReadFile(out) << errText;
    EXPECT_NE(errText.find(expected), std::string::npos) << errText << "\nexpected: " << expected;
}

TEST_F(CliIdentify, AControllerThatNeverAnswersGivesFour)
{
    LoggedController vc({"--silent"});
    ASSERT_FALSE(vc.Port().empty());
    const CliRun r = RunCli({"--json", "--timeout", "1200", "identify", "--port", vc.Port()});
    EXPECT_EQ(r.status, 4) << r.Describe();
    EXPECT_EQ(r.err.rfind("zelbor-cli: ", 0), 0u) << r.err;
    const auto j = ParseJson(r);
    EXPECT_EQ(j["error"]["status"], 4) << r.out;
    EXPECT_FALSE(j.contains("identification")) << r.out;
    // It kept asking, as the window does, rather than asking once.
    EXPECT_GE(vc.Heads("11 51").size(), 2u) << vc.Log();

    const CliRun read = RunCli({"--timeout", "600", "read", "--port", vc.Port(), "--out", (dir / "f.el").string()});
    EXPECT_EQ(read.status, 4) << read.Describe();
    EXPECT_FALSE(fs::exists(dir / "f.el"));
}

} // namespace
} // namespace zelbor::test
