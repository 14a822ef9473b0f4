// SPDX-License-Identifier: GPL-3.0-or-later
// The check a profile passes before it is written to a controller unseen: every key once, a whole
// number, a value the window can hold; each problem named with its key and line.
#include "common/Ini.h"
#include "profile/Profile.h"
#include "profile/ProfileCheck.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace zelbor;

namespace {

// A whole, valid profile as the window writes it.
std::string ValidText()
{
    ProfileValues v = DefaultProfileValues();
    v.basic.cbbBasLowBat = 41;
    v.basic.speBasCurrLim = 18;
    v.basic.speBasSpdMtrSig = 1;
    v.pedalAssist.spePASCurrDecay = 8;
    IniEditor editor = IniEditor::FromText("");
    for (const ParameterField* f : ProfileOrder())
        editor.Set(f->Block().section, f->profileKey, std::to_string(f->Value(v)));
    return editor.Text();
}

// The text with the value of `key` in `section` replaced (the line itself stays where it is).
std::string With(const std::string& section, const std::string& key, const std::string& value)
{
    IniEditor editor = IniEditor::FromText(ValidText());
    editor.Set(section, key, value);
    return editor.Text();
}

std::vector<std::string> Texts(const std::string& text)
{
    std::vector<std::string> out;
    for (const ProfileProblem& p : CheckProfile(IniFile::Parse(text)))
        out.push_back(ProblemText("p.el", p));
    return out;
}

using Lines = std::vector<std::string>;

} // namespace

TEST(ProfileCheck, AWholeProfileOfTheWindowPassesAndQuotedNumbersAreNumbers)
{
    EXPECT_EQ(Texts(ValidText()), Lines{});
    EXPECT_EQ(Texts(With("Basic", "LC", "'18'")), Lines{});
    EXPECT_EQ(Texts(With("Basic", "LC", "$12")), Lines{}); // hexadecimal, as the reader takes it
    // The current limit's upper bound is the controller's maximum current, known only later.
    EXPECT_EQ(Texts(With("Basic", "LC", "200")), Lines{});
}

TEST(ProfileCheck, NamesTheKeyAndTheLineOfEachValueThatCannotBeWritten)
{
    // [Basic] is line 1, LBP line 2, LC line 3 ...; [Pedal Assist] follows the 25 Basic keys on line 27.
    EXPECT_EQ(Texts(With("Basic", "LC", "abc")), Lines{"p.el:3: [Basic] LC=abc: not a whole number"});
    EXPECT_EQ(Texts(With("Basic", "LC", "0")), Lines{"p.el:3: [Basic] LC=0: outside 1..255"});
    EXPECT_EQ(Texts(With("Basic", "LC", "")), Lines{"p.el:3: [Basic] LC=: not a whole number"});
    EXPECT_EQ(Texts(With("Basic", "LBP", "256")), Lines{"p.el:2: [Basic] LBP=256: outside 0..255"});
    EXPECT_EQ(Texts(With("Basic", "SMS", "37")), Lines{"p.el:26: [Basic] SMS=37: outside 1..36"});
    EXPECT_EQ(Texts(With("Basic", "ALC9", "101")), Lines{"p.el:13: [Basic] ALC9=101: outside 0..100"});
    EXPECT_EQ(Texts(With("Pedal Assist", "KC", "0")), Lines{"p.el:38: [Pedal Assist] KC=0: outside 1..100"});
    EXPECT_EQ(Texts(With("Throttle Handle", "SV", "51")), Lines{"p.el:40: [Throttle Handle] SV=51: outside 0..50"});
}

TEST(ProfileCheck, AListValueMustBeOneOfItsItems)
{
    // 16 wheel sizes, indexes 0..15; -1 is "nothing selected", which says nothing about what to write.
    EXPECT_EQ(Texts(With("Basic", "WD", "16")), Lines{"p.el:24: [Basic] WD=16: outside 0..15 (the list's items)"});
    EXPECT_EQ(Texts(With("Basic", "WD", "-1")), Lines{"p.el:24: [Basic] WD=-1: no item selected"});
    EXPECT_EQ(Texts(With("Basic", "WD", "15")), Lines{});
    // Throttle mode: "Speed", "Current".
    EXPECT_EQ(Texts(With("Throttle Handle", "MODE", "2")),
              Lines{"p.el:42: [Throttle Handle] MODE=2: outside 0..1 (the list's items)"});
    EXPECT_EQ(Texts(With("Pedal Assist", "WM", "71")), Lines{}); // "Undeterminated", 10, 11 .. 80
    EXPECT_EQ(Texts(With("Pedal Assist", "WM", "72")),
              Lines{"p.el:32: [Pedal Assist] WM=72: outside 0..71 (the list's items)"});
}

TEST(ProfileCheck, MissingKeysAndSectionsAndRepeatedOnesAreNamed)
{
    EXPECT_EQ(Texts("[Basic]\r\n"), Texts("")) << "an empty section is as good as none";
    EXPECT_EQ(Texts("").size(), 42u);
    EXPECT_EQ(Texts("").front(), "p.el: [Basic] LBP: missing");

    // The same key twice: the readers take the first; a check must not let the second pass unseen.
    std::string text = ValidText();
    text.insert(text.find("[Pedal Assist]"), "lc=19\r\n");
    EXPECT_EQ(Texts(text), Lines{"p.el:27: [Basic] lc: key given twice in its section; only the first is read"});

    // A second section of a profile's name, in any letter case; foreign sections are no concern.
    EXPECT_EQ(Texts(ValidText() + "[throttle handle]\r\nSV=1\r\n[Notes]\r\nx=1\r\nx=2\r\n"),
              Lines{"p.el:46: [throttle handle]: section given twice; only the first is read"});
}

TEST(ProfileCheck, LinesCountEveryLineOfTheFileFromOne)
{
    // A byte-order mark, comments, blank lines, LF or CR LF: the line a text editor shows.
    const IniFile ini = IniFile::Parse("\xEF\xBB\xBF; a comment\n\n[Basic]\r\n  LC = 7 \nWD=2");
    EXPECT_EQ(ini.Line("Basic", "LC"), 4u);
    EXPECT_EQ(ini.Line("basic", "wd"), 5u);
    EXPECT_EQ(ini.Line("Basic", "LBP"), 0u);
    EXPECT_EQ(ini.Line("Throttle Handle", "SV"), 0u);
}
