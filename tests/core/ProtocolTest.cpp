// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/Errors.h"
#include "protocol/Communication.h"

#include <gtest/gtest.h>

#include <climits>

using namespace zelbor;

namespace {

Bytes Chunk(std::initializer_list<int> values, std::size_t length = 0)
{
    Bytes b;
    for (int v : values)
        b.push_back(static_cast<std::uint8_t>(v));
    if (length > b.size())
        b.resize(length, 0);
    return b;
}

} // namespace

TEST(Frames, RequestsAreExact)
{
    EXPECT_EQ(IdentifyRequest(), Chunk({0x11, 0x51, 0x04, 0xB0, 0x05}));
    EXPECT_EQ(ReadRequest(bcBasic), Chunk({0x11, 0x52}));
    EXPECT_EQ(ReadRequest(bcPedalAssist), Chunk({0x11, 0x53}));
    EXPECT_EQ(ReadRequest(bcThrottle), Chunk({0x11, 0x54}));
}

TEST(Frames, ThrottleExampleWrapsCheckByte)
{
    ThrottleSettings t;
    t.speThrStartVolt = 11;
    t.speThrEndVolt = 35;
    t.cbbThrMode = 0;
    t.cbbThrAssistLvl = 0;
    t.edThrSpeedLim = 0;
    t.speThrStartCurr = 10;
    auto data = EncodeThrottle(t);
    EXPECT_EQ(WriteFrame(bcThrottle, data), Chunk({0x16, 0x54, 0x06, 0x0B, 0x23, 0x00, 0xFF, 0xFF, 0x0A, 0x90}));
}

TEST(Frames, WriteFrameLengthsAndCheckByteSkipsCommand)
{
    BasicSettings b;
    b.cbbBasWheelDiam = 10;
    b.cbbBasSpdMtrType = 0;
    auto basic = WriteFrame(bcBasic, EncodeBasic(b));
    ASSERT_EQ(basic.size(), 28u);
    EXPECT_EQ(basic[2], 24);
    EXPECT_EQ(basic.back(), CheckByte(std::span(basic).subspan(1, 26)));

    auto pas = WriteFrame(bcPedalAssist, EncodePedalAssist({}));
    ASSERT_EQ(pas.size(), 15u);
    EXPECT_EQ(pas[2], 11);

    // The command byte never enters the sum.
    EXPECT_EQ(CheckByte(Chunk({0x52, 0x18})), 0x6A);
    EXPECT_EQ(CheckByte(Chunk({0xFF, 0xFF, 0x02})), 0x00);
    EXPECT_EQ(CheckByte({}), 0x00);
}

TEST(Basic, EncodesEveryByteInFrameOrder)
{
    BasicSettings s;
    s.cbbBasLowBat = 41;
    s.speBasCurrLim = 25;
    for (int i = 0; i < 10; ++i) {
        s.speBasAssistCurrLim[static_cast<std::size_t>(i)] = 10 + i;
        s.speBasAssistSpdLim[static_cast<std::size_t>(i)] = 50 + i;
    }
    s.cbbBasWheelDiam = kWheel700CIndex;
    s.cbbBasSpdMtrType = 1;
    s.speBasSpdMtrSig = 8;
    auto d = EncodeBasic(s);
    EXPECT_EQ(d[0], 41);
    EXPECT_EQ(d[1], 25);
    EXPECT_EQ(d[2], 10);  // level 0 current
    EXPECT_EQ(d[11], 19); // level 9 current
    EXPECT_EQ(d[12], 50); // level 0 speed follows all currents
    EXPECT_EQ(d[21], 59);
    EXPECT_EQ(d[22], 0x37);
    EXPECT_EQ(d[23], 0x48);

    // A reply carries the same bytes from offset 2; decoding gives the record back.
    Bytes reply = Chunk({0x52, 0x00});
    reply.insert(reply.end(), d.begin(), d.end());
    auto back = DecodeBasic(reply);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, s);
}

TEST(Basic, ValuesAreReducedToLowByte)
{
    BasicSettings s;
    s.cbbBasLowBat = 300; // 0x12C
    s.speBasCurrLim = -1;
    s.cbbBasWheelDiam = 0;
    s.cbbBasSpdMtrType = 0;
    auto d = EncodeBasic(s);
    EXPECT_EQ(d[0], 0x2C);
    EXPECT_EQ(d[1], 0xFF);
}

// The formulas of the encoders (type x 64 + signals, index + offset, mode + 1) must not overflow
// int on the way to the low byte: any integer a record holds gives the low 8 bits of the result.
TEST(Encoders, ExtremeIntegersGiveTheLowByteOfTheFormula)
{
    EXPECT_EQ(EncodeSpeedMeter(INT_MAX, 1), 0xC1);
    EXPECT_EQ(EncodeSpeedMeter(2, INT_MAX), 0xBF);
    EXPECT_EQ(EncodeSpeedMeter(INT_MIN, INT_MIN), 0x00);

    PedalAssistSettings p;
    p.cbbPASDesigAssist = INT_MIN;   // - 1
    p.cbbPASSpdLim = INT_MAX;        // + 14
    p.cbbPASSlowStartMode = INT_MAX; // + 1
    p.cbbPASWorkMode = INT_MAX;      // + 9
    const auto pd = EncodePedalAssist(p);
    EXPECT_EQ(pd[1], 0xFF);
    EXPECT_EQ(pd[2], 0x0D);
    EXPECT_EQ(pd[4], 0x00);
    EXPECT_EQ(pd[6], 0x08);

    ThrottleSettings t;
    t.cbbThrAssistLvl = INT_MIN;
    t.edThrSpeedLim = INT_MAX;
    const auto td = EncodeThrottle(t);
    EXPECT_EQ(td[3], 0xFF);
    EXPECT_EQ(td[4], 0x0D);
}

TEST(Wheel, EncodingOfEveryItem)
{
    const int expected[16] = {32, 34, 36, 38, 40, 42, 44, 46, 48, 50, 52, 54, 55, 56, 58, 60};
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(EncodeWheel(i), expected[i]) << "index " << i;
}

TEST(Wheel, NoSelectionIsAConversionError)
{
    for (int bad : {-1, 16, 100}) {
        try {
            EncodeWheel(bad);
            ADD_FAILURE() << "no error for index " << bad;
        } catch (const EConvertError& e) {
            EXPECT_STREQ(e.what(), "'' is not a valid integer value");
        }
    }
    BasicSettings s; // wheel index -1 by default
    EXPECT_THROW(EncodeBasic(s), EConvertError);
}

TEST(Wheel, DecodingOverAllBytes)
{
    for (int v = 0; v < 256; ++v) {
        int expected;
        if (v <= 30 || v >= 61)
            expected = -1;
        else if (v == 55)
            expected = 12;
        else if (v <= 54)
            expected = (v + 1) / 2 - 16; // 31-32 -> "16" ... 53-54 -> "27"
        else if (v == 56)
            expected = 13;
        else if (v <= 58)
            expected = 14;
        else
            expected = 15;
        EXPECT_EQ(DecodeWheel(static_cast<std::uint8_t>(v)), expected) << "byte " << v;
    }
    // Every encoded item reads back as itself.
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(DecodeWheel(EncodeWheel(i)), i);
}

TEST(SpeedMeter, BothWays)
{
    EXPECT_EQ(EncodeSpeedMeter(2, 8), 0xC8); // "By Motor Phase" has type code 3
    EXPECT_EQ(EncodeSpeedMeter(1, 8), 0x48);
    EXPECT_EQ(EncodeSpeedMeter(0, 36), 36);
    EXPECT_EQ(EncodeSpeedMeter(-1, 8), 0xC8); // no selection goes out like "By Motor Phase"
    EXPECT_EQ(EncodeSpeedMeter(-1, 0), 0xC0);

    int type = 0, sig = 0;
    DecodeSpeedMeter(0x88, type, sig);
    EXPECT_EQ(type, 2);
    EXPECT_EQ(sig, 8);
    DecodeSpeedMeter(0xC8, type, sig);
    EXPECT_EQ(type, 2);
    EXPECT_EQ(sig, 8);
    DecodeSpeedMeter(0x7F, type, sig);
    EXPECT_EQ(type, 1);
    EXPECT_EQ(sig, 63);
    DecodeSpeedMeter(0x00, type, sig);
    EXPECT_EQ(type, 0);
    EXPECT_EQ(sig, 0);
}

TEST(PedalAssist, SpecialItemsAndFormulas)
{
    PedalAssistSettings s{1, 0, 0, 30, 0, 12, 0, 5, 4, 6, 70};
    auto d = EncodePedalAssist(s);
    const std::uint8_t expected[11] = {1, 0xFF, 0xFF, 30, 1, 12, 0xFF, 5, 4, 6, 70};
    for (std::size_t i = 0; i < 11; ++i)
        EXPECT_EQ(d[i], expected[i]) << "byte " << i;

    s.cbbPASDesigAssist = 1;   // "0"
    s.cbbPASSpdLim = 11;       // "25km/h"
    s.cbbPASWorkMode = 1;      // "10"
    s.cbbPASSlowStartMode = 7; // "8"
    d = EncodePedalAssist(s);
    EXPECT_EQ(d[1], 0);
    EXPECT_EQ(d[2], 25);
    EXPECT_EQ(d[4], 8);
    EXPECT_EQ(d[6], 10);
    s.cbbPASDesigAssist = 10;
    s.cbbPASWorkMode = 71;
    d = EncodePedalAssist(s);
    EXPECT_EQ(d[1], 9);
    EXPECT_EQ(d[6], 80);
}

TEST(PedalAssist, NoSelectionEncodings)
{
    PedalAssistSettings s; // every list at -1
    auto d = EncodePedalAssist(s);
    EXPECT_EQ(d[0], 0xFF);
    EXPECT_EQ(d[1], 0xFE);
    EXPECT_EQ(d[2], 13);
    EXPECT_EQ(d[4], 0);
    EXPECT_EQ(d[6], 8);
}

TEST(PedalAssist, DecodeListsAndUnknownBytes)
{
    auto r = DecodePedalAssist(Chunk({0x53, 0x00, 3, 0xFF, 0xFF, 20, 1, 12, 0xFF, 5, 4, 6, 70}));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->cbbPASPedalSensType, 3);
    EXPECT_EQ(r->cbbPASDesigAssist, 0);
    EXPECT_EQ(r->cbbPASSpdLim, 0);
    EXPECT_EQ(r->spePASStartCurr, 20);
    EXPECT_EQ(r->cbbPASSlowStartMode, 0);
    EXPECT_EQ(r->spePASStartDeg, 12);
    EXPECT_EQ(r->cbbPASWorkMode, 0);
    EXPECT_EQ(r->spePASStopDelay, 5);
    EXPECT_EQ(r->spePASCurrDecay, 4);
    EXPECT_EQ(r->spePASStopDecay, 6);
    EXPECT_EQ(r->spePASKeepCurr, 70);

    r = DecodePedalAssist(Chunk({0x53, 0x00, 1, 9, 25, 20, 8, 12, 80, 5, 4, 6, 70}));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->cbbPASDesigAssist, 10);
    EXPECT_EQ(r->cbbPASSpdLim, 11);
    EXPECT_EQ(r->cbbPASSlowStartMode, 7);
    EXPECT_EQ(r->cbbPASWorkMode, 71);

    // Bytes without a list item leave the list unselected. 14 km/h and work mode 9 must not
    // turn into the display's command, which would be written back as 0xFF.
    r = DecodePedalAssist(Chunk({0x53, 0x00, 4, 10, 41, 20, 0, 12, 81, 5, 4, 6, 70}));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->cbbPASPedalSensType, -1);
    EXPECT_EQ(r->cbbPASDesigAssist, -1);
    EXPECT_EQ(r->cbbPASSpdLim, -1);
    EXPECT_EQ(r->cbbPASSlowStartMode, -1);
    EXPECT_EQ(r->cbbPASWorkMode, -1);
    r = DecodePedalAssist(Chunk({0x53, 0x00, 0, 0, 14, 20, 9, 12, 9, 5, 4, 6, 70}));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->cbbPASSpdLim, -1);
    EXPECT_EQ(r->cbbPASSlowStartMode, -1);
    EXPECT_EQ(r->cbbPASWorkMode, -1);
}

TEST(Throttle, EncodeDecode)
{
    ThrottleSettings s; // no selection anywhere
    auto d = EncodeThrottle(s);
    EXPECT_EQ(d[2], 0xFF);
    EXPECT_EQ(d[3], 0xFE);
    EXPECT_EQ(d[4], 13);

    auto r = DecodeThrottle(Chunk({0x54, 0x06, 11, 35, 1, 0xFF, 25, 10}));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->speThrStartVolt, 11);
    EXPECT_EQ(r->speThrEndVolt, 35);
    EXPECT_EQ(r->cbbThrMode, 1);
    EXPECT_EQ(r->cbbThrAssistLvl, 0);
    EXPECT_EQ(r->edThrSpeedLim, 11);
    EXPECT_EQ(r->speThrStartCurr, 10);

    r = DecodeThrottle(Chunk({0x54, 0x06, 11, 35, 2, 10, 41, 10}));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->cbbThrMode, -1);
    EXPECT_EQ(r->cbbThrAssistLvl, -1);
    EXPECT_EQ(r->edThrSpeedLim, -1);
}

TEST(Decoders, ShortChunksGiveNothingLongerOnesIgnoreExtra)
{
    EXPECT_FALSE(DecodeBasic(Chunk({0x52}, 25)));
    EXPECT_TRUE(DecodeBasic(Chunk({0x52}, 26)));
    EXPECT_FALSE(DecodePedalAssist(Chunk({0x53}, 12)));
    EXPECT_TRUE(DecodePedalAssist(Chunk({0x53}, 13)));
    EXPECT_FALSE(DecodeThrottle(Chunk({0x54}, 7)));
    EXPECT_FALSE(DecodeInfoReply(Chunk({0x51}, 17)));
    EXPECT_TRUE(DecodeInfoReply(Chunk({0x51}, 18)));
    EXPECT_FALSE(WriteAckResult(Chunk({0x52})));
    EXPECT_FALSE(WriteAckResult({}));

    auto r = DecodeThrottle(Chunk({0x54, 0x00, 1, 2, 0, 0xFF, 0xFF, 3, 99, 99, 99}));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->speThrStartCurr, 3);
    EXPECT_EQ(WriteAckResult(Chunk({0x53, 0x03, 0x77})), 3);
}

TEST(Identification, LabelTexts)
{
    Bytes b = Chunk({0x51, 0x00, 'Z', 'E', 'L', 'B', 'M', '1', 0, 'X', '1', '2', '2', '0', '1', '5', 2, 25});
    auto info = DecodeInfoReply(b);
    ASSERT_TRUE(info);
    EXPECT_EQ(ManufacturerText(*info), "ZELB");
    EXPECT_EQ(ModelText(*info), "M1"); // cut before the zero byte
    EXPECT_EQ(info->model.size(), 4u);
    EXPECT_EQ(HardwareVersionText(*info), "V1.2");
    EXPECT_EQ(FirmwareVersionText(*info), "V2.0.1.5");
    EXPECT_EQ(NominalVoltageText(*info), "48V");
    EXPECT_EQ(MaxCurrentText(*info), "25A");

    b[13] = 0; // zero in the second firmware character
    b[2] = 0;
    info = DecodeInfoReply(b);
    EXPECT_EQ(FirmwareVersionText(*info), "V2.");
    EXPECT_EQ(ManufacturerText(*info), "");

    b[16] = 9;
    b[17] = 0;
    info = DecodeInfoReply(b);
    EXPECT_EQ(NominalVoltageText(*info), "24-60V");
    EXPECT_EQ(MaxCurrentText(*info), "0A");
}

TEST(Identification, VoltageRows)
{
    auto list48 = NominalVoltageRowForCode(2).LowBatteryList();
    EXPECT_EQ(list48, (std::vector<int>{38, 39, 40, 41, 42, 43}));
    const auto& other = NominalVoltageRowForCode(9);
    EXPECT_STREQ(other.text, "24-60V");
    auto all = other.LowBatteryList();
    ASSERT_EQ(all.size(), 38u);
    EXPECT_EQ(all.front(), 18);
    EXPECT_EQ(all.back(), 55);
    EXPECT_STREQ(NominalVoltageRowForCode(4).text, "24-48V");
    EXPECT_STREQ(NominalVoltageRowForCode(255).text, "24-60V");

    ASSERT_NE(NominalVoltageRowForText("60V"), nullptr);
    EXPECT_EQ(NominalVoltageRowForText("60V")->lowVolts, 48);
    EXPECT_EQ(NominalVoltageRowForText("48v"), nullptr); // exact comparison
    EXPECT_EQ(NominalVoltageRowForText(""), nullptr);
}

TEST(Identification, CopyCharsStaysInsideBuffer)
{
    Bytes b = Chunk({'a', 'b', 'c', 'd', 'e'});
    EXPECT_EQ(CopyChars(b, 1, 2), "bc");
    EXPECT_EQ(CopyChars(b, 3, 10), "de");
    EXPECT_EQ(CopyChars(b, 2, 0), "cde");
    EXPECT_EQ(CopyChars(b, 5, 1), "");
    EXPECT_EQ(CopyChars(b, 99, 0), "");
    EXPECT_EQ(CopyChars({}, 0, 0), "");
}

TEST(Acknowledgements, Tables)
{
    auto basic = AckTable(bcBasic);
    ASSERT_EQ(basic.size(), 24u);
    EXPECT_STREQ(basic[0].key, "err8");
    EXPECT_STREQ(basic[2].control, "speBasAssist0CurrLim");
    EXPECT_STREQ(basic[3].key, "err20");
    EXPECT_STREQ(basic[3].control, "speBasAssist0SpdLim");
    EXPECT_STREQ(basic[4].key, "err11");
    EXPECT_STREQ(basic[21].key, "err29");
    EXPECT_STREQ(basic[21].control, "speBasAssist9SpdLim");
    EXPECT_STREQ(basic[22].control, "cbbBasWheelDiam");
    EXPECT_STREQ(basic[23].key, "err31");
    EXPECT_STREQ(basic[23].control, "speBasSpdMtrSig");
    for (const auto& f : basic) {
        EXPECT_EQ(f.page, 0);
        EXPECT_STRNE(f.control, "cbbBasSpdMtrType");
    }

    auto pas = AckTable(bcPedalAssist);
    ASSERT_EQ(pas.size(), 11u);
    EXPECT_STREQ(pas[3].key, "err37");
    EXPECT_STREQ(pas[3].control, "spePASStartCurr");
    EXPECT_STREQ(pas[10].key, "err44");
    EXPECT_EQ(pas[0].page, 1);

    auto thr = AckTable(bcThrottle);
    ASSERT_EQ(thr.size(), 6u);
    EXPECT_STREQ(thr[2].key, "err50");
    EXPECT_STREQ(thr[2].control, "cbbThrMode");
    EXPECT_EQ(thr[5].page, 2);

    EXPECT_TRUE(AckTable(bcIdentify).empty());
    EXPECT_TRUE(AckTable(0x00).empty());
}

TEST(Lists, ItemsInWireOrder)
{
    auto assist = AssistLevelItems();
    ASSERT_EQ(assist.size(), 11u);
    EXPECT_EQ(assist[0], "By Display's Command");
    EXPECT_EQ(assist[1], "0");
    auto speed = SpeedLimitItems();
    ASSERT_EQ(speed.size(), 27u);
    EXPECT_EQ(speed[11], "25km/h");
    EXPECT_EQ(speed[26], "40km/h");
    auto work = WorkModeItems();
    ASSERT_EQ(work.size(), 72u);
    EXPECT_EQ(work[0], "Undeterminated");
    EXPECT_EQ(work[71], "80");
    EXPECT_EQ(SlowStartItems().size(), 8u);
    EXPECT_STREQ(kWheelItems[12], "700C");
    EXPECT_STREQ(kWheelItems[13], "28");
}
