// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/Parameters.h"

#include "protocol/Conversion.h"

#include <algorithm>
#include <charconv>
#include <deque>
#include <string>
#include <utility>

namespace zelbor {

namespace {

// ---------------------------------------------------------------- record fields

template <auto Member>
int& BasicRef(ParameterValues& v, std::size_t)
{
    return v.basic.*Member;
}
template <auto Member>
int& BasicLevelRef(ParameterValues& v, std::size_t level)
{
    return (v.basic.*Member)[level];
}
template <auto Member>
int& PedalAssistRef(ParameterValues& v, std::size_t)
{
    return v.pedalAssist.*Member;
}
template <auto Member>
int& ThrottleRef(ParameterValues& v, std::size_t)
{
    return v.throttle.*Member;
}
template <auto Member>
KeptByte* BasicKept(ParameterValues& v)
{
    return &(v.basic.kept.*Member);
}
template <auto Member>
KeptByte* PedalAssistKept(ParameterValues& v)
{
    return &(v.pedalAssist.kept.*Member);
}
template <auto Member>
KeptByte* ThrottleKept(ParameterValues& v)
{
    return &(v.throttle.kept.*Member);
}

// ---------------------------------------------------------------- lists

template <std::size_t N>
std::vector<std::string> Strings(const std::array<const char*, N>& items)
{
    return {items.begin(), items.end()};
}

const std::vector<std::string>& WheelList()
{
    static const auto l = Strings(kWheelItems);
    return l;
}
const std::vector<std::string>& SpeedMeterList()
{
    static const auto l = Strings(kSpeedMeterItems);
    return l;
}
const std::vector<std::string>& SensorList()
{
    static const auto l = Strings(kPedalSensorItems);
    return l;
}
const std::vector<std::string>& ThrottleModeList()
{
    static const auto l = Strings(kThrottleModeItems);
    return l;
}
const std::vector<std::string>& AssistList()
{
    static const auto l = AssistLevelItems();
    return l;
}
const std::vector<std::string>& SpeedLimitList()
{
    static const auto l = SpeedLimitItems();
    return l;
}
const std::vector<std::string>& SlowStartList()
{
    static const auto l = SlowStartItems();
    return l;
}
const std::vector<std::string>& WorkModeList()
{
    static const auto l = WorkModeItems();
    return l;
}

// ---------------------------------------------------------------- rows

struct Row {
    ParameterField f;

    Row& Byte(std::size_t dataByte, unsigned shift = 0, unsigned width = 8)
    {
        f.dataByte = dataByte;
        f.shift = shift;
        f.width = width;
        return *this;
    }
    Row& Ack(int index, const char* key)
    {
        f.ackIndex = index;
        f.ackKey = key;
        return *this;
    }
    Row& Profile(int order, const char* key, int def)
    {
        f.profileOrder = order;
        f.profileKey = key;
        f.profileDefault = def;
        return *this;
    }
    Row& Help(const char* button)
    {
        f.helpButton = button;
        return *this;
    }
    Row& Level(std::size_t level)
    {
        f.level = level;
        return *this;
    }
    Row& Special(int index, std::uint8_t byte)
    {
        f.specialIndex = index;
        f.specialByte = byte;
        return *this;
    }
    Row& Kept(KeptByte* (*kept)(ParameterValues&))
    {
        f.keptRef = kept;
        return *this;
    }
};

Row Spin(std::uint8_t block, const char* control, int minimum, int maximum, int& (*ref)(ParameterValues&, std::size_t))
{
    Row r;
    r.f.control = control;
    r.f.block = block;
    r.f.kind = ControlKind::Spin;
    r.f.minimum = minimum;
    r.f.maximum = maximum;
    r.f.ref = ref;
    return r;
}

Row List(std::uint8_t block, const char* control, const std::vector<std::string>& items, ItemCoding coding, int offset,
         int& (*ref)(ParameterValues&, std::size_t))
{
    Row r;
    r.f.control = control;
    r.f.block = block;
    r.f.kind = ControlKind::List;
    r.f.minimum = 0;
    r.f.maximum = static_cast<int>(items.size()) - 1;
    r.f.items = &items;
    r.f.coding = coding;
    r.f.offset = offset;
    r.f.ref = ref;
    return r;
}

constexpr std::uint8_t kByDisplay = 0xFF; // "By Display's Command", "Undeterminated"
constexpr int kWheel700CByte = 0x37;      // 55: between "27" (54) and "28" (56)
constexpr int kMotorPhaseTypeCode = 3;    // "By Motor Phase" is type code 3, not its index 2

constexpr const char* kLevelCurrentHelp = "btnHelp_Basic_LvlCurrentLimit";
constexpr const char* kLevelSpeedHelp = "btnHelp_Basic_SpeedLimit";

std::vector<ParameterField> BuildTable()
{
    using B = BasicSettings;
    using P = PedalAssistSettings;
    using T = ThrottleSettings;
    constexpr auto basic = bcBasic, pas = bcPedalAssist, thr = bcThrottle;
    const auto curr = &BasicLevelRef<&B::speBasAssistCurrLim>;
    const auto spd = &BasicLevelRef<&B::speBasAssistSpdLim>;

    Row lowBattery;
    lowBattery.f.control = "cbbBasLowBat";
    lowBattery.f.block = basic;
    lowBattery.f.kind = ControlKind::VoltsText;
    lowBattery.f.minimum = kDesignLowBatteryFirst;
    lowBattery.f.maximum = kDesignLowBatteryLast;
    lowBattery.f.ref = &BasicRef<&B::cbbBasLowBat>;

    // The results of a Basic acknowledgement go level by level, current before speed, while the
    // data bytes hold the ten current limits first: hence the two numberings below.
    const Row rows[] = {
        // ---- Basic
        lowBattery.Byte(0).Ack(0, "err8").Profile(0, "LBP", 10).Help("btnHelp_Basic_LowBattProtection"),
        Spin(basic, "speBasCurrLim", 1, 25, &BasicRef<&B::speBasCurrLim>)
            .Byte(1)
            .Ack(1, "err9")
            .Profile(1, "LC", 10)
            .Help("btnHelp_Basic_CurrentLimit"),
        Spin(basic, "speBasAssist0CurrLim", 0, 100, curr)
            .Level(0)
            .Byte(2)
            .Ack(2, "err10")
            .Profile(2, "ALC0", 10)
            .Help(kLevelCurrentHelp),
        Spin(basic, "speBasAssist0SpdLim", 0, 100, spd)
            .Level(0)
            .Byte(12)
            .Ack(3, "err20")
            .Profile(12, "ALBP0", 10)
            .Help(kLevelSpeedHelp),
        Spin(basic, "speBasAssist1CurrLim", 0, 100, curr)
            .Level(1)
            .Byte(3)
            .Ack(4, "err11")
            .Profile(3, "ALC1", 10)
            .Help(kLevelCurrentHelp),
        Spin(basic, "speBasAssist1SpdLim", 0, 100, spd)
            .Level(1)
            .Byte(13)
            .Ack(5, "err21")
            .Profile(13, "ALBP1", 10)
            .Help(kLevelSpeedHelp),
        Spin(basic, "speBasAssist2CurrLim", 0, 100, curr)
            .Level(2)
            .Byte(4)
            .Ack(6, "err12")
            .Profile(4, "ALC2", 10)
            .Help(kLevelCurrentHelp),
        Spin(basic, "speBasAssist2SpdLim", 0, 100, spd)
            .Level(2)
            .Byte(14)
            .Ack(7, "err22")
            .Profile(14, "ALBP2", 10)
            .Help(kLevelSpeedHelp),
        Spin(basic, "speBasAssist3CurrLim", 0, 100, curr)
            .Level(3)
            .Byte(5)
            .Ack(8, "err13")
            .Profile(5, "ALC3", 10)
            .Help(kLevelCurrentHelp),
        Spin(basic, "speBasAssist3SpdLim", 0, 100, spd)
            .Level(3)
            .Byte(15)
            .Ack(9, "err23")
            .Profile(15, "ALBP3", 10)
            .Help(kLevelSpeedHelp),
        Spin(basic, "speBasAssist4CurrLim", 0, 100, curr)
            .Level(4)
            .Byte(6)
            .Ack(10, "err14")
            .Profile(6, "ALC4", 10)
            .Help(kLevelCurrentHelp),
        Spin(basic, "speBasAssist4SpdLim", 0, 100, spd)
            .Level(4)
            .Byte(16)
            .Ack(11, "err24")
            .Profile(16, "ALBP4", 10)
            .Help(kLevelSpeedHelp),
        Spin(basic, "speBasAssist5CurrLim", 0, 100, curr)
            .Level(5)
            .Byte(7)
            .Ack(12, "err15")
            .Profile(7, "ALC5", 10)
            .Help(kLevelCurrentHelp),
        Spin(basic, "speBasAssist5SpdLim", 0, 100, spd)
            .Level(5)
            .Byte(17)
            .Ack(13, "err25")
            .Profile(17, "ALBP5", 10)
            .Help(kLevelSpeedHelp),
        Spin(basic, "speBasAssist6CurrLim", 0, 100, curr)
            .Level(6)
            .Byte(8)
            .Ack(14, "err16")
            .Profile(8, "ALC6", 10)
            .Help(kLevelCurrentHelp),
        Spin(basic, "speBasAssist6SpdLim", 0, 100, spd)
            .Level(6)
            .Byte(18)
            .Ack(15, "err26")
            .Profile(18, "ALBP6", 10)
            .Help(kLevelSpeedHelp),
        Spin(basic, "speBasAssist7CurrLim", 0, 100, curr)
            .Level(7)
            .Byte(9)
            .Ack(16, "err17")
            .Profile(9, "ALC7", 10)
            .Help(kLevelCurrentHelp),
        Spin(basic, "speBasAssist7SpdLim", 0, 100, spd)
            .Level(7)
            .Byte(19)
            .Ack(17, "err27")
            .Profile(19, "ALBP7", 10)
            .Help(kLevelSpeedHelp),
        Spin(basic, "speBasAssist8CurrLim", 0, 100, curr)
            .Level(8)
            .Byte(10)
            .Ack(18, "err18")
            .Profile(10, "ALC8", 10)
            .Help(kLevelCurrentHelp),
        Spin(basic, "speBasAssist8SpdLim", 0, 100, spd)
            .Level(8)
            .Byte(20)
            .Ack(19, "err28")
            .Profile(20, "ALBP8", 10)
            .Help(kLevelSpeedHelp),
        Spin(basic, "speBasAssist9CurrLim", 0, 100, curr)
            .Level(9)
            .Byte(11)
            .Ack(20, "err19")
            .Profile(11, "ALC9", 10)
            .Help(kLevelCurrentHelp),
        Spin(basic, "speBasAssist9SpdLim", 0, 100, spd)
            .Level(9)
            .Byte(21)
            .Ack(21, "err29")
            .Profile(21, "ALBP9", 10)
            .Help(kLevelSpeedHelp),
        // The speed-meter byte: type code in bits 7-6, number of signals in bits 5-0. The result
        // that refuses the byte names the signal count; no result names the type.
        List(basic, "cbbBasSpdMtrType", SpeedMeterList(), ItemCoding::TypeCode, 0, &BasicRef<&B::cbbBasSpdMtrType>)
            .Special(2, kMotorPhaseTypeCode)
            .Kept(&BasicKept<&BasicKeptBytes::cbbBasSpdMtrType>)
            .Byte(23, 6, 2)
            .Profile(23, "SMM", 0)
            .Help("btnHelp_Basic_SpeedMeterType"),
        Spin(basic, "speBasSpdMtrSig", 1, 36, &BasicRef<&B::speBasSpdMtrSig>)
            .Byte(23, 0, 6)
            .Ack(23, "err31")
            .Profile(24, "SMS", 10)
            .Help("btnHelp_Basic_SpeedMeterSignals"),
        List(basic, "cbbBasWheelDiam", WheelList(), ItemCoding::HalfInches, 0, &BasicRef<&B::cbbBasWheelDiam>)
            .Special(kWheel700CIndex, kWheel700CByte)
            .Kept(&BasicKept<&BasicKeptBytes::cbbBasWheelDiam>)
            .Byte(22)
            .Ack(22, "err30")
            .Profile(22, "WD", 10)
            .Help("btnHelp_Basic_WheelDiameter"),

        // ---- Pedal Assist (a profile keeps the lists first)
        List(pas, "cbbPASPedalSensType", SensorList(), ItemCoding::Offset, 0, &PedalAssistRef<&P::cbbPASPedalSensType>)
            .Kept(&PedalAssistKept<&PedalAssistKeptBytes::cbbPASPedalSensType>)
            .Byte(0)
            .Ack(0, "err34")
            .Profile(25, "PT", 0)
            .Help("btnHelp_PA_PedalSensorType"),
        List(pas, "cbbPASDesigAssist", AssistList(), ItemCoding::Offset, -1, &PedalAssistRef<&P::cbbPASDesigAssist>)
            .Special(0, kByDisplay)
            .Kept(&PedalAssistKept<&PedalAssistKeptBytes::cbbPASDesigAssist>)
            .Byte(1)
            .Ack(1, "err35")
            .Profile(26, "DA", 0)
            .Help("btnHelp_PA_DesignAssistLevel"),
        List(pas, "cbbPASSpdLim", SpeedLimitList(), ItemCoding::Offset, 14, &PedalAssistRef<&P::cbbPASSpdLim>)
            .Special(0, kByDisplay)
            .Kept(&PedalAssistKept<&PedalAssistKeptBytes::cbbPASSpdLim>)
            .Byte(2)
            .Ack(2, "err36")
            .Profile(27, "SL", 0)
            .Help("btnHelp_PA_SpeedLimit"),
        Spin(pas, "spePASStartCurr", 1, 60, &PedalAssistRef<&P::spePASStartCurr>)
            .Byte(3)
            .Ack(3, "err37")
            .Profile(30, "SC", 10)
            .Help("btnHelp_PA_StartCurrent"),
        List(pas, "cbbPASSlowStartMode", SlowStartList(), ItemCoding::Offset, 1,
             &PedalAssistRef<&P::cbbPASSlowStartMode>)
            .Kept(&PedalAssistKept<&PedalAssistKeptBytes::cbbPASSlowStartMode>)
            .Byte(4)
            .Ack(4, "err38")
            .Profile(28, "SSM", 0)
            .Help("btnHelp_PA_SlowStartMode"),
        Spin(pas, "spePASStartDeg", 1, 100, &PedalAssistRef<&P::spePASStartDeg>)
            .Byte(5)
            .Ack(5, "err39")
            .Profile(31, "SDN", 10)
            .Help("btnHelp_PA_StartDegree"),
        List(pas, "cbbPASWorkMode", WorkModeList(), ItemCoding::Offset, 9, &PedalAssistRef<&P::cbbPASWorkMode>)
            .Special(0, kByDisplay)
            .Kept(&PedalAssistKept<&PedalAssistKeptBytes::cbbPASWorkMode>)
            .Byte(6)
            .Ack(6, "err40")
            .Profile(29, "WM", 0)
            .Help("btnHelp_PA_WorkMode"),
        Spin(pas, "spePASStopDelay", 0, 255, &PedalAssistRef<&P::spePASStopDelay>)
            .Byte(7)
            .Ack(7, "err41")
            .Profile(32, "TS", 10)
            .Help("btnHelp_PA_StopDelay"),
        Spin(pas, "spePASCurrDecay", 1, 8, &PedalAssistRef<&P::spePASCurrDecay>)
            .Byte(8)
            .Ack(8, "err42")
            .Profile(33, "CD", 10)
            .Help("btnHelp_PA_CurrentDecay"),
        Spin(pas, "spePASStopDecay", 0, 255, &PedalAssistRef<&P::spePASStopDecay>)
            .Byte(9)
            .Ack(9, "err43")
            .Profile(34, "SD", 10)
            .Help("btnHelp_PA_StopDecay"),
        Spin(pas, "spePASKeepCurr", 1, 100, &PedalAssistRef<&P::spePASKeepCurr>)
            .Byte(10)
            .Ack(10, "err44")
            .Profile(35, "KC", 10)
            .Help("btnHelp_PA_KeepCurrent"),

        // ---- Throttle Handle
        Spin(thr, "speThrStartVolt", 0, 50, &ThrottleRef<&T::speThrStartVolt>)
            .Byte(0)
            .Ack(0, "err48")
            .Profile(36, "SV", 10)
            .Help("btnHelp_Throttle_StartVolt"),
        Spin(thr, "speThrEndVolt", 0, 50, &ThrottleRef<&T::speThrEndVolt>)
            .Byte(1)
            .Ack(1, "err49")
            .Profile(37, "EV", 10)
            .Help("btnHelp_Throttle_EndVolt"),
        List(thr, "cbbThrMode", ThrottleModeList(), ItemCoding::Offset, 0, &ThrottleRef<&T::cbbThrMode>)
            .Kept(&ThrottleKept<&ThrottleKeptBytes::cbbThrMode>)
            .Byte(2)
            .Ack(2, "err50")
            .Profile(38, "MODE", 0)
            .Help("btnHelp_Throttle_Mode"),
        List(thr, "cbbThrAssistLvl", AssistList(), ItemCoding::Offset, -1, &ThrottleRef<&T::cbbThrAssistLvl>)
            .Special(0, kByDisplay)
            .Kept(&ThrottleKept<&ThrottleKeptBytes::cbbThrAssistLvl>)
            .Byte(3)
            .Ack(3, "err51")
            .Profile(39, "DA", 0)
            .Help("btnHelp_Throttle_DesignAssistLevel"),
        List(thr, "edThrSpeedLim", SpeedLimitList(), ItemCoding::Offset, 14, &ThrottleRef<&T::edThrSpeedLim>)
            .Special(0, kByDisplay)
            .Kept(&ThrottleKept<&ThrottleKeptBytes::edThrSpeedLim>)
            .Byte(4)
            .Ack(4, "err52")
            .Profile(40, "SL", 0)
            .Help("btnHelp_Throttle_SpeedLimit"),
        Spin(thr, "speThrStartCurr", 1, 100, &ThrottleRef<&T::speThrStartCurr>)
            .Byte(5)
            .Ack(5, "err53")
            .Profile(41, "SC", 10)
            .Help("btnHelp_Throttle_StartCurrent"),
    };
    // The window's captions (its labels are these texts followed by a colon or blanks).
    static const std::pair<const char*, const char*> kLabels[] = {
        {"cbbBasLowBat", "Low Battery Protection [V]"},
        {"speBasCurrLim", "Current Limit [A]"},
        {"cbbBasSpdMtrType", "Speed Meter Type"},
        {"speBasSpdMtrSig", "Speed Meter Signals"},
        {"cbbBasWheelDiam", "Wheel Diameler [Inch]"},
        {"cbbPASPedalSensType", "Pedal Sensor Type"},
        {"cbbPASDesigAssist", "Designated Assist Level"},
        {"cbbPASSpdLim", "Speed Limit"},
        {"spePASStartCurr", "Start Current [%] (max 60%)"},
        {"cbbPASSlowStartMode", "Slow-start Mode (1-8)"},
        {"spePASStartDeg", "Start Degree (Signal No.)"},
        {"cbbPASWorkMode", "WorkMode (AngPedalSpeed/wheel*10)"},
        {"spePASStopDelay", "Stop Delay [x10ms]"},
        {"spePASCurrDecay", "Current Decay (1-8)"},
        {"spePASStopDecay", "Stop Decay [x10ms]"},
        {"spePASKeepCurr", "Keep Current [%]"},
        {"speThrStartVolt", "Start Voltage [x100mV]"},
        {"speThrEndVolt", "End Voltage [x100mV]"},
        {"cbbThrMode", "Mode"},
        {"cbbThrAssistLvl", "Designated Assist Level"},
        {"edThrSpeedLim", "Speed Limit"},
        {"speThrStartCurr", "Start Current [%]"},
    };
    std::vector<ParameterField> table;
    for (const Row& r : rows) {
        ParameterField f = r.f;
        if (f.ref == curr || f.ref == spd) {
            f.label = "Assist " + std::to_string(f.level) + (f.ref == curr ? " current limit [%]" : " speed limit [%]");
        } else {
            for (const auto& [control, label] : kLabels)
                if (f.control == control)
                    f.label = label;
        }
        table.push_back(std::move(f));
    }
    return table;
}

const BlockInfo kBlocks[] = {
    {bcBasic, 0, kBasicDataBytes, "Basic", "basic"},
    {bcPedalAssist, 1, kPedalAssistDataBytes, "Pedal Assist", "PedalAssist"},
    {bcThrottle, 2, kThrottleDataBytes, "Throttle Handle", "Throttle"},
};

const HelpButtonInfo kHelpButtons[] = {
    {"btnHelp_Basic_LowBattProtection", bcBasic},
    {"btnHelp_Basic_CurrentLimit", bcBasic},
    {"btnHelp_Basic_AssistsLevel", bcBasic}, // the column of the assist levels
    {kLevelCurrentHelp, bcBasic},
    {kLevelSpeedHelp, bcBasic},
    {"btnHelp_Basic_SpeedMeterType", bcBasic},
    {"btnHelp_Basic_SpeedMeterSignals", bcBasic},
    {"btnHelp_Basic_WheelDiameter", bcBasic},
    {"btnHelp_PA_PedalSensorType", bcPedalAssist},
    {"btnHelp_PA_DesignAssistLevel", bcPedalAssist},
    {"btnHelp_PA_SpeedLimit", bcPedalAssist},
    {"btnHelp_PA_StartCurrent", bcPedalAssist},
    {"btnHelp_PA_SlowStartMode", bcPedalAssist},
    {"btnHelp_PA_StartDegree", bcPedalAssist},
    {"btnHelp_PA_WorkMode", bcPedalAssist},
    {"btnHelp_PA_StopDelay", bcPedalAssist},
    {"btnHelp_PA_CurrentDecay", bcPedalAssist},
    {"btnHelp_PA_StopDecay", bcPedalAssist},
    {"btnHelp_PA_KeepCurrent", bcPedalAssist},
    {"btnHelp_Throttle_StartVolt", bcThrottle},
    {"btnHelp_Throttle_EndVolt", bcThrottle},
    {"btnHelp_Throttle_Mode", bcThrottle},
    {"btnHelp_Throttle_DesignAssistLevel", bcThrottle},
    {"btnHelp_Throttle_SpeedLimit", bcThrottle},
    {"btnHelp_Throttle_StartCurrent", bcThrottle},
};

const std::vector<ParameterField>& Table()
{
    static const std::vector<ParameterField> table = BuildTable();
    return table;
}

int ItemNumber(const std::string& text)
{
    int n = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc() || end != text.data() + text.size())
        throw NotAnInteger(text);
    return n;
}

unsigned Wrapping(int v) { return static_cast<unsigned>(v); }
std::uint8_t Low8(unsigned v) { return static_cast<std::uint8_t>(v & 0xFFu); }

} // namespace

// ---------------------------------------------------------------- fields

const BlockInfo& ParameterField::Block() const { return *FindBlock(block); }

unsigned ParameterField::ItemBits(int index) const
{
    if (specialIndex >= 0 && index == specialIndex)
        return specialByte;
    if (coding == ItemCoding::HalfInches) {
        // No selection: the selected item's text is empty, which is not a number.
        const bool inList = index >= 0 && index < ItemCount();
        return Wrapping(ItemNumber(inList ? (*items)[static_cast<std::size_t>(index)] : std::string()) * 2);
    }
    return Wrapping(index) + Wrapping(offset);
}

int ParameterField::ItemIndex(unsigned bits) const
{
    if (specialIndex >= 0 && bits == specialByte)
        return specialIndex;
    if (coding == ItemCoding::HalfInches) {
        const unsigned inches = (bits >> 1) + (bits & 1u);
        for (int i = 0; i < ItemCount(); ++i)
            if (i != specialIndex && ItemNumber((*items)[static_cast<std::size_t>(i)]) == static_cast<int>(inches))
                return i;
        return -1;
    }
    // Only its own byte reads as a special item: a byte the formula would map onto it names a
    // value the list does not hold, and must not silently turn into the display's command.
    const int index = static_cast<int>(bits) - offset;
    if (index < 0 || index >= ItemCount())
        return -1;
    if (index == specialIndex && coding != ItemCoding::TypeCode)
        return -1;
    return index;
}

// ---------------------------------------------------------------- lookups

std::span<const ParameterField> ParameterTable() { return Table(); }

std::span<const BlockInfo> Blocks() { return kBlocks; }

const BlockInfo* FindBlock(std::uint8_t code)
{
    for (const BlockInfo& b : kBlocks)
        if (b.code == code)
            return &b;
    return nullptr;
}

const ParameterField* FindParameter(std::string_view control)
{
    for (const ParameterField& f : Table())
        if (f.control == control)
            return &f;
    return nullptr;
}

std::vector<const ParameterField*> BlockFields(std::uint8_t code)
{
    std::vector<const ParameterField*> fields;
    for (const ParameterField& f : Table())
        if (f.block == code)
            fields.push_back(&f);
    return fields;
}

std::vector<const ParameterField*> ProfileOrder()
{
    std::vector<const ParameterField*> fields;
    for (const ParameterField& f : Table())
        fields.push_back(&f);
    std::sort(fields.begin(), fields.end(),
              [](const ParameterField* a, const ParameterField* b) { return a->profileOrder < b->profileOrder; });
    return fields;
}

const ParameterField* RefusedField(std::uint8_t code, std::size_t result)
{
    for (const ParameterField& f : Table())
        if (f.block == code && f.ackIndex >= 0 && static_cast<std::size_t>(f.ackIndex) == result)
            return &f;
    return nullptr;
}

std::span<const HelpButtonInfo> HelpButtons() { return kHelpButtons; }

std::span<const AckField> AckTable(std::uint8_t blockCode)
{
    // Rows indexed by result, built once from the fields that a result refuses.
    static const auto tables = [] {
        std::deque<std::vector<AckField>> t;
        for (const BlockInfo& b : kBlocks) {
            std::vector<AckField> rows;
            for (std::size_t result = 0; result < b.dataBytes; ++result) {
                const ParameterField* f = RefusedField(b.code, result);
                rows.push_back(f ? AckField{f->ackKey.c_str(), f->control.c_str(), b.page} : AckField{"", "", b.page});
            }
            t.push_back(std::move(rows));
        }
        return t;
    }();
    for (std::size_t i = 0; i < std::size(kBlocks); ++i)
        if (kBlocks[i].code == blockCode)
            return tables[i];
    return {};
}

// ---------------------------------------------------------------- codecs

Bytes EncodeBlock(std::uint8_t code, const ParameterValues& values)
{
    const BlockInfo* block = FindBlock(code);
    if (!block)
        return {};
    // Sums are formed in unsigned arithmetic, which wraps for any int a record may hold.
    std::vector<unsigned> sums(block->dataBytes, 0u);
    for (const ParameterField& f : Table()) {
        if (f.block != code)
            continue;
        const int value = f.Value(values);
        unsigned bits = Wrapping(value);
        if (f.kind == ControlKind::List) {
            const KeptByte* kept = f.Kept(values);
            bits = (kept && *kept) ? **kept : f.ItemBits(value);
        }
        sums[f.dataByte] += bits << f.shift;
    }
    Bytes data(block->dataBytes);
    std::transform(sums.begin(), sums.end(), data.begin(), Low8);
    return data;
}

bool DecodeBlock(std::uint8_t code, std::span<const std::uint8_t> reply, ParameterValues& values)
{
    const BlockInfo* block = FindBlock(code);
    if (!block || reply.size() < 2 + block->dataBytes)
        return false;
    for (const ParameterField& f : Table()) {
        if (f.block != code)
            continue;
        const unsigned bits = (unsigned{reply[2 + f.dataByte]} >> f.shift) & f.Mask();
        if (f.kind != ControlKind::List) {
            f.Value(values) = static_cast<int>(bits);
            continue;
        }
        const int index = f.ItemIndex(bits);
        f.Value(values) = index;
        // A byte that the shown index would not give back is kept, so that an untouched setting
        // goes back to the controller as it came.
        if (KeptByte* kept = f.Kept(values))
            *kept = (index >= 0 && (f.ItemBits(index) & f.Mask()) == bits) ? KeptByte{}
                                                                           : KeptByte{static_cast<std::uint8_t>(bits)};
    }
    return true;
}

} // namespace zelbor
