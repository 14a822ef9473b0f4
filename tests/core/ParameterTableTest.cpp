// SPDX-License-Identifier: GPL-3.0-or-later
// What must hold of the parameter table as a whole: a slip in one row (a doubled profile key, a
// data byte no field fills, two items with one byte) would otherwise pass every per-field check.
#include "protocol/Parameters.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

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
