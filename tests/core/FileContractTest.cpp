// SPDX-License-Identifier: GPL-3.0-or-later
// The files other people and programs rely on, written out by hand: the 42 keys of a profile in
// their sections and order, and how a catalogue entry is read (quotes kept, blanks at the bar
// kept).
#include "TempDir.h"

#include "common/Catalogue.h"
#include "profile/Profile.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace zelbor;
using zelbor::test::ReadText;
using zelbor::test::TempDir;
using zelbor::test::WriteText;

namespace {

// A different number in every field, so that any two keys that trade places show.
ProfileValues Distinct()
{
    ProfileValues v;
    v.basic.cbbBasLowBat = 41;
    v.basic.speBasCurrLim = 18;
    v.basic.speBasAssistCurrLim = {50, 51, 52, 53, 54, 55, 56, 57, 58, 59};
    v.basic.speBasAssistSpdLim = {60, 61, 62, 63, 64, 65, 66, 67, 68, 69};
    v.basic.cbbBasWheelDiam = 12;
    v.basic.cbbBasSpdMtrType = 2;
    v.basic.speBasSpdMtrSig = 36;
    v.pedalAssist.cbbPASPedalSensType = 3;
    v.pedalAssist.cbbPASDesigAssist = 4;
    v.pedalAssist.cbbPASSpdLim = 11;
    v.pedalAssist.spePASStartCurr = 30;
    v.pedalAssist.cbbPASSlowStartMode = 7;
    v.pedalAssist.spePASStartDeg = 24;
    v.pedalAssist.cbbPASWorkMode = 71;
    v.pedalAssist.spePASStopDelay = 25;
    v.pedalAssist.spePASCurrDecay = 8;
    v.pedalAssist.spePASStopDecay = 13;
    v.pedalAssist.spePASKeepCurr = 70;
    v.throttle.speThrStartVolt = 9;
    v.throttle.speThrEndVolt = 35;
    v.throttle.cbbThrMode = 1;
    v.throttle.cbbThrAssistLvl = -1;
    v.throttle.edThrSpeedLim = 26;
    v.throttle.speThrStartCurr = 95;
    return v;
}

// What a save of Distinct() puts into an empty file.
const char* const kDistinctFile = "[Basic]\r\n"
                                  "LBP=41\r\n"
                                  "LC=18\r\n"
                                  "ALC0=50\r\n"
                                  "ALC1=51\r\n"
                                  "ALC2=52\r\n"
                                  "ALC3=53\r\n"
                                  "ALC4=54\r\n"
                                  "ALC5=55\r\n"
                                  "ALC6=56\r\n"
                                  "ALC7=57\r\n"
                                  "ALC8=58\r\n"
                                  "ALC9=59\r\n"
                                  "ALBP0=60\r\n"
                                  "ALBP1=61\r\n"
                                  "ALBP2=62\r\n"
                                  "ALBP3=63\r\n"
                                  "ALBP4=64\r\n"
                                  "ALBP5=65\r\n"
                                  "ALBP6=66\r\n"
                                  "ALBP7=67\r\n"
                                  "ALBP8=68\r\n"
                                  "ALBP9=69\r\n"
                                  "WD=12\r\n"
                                  "SMM=2\r\n"
                                  "SMS=36\r\n"
                                  "[Pedal Assist]\r\n"
                                  "PT=3\r\n"
                                  "DA=4\r\n"
                                  "SL=11\r\n"
                                  "SSM=7\r\n"
                                  "WM=71\r\n"
                                  "SC=30\r\n"
                                  "SDN=24\r\n"
                                  "TS=25\r\n"
                                  "CD=8\r\n"
                                  "SD=13\r\n"
                                  "KC=70\r\n"
                                  "[Throttle Handle]\r\n"
                                  "SV=9\r\n"
                                  "EV=35\r\n"
                                  "MODE=1\r\n"
                                  "DA=-1\r\n"
                                  "SL=26\r\n"
                                  "SC=95\r\n";

} // namespace

TEST(ProfileContract, ASaveIntoANewOrEmptyFileWritesAll42KeysInOrder)
{
    TempDir dir;
    WriteProfile(dir / "new.el", Distinct());
    EXPECT_EQ(ReadText(dir / "new.el"), kDistinctFile);

    WriteText(dir / "empty.el", "");
    WriteProfile(dir / "empty.el", Distinct());
    EXPECT_EQ(ReadText(dir / "empty.el"), kDistinctFile);
}

TEST(ProfileContract, EveryKeyIsReadIntoItsOwnField)
{
    // The same keys in another order, other letter case and LF line ends: each key still finds
    // its field, and the keys that two sections share stay apart.
    const std::string shuffled = "[THROTTLE HANDLE]\nsc=95\nSL=26\nDA=-1\nMODE=1\nEV=35\nSV=9\n"
                                 "[pedal assist]\nKC=70\nSD=13\nCD=8\nTS=25\nSDN=24\nSC=30\nWM=71\nSSM=7\n"
                                 "SL=11\nDA=4\nPT=3\n"
                                 "[Basic]\nSMS=36\nSMM=2\nWD=12\n"
                                 "ALBP9=69\nALBP8=68\nALBP7=67\nALBP6=66\nALBP5=65\n"
                                 "ALBP4=64\nALBP3=63\nALBP2=62\nALBP1=61\nALBP0=60\n"
                                 "ALC9=59\nALC8=58\nALC7=57\nALC6=56\nALC5=55\n"
                                 "ALC4=54\nALC3=53\nALC2=52\nALC1=51\nALC0=50\n"
                                 "LC=18\nLBP=41\n";
    EXPECT_EQ(ParseProfile(shuffled), Distinct());
    EXPECT_EQ(ParseProfile(kDistinctFile), Distinct());
}

class CatalogueContract : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetExecutableFolder(dir.path());
        CurrentLanguage = "eng";
    }
    void TearDown() override { CurrentLanguage.clear(); }
    TempDir dir;
};

TEST_F(CatalogueContract, EntriesAreUsedAsStoredWithTheirQuotes)
{
    WriteText(dir / "Languages/eng/soft/errors.ini", "[ERRORS]\r\n"
                                                     "err1=\"Whole entry|in quotes\"\r\n"
                                                     "err2=\"Text\"|\"Caption\"\r\n"
                                                     "err3='NULL'\r\n"
                                                     "err4=null\r\n"
                                                     "err5 =   Text | Caption   \r\n"
                                                     "err6='a'\r\n");
    // A quoted run protects the bar and keeps its quotes: one item, no caption.
    EXPECT_EQ(GetErrorMessage("err1"), "\"Whole entry|in quotes\"");
    EXPECT_EQ(GetErrorCaption("err1"), kUnknownErrorMessage);
    EXPECT_EQ(GetErrorMessage("err2"), "\"Text\"");
    EXPECT_EQ(GetErrorCaption("err2"), "\"Caption\"");
    // Only the bare word NULL, in capitals, stands for a missing entry.
    EXPECT_EQ(GetErrorMessage("err3"), "'NULL'");
    EXPECT_EQ(GetErrorMessage("err4"), "null");
    // Blanks beside "=" and at the line's ends go; blanks beside the bar stay.
    EXPECT_EQ(GetErrorMessage("err5"), "Text ");
    EXPECT_EQ(GetErrorCaption("err5"), " Caption");
    EXPECT_EQ(GetErrorMessage("err6"), "'a'");
}
