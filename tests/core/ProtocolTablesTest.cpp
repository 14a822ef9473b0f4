// SPDX-License-Identifier: GPL-3.0-or-later
// Every row of the acknowledgement tables and of the nominal-voltage table, written out by hand:
// a swapped row or a shifted range changes what the user is told or offered, and nothing else
// would notice.
#include "protocol/Communication.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace zelbor;

namespace {

struct Row {
    const char* key;
    const char* control;
};

void ExpectAckTable(std::uint8_t blockCode, int page, const std::vector<Row>& expected)
{
    const auto table = AckTable(blockCode);
    ASSERT_EQ(table.size(), expected.size()) << "block 0x" << std::hex << int(blockCode);
    for (std::size_t result = 0; result < expected.size(); ++result) {
        SCOPED_TRACE("result " + std::to_string(result));
        EXPECT_STREQ(table[result].key, expected[result].key);
        EXPECT_STREQ(table[result].control, expected[result].control);
        EXPECT_EQ(table[result].page, page);
    }
}

} // namespace

TEST(AckTables, BasicRowsAlternateCurrentAndSpeedLevelByLevel)
{
    ExpectAckTable(
        bcBasic, 0,
        {
            {"err8", "cbbBasLowBat"},          {"err9", "speBasCurrLim"},         {"err10", "speBasAssist0CurrLim"},
            {"err20", "speBasAssist0SpdLim"},  {"err11", "speBasAssist1CurrLim"}, {"err21", "speBasAssist1SpdLim"},
            {"err12", "speBasAssist2CurrLim"}, {"err22", "speBasAssist2SpdLim"},  {"err13", "speBasAssist3CurrLim"},
            {"err23", "speBasAssist3SpdLim"},  {"err14", "speBasAssist4CurrLim"}, {"err24", "speBasAssist4SpdLim"},
            {"err15", "speBasAssist5CurrLim"}, {"err25", "speBasAssist5SpdLim"},  {"err16", "speBasAssist6CurrLim"},
            {"err26", "speBasAssist6SpdLim"},  {"err17", "speBasAssist7CurrLim"}, {"err27", "speBasAssist7SpdLim"},
            {"err18", "speBasAssist8CurrLim"}, {"err28", "speBasAssist8SpdLim"},  {"err19", "speBasAssist9CurrLim"},
            {"err29", "speBasAssist9SpdLim"},  {"err30", "cbbBasWheelDiam"},      {"err31", "speBasSpdMtrSig"},
        });
}

TEST(AckTables, PedalAssistAndThrottleRowsFollowTheFrameOrder)
{
    ExpectAckTable(bcPedalAssist, 1,
                   {
                       {"err34", "cbbPASPedalSensType"},
                       {"err35", "cbbPASDesigAssist"},
                       {"err36", "cbbPASSpdLim"},
                       {"err37", "spePASStartCurr"},
                       {"err38", "cbbPASSlowStartMode"},
                       {"err39", "spePASStartDeg"},
                       {"err40", "cbbPASWorkMode"},
                       {"err41", "spePASStopDelay"},
                       {"err42", "spePASCurrDecay"},
                       {"err43", "spePASStopDecay"},
                       {"err44", "spePASKeepCurr"},
                   });
    ExpectAckTable(bcThrottle, 2,
                   {
                       {"err48", "speThrStartVolt"},
                       {"err49", "speThrEndVolt"},
                       {"err50", "cbbThrMode"},
                       {"err51", "cbbThrAssistLvl"},
                       {"err52", "edThrSpeedLim"},
                       {"err53", "speThrStartCurr"},
                   });
}

TEST(NominalVoltage, EveryCodeGivesItsTextAndLowBatteryRange)
{
    struct Expected {
        int code;
        const char* text;
        int first, last;
    };
    const Expected rows[] = {
        {0, "24V", 18, 22},
        {1, "36V", 28, 32},
        {2, "48V", 38, 43},
        {3, "60V", 48, 55},
        {4, "24-48V", 18, 43},
        // Any other code takes the last row.
        {5, "24-60V", 18, 55},
        {9, "24-60V", 18, 55},
        {0x80, "24-60V", 18, 55},
        {255, "24-60V", 18, 55},
    };
    for (const auto& e : rows) {
        SCOPED_TRACE("code " + std::to_string(e.code));
        const NominalVoltageRow& row = NominalVoltageRowForCode(static_cast<std::uint8_t>(e.code));
        EXPECT_STREQ(row.text, e.text);
        std::vector<int> volts;
        for (int v = e.first; v <= e.last; ++v)
            volts.push_back(v);
        EXPECT_EQ(row.LowBatteryList(), volts);

        // The Basic read decoder finds the same row again by the text shown.
        const NominalVoltageRow* byText = NominalVoltageRowForText(e.text);
        ASSERT_NE(byText, nullptr);
        EXPECT_EQ(byText->LowBatteryList(), volts);
    }
    EXPECT_EQ(NominalVoltageRowForText("24v"), nullptr);
    EXPECT_EQ(NominalVoltageRowForText(" 48V"), nullptr);
    EXPECT_EQ(NominalVoltageRowForText("36"), nullptr);
}
