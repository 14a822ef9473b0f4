// SPDX-License-Identifier: GPL-3.0-or-later
// write checks the whole profile before it sends anything: each fault is refused with 7, the
// message names the key (and the line, where there is one), and the controller hears nothing.
#include "CliTestSupport.h"

namespace zelbor::test {
namespace {

class CliProfileCheck : public CliTest {
protected:
    void SetUp() override
    {
        CliTest::SetUp();
        // A sound profile, as `read` writes it, from a controller of its own.
        LoggedController source({});
        ASSERT_FALSE(source.Port().empty());
        ASSERT_NO_FATAL_FAILURE(ReadInto(source, dir / "sound.el"));
        sound = ReadFile(dir / "sound.el");
    }

    // Runs write of `file` against `vc`: 7, a message with each of `mentions`, no frame sent.
    void Refused(LoggedController& vc, const fs::path& file, const std::vector<std::string>& mentions,
                 const std::vector<std::string>& extra = {})
    {
        std::vector<std::string> args = {"write", "--port", vc.Port(), file.string()};
        args.insert(args.end(), extra.begin(), extra.end());
        const std::size_t before = vc.Received().size();
        const CliRun r = RunCli(args);
        EXPECT_EQ(r.status, 7) << r.Describe();
        EXPECT_EQ(r.err.rfind("zelbor-cli: ", 0), 0u) << r.err;
        for (const auto& m : mentions)
            EXPECT_NE(r.err.find(m), std::string::npos) << "no \"" << m << "\" in: " << r.err;
        EXPECT_EQ(vc.Received().size(), before) << "sent before the profile was checked:\n" << vc.Log();
    }

    std::string sound;
};

TEST_F(CliProfileCheck, EveryFaultOfTheFileIsRefusedBeforeAnythingIsSent)
{
    LoggedController vc({});
    ASSERT_FALSE(vc.Port().empty());
    const fs::path file = dir / "bad.el";
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::string> mentions;
    };
    const std::size_t lcLine = LineOf(sound, "Basic", "LC");
    const std::size_t smmLine = LineOf(sound, "Basic", "SMM");
    const std::size_t slLine = LineOf(sound, "Throttle Handle", "SL");
    ASSERT_NE(lcLine, 0u);
    const std::string at = file.string() + ":";
    const Case cases[] = {
        {"a key missing", EditLine(sound, "Pedal Assist", "KC", std::nullopt), {"[Pedal Assist]", "KC", "missing"}},
        {"a section missing", sound.substr(0, sound.find("[Throttle Handle]")), {"[Throttle Handle]"}},
        {"not a number", SetKey(sound, "Basic", "LC", "abc"), {at + std::to_string(lcLine) + ":", "LC=abc"}},
        {"a number with a tail", SetKey(sound, "Basic", "LC", "12A"), {at + std::to_string(lcLine) + ":", "LC"}},
        {"a fraction", SetKey(sound, "Basic", "LC", "12.5"), {at + std::to_string(lcLine) + ":", "LC"}},
        {"empty", SetKey(sound, "Basic", "LC", ""), {at + std::to_string(lcLine) + ":", "LC"}},
        {"below the range", SetKey(sound, "Basic", "LC", "0"), {at + std::to_string(lcLine) + ":", "LC"}},
        {"above the range",
         SetKey(sound, "Pedal Assist", "CD", std::to_string(FindParameter("spePASCurrDecay")->maximum + 1)),
         {at + std::to_string(LineOf(sound, "Pedal Assist", "CD")) + ":", "CD"}},
        {"past the last item",
         SetKey(sound, "Throttle Handle", "SL", std::to_string(FindParameter("edThrSpeedLim")->ItemCount())),
         {at + std::to_string(slLine) + ":", "SL"}},
        {"no selection", SetKey(sound, "Basic", "SMM", "-1"), {at + std::to_string(smmLine) + ":", "SMM"}},
        {"a key twice", EditLine(sound, "Basic", "LC", Lines(sound)[lcLine - 1] + "\nLC=5"), {"LC"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(file, c.text);
        Refused(vc, file, c.mentions);
    }

    // No file, or a folder where the file should be.
    Refused(vc, dir / "missing.el", {(dir / "missing.el").string()});
    fs::create_directories(dir / "folder.el");
    Refused(vc, dir / "folder.el", {(dir / "folder.el").string()});
    // One block to write: the others are checked all the same.
    WriteFile(file, SetKey(sound, "Throttle Handle", "SV", "abc"));
    Refused(vc, file, {"SV"}, {"--block", "basic"});

    // The sound file itself is written: the cases above failed for their fault alone.
    WriteFile(file, sound);
    const CliRun ok = RunCli({"write", "--port", vc.Port(), file.string()});
    EXPECT_EQ(ok.status, 0) << ok.Describe() << vc.Log();
}

} // namespace
} // namespace zelbor::test
