// SPDX-License-Identifier: GPL-3.0-or-later
// Every row of the nominal-voltage table, written out by hand: a swapped row or a shifted range
// changes what the user is offered, and nothing else would notice. (The acknowledgement rows are
// held against the parameter table in ParameterTableTest.cpp.)
#include "protocol/Communication.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace zelbor;

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
