#include "protocol/Communication.h"

#include "common/Errors.h"

#include <algorithm>

namespace zelbor {

namespace {

// Only the low 8 bits of a value reach a data byte. Sums and products on the way there are formed
// in unsigned arithmetic, which wraps for any int a record may hold; in int they could overflow.
std::uint8_t Low8(unsigned v) { return static_cast<std::uint8_t>(v & 0xFFu); }
unsigned Wrapping(int v) { return static_cast<unsigned>(v); }

std::vector<std::string> Numbered(std::string first, int from, int to, const char* suffix)
{
    std::vector<std::string> items;
    if (!first.empty())
        items.push_back(std::move(first));
    for (int i = from; i <= to; ++i)
        items.push_back(std::to_string(i) + suffix);
    return items;
}

// Lists whose first item stands for the byte 0xFF ("By Display's Command", "Undeterminated").
std::uint8_t EncodeSpecialFirst(int index, int offset)
{
    return index == 0 ? 0xFF : Low8(Wrapping(index) + Wrapping(offset));
}

// Inverse of EncodeSpecialFirst. Only 0xFF means the first item; a byte that the formula
// would map onto it names a value the list does not hold, so nothing is selected rather
// than silently turning a real value into the display's command.
int DecodeSpecialFirst(std::uint8_t b, int offset, int itemCount)
{
    if (b == 0xFF)
        return 0;
    int index = b - offset;
    return (index >= 1 && index < itemCount) ? index : -1;
}

int InRange(int index, int itemCount) { return (index >= 0 && index < itemCount) ? index : -1; }

// The byte itself when the list index decoded from it would write another byte back.
KeptByte KeptUnless(std::uint8_t byte, bool indexGivesItBack)
{
    return indexGivesItBack ? KeptByte{} : KeptByte{byte};
}

std::uint8_t KeptOr(const KeptByte& kept, std::uint8_t fromIndex) { return kept ? *kept : fromIndex; }

constexpr int kAssistItemCount = 11;
constexpr int kSpeedLimitItemCount = 27;
constexpr int kSlowStartItemCount = 8;
constexpr int kWorkModeItemCount = 72;

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

const std::array<const char*, 16> kWheelItems = {"16", "17", "18", "19", "20", "21", "22",   "23",
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

std::uint8_t EncodeWheel(int wheelIndex)
{
    if (wheelIndex == kWheel700CIndex)
        return 0x37;
    // No selection: the selected item's text is empty, which is not a number.
    const std::string text = (wheelIndex >= 0 && wheelIndex < static_cast<int>(kWheelItems.size()))
                                 ? kWheelItems[static_cast<std::size_t>(wheelIndex)]
                                 : "";
    return Low8(StrToInt(text) * 2);
}

int DecodeWheel(std::uint8_t v)
{
    // Half inches, an odd value counting as the next whole inch; 55 is the 700C rim.
    int d = (v >> 1) + (v & 1);
    int index;
    if (d <= 27)
        index = d - 16;
    else if (d == 28 && (v & 1))
        index = kWheel700CIndex;
    else
        index = d - 15;
    return InRange(index, static_cast<int>(kWheelItems.size()));
}

std::uint8_t EncodeSpeedMeter(int typeIndex, int signalCount)
{
    // "By Motor Phase" has the type code 3, not its index 2.
    if (typeIndex == 2)
        return Low8(Wrapping(signalCount) + 0xC0u);
    return Low8(Wrapping(typeIndex) * 64u + Wrapping(signalCount));
}

void DecodeSpeedMeter(std::uint8_t v, int& typeIndex, int& signalCount)
{
    int t = v >> 6;
    typeIndex = t == 3 ? 2 : t;
    signalCount = v & 0x3F;
}

// ---------------------------------------------------------------- encoders

std::array<std::uint8_t, kBasicDataBytes> EncodeBasic(const BasicSettings& s)
{
    std::array<std::uint8_t, kBasicDataBytes> d{};
    d[0] = Low8(s.cbbBasLowBat);
    d[1] = Low8(s.speBasCurrLim);
    for (std::size_t i = 0; i < 10; ++i) {
        d[2 + i] = Low8(s.speBasAssistCurrLim[i]);
        d[12 + i] = Low8(s.speBasAssistSpdLim[i]);
    }
    d[22] = s.kept.cbbBasWheelDiam ? *s.kept.cbbBasWheelDiam : EncodeWheel(s.cbbBasWheelDiam);
    // A kept type code goes back into bits 7-6 by the same rule as an item's (code x 64 + signals).
    d[23] = s.kept.cbbBasSpdMtrType ? Low8(Wrapping(*s.kept.cbbBasSpdMtrType) * 64u + Wrapping(s.speBasSpdMtrSig))
                                    : EncodeSpeedMeter(s.cbbBasSpdMtrType, s.speBasSpdMtrSig);
    return d;
}

std::array<std::uint8_t, kPedalAssistDataBytes> EncodePedalAssist(const PedalAssistSettings& s)
{
    const PedalAssistKeptBytes& k = s.kept;
    return {
        KeptOr(k.cbbPASPedalSensType, Low8(s.cbbPASPedalSensType)),
        KeptOr(k.cbbPASDesigAssist, EncodeSpecialFirst(s.cbbPASDesigAssist, -1)),
        KeptOr(k.cbbPASSpdLim, EncodeSpecialFirst(s.cbbPASSpdLim, 14)),
        Low8(s.spePASStartCurr),
        KeptOr(k.cbbPASSlowStartMode, Low8(Wrapping(s.cbbPASSlowStartMode) + 1u)),
        Low8(s.spePASStartDeg),
        KeptOr(k.cbbPASWorkMode, EncodeSpecialFirst(s.cbbPASWorkMode, 9)),
        Low8(s.spePASStopDelay),
        Low8(s.spePASCurrDecay),
        Low8(s.spePASStopDecay),
        Low8(s.spePASKeepCurr),
    };
}

std::array<std::uint8_t, kThrottleDataBytes> EncodeThrottle(const ThrottleSettings& s)
{
    const ThrottleKeptBytes& k = s.kept;
    return {
        Low8(s.speThrStartVolt),
        Low8(s.speThrEndVolt),
        KeptOr(k.cbbThrMode, Low8(s.cbbThrMode)),
        KeptOr(k.cbbThrAssistLvl, EncodeSpecialFirst(s.cbbThrAssistLvl, -1)),
        KeptOr(k.edThrSpeedLim, EncodeSpecialFirst(s.edThrSpeedLim, 14)),
        Low8(s.speThrStartCurr),
    };
}

// ---------------------------------------------------------------- decoders

std::optional<BasicSettings> DecodeBasic(std::span<const std::uint8_t> b)
{
    if (b.size() < kBasicReplyMinLength)
        return std::nullopt;
    BasicSettings s;
    s.cbbBasLowBat = b[2];
    s.speBasCurrLim = b[3];
    for (std::size_t i = 0; i < 10; ++i) {
        s.speBasAssistCurrLim[i] = b[4 + i];
        s.speBasAssistSpdLim[i] = b[14 + i];
    }
    s.cbbBasWheelDiam = DecodeWheel(b[24]);
    DecodeSpeedMeter(b[25], s.cbbBasSpdMtrType, s.speBasSpdMtrSig);
    s.kept.cbbBasWheelDiam = KeptUnless(b[24], s.cbbBasWheelDiam >= 0 && EncodeWheel(s.cbbBasWheelDiam) == b[24]);
    const std::uint8_t typeCode = b[25] >> 6;
    s.kept.cbbBasSpdMtrType = KeptUnless(typeCode, EncodeSpeedMeter(s.cbbBasSpdMtrType, 0) >> 6 == typeCode);
    return s;
}

std::optional<PedalAssistSettings> DecodePedalAssist(std::span<const std::uint8_t> b)
{
    if (b.size() < kPedalAssistReplyMinLength)
        return std::nullopt;
    PedalAssistSettings s;
    s.cbbPASPedalSensType = InRange(b[2], static_cast<int>(kPedalSensorItems.size()));
    s.cbbPASDesigAssist = DecodeSpecialFirst(b[3], -1, kAssistItemCount);
    s.cbbPASSpdLim = DecodeSpecialFirst(b[4], 14, kSpeedLimitItemCount);
    s.spePASStartCurr = b[5];
    s.cbbPASSlowStartMode = InRange(b[6] - 1, kSlowStartItemCount);
    s.spePASStartDeg = b[7];
    s.cbbPASWorkMode = DecodeSpecialFirst(b[8], 9, kWorkModeItemCount);
    s.spePASStopDelay = b[9];
    s.spePASCurrDecay = b[10];
    s.spePASStopDecay = b[11];
    s.spePASKeepCurr = b[12];
    // Every index these lists decode writes its byte back; only a byte without an item is kept.
    PedalAssistKeptBytes& k = s.kept;
    k.cbbPASPedalSensType = KeptUnless(b[2], s.cbbPASPedalSensType >= 0);
    k.cbbPASDesigAssist = KeptUnless(b[3], s.cbbPASDesigAssist >= 0);
    k.cbbPASSpdLim = KeptUnless(b[4], s.cbbPASSpdLim >= 0);
    k.cbbPASSlowStartMode = KeptUnless(b[6], s.cbbPASSlowStartMode >= 0);
    k.cbbPASWorkMode = KeptUnless(b[8], s.cbbPASWorkMode >= 0);
    return s;
}

std::optional<ThrottleSettings> DecodeThrottle(std::span<const std::uint8_t> b)
{
    if (b.size() < kThrottleReplyMinLength)
        return std::nullopt;
    ThrottleSettings s;
    s.speThrStartVolt = b[2];
    s.speThrEndVolt = b[3];
    s.cbbThrMode = InRange(b[4], static_cast<int>(kThrottleModeItems.size()));
    s.cbbThrAssistLvl = DecodeSpecialFirst(b[5], -1, kAssistItemCount);
    s.edThrSpeedLim = DecodeSpecialFirst(b[6], 14, kSpeedLimitItemCount);
    s.speThrStartCurr = b[7];
    ThrottleKeptBytes& k = s.kept;
    k.cbbThrMode = KeptUnless(b[4], s.cbbThrMode >= 0);
    k.cbbThrAssistLvl = KeptUnless(b[5], s.cbbThrAssistLvl >= 0);
    k.edThrSpeedLim = KeptUnless(b[6], s.edThrSpeedLim >= 0);
    return s;
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

namespace {

// Basic results interleave current and speed per assist level, unlike the frame's data order.
const AckField kBasicAck[] = {
    {"err8", "cbbBasLowBat", 0},
    {"err9", "speBasCurrLim", 0},
    {"err10", "speBasAssist0CurrLim", 0}, {"err20", "speBasAssist0SpdLim", 0},
    {"err11", "speBasAssist1CurrLim", 0}, {"err21", "speBasAssist1SpdLim", 0},
    {"err12", "speBasAssist2CurrLim", 0}, {"err22", "speBasAssist2SpdLim", 0},
    {"err13", "speBasAssist3CurrLim", 0}, {"err23", "speBasAssist3SpdLim", 0},
    {"err14", "speBasAssist4CurrLim", 0}, {"err24", "speBasAssist4SpdLim", 0},
    {"err15", "speBasAssist5CurrLim", 0}, {"err25", "speBasAssist5SpdLim", 0},
    {"err16", "speBasAssist6CurrLim", 0}, {"err26", "speBasAssist6SpdLim", 0},
    {"err17", "speBasAssist7CurrLim", 0}, {"err27", "speBasAssist7SpdLim", 0},
    {"err18", "speBasAssist8CurrLim", 0}, {"err28", "speBasAssist8SpdLim", 0},
    {"err19", "speBasAssist9CurrLim", 0}, {"err29", "speBasAssist9SpdLim", 0},
    {"err30", "cbbBasWheelDiam", 0},
    {"err31", "speBasSpdMtrSig", 0},
};

const AckField kPedalAssistAck[] = {
    {"err34", "cbbPASPedalSensType", 1}, {"err35", "cbbPASDesigAssist", 1}, {"err36", "cbbPASSpdLim", 1},
    {"err37", "spePASStartCurr", 1},     {"err38", "cbbPASSlowStartMode", 1}, {"err39", "spePASStartDeg", 1},
    {"err40", "cbbPASWorkMode", 1},      {"err41", "spePASStopDelay", 1},   {"err42", "spePASCurrDecay", 1},
    {"err43", "spePASStopDecay", 1},     {"err44", "spePASKeepCurr", 1},
};

const AckField kThrottleAck[] = {
    {"err48", "speThrStartVolt", 2}, {"err49", "speThrEndVolt", 2},  {"err50", "cbbThrMode", 2},
    {"err51", "cbbThrAssistLvl", 2}, {"err52", "edThrSpeedLim", 2}, {"err53", "speThrStartCurr", 2},
};

static_assert(std::size(kBasicAck) == kBasicDataBytes);
static_assert(std::size(kPedalAssistAck) == kPedalAssistDataBytes);
static_assert(std::size(kThrottleAck) == kThrottleDataBytes);

} // namespace

std::span<const AckField> AckTable(std::uint8_t blockCode)
{
    switch (blockCode) {
    case bcBasic: return kBasicAck;
    case bcPedalAssist: return kPedalAssistAck;
    case bcThrottle: return kThrottleAck;
    default: return {};
    }
}

std::optional<std::uint8_t> WriteAckResult(std::span<const std::uint8_t> chunk)
{
    if (chunk.size() < kWriteAckMinLength)
        return std::nullopt;
    return chunk[1];
}

} // namespace zelbor
