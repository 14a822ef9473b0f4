// SPDX-License-Identifier: GPL-3.0-or-later
// List bytes that a list cannot show go back to the controller unchanged; every other record
// (a profile, a list the user set) is encoded from its indexes as before.
#include "protocol/Communication.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

using namespace zelbor;

namespace {

Bytes Reply(std::uint8_t code, std::size_t dataBytes, std::size_t at, std::uint8_t value)
{
    Bytes b(2 + dataBytes, 0);
    b[0] = code;
    b[1] = static_cast<std::uint8_t>(dataBytes);
    b[at] = value;
    return b;
}

} // namespace

// Whatever byte a list position holds, reading the block and writing it straight back gives the
// same byte: the index where an item gives it back, the kept byte where none does.
TEST(KeptListBytes, EveryByteOfEveryListPositionComesBackUnchanged)
{
    for (int v = 0; v < 256; ++v) {
        const auto byte = static_cast<std::uint8_t>(v);
        SCOPED_TRACE(testing::Message() << "byte " << v);

        Bytes basic = Reply(bcBasic, kBasicDataBytes, 24, byte);
        basic[2] = 41;
        basic[25] = byte; // the speed meter: type bits and signal count together
        const auto b = DecodeBasic(basic);
        ASSERT_TRUE(b);
        const auto bd = EncodeBasic(*b);
        EXPECT_EQ(bd[22], byte);
        EXPECT_EQ(bd[23], byte);

        for (const std::size_t at : {2u, 3u, 4u, 6u, 8u}) {
            const auto p = DecodePedalAssist(Reply(bcPedalAssist, kPedalAssistDataBytes, at, byte));
            ASSERT_TRUE(p);
            EXPECT_EQ(EncodePedalAssist(*p)[at - 2], byte) << "Pedal Assist offset " << at;
        }
        for (const std::size_t at : {4u, 5u, 6u}) {
            const auto t = DecodeThrottle(Reply(bcThrottle, kThrottleDataBytes, at, byte));
            ASSERT_TRUE(t);
            EXPECT_EQ(EncodeThrottle(*t)[at - 2], byte) << "Throttle offset " << at;
        }
    }
}

TEST(KeptListBytes, KeptOnlyWhereTheShownItemWouldWriteAnotherByte)
{
    auto wheel = [](std::uint8_t v) {
        Bytes r = Reply(bcBasic, kBasicDataBytes, 24, v);
        return DecodeBasic(r)->kept.cbbBasWheelDiam;
    };
    EXPECT_FALSE(wheel(52));              // "26"
    EXPECT_FALSE(wheel(0x37));            // "700C"
    EXPECT_EQ(wheel(53), KeptByte{53});   // shows "27", which writes 54
    EXPECT_EQ(wheel(31), KeptByte{31});   // shows "16", which writes 32
    EXPECT_EQ(wheel(250), KeptByte{250}); // no item at all
    EXPECT_EQ(DecodeBasic(Reply(bcBasic, kBasicDataBytes, 24, 53))->cbbBasWheelDiam, 11);

    auto meter = [](std::uint8_t v) { return DecodeBasic(Reply(bcBasic, kBasicDataBytes, 25, v))->kept; };
    EXPECT_FALSE(meter(0x08).cbbBasSpdMtrType);
    EXPECT_FALSE(meter(0x48).cbbBasSpdMtrType);
    EXPECT_FALSE(meter(0xC8).cbbBasSpdMtrType);
    EXPECT_EQ(meter(0x88).cbbBasSpdMtrType, KeptByte{2}); // shows "By Motor Phase", which writes 3

    // The bytes of the earlier examples without an item: work mode 9, speed limit 14.
    const auto p = DecodePedalAssist(Bytes{0x53, 0x0B, 4, 10, 14, 20, 0, 12, 9, 5, 4, 6, 70});
    ASSERT_TRUE(p);
    EXPECT_EQ(p->kept.cbbPASPedalSensType, KeptByte{4});
    EXPECT_EQ(p->kept.cbbPASDesigAssist, KeptByte{10});
    EXPECT_EQ(p->kept.cbbPASSpdLim, KeptByte{14});
    EXPECT_EQ(p->kept.cbbPASSlowStartMode, KeptByte{0});
    EXPECT_EQ(p->kept.cbbPASWorkMode, KeptByte{9});
    const auto shown = DecodePedalAssist(Bytes{0x53, 0x0B, 3, 0xFF, 25, 20, 8, 12, 80, 5, 4, 6, 70});
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->kept, PedalAssistKeptBytes{});

    const auto t = DecodeThrottle(Bytes{0x54, 0x06, 11, 35, 2, 0xFF, 41, 10});
    ASSERT_TRUE(t);
    EXPECT_EQ(t->kept.cbbThrMode, KeptByte{2});
    EXPECT_FALSE(t->kept.cbbThrAssistLvl);
    EXPECT_EQ(t->kept.edThrSpeedLim, KeptByte{41});
}

TEST(KeptListBytes, TheSignalCountComesFromItsFieldNextToAKeptTypeCode)
{
    BasicSettings s;
    s.cbbBasWheelDiam = 10;
    s.cbbBasSpdMtrType = 2;
    s.speBasSpdMtrSig = 12;
    s.kept.cbbBasSpdMtrType = 2;
    EXPECT_EQ(EncodeBasic(s)[23], 0x80 + 12);
    s.kept.cbbBasSpdMtrType.reset(); // the user picked "By Motor Phase"
    EXPECT_EQ(EncodeBasic(s)[23], 0xC0 + 12);
}

TEST(KeptListBytes, WithoutAKeptByteNoSelectionKeepsItsEncoding)
{
    // A profile's -1 (nothing kept): the no-selection encodings, and no wheel is still no number.
    PedalAssistSettings p;
    const auto pd = EncodePedalAssist(p);
    EXPECT_EQ(pd[2], 13);
    EXPECT_EQ(pd[6], 8);
    BasicSettings b;
    EXPECT_ANY_THROW(EncodeBasic(b));
    b.kept.cbbBasWheelDiam = 250; // the same list, unselected because the controller sent 250
    EXPECT_EQ(EncodeBasic(b)[22], 250);
}
