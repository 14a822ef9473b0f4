// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt-free reply decoders on arbitrary chunks. libFuzzer hands over the input in a heap block of
// exactly its size, so a decoder that reads one byte past the chunk is caught.
//
// Besides memory safety the target checks what the window relies on:
//  - a decoder gives a record exactly when the chunk reaches its last offset;
//  - decoding is stable: a decoded record, encoded and decoded again, is the same record
//    (so a value read from the controller goes back out unchanged on the next write);
//  - the encoders take any integers the records can hold without undefined behaviour.
#include "common/Errors.h"
#include "protocol/Communication.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <span>

using namespace zelbor;

namespace {

void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "protocol fuzz: %s\n", what);
        std::abort();
    }
}

// A read reply as the controller sends it: block code, one uninterpreted byte, the data bytes.
template <std::size_t N>
Bytes Reply(std::uint8_t code, const std::array<std::uint8_t, N>& data)
{
    Bytes b = {code, 0x00};
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

// The next four input bytes as an int (zero once the input runs out).
int NextInt(std::span<const std::uint8_t>& in)
{
    std::uint32_t v = 0;
    const std::size_t n = std::min<std::size_t>(4, in.size());
    std::memcpy(&v, in.data(), n);
    in = in.subspan(n);
    return static_cast<int>(v);
}

void CheckDecoders(std::span<const std::uint8_t> chunk)
{
    const auto basic = DecodeBasic(chunk);
    Require(basic.has_value() == (chunk.size() >= kBasicReplyMinLength), "Basic length rule");
    if (basic && basic->cbbBasWheelDiam >= 0) {
        const auto again = DecodeBasic(Reply(bcBasic, EncodeBasic(*basic)));
        Require(again && *again == *basic, "Basic record changes on its way back out");
    }

    const auto pedal = DecodePedalAssist(chunk);
    Require(pedal.has_value() == (chunk.size() >= kPedalAssistReplyMinLength), "Pedal Assist length rule");
    if (pedal) {
        const auto again = DecodePedalAssist(Reply(bcPedalAssist, EncodePedalAssist(*pedal)));
        Require(again && *again == *pedal, "Pedal Assist record changes on its way back out");
    }

    const auto throttle = DecodeThrottle(chunk);
    Require(throttle.has_value() == (chunk.size() >= kThrottleReplyMinLength), "Throttle length rule");
    if (throttle) {
        const auto again = DecodeThrottle(Reply(bcThrottle, EncodeThrottle(*throttle)));
        Require(again && *again == *throttle, "Throttle record changes on its way back out");
    }

    const auto info = DecodeInfoReply(chunk);
    Require(info.has_value() == (chunk.size() >= kInfoReplyMinLength), "identification length rule");
    if (info) {
        Require(ManufacturerText(*info).size() <= 4 && ModelText(*info).size() <= 4, "name texts too long");
        Require(HardwareVersionText(*info).size() <= 4 && FirmwareVersionText(*info).size() <= 8,
                "version texts too long");
        Require(NominalVoltageRowForText(NominalVoltageText(*info)) != nullptr, "nominal voltage not in the table");
        Require(MaxCurrentText(*info).back() == 'A', "maximum current text");
    }

    const auto ack = WriteAckResult(chunk);
    Require(ack.has_value() == (chunk.size() >= kWriteAckMinLength), "acknowledgement length rule");
    if (ack)
        Require(*ack == chunk[1], "acknowledgement result is byte 1");

    if (!chunk.empty()) {
        const std::size_t rows = AckTable(chunk[0]).size();
        Require(rows == 0 || rows == kBasicDataBytes || rows == kPedalAssistDataBytes || rows == kThrottleDataBytes,
                "acknowledgement table size");
    }
}

void CheckSmallRules(std::span<const std::uint8_t> chunk)
{
    for (std::uint8_t b : chunk.first(std::min<std::size_t>(chunk.size(), 16))) {
        const int wheel = DecodeWheel(b);
        if (wheel >= 0)
            Require(DecodeWheel(EncodeWheel(wheel)) == wheel, "wheel item changes on its way back out");
        int type = -1, signals = -1;
        DecodeSpeedMeter(b, type, signals);
        int type2 = -1, signals2 = -1;
        DecodeSpeedMeter(EncodeSpeedMeter(type, signals), type2, signals2);
        Require(type == type2 && signals == signals2, "speed meter changes on its way back out");
    }

    if (chunk.size() >= 2) {
        const std::size_t start = chunk[0] % 32, count = chunk[1] % 32;
        const std::string text = CopyChars(chunk, start, count);
        const std::size_t available = start < chunk.size() ? chunk.size() - start : 0;
        const std::size_t expected = (count == 0 || count > available) ? available : count;
        Require(text.size() == expected, "CopyChars length");
        if (expected > 0)
            Require(std::memcmp(text.data(), chunk.data() + start, expected) == 0, "CopyChars content");
    }

    if (!chunk.empty() && chunk.size() <= 255) {
        const Bytes frame = WriteFrame(chunk[0], chunk.subspan(1));
        Require(frame.size() == chunk.size() + 3, "write frame length");
        Require(frame.back() == CheckByte(std::span(frame).subspan(1, frame.size() - 2)), "check byte");
    }
}

// Records with arbitrary integers: the encoders promise the low 8 bits of whatever they are given.
void CheckEncodersTakeAnyInteger(std::span<const std::uint8_t> in)
{
    BasicSettings b;
    b.cbbBasLowBat = NextInt(in);
    b.speBasCurrLim = NextInt(in);
    for (auto& v : b.speBasAssistCurrLim)
        v = NextInt(in);
    for (auto& v : b.speBasAssistSpdLim)
        v = NextInt(in);
    b.cbbBasWheelDiam = NextInt(in);
    b.cbbBasSpdMtrType = NextInt(in);
    b.speBasSpdMtrSig = NextInt(in);
    try {
        (void)EncodeBasic(b);
    } catch (const EConvertError&) {
        // no wheel item selected: the window reports this
    }

    PedalAssistSettings p;
    for (int* f : {&p.cbbPASPedalSensType, &p.cbbPASDesigAssist, &p.cbbPASSpdLim, &p.spePASStartCurr,
                   &p.cbbPASSlowStartMode, &p.spePASStartDeg, &p.cbbPASWorkMode, &p.spePASStopDelay, &p.spePASCurrDecay,
                   &p.spePASStopDecay, &p.spePASKeepCurr})
        *f = NextInt(in);
    (void)EncodePedalAssist(p);

    ThrottleSettings t;
    for (int* f : {&t.speThrStartVolt, &t.speThrEndVolt, &t.cbbThrMode, &t.cbbThrAssistLvl, &t.edThrSpeedLim,
                   &t.speThrStartCurr})
        *f = NextInt(in);
    (void)EncodeThrottle(t);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> chunk(data, size);
    CheckDecoders(chunk);
    CheckSmallRules(chunk);
    CheckEncodersTakeAnyInteger(chunk);
    return 0;
}
