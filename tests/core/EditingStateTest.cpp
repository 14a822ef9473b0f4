// SPDX-License-Identifier: GPL-3.0-or-later
// The editing state without a window: what a value becomes when it arrives from a read, a
// profile, the user or an identification, and what the controller's side says about it.
#include "common/Errors.h"
#include "editing/EditingState.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace zelbor;

namespace {

const ParameterField& F(const char* control) { return *FindParameter(control); }

ControllerInfo Info(std::uint8_t nominalCode, std::uint8_t maxCurrent)
{
    ControllerInfo info;
    info.nominalVoltageCode = nominalCode;
    info.maxCurrent = maxCurrent;
    return info;
}

// A read reply of `block` with these data bytes, as the transfer sequence hands it on.
void Read(TEditingState& state, std::uint8_t block, const Bytes& data)
{
    Bytes reply{block, static_cast<std::uint8_t>(data.size())};
    reply.insert(reply.end(), data.begin(), data.end());
    ParameterValues values;
    ASSERT_TRUE(DecodeBlock(block, reply, values));
    state.ApplyRead(block, values);
}

// Basic data: low battery, current limit, the assist levels at 50 % and 90 %, wheel, speed meter.
Bytes BasicData(std::uint8_t volts, std::uint8_t current, std::uint8_t wheel, std::uint8_t speedMeter)
{
    Bytes d(kBasicDataBytes, 50);
    std::fill(d.begin() + 12, d.begin() + 22, 90);
    d[0] = volts;
    d[1] = current;
    d[22] = wheel;
    d[23] = speedMeter;
    return d;
}

} // namespace

TEST(EditingState, AReadHoldsSpinValuesInRangeKeepsListBytesAndShowsOnlyProposedVolts)
{
    TEditingState state;
    state.SetText(F("cbbBasLowBat"), "39");
    state.Identify(Info(2, 20)); // 48 V: 38..43 proposed; at most 20 A

    const Bytes basic = BasicData(41, 25, 53, 0x85); // 53 half inches shows "27"; type code 2
    Read(state, bcBasic, basic);
    EXPECT_EQ(state.Text(F("cbbBasLowBat")), "41");
    EXPECT_EQ(state.Value(F("speBasCurrLim")), 20);
    EXPECT_EQ(state.Value(F("cbbBasWheelDiam")), 11);
    EXPECT_EQ(state.Kept(F("cbbBasWheelDiam")), KeptByte{53});
    EXPECT_EQ(state.Reported(bcBasic)->basic.speBasCurrLim, 25); // as reported, unlimited
    // Written straight back, the kept bytes give the block as read, except the limited current.
    Bytes back = basic;
    back[1] = 20;
    EXPECT_EQ(EncodeBlock(bcBasic, state.Values(bcBasic)), back);

    // Volts it does not propose leave the text; the other blocks were not touched.
    Read(state, bcBasic, BasicData(30, 10, 52, 0x05));
    EXPECT_EQ(state.Text(F("cbbBasLowBat")), "41");
    EXPECT_EQ(state.Kept(F("cbbBasWheelDiam")), KeptByte{});
    EXPECT_EQ(state.Value(F("cbbPASWorkMode")), -1);
    EXPECT_FALSE(state.Reported(bcPedalAssist));

    // A Pedal Assist byte beyond a spin field's range is held at its bound.
    Read(state, bcPedalAssist, {0, 0xFF, 14, 90, 0, 1, 0xFF, 0, 200, 0, 100});
    EXPECT_EQ(state.Value(F("spePASStartCurr")), 60);
    EXPECT_EQ(state.Value(F("spePASCurrDecay")), 8);
    EXPECT_EQ(state.Value(F("cbbPASWorkMode")), 0);

    // Without an identification a Basic read proposes nothing, and no typed value is adjusted.
    TEditingState unidentified;
    Read(unidentified, bcBasic, BasicData(20, 10, 52, 0x05));
    EXPECT_TRUE(unidentified.OfferedVolts().empty());
    EXPECT_EQ(unidentified.Text(F("cbbBasLowBat")), "");
    unidentified.SetText(F("cbbBasLowBat"), "99");
    unidentified.AdjustText(F("cbbBasLowBat"));
    EXPECT_EQ(unidentified.Text(F("cbbBasLowBat")), "99");
}

TEST(EditingState, AProfileIsHeldInRangeWithItsOwnListEncodingAndItsVoltsAsStored)
{
    TEditingState state;
    state.Identify(Info(2, 15));
    Read(state, bcBasic, BasicData(41, 10, 250, 0x05)); // a wheel byte without an item: kept
    ASSERT_TRUE(state.Kept(F("cbbBasWheelDiam")));

    ParameterValues profile;
    F("cbbBasLowBat").Value(profile) = 10;
    F("speBasCurrLim").Value(profile) = 20;
    F("cbbBasWheelDiam").Value(profile) = 16;
    F("spePASStopDelay").Value(profile) = -5;
    F("cbbThrMode").Value(profile) = 1;
    state.ApplyProfile(profile);
    EXPECT_EQ(state.Text(F("cbbBasLowBat")), "10"); // not among 38..43, and not adjusted
    EXPECT_EQ(state.Value(F("speBasCurrLim")), 15); // the controller's maximum current
    EXPECT_EQ(state.Value(F("cbbBasWheelDiam")), -1);
    EXPECT_EQ(state.Kept(F("cbbBasWheelDiam")), KeptByte{});
    EXPECT_EQ(state.Value(F("spePASStopDelay")), 0);
    EXPECT_EQ(state.Value(F("cbbThrMode")), 1);
    EXPECT_EQ(state.Reported(bcBasic)->basic.cbbBasLowBat, 41); // the controller's side stays
    // No wheel and no byte kept: nothing to encode, and no profile to write either.
    EXPECT_THROW(EncodeBlock(bcBasic, state.Values(bcBasic)), EConvertError);
}

TEST(EditingState, TheUsersValuesAndTheLowBatteryAdjustment)
{
    TEditingState state;
    const ParameterField& volts = F("cbbBasLowBat");
    EXPECT_EQ(state.OfferedVolts(), (std::vector<int>{18, 19, 20, 21, 22}));
    state.SetValue(F("speBasSpdMtrSig"), 99);
    EXPECT_EQ(state.Value(F("speBasSpdMtrSig")), 36);
    state.SetValue(F("cbbPASSpdLim"), 27); // no such item
    EXPECT_EQ(state.Value(F("cbbPASSpdLim")), -1);

    // Typed text is taken as it is; the adjustment brings a number into the proposed volts.
    const std::pair<const char*, const char*> adjusted[] = {{"205", "22"}, {"5", "18"},    {"20", "20"},
                                                            {"", ""},      {"0x10", "18"}, {"+23", "22"}};
    for (const auto& [typed, shown] : adjusted) {
        state.SetText(volts, typed);
        EXPECT_EQ(state.Text(volts), typed);
        state.AdjustText(volts);
        EXPECT_EQ(state.Text(volts), shown) << typed;
    }
    // Text that is no number: the adjustment and every taking of the values fail, nothing changes.
    for (const char* text : {"1x", ""}) {
        state.SetText(volts, text);
        if (*text) {
            EXPECT_THROW(state.AdjustText(volts), EConvertError);
        }
        EXPECT_EQ(state.Text(volts), text);
        EXPECT_THROW(state.Values(), EConvertError);
        EXPECT_THROW(state.Values(bcBasic), EConvertError);
        EXPECT_NO_THROW(state.Values(bcThrottle));
    }
    EXPECT_TRUE(TEditingState::AcceptsVoltsKey(U'7'));
    EXPECT_TRUE(TEditingState::AcceptsVoltsKey(8)); // Backspace
    for (char32_t key : {U'a', U'-', U'.', U'+', U' ', U'\u0663'})
        EXPECT_FALSE(TEditingState::AcceptsVoltsKey(key));
}

TEST(EditingState, AnIdentificationBoundsTheCurrentLimitAndProposesItsVolts)
{
    TEditingState state;
    const ParameterField& limit = F("speBasCurrLim");
    state.SetText(F("cbbBasLowBat"), "10");
    state.SetValue(limit, 20);
    state.Identify(Info(9, 30)); // an unknown code proposes 18..55
    EXPECT_EQ(state.Range(limit), (TFieldRange{1, 30}));
    EXPECT_EQ(state.Range(F("cbbBasLowBat")), (TFieldRange{18, 55}));
    EXPECT_EQ(state.Text(F("cbbBasLowBat")), "10");
    state.SetValue(limit, 28);
    EXPECT_EQ(state.Value(limit), 28); // above the design's 25 A

    state.Identify(Info(0, 15));
    EXPECT_EQ(state.Value(limit), 15);
    state.Identify(Info(0, 0)); // no range holds a bound below 1 A: the range stays
    EXPECT_EQ(state.Range(limit), (TFieldRange{1, 15}));
    EXPECT_EQ(state.Value(limit), 15);
    EXPECT_EQ(state.Identification()->maxCurrent, 0);
}

TEST(EditingState, TheControllersSideSaysWhatDiffersAndWhatAProfileOfItHolds)
{
    TEditingState state;
    for (const ParameterField& f : ParameterTable())
        EXPECT_FALSE(state.DiffersFromController(f)) << f.control; // nothing read yet
    state.Identify(Info(2, 20));
    Read(state, bcBasic, BasicData(30, 25, 53, 0x85));  // 30 V not proposed; 25 A above 20
    Read(state, bcThrottle, {11, 35, 7, 0xFF, 10, 10}); // mode byte 7 has no item
    std::vector<std::string> differing;
    for (const ParameterField& f : ParameterTable())
        if (state.DiffersFromController(f))
            differing.push_back(f.control);
    // The text kept instead of 30 V, and the current limit held at 20 A.
    EXPECT_EQ(differing, (std::vector<std::string>{"cbbBasLowBat", "speBasCurrLim"}));

    // Picking the item a kept byte shows writes that item's byte: it differs from then on.
    state.SetValue(F("cbbBasWheelDiam"), state.Value(F("cbbBasWheelDiam")));
    EXPECT_TRUE(state.DiffersFromController(F("cbbBasWheelDiam")));
    state.SetValue(F("speThrStartVolt"), 12);
    EXPECT_TRUE(state.DiffersFromController(F("speThrStartVolt")));
    state.SetValue(F("speThrStartVolt"), 11);
    EXPECT_FALSE(state.DiffersFromController(F("speThrStartVolt")));
    state.SetText(F("cbbBasLowBat"), "");
    EXPECT_TRUE(state.DiffersFromController(F("cbbBasLowBat")));

    const ParameterValues asFound = state.ReportedAsProfile();
    EXPECT_EQ(asFound.basic.cbbBasLowBat, 30); // as reported, although not proposed
    EXPECT_EQ(asFound.basic.speBasCurrLim, 20);
    EXPECT_EQ(asFound.basic.cbbBasWheelDiam, 11);
    EXPECT_EQ(asFound.throttle.cbbThrMode, -1);
    EXPECT_EQ(asFound.throttle.speThrEndVolt, 35);
    EXPECT_EQ(asFound.pedalAssist, PedalAssistSettings{}); // not read
    EXPECT_EQ(asFound.basic.kept, BasicKeptBytes{});
}

TEST(EditingState, ListenersHearEachChangeWithItsSourceAndFields)
{
    TEditingState state;
    std::vector<TEditingChange> heard;
    const std::size_t id = state.AddListener([&](const TEditingChange& c) { heard.push_back(c); });

    state.SetValue(F("spePASKeepCurr"), 40);
    state.SetValue(F("spePASKeepCurr"), 40); // nothing changes: nothing heard
    state.SetText(F("cbbBasLowBat"), "20");
    state.AdjustText(F("cbbBasLowBat")); // within the proposals: unchanged
    state.Identify(Info(2, 20));
    Read(state, bcThrottle, {11, 35, 1, 0xFF, 10, 10});
    state.ApplyProfile(ParameterValues{});
    ASSERT_EQ(heard.size(), 5u);
    EXPECT_EQ(heard[0].source, TEditSource::User);
    EXPECT_EQ(heard[0].fields, std::vector<const ParameterField*>{&F("spePASKeepCurr")});
    EXPECT_EQ(heard[1].fields, std::vector<const ParameterField*>{&F("cbbBasLowBat")});
    EXPECT_EQ(heard[2].source, TEditSource::Identification);
    EXPECT_EQ(heard[3].source, TEditSource::Read);
    EXPECT_EQ(heard[3].block, bcThrottle);
    EXPECT_EQ(heard[3].fields, BlockFields(bcThrottle));
    EXPECT_EQ(heard[4].source, TEditSource::Profile);
    EXPECT_EQ(heard[4].fields.size(), ParameterTable().size());

    state.RemoveListener(id);
    state.SetValue(F("spePASKeepCurr"), 41);
    EXPECT_EQ(heard.size(), 5u);
}
