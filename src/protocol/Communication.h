// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The controller protocol: frames, check byte, the three parameter blocks, the identification
// reply and the write-acknowledgement tables. Pure functions; no Qt, no I/O.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "protocol/Conversion.h"

namespace zelbor {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint8_t kCmdRead = 0x11;
inline constexpr std::uint8_t kCmdWrite = 0x16;

enum BlockCode : std::uint8_t {
    bcIdentify = 0x51,    // 'Q'
    bcBasic = 0x52,       // 'R'
    bcPedalAssist = 0x53, // 'S'
    bcThrottle = 0x54,    // 'T'
};

inline constexpr std::size_t kReceiveBufferSize = 291;
inline constexpr std::size_t kBasicDataBytes = 24;
inline constexpr std::size_t kPedalAssistDataBytes = 11;
inline constexpr std::size_t kThrottleDataBytes = 6;

// Sum modulo 256 of the bytes given (offset 1 up to the byte before the check byte).
std::uint8_t CheckByte(std::span<const std::uint8_t> bytes);
Bytes ReadRequest(std::uint8_t blockCode);                                    // 11 code
Bytes IdentifyRequest();                                                      // 11 51 04 B0 05
Bytes WriteFrame(std::uint8_t blockCode, std::span<const std::uint8_t> data); // 16 code N data check

// ---- Fixed lists (their order is part of the wire encoding) ----
extern const std::array<const char*, 16> kWheelItems;       // "16".."27","700C","28","29","30"
extern const std::array<const char*, 3> kSpeedMeterItems;   // "External, Wheel Meter", ...
extern const std::array<const char*, 4> kPedalSensorItems;  // "None", "DH-Sensor-12", ...
std::vector<std::string> AssistLevelItems();                // "By Display's Command","0".."9"
std::vector<std::string> SpeedLimitItems();                 // "By Display's Command","15km/h".."40km/h"
std::vector<std::string> SlowStartItems();                  // "1".."8"
std::vector<std::string> WorkModeItems();                   // "Undeterminated","10".."80"
extern const std::array<const char*, 2> kThrottleModeItems; // "Speed","Current"
inline constexpr int kWheel700CIndex = 12;

// ---- Records: one integer per control; list fields hold the item index (-1 no selection) ----
//
// A list can show only its items. When the controller sends a byte that the shown index would not
// give back (a byte without an item, an odd half inch that shows as the next wheel size, speed-meter
// type code 2), the decoder keeps the byte itself in `kept`, and the encoder writes the kept byte
// instead of the index's byte: an untouched setting goes back to the controller unchanged. A
// record that did not come from the controller (a profile, the window after the user picked an
// item) keeps nothing, so the index's own encoding applies, -1 included.
using KeptByte = std::optional<std::uint8_t>;

struct BasicKeptBytes {
    KeptByte cbbBasWheelDiam;  // the wheel byte
    KeptByte cbbBasSpdMtrType; // the type code, bits 7-6 of the speed-meter byte (0..3); the signal
                               // count still comes from speBasSpdMtrSig
    bool operator==(const BasicKeptBytes&) const = default;
};

struct PedalAssistKeptBytes {
    KeptByte cbbPASPedalSensType;
    KeptByte cbbPASDesigAssist;
    KeptByte cbbPASSpdLim;
    KeptByte cbbPASSlowStartMode;
    KeptByte cbbPASWorkMode;
    bool operator==(const PedalAssistKeptBytes&) const = default;
};

struct ThrottleKeptBytes {
    KeptByte cbbThrMode;
    KeptByte cbbThrAssistLvl;
    KeptByte edThrSpeedLim;
    bool operator==(const ThrottleKeptBytes&) const = default;
};

struct BasicSettings {
    int cbbBasLowBat = 0;                      // volts (the text of the editable low-battery box)
    int speBasCurrLim = 0;                     // amperes
    std::array<int, 10> speBasAssistCurrLim{}; // speBasAssist<N>CurrLim, N = level 0..9, percent
    std::array<int, 10> speBasAssistSpdLim{};  // speBasAssist<N>SpdLim, N = level 0..9, percent
    int cbbBasWheelDiam = -1;                  // index into kWheelItems
    int cbbBasSpdMtrType = -1;                 // index into kSpeedMeterItems
    int speBasSpdMtrSig = 0;                   // count
    // Initialised here, so that a braced list of the value fields alone still initialises all.
    BasicKeptBytes kept{};
    bool operator==(const BasicSettings&) const = default;
};

struct PedalAssistSettings {
    int cbbPASPedalSensType = -1;
    int cbbPASDesigAssist = -1;
    int cbbPASSpdLim = -1;
    int spePASStartCurr = 0;
    int cbbPASSlowStartMode = -1;
    int spePASStartDeg = 0;
    int cbbPASWorkMode = -1;
    int spePASStopDelay = 0;
    int spePASCurrDecay = 0;
    int spePASStopDecay = 0;
    int spePASKeepCurr = 0;
    PedalAssistKeptBytes kept{};
    bool operator==(const PedalAssistSettings&) const = default;
};

struct ThrottleSettings {
    int speThrStartVolt = 0;
    int speThrEndVolt = 0;
    int cbbThrMode = -1;
    int cbbThrAssistLvl = -1;
    int edThrSpeedLim = -1;
    int speThrStartCurr = 0;
    ThrottleKeptBytes kept{};
    bool operator==(const ThrottleSettings&) const = default;
};

// ---- Wheel and speed-meter rules, both ways ----
// Throws EConvertError when no wheel item is selected (index outside 0..15): its text is empty.
std::uint8_t EncodeWheel(int wheelIndex);
int DecodeWheel(std::uint8_t v); // item index, or -1 (0-30, 61-255)
std::uint8_t EncodeSpeedMeter(int typeIndex, int signalCount);
void DecodeSpeedMeter(std::uint8_t v, int& typeIndex, int& signalCount);

// ---- Encoders: record -> data bytes (every value reduced to its low 8 bits; a kept byte wins) ----
// They, and the decoders below, are EncodeBlock and DecodeBlock of protocol/Parameters.h for one block.
// May throw EConvertError: no wheel item selected and no wheel byte kept.
std::array<std::uint8_t, kBasicDataBytes> EncodeBasic(const BasicSettings& s);
std::array<std::uint8_t, kPedalAssistDataBytes> EncodePedalAssist(const PedalAssistSettings& s);
std::array<std::uint8_t, kThrottleDataBytes> EncodeThrottle(const ThrottleSettings& s);

// ---- Decoders: a received chunk -> record. A chunk too short for the last offset read
// gives nullopt (the caller drops it, so stale or undefined bytes never reach a control).
// Spin values are returned as received (0..255); the window limits them to the control's range.
// List fields are -1 for a byte without a list item; only 0xFF gives the first item
// ("By Display's Command", "Undeterminated"). `kept` holds every list byte the index would not
// give back.
// BasicSettings::cbbBasLowBat is the received volts; the window selects the matching item, if any.
inline constexpr std::size_t kBasicReplyMinLength = 26;
inline constexpr std::size_t kPedalAssistReplyMinLength = 13;
inline constexpr std::size_t kThrottleReplyMinLength = 8;
inline constexpr std::size_t kInfoReplyMinLength = 18;
inline constexpr std::size_t kWriteAckMinLength = 2;
std::optional<BasicSettings> DecodeBasic(std::span<const std::uint8_t> chunk);
std::optional<PedalAssistSettings> DecodePedalAssist(std::span<const std::uint8_t> chunk);
std::optional<ThrottleSettings> DecodeThrottle(std::span<const std::uint8_t> chunk);

// ---- Nominal voltage ----
struct NominalVoltageRow {
    int code;                                // 0..4, or -1 for the "any other value" row
    const char* text;                        // "24V", "36V", "48V", "60V", "24-48V", "24-60V"
    int lowVolts;                            // first low-battery voltage
    int highVolts;                           // last low-battery voltage
    std::vector<int> LowBatteryList() const; // lowVolts..highVolts ascending
};
extern const std::array<NominalVoltageRow, 6> NominalVoltageTable;
const NominalVoltageRow& NominalVoltageRowForCode(std::uint8_t code);       // >4 -> "24-60V"
const NominalVoltageRow* NominalVoltageRowForText(const std::string& text); // exact; nullptr if none
inline constexpr int kDesignLowBatteryFirst = 18, kDesignLowBatteryLast = 22;

// ---- Identification ----
struct ControllerInfo {
    std::string manufacturer;    // 4 bytes as received (may hold zero bytes)
    std::string model;           // 4 bytes
    std::string hardwareVersion; // 2 bytes
    std::string firmwareVersion; // 4 bytes
    std::uint8_t nominalVoltageCode = 0;
    std::uint8_t maxCurrent = 0;
};
std::optional<ControllerInfo> DecodeInfoReply(std::span<const std::uint8_t> chunk);
// Label texts; each ends before the first zero byte. Bytes are single-byte (Latin-1) characters.
std::string ManufacturerText(const ControllerInfo&);    // as is
std::string ModelText(const ControllerInfo&);           // as is
std::string HardwareVersionText(const ControllerInfo&); // "V1.2"
std::string FirmwareVersionText(const ControllerInfo&); // "V2.0.1.5"
std::string NominalVoltageText(const ControllerInfo&);  // "48V"
std::string MaxCurrentText(const ControllerInfo&);      // "25A"

// The current limit never goes below one ampere, whatever a controller reports.
inline constexpr int kCurrentLimitMinimum = 1;
// The upper bound of the current limit that an identification sets, or nullopt when its maximum
// current lies below kCurrentLimitMinimum: no range can then hold the bound without admitting a
// limit the controller does not allow, so the range it had stays.
std::optional<int> CurrentLimitMaximum(const ControllerInfo& info);

// Bytes from `start`, `count` of them (0 = up to the end), cut at the end of the buffer.
std::string CopyChars(std::span<const std::uint8_t> buffer, std::size_t start, std::size_t count);

// ---- Write acknowledgements ----
struct AckField {
    const char* key;     // message key, e.g. "err20"
    const char* control; // control to focus, e.g. "speBasAssist0SpdLim"
    int page;            // 0 tabGeneral, 1 tabPedalAssist, 2 tabThrottleHandle
};
// Rows indexed by result, taken from the parameter table (protocol/Parameters.h); size() is the
// block's field count (24, 11, 6). Empty for other codes.
std::span<const AckField> AckTable(std::uint8_t blockCode);
// Byte 1 of the acknowledgement, or nullopt when the chunk holds only the block code.
std::optional<std::uint8_t> WriteAckResult(std::span<const std::uint8_t> chunk);

} // namespace zelbor
