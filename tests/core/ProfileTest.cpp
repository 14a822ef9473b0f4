// SPDX-License-Identifier: GPL-3.0-or-later
#include "TempDir.h"

#include "common/Errors.h"
#include "common/Ini.h"
#include "profile/Profile.h"

#include <gtest/gtest.h>

using namespace zelbor;
using zelbor::test::ReadText;
using zelbor::test::TempDir;
using zelbor::test::WriteText;

namespace {

ProfileValues Sample()
{
    ProfileValues v = DefaultProfileValues();
    v.basic.cbbBasLowBat = 41;
    v.basic.speBasCurrLim = 18;
    for (int i = 0; i < 10; ++i) {
        v.basic.speBasAssistCurrLim[static_cast<std::size_t>(i)] = i * 10;
        v.basic.speBasAssistSpdLim[static_cast<std::size_t>(i)] = 100 - i;
    }
    v.basic.cbbBasWheelDiam = 12;
    v.basic.cbbBasSpdMtrType = -1;
    v.basic.speBasSpdMtrSig = 36;
    v.pedalAssist = {3, 4, 11, 30, 7, 24, 71, 25, 8, 12, 60};
    v.throttle = {11, 35, 1, -1, 26, 55};
    return v;
}

} // namespace

TEST(Profile, DefaultsForMissingFileAndBadValues)
{
    ProfileValues d = DefaultProfileValues();
    EXPECT_EQ(d.basic.cbbBasLowBat, 10);
    EXPECT_EQ(d.basic.speBasAssistSpdLim[9], 10);
    EXPECT_EQ(d.basic.cbbBasWheelDiam, 10);
    EXPECT_EQ(d.basic.cbbBasSpdMtrType, 0);
    EXPECT_EQ(d.pedalAssist.cbbPASWorkMode, 0);
    EXPECT_EQ(d.pedalAssist.spePASCurrDecay, 10);
    EXPECT_EQ(d.throttle.cbbThrMode, 0);
    EXPECT_EQ(d.throttle.speThrStartCurr, 10);

    TempDir dir;
    EXPECT_EQ(ReadProfile(dir / "absent.el"), d);
    EXPECT_EQ(ParseProfile("this is not an ini file\n\x01\x02"), d);

    ProfileValues p = ParseProfile("[basic]\nwd=letters\nLC=0x14\nLBP=$14\nALC3= \"-5\" \nSMS=99999999999\n");
    EXPECT_EQ(p.basic.cbbBasWheelDiam, 10);
    EXPECT_EQ(p.basic.speBasCurrLim, 20);
    EXPECT_EQ(p.basic.cbbBasLowBat, 20);
    EXPECT_EQ(p.basic.speBasAssistCurrLim[3], -5);
    EXPECT_EQ(p.basic.speBasSpdMtrSig, 10);
}

TEST(Profile, SameKeysInDifferentSections)
{
    ProfileValues p = ParseProfile("[Throttle Handle]\nDA=3\nSL=4\nSC=50\n"
                                   "[Pedal Assist]\nDA=7\nSL=8\nSC=30\n");
    EXPECT_EQ(p.pedalAssist.cbbPASDesigAssist, 7);
    EXPECT_EQ(p.pedalAssist.cbbPASSpdLim, 8);
    EXPECT_EQ(p.pedalAssist.spePASStartCurr, 30);
    EXPECT_EQ(p.throttle.cbbThrAssistLvl, 3);
    EXPECT_EQ(p.throttle.edThrSpeedLim, 4);
    EXPECT_EQ(p.throttle.speThrStartCurr, 50);
    EXPECT_EQ(p.basic, DefaultProfileValues().basic);
}

TEST(Profile, NewFileHasAllKeysInTableOrder)
{
    TempDir dir;
    auto file = dir / "touring.el";
    WriteProfile(file, Sample());
    std::string text = ReadText(file);
    const char* order[] = {"[Basic]",
                           "LBP=41",
                           "LC=18",
                           "ALC0=0",
                           "ALC9=90",
                           "ALBP0=100",
                           "ALBP9=91",
                           "WD=12",
                           "SMM=-1",
                           "SMS=36",
                           "[Pedal Assist]",
                           "PT=3",
                           "DA=4",
                           "SL=11",
                           "SSM=7",
                           "WM=71",
                           "SC=30",
                           "SDN=24",
                           "TS=25",
                           "CD=8",
                           "SD=12",
                           "KC=60",
                           "[Throttle Handle]",
                           "SV=11",
                           "EV=35",
                           "MODE=1",
                           "DA=-1",
                           "SL=26",
                           "SC=55"};
    std::size_t pos = 0;
    for (const char* item : order) {
        std::size_t at = text.find(std::string(item) + "\r\n", pos);
        ASSERT_NE(at, std::string::npos) << item << " missing or out of order";
        pos = at;
    }
    EXPECT_EQ(text.rfind("[Basic]\r\nLBP=41\r\nLC=18\r\n", 0), 0u);
    EXPECT_EQ(ReadProfile(file), Sample());
    IniFile ini = IniFile::Load(file);
    int keys = 0;
    for (const char* section : {"Basic", "Pedal Assist", "Throttle Handle"})
        EXPECT_TRUE(ini.HasSection(section));
    for (char c : text)
        keys += c == '=';
    EXPECT_EQ(keys, 42);
}

TEST(Profile, RewriteKeepsForeignLinesAndAddsMissingKeys)
{
    TempDir dir;
    auto file = dir / "old.el";
    WriteText(file, "; written by hand\n[Basic]\nlbp = 5\nComment=keep me\n\n[Extra]\nfoo=bar\n");
    WriteProfile(file, Sample());
    std::string text = ReadText(file);
    EXPECT_EQ(text.rfind("; written by hand\n[Basic]\nlbp = 41\nComment=keep me\nLC=18\n", 0), 0u) << text;
    EXPECT_NE(text.find("\n\n[Extra]\nfoo=bar\n[Pedal Assist]\nPT=3\n"), std::string::npos) << text;
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_EQ(ReadProfile(file), Sample());

    // A second save changes nothing further.
    WriteProfile(file, Sample());
    EXPECT_EQ(ReadText(file), text);
}

TEST(Profile, WriteFailureLeavesOldFile)
{
    TempDir dir;
    auto file = dir / "p.el";
    WriteText(file, "[Basic]\nLBP=5\n");
    EXPECT_THROW(WriteProfile(dir / "p.el/sub.el", Sample()), EFileError);
    EXPECT_EQ(ReadText(file), "[Basic]\nLBP=5\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}
