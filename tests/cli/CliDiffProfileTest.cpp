// SPDX-License-Identifier: GPL-3.0-or-later
// diff reads a profile to compare it, not to write it: it takes every file read can write, names
// what it cannot read, and says so when nothing differs.
#include "CliTestSupport.h"

#include "profile/Profile.h"

namespace zelbor::test {
namespace {

class CliDiffProfile : public CliTest {};

TEST_F(CliDiffProfile, AProfileReadWroteOfBytesWithoutAnItemIsComparedNotRefused)
{
    const ParameterField& sl = *FindParameter("cbbPASSpdLim");
    const ParameterField& wm = *FindParameter("cbbPASWorkMode");
    LoggedController vc(
        {"--store-differs", "S:" + std::to_string(sl.dataByte), "--store-differs", "S:" + std::to_string(wm.dataByte)});
    ASSERT_FALSE(vc.Port().empty());
    const fs::path base = dir / "base.el";
    ASSERT_NO_FATAL_FAILURE(ReadInto(vc, base));
    std::string text = SetKey(ReadFile(base), "Pedal Assist", "SL", std::to_string(ItemBeforeAGap(sl)));
    text = SetKey(text, "Pedal Assist", "WM", std::to_string(ItemBeforeAGap(wm)));
    WriteFile(dir / "edited.el", text);
    const CliRun write = RunCli({"write", "--port", vc.Port(), (dir / "edited.el").string()});
    ASSERT_EQ(write.status, 6) << write.Describe(); // the controller now holds the bytes after them

    const fs::path held = dir / "held.el";
    ASSERT_NO_FATAL_FAILURE(ReadInto(vc, held));
    const ParameterValues backup = ReadProfile(held);
    ASSERT_EQ(backup.pedalAssist.cbbPASSpdLim, -1);
    ASSERT_EQ(backup.pedalAssist.cbbPASWorkMode, -1);

    // Against the controller it came from: "no selection" agrees with a byte that has no item.
    const CliRun same = RunCli({"--json", "diff", "--port", vc.Port(), held.string()});
    EXPECT_EQ(same.status, 0) << same.Describe();
    EXPECT_TRUE(ParseJson(same)["differences"].empty()) << same.out;

    // Against a controller whose lists show items: both fields differ, the profile's side shown
    // as the window would show it.
    LoggedController other({});
    ASSERT_FALSE(other.Port().empty());
    const CliRun differs = RunCli({"--json", "diff", "--port", other.Port(), held.string()});
    EXPECT_EQ(differs.status, 1) << differs.Describe();
    const auto j = ParseJson(differs);
    ASSERT_EQ(j["differences"].size(), 2u) << differs.out;
    for (const auto& d : j["differences"]) {
        EXPECT_EQ(d["profile"], "no selection") << differs.out;
        EXPECT_NE(d["controller"].get<std::string>().find_first_not_of(" "), std::string::npos);
    }
    EXPECT_EQ(j["differences"][0]["key"], "SL");
    EXPECT_EQ(j["differences"][1]["key"], "WM");

    // What write refuses for its range is compared: the controller holds 8, the profile 9.
    const ParameterField& cd = *FindParameter("spePASCurrDecay");
    const fs::path above = dir / "above.el";
    WriteFile(above, SetKey(ReadFile(base), "Pedal Assist", "CD", std::to_string(cd.maximum + 1)));
    const CliRun range = RunCli({"--json", "diff", "--port", other.Port(), above.string()});
    EXPECT_EQ(range.status, 1) << range.Describe();
    const auto r = ParseJson(range);
    ASSERT_EQ(r["differences"].size(), 1u) << range.out;
    EXPECT_EQ(r["differences"][0]["key"], "CD");
    EXPECT_EQ(r["differences"][0]["profile"], std::to_string(cd.maximum + 1));

    // What it cannot read is refused, and named, without a word of writing.
    const std::string sound = ReadFile(base);
    const std::size_t lcLine = LineOf(sound, "Basic", "LC");
    struct Case {
        const char* name;
        std::string text;
        std::string mention;
    };
    const Case cases[] = {
        {"not a number", SetKey(sound, "Basic", "LC", "abc"), ":" + std::to_string(lcLine) + ": [Basic] LC=abc"},
        {"a key missing", EditLine(sound, "Pedal Assist", "KC", std::nullopt), "[Pedal Assist] KC: missing"},
        {"a key twice", EditLine(sound, "Basic", "LC", Lines(sound)[lcLine - 1] + "\nLC=5"), "LC"},
    };
    const fs::path bad = dir / "bad.el";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(bad, c.text);
        const std::size_t before = other.Received().size();
        const CliRun refused = RunCli({"diff", "--port", other.Port(), bad.string()});
        EXPECT_EQ(refused.status, 7) << refused.Describe();
        EXPECT_NE(refused.err.find(c.mention), std::string::npos) << refused.err;
        EXPECT_EQ(refused.err.find("written"), std::string::npos) << refused.err;
        EXPECT_EQ(other.Received().size(), before) << other.Log();
    }
}

TEST_F(CliDiffProfile, ADiffThatFindsNothingSaysSo)
{
    LoggedController vc({});
    ASSERT_FALSE(vc.Port().empty());
    const fs::path base = dir / "base.el";
    ASSERT_NO_FATAL_FAILURE(ReadInto(vc, base));
    const CliRun r = RunCli({"diff", "--port", vc.Port(), base.string()});
    EXPECT_EQ(r.status, 0) << r.Describe();
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 1u) << r.Describe();
    EXPECT_NE(lines[0].find(std::to_string(ParameterTable().size())), std::string::npos)
        << "it does not say how many fields agree: " << lines[0];
}

} // namespace
} // namespace zelbor::test
