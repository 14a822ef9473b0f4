// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/Communication.h"

#include "protocol/Parameters.h"

#include <algorithm>

namespace zelbor {

namespace {

std::uint8_t Low8(unsigned v) { return static_cast<std::uint8_t>(v & 0xFFu); }

std::vector<std::string> Numbered(std::string first, int from, int to, const char* suffix)
{
    std::vector<std::string> items;
    if (!first.empty())
        items.push_back(std::move(first));
    for (int i = from; i <= to; ++i)
        items.push_back(std::to_string(i) + suffix);
    return items;
}

const ParameterField& Field(const char* control) { return *FindParameter(control); }

// A read reply holds the block code, one byte not read, and the data bytes.
static_assert(kBasicReplyMinLength == 2 + kBasicDataBytes);
static_assert(kPedalAssistReplyMinLength == 2 + kPedalAssistDataBytes);
static_assert(kThrottleReplyMinLength == 2 + kThrottleDataBytes);

} // namespace

// ---------------------------------------------------------------- frames

std::uint8_t CheckByte(std::span<const std::uint8_t> bytes)
{
    unsigned sum = 0;
    for (std::uint8_t b : bytes)
        sum += b;
    return static_cast<std::uint8_t>(sum & 0xFFu);
}

Bytes ReadRequest(std::uint8_t blockCode) { return {kCmdRead, blockCode}; }

Bytes IdentifyRequest()
{
    Bytes f{kCmdRead, bcIdentify, 0x04, 0xB0};
    f.push_back(CheckByte(std::span(f).subspan(1)));
    return f;
}

Bytes WriteFrame(std::uint8_t blockCode, std::span<const std::uint8_t> data)
{
    Bytes f(data.size() + 4);
    f[0] = kCmdWrite;
    f[1] = blockCode;
    f[2] = Low8(static_cast<unsigned>(data.size()));
    std::copy(data.begin(), data.end(), f.begin() + 3);
    f.back() = CheckByte(std::span(f).subspan(1, data.size() + 2));
    return f;
}

// ---------------------------------------------------------------- lists

const std::array<const char*, 16> kWheelItems = {"16", "17", "18", "19", "20",   "21", "22", "23",
                                                 "24", "25", "26", "27", "700C", "28", "29", "30"};
const std::array<const char*, 3> kSpeedMeterItems = {"External, Wheel Meter", "Internal, Motor Meter",
                                                     "By Motor Phase"};
const std::array<const char*, 4> kPedalSensorItems = {"None", "DH-Sensor-12", "BB-Sensor-32", "DoubleSignal-24"};
const std::array<const char*, 2> kThrottleModeItems = {"Speed", "Current"};

std::vector<std::string> AssistLevelItems() { return Numbered("By Display's Command", 0, 9, ""); }
std::vector<std::string> SpeedLimitItems() { return Numbered("By Display's Command", 15, 40, "km/h"); }
std::vector<std::string> SlowStartItems() { return Numbered("", 1, 8, ""); }
std::vector<std::string> WorkModeItems() { return Numbered("Undeterminated", 10, 80, ""); }

// ---------------------------------------------------------------- wheel and speed meter

std::uint8_t EncodeWheel(int wheelIndex) { return Low8(Field("cbbBasWheelDiam").ItemBits(wheelIndex)); }

int DecodeWheel(std::uint8_t v) { return Field("cbbBasWheelDiam").ItemIndex(v); }

std::uint8_t EncodeSpeedMeter(int typeIndex, int signalCount)
{
    const ParameterField& type = Field("cbbBasSpdMtrType");
    return Low8((type.ItemBits(typeIndex) << type.shift) + static_cast<unsigned>(signalCount));
}

void DecodeSpeedMeter(std::uint8_t v, int& typeIndex, int& signalCount)
{
    const ParameterField& type = Field("cbbBasSpdMtrType");
    const ParameterField& signals = Field("speBasSpdMtrSig");
    typeIndex = type.ItemIndex((v >> type.shift) & type.Mask());
    signalCount = static_cast<int>((v >> signals.shift) & signals.Mask());
}

// ---------------------------------------------------------------- encoders and decoders

namespace {

template <std::size_t N>
std::array<std::uint8_t, N> Encoded(std::uint8_t code, const ParameterValues& values)
{
    const Bytes data = EncodeBlock(code, values);
    std::array<std::uint8_t, N> out{};
    std::copy_n(data.begin(), N, out.begin());
    return out;
}

} // namespace

std::array<std::uint8_t, kBasicDataBytes> EncodeBasic(const BasicSettings& s)
{
    ParameterValues v;
    v.basic = s;
    return Encoded<kBasicDataBytes>(bcBasic, v);
}

std::array<std::uint8_t, kPedalAssistDataBytes> EncodePedalAssist(const PedalAssistSettings& s)
{
    ParameterValues v;
    v.pedalAssist = s;
    return Encoded<kPedalAssistDataBytes>(bcPedalAssist, v);
}

std::array<std::uint8_t, kThrottleDataBytes> EncodeThrottle(const ThrottleSettings& s)
{
    ParameterValues v;
    v.throttle = s;
    return Encoded<kThrottleDataBytes>(bcThrottle, v);
}

std::optional<BasicSettings> DecodeBasic(std::span<const std::uint8_t> b)
{
    ParameterValues v;
    if (!DecodeBlock(bcBasic, b, v))
        return std::nullopt;
    return v.basic;
}

std::optional<PedalAssistSettings> DecodePedalAssist(std::span<const std::uint8_t> b)
{
    ParameterValues v;
    if (!DecodeBlock(bcPedalAssist, b, v))
        return std::nullopt;
    return v.pedalAssist;
}

std::optional<ThrottleSettings> DecodeThrottle(std::span<const std::uint8_t> b)
{
    ParameterValues v;
    if (!DecodeBlock(bcThrottle, b, v))
        return std::nullopt;
    return v.throttle;
}

// ---------------------------------------------------------------- nominal voltage

std::vector<int> NominalVoltageRow::LowBatteryList() const
{
    std::vector<int> volts;
    for (int v = lowVolts; v <= highVolts; ++v)
        volts.push_back(v);
    return volts;
}

const std::array<NominalVoltageRow, 6> NominalVoltageTable = {{
    {0, "24V", 18, 22},
    {1, "36V", 28, 32},
    {2, "48V", 38, 43},
    {3, "60V", 48, 55},
    {4, "24-48V", 18, 43},
    {-1, "24-60V", 18, 55},
}};

const NominalVoltageRow& NominalVoltageRowForCode(std::uint8_t code)
{
    return code <= 4 ? NominalVoltageTable[code] : NominalVoltageTable[5];
}

const NominalVoltageRow* NominalVoltageRowForText(const std::string& text)
{
    for (const auto& row : NominalVoltageTable)
        if (text == row.text)
            return &row;
    return nullptr;
}

// ---------------------------------------------------------------- identification

std::string CopyChars(std::span<const std::uint8_t> buffer, std::size_t start, std::size_t count)
{
    if (start >= buffer.size())
        return {};
    std::size_t available = buffer.size() - start;
    std::size_t n = (count == 0 || count > available) ? available : count;
    return std::string(reinterpret_cast<const char*>(buffer.data() + start), n);
}

std::optional<ControllerInfo> DecodeInfoReply(std::span<const std::uint8_t> b)
{
    if (b.size() < kInfoReplyMinLength)
        return std::nullopt;
    ControllerInfo info;
    info.manufacturer = CopyChars(b, 2, 4);
    info.model = CopyChars(b, 6, 4);
    info.hardwareVersion = CopyChars(b, 10, 2);
    info.firmwareVersion = CopyChars(b, 12, 4);
    info.nominalVoltageCode = b[16];
    info.maxCurrent = b[17];
    return info;
}

namespace {

std::string CutAtZero(std::string s)
{
    auto z = s.find('\0');
    if (z != std::string::npos)
        s.resize(z);
    return s;
}

// "V" followed by the characters, dot-separated.
std::string VersionText(const std::string& chars)
{
    std::string out = "V";
    for (std::size_t i = 0; i < chars.size(); ++i) {
        if (i > 0)
            out += '.';
        out += chars[i];
    }
    return CutAtZero(out);
}

} // namespace

std::string ManufacturerText(const ControllerInfo& i) { return CutAtZero(i.manufacturer); }
std::string ModelText(const ControllerInfo& i) { return CutAtZero(i.model); }
std::string HardwareVersionText(const ControllerInfo& i) { return VersionText(i.hardwareVersion); }
std::string FirmwareVersionText(const ControllerInfo& i) { return VersionText(i.firmwareVersion); }
std::string NominalVoltageText(const ControllerInfo& i) { return NominalVoltageRowForCode(i.nominalVoltageCode).text; }
std::string MaxCurrentText(const ControllerInfo& i) { return std::to_string(i.maxCurrent) + "A"; }

std::optional<int> CurrentLimitMaximum(const ControllerInfo& info)
{
    if (info.maxCurrent < kCurrentLimitMinimum)
        return std::nullopt;
    return info.maxCurrent;
}

// ---------------------------------------------------------------- acknowledgements

std::optional<std::uint8_t> WriteAckResult(std::span<const std::uint8_t> chunk)
{
    if (chunk.size() < kWriteAckMinLength)
        return std::nullopt;
    return chunk[1];
}

} // namespace zelbor
