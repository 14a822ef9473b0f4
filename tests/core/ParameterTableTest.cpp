// SPDX-License-Identifier: GPL-3.0-or-later
// What must hold of the parameter table as a whole: a slip in one row (a doubled profile key, a
// data byte no field fills, two items with one byte) would otherwise pass every per-field check.
// Last, every row against the facts of the design, typed out here a second time.
#include "protocol/Parameters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

using namespace zelbor;

TEST(ParameterTable, EveryDataByteIsFilledWithoutOverlappingBits)
{
    for (const BlockInfo& b : Blocks()) {
        std::map<std::size_t, unsigned> used; // data byte -> bits taken
        for (const ParameterField* f : BlockFields(b.code)) {
            SCOPED_TRACE(f->control);
            ASSERT_LT(f->dataByte, b.dataBytes);
            ASSERT_LE(f->shift + f->width, 8u);
            const unsigned bits = f->Mask() << f->shift;
            EXPECT_EQ(used[f->dataByte] & bits, 0u);
            used[f->dataByte] |= bits;
        }
        ASSERT_EQ(used.size(), b.dataBytes) << int(b.code);
        for (const auto& [byte, bits] : used)
            EXPECT_EQ(bits, 0xFFu) << "block " << int(b.code) << " byte " << byte;
    }
}

TEST(ParameterTable, ResultsNumberTheDataBytesOncePerBlock)
{
    for (const BlockInfo& b : Blocks()) {
        std::set<int> results;
        std::set<std::size_t> bytes;
        for (const ParameterField* f : BlockFields(b.code)) {
            if (f->ackIndex < 0)
                continue;
            EXPECT_TRUE(results.insert(f->ackIndex).second) << f->control;
            EXPECT_TRUE(bytes.insert(f->dataByte).second) << f->control; // one result per byte
            EXPECT_FALSE(f->ackKey.empty()) << f->control;
            EXPECT_EQ(RefusedField(b.code, static_cast<std::size_t>(f->ackIndex)), f);
        }
        EXPECT_EQ(results.size(), b.dataBytes);
        EXPECT_EQ(*results.rbegin(), static_cast<int>(b.dataBytes) - 1);
        EXPECT_EQ(RefusedField(b.code, b.dataBytes), nullptr); // the field count accepts
    }
}

TEST(ParameterTable, AProfileKeepsEachFieldOnceUnderItsOwnKey)
{
    std::set<int> orders;
    std::set<std::string> keys, controls;
    for (const ParameterField& f : ParameterTable()) {
        EXPECT_TRUE(orders.insert(f.profileOrder).second) << f.control;
        EXPECT_TRUE(keys.insert(std::string(f.Block().section) + "/" + f.profileKey).second) << f.control;
        EXPECT_TRUE(controls.insert(f.control).second) << f.control;
        EXPECT_EQ(FindParameter(f.control), &f);
    }
    EXPECT_EQ(orders.size(), 42u);
    EXPECT_EQ(*orders.begin(), 0);
    EXPECT_EQ(*orders.rbegin(), 41);
    // A file keeps the blocks one after the other.
    const auto order = ProfileOrder();
    for (std::size_t i = 1; i < order.size(); ++i)
        EXPECT_LE(order[i - 1]->Block().page, order[i]->Block().page) << order[i]->control;
}

TEST(ParameterTable, EveryItemHasAByteOfItsOwnThatReadsBackAsIt)
{
    for (const ParameterField& f : ParameterTable()) {
        if (f.kind != ControlKind::List)
            continue;
        SCOPED_TRACE(f.control);
        ASSERT_NE(f.items, nullptr);
        ASSERT_NE(f.keptRef, nullptr); // a list can be sent a byte it cannot show
        EXPECT_EQ(f.maximum, f.ItemCount() - 1);
        std::set<unsigned> bytes;
        for (int i = 0; i < f.ItemCount(); ++i) {
            const unsigned bits = f.ItemBits(i);
            EXPECT_LE(bits, f.Mask()) << i;
            EXPECT_TRUE(bytes.insert(bits).second) << i;
            EXPECT_EQ(f.ItemIndex(bits), i) << i;
        }
        EXPECT_GE(f.profileDefault, 0);
        EXPECT_LT(f.profileDefault, f.ItemCount());
    }
}

// ---- The design's tables, typed out once more by hand ----
//
// Everything else (the codecs, the profile files, the window, the virtual controller) takes its
// facts from the parameter table, so a wrong row agrees with itself end to end: two swapped data
// bytes still read back as written, a narrowed range is narrowed on both sides of the line. This
// is the one place that holds the table against the facts written down independently.

namespace {

struct Item {
    std::string text;
    unsigned bits; // what the item puts into the field's bits (before their shift)
};

using Items = std::vector<Item>;

// "first" .. "last", each item standing for its own number on the wire.
Items Numbers(int first, int last, const std::string& suffix = "")
{
    Items items;
    for (int n = first; n <= last; ++n)
        items.push_back({std::to_string(n) + suffix, static_cast<unsigned>(n)});
    return items;
}

Items With(Item first, const Items& rest)
{
    Items items = {std::move(first)};
    items.insert(items.end(), rest.begin(), rest.end());
    return items;
}

struct Values {
    ControlKind kind;
    int minimum = 0, maximum = 0;
    Items items;
};

Values Spin(int minimum, int maximum) { return {ControlKind::Spin, minimum, maximum, {}}; }
Values Volts(int first, int last) { return {ControlKind::VoltsText, first, last, {}}; }
Values List(Items items) { return {ControlKind::List, 0, static_cast<int>(items.size()) - 1, std::move(items)}; }

struct DesignRow {
    const char* control;
    std::uint8_t block;
    int dataByte; // counted from 1, as the block layouts count them
    int highBit, lowBit;
    Values values;
    int ack; // the acknowledgement result that refuses it, -1 for none
    const char* ackKey;
    const char* key; // its key in its block's section of a profile
    int def;         // the profile reader's default
};

} // namespace

TEST(ParameterTable, EveryFieldIsWhereTheDesignPutsIt)
{
    constexpr std::uint8_t R = 0x52, S = 0x53, T = 0x54;
    struct DesignBlock {
        std::uint8_t code;
        int page;
        std::size_t dataBytes;
        const char* section;
    };
    const DesignBlock blocks[] = {{R, 0, 24, "Basic"}, {S, 1, 11, "Pedal Assist"}, {T, 2, 6, "Throttle Handle"}};

    const Item byDisplay = {"By Display's Command", 0xFF};
    const Items assist = With(byDisplay, Numbers(0, 9));
    const Items speed = With(byDisplay, Numbers(15, 40, "km/h"));
    const Items wheel = {{"16", 32},   {"17", 34}, {"18", 36}, {"19", 38}, {"20", 40}, {"21", 42},
                         {"22", 44},   {"23", 46}, {"24", 48}, {"25", 50}, {"26", 52}, {"27", 54},
                         {"700C", 55}, {"28", 56}, {"29", 58}, {"30", 60}};
    const Items meter = {{"External, Wheel Meter", 0}, {"Internal, Motor Meter", 1}, {"By Motor Phase", 3}};
    const Items sensor = {{"None", 0}, {"DH-Sensor-12", 1}, {"BB-Sensor-32", 2}, {"DoubleSignal-24", 3}};

    // In the order of a profile file.
    const DesignRow rows[] = {
        {"cbbBasLowBat", R, 1, 7, 0, Volts(18, 22), 0, "err8", "LBP", 10},
        {"speBasCurrLim", R, 2, 7, 0, Spin(1, 25), 1, "err9", "LC", 10},
        {"speBasAssist0CurrLim", R, 3, 7, 0, Spin(0, 100), 2, "err10", "ALC0", 10},
        {"speBasAssist1CurrLim", R, 4, 7, 0, Spin(0, 100), 4, "err11", "ALC1", 10},
        {"speBasAssist2CurrLim", R, 5, 7, 0, Spin(0, 100), 6, "err12", "ALC2", 10},
        {"speBasAssist3CurrLim", R, 6, 7, 0, Spin(0, 100), 8, "err13", "ALC3", 10},
        {"speBasAssist4CurrLim", R, 7, 7, 0, Spin(0, 100), 10, "err14", "ALC4", 10},
        {"speBasAssist5CurrLim", R, 8, 7, 0, Spin(0, 100), 12, "err15", "ALC5", 10},
        {"speBasAssist6CurrLim", R, 9, 7, 0, Spin(0, 100), 14, "err16", "ALC6", 10},
        {"speBasAssist7CurrLim", R, 10, 7, 0, Spin(0, 100), 16, "err17", "ALC7", 10},
        {"speBasAssist8CurrLim", R, 11, 7, 0, Spin(0, 100), 18, "err18", "ALC8", 10},
        {"speBasAssist9CurrLim", R, 12, 7, 0, Spin(0, 100), 20, "err19", "ALC9", 10},
        {"speBasAssist0SpdLim", R, 13, 7, 0, Spin(0, 100), 3, "err20", "ALBP0", 10},
        {"speBasAssist1SpdLim", R, 14, 7, 0, Spin(0, 100), 5, "err21", "ALBP1", 10},
        {"speBasAssist2SpdLim", R, 15, 7, 0, Spin(0, 100), 7, "err22", "ALBP2", 10},
        {"speBasAssist3SpdLim", R, 16, 7, 0, Spin(0, 100), 9, "err23", "ALBP3", 10},
        {"speBasAssist4SpdLim", R, 17, 7, 0, Spin(0, 100), 11, "err24", "ALBP4", 10},
        {"speBasAssist5SpdLim", R, 18, 7, 0, Spin(0, 100), 13, "err25", "ALBP5", 10},
        {"speBasAssist6SpdLim", R, 19, 7, 0, Spin(0, 100), 15, "err26", "ALBP6", 10},
        {"speBasAssist7SpdLim", R, 20, 7, 0, Spin(0, 100), 17, "err27", "ALBP7", 10},
        {"speBasAssist8SpdLim", R, 21, 7, 0, Spin(0, 100), 19, "err28", "ALBP8", 10},
        {"speBasAssist9SpdLim", R, 22, 7, 0, Spin(0, 100), 21, "err29", "ALBP9", 10},
        {"cbbBasWheelDiam", R, 23, 7, 0, List(wheel), 22, "err30", "WD", 10},
        {"cbbBasSpdMtrType", R, 24, 7, 6, List(meter), -1, "", "SMM", 0},
        {"speBasSpdMtrSig", R, 24, 5, 0, Spin(1, 36), 23, "err31", "SMS", 10},

        {"cbbPASPedalSensType", S, 1, 7, 0, List(sensor), 0, "err34", "PT", 0},
        {"cbbPASDesigAssist", S, 2, 7, 0, List(assist), 1, "err35", "DA", 0},
        {"cbbPASSpdLim", S, 3, 7, 0, List(speed), 2, "err36", "SL", 0},
        {"cbbPASSlowStartMode", S, 5, 7, 0, List(Numbers(1, 8)), 4, "err38", "SSM", 0},
        {"cbbPASWorkMode", S, 7, 7, 0, List(With({"Undeterminated", 0xFF}, Numbers(10, 80))), 6, "err40", "WM", 0},
        {"spePASStartCurr", S, 4, 7, 0, Spin(1, 60), 3, "err37", "SC", 10},
        {"spePASStartDeg", S, 6, 7, 0, Spin(1, 100), 5, "err39", "SDN", 10},
        {"spePASStopDelay", S, 8, 7, 0, Spin(0, 255), 7, "err41", "TS", 10},
        {"spePASCurrDecay", S, 9, 7, 0, Spin(1, 8), 8, "err42", "CD", 10},
        {"spePASStopDecay", S, 10, 7, 0, Spin(0, 255), 9, "err43", "SD", 10},
        {"spePASKeepCurr", S, 11, 7, 0, Spin(1, 100), 10, "err44", "KC", 10},

        {"speThrStartVolt", T, 1, 7, 0, Spin(0, 50), 0, "err48", "SV", 10},
        {"speThrEndVolt", T, 2, 7, 0, Spin(0, 50), 1, "err49", "EV", 10},
        {"cbbThrMode", T, 3, 7, 0, List({{"Speed", 0}, {"Current", 1}}), 2, "err50", "MODE", 0},
        {"cbbThrAssistLvl", T, 4, 7, 0, List(assist), 3, "err51", "DA", 0},
        {"edThrSpeedLim", T, 5, 7, 0, List(speed), 4, "err52", "SL", 0},
        {"speThrStartCurr", T, 6, 7, 0, Spin(1, 100), 5, "err53", "SC", 10},
    };

    ASSERT_EQ(Blocks().size(), std::size(blocks));
    for (const DesignBlock& b : blocks) {
        const BlockInfo* info = FindBlock(b.code);
        ASSERT_NE(info, nullptr) << int(b.code);
        EXPECT_EQ(info->page, b.page);
        EXPECT_EQ(info->dataBytes, b.dataBytes);
        EXPECT_STREQ(info->section, b.section);
        // One result a data byte; the field count means every field was accepted.
        EXPECT_EQ(AckTable(b.code).size(), b.dataBytes);
        EXPECT_EQ(RefusedField(b.code, b.dataBytes), nullptr);
    }

    ASSERT_EQ(ParameterTable().size(), std::size(rows));
    const auto profileOrder = ProfileOrder();
    for (std::size_t order = 0; order < std::size(rows); ++order) {
        const DesignRow& row = rows[order];
        SCOPED_TRACE(row.control);
        const ParameterField* f = FindParameter(row.control);
        ASSERT_NE(f, nullptr);
        const DesignBlock& block = *std::find_if(std::begin(blocks), std::end(blocks),
                                                 [&](const DesignBlock& b) { return b.code == row.block; });

        EXPECT_EQ(int(f->block), int(row.block));
        EXPECT_EQ(static_cast<int>(f->dataByte) + 1, row.dataByte);
        EXPECT_EQ(static_cast<int>(f->shift), row.lowBit);
        EXPECT_EQ(static_cast<int>(f->width), row.highBit - row.lowBit + 1);

        EXPECT_EQ(f->kind, row.values.kind);
        EXPECT_EQ(f->minimum, row.values.minimum);
        EXPECT_EQ(f->maximum, row.values.maximum);
        ASSERT_EQ(f->ItemCount(), static_cast<int>(row.values.items.size()));
        for (int i = 0; i < f->ItemCount(); ++i) {
            const Item& item = row.values.items[static_cast<std::size_t>(i)];
            EXPECT_EQ((*f->items)[static_cast<std::size_t>(i)], item.text) << i;
            EXPECT_EQ(f->ItemBits(i), item.bits) << item.text;
            EXPECT_EQ(f->ItemIndex(item.bits), i) << item.text;
        }

        EXPECT_EQ(f->ackIndex, row.ack);
        EXPECT_EQ(f->ackKey, row.ackKey);
        if (row.ack >= 0) {
            EXPECT_EQ(RefusedField(row.block, static_cast<std::size_t>(row.ack)), f);
            const AckField& ack = AckTable(row.block)[static_cast<std::size_t>(row.ack)];
            EXPECT_STREQ(ack.key, row.ackKey);
            EXPECT_STREQ(ack.control, row.control);
            EXPECT_EQ(ack.page, block.page);
        }

        EXPECT_STREQ(f->Block().section, block.section);
        EXPECT_EQ(f->profileKey, row.key);
        EXPECT_EQ(f->profileDefault, row.def);
        EXPECT_EQ(f->profileOrder, static_cast<int>(order));
        EXPECT_EQ(profileOrder[order], f);
    }
}
