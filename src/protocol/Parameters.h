// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The parameters of the three blocks, one row per field: where the field sits in its block's data
// bytes, the values it takes, how the controller names it when it refuses it, where a profile keeps
// it, and which control and help text show it. The block codecs, the acknowledgement handling, the
// profile files, the window and the virtual controller all take these facts from here, so that
// none of them types a range, an item list or a key of its own.
#include "protocol/Communication.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zelbor {

// The values of all three blocks, as the window's controls hold them.
struct ParameterValues {
    BasicSettings basic;
    PedalAssistSettings pedalAssist;
    ThrottleSettings throttle;
    bool operator==(const ParameterValues&) const = default;
};

enum class ControlKind : std::uint8_t {
    Spin,      // a whole number, limited to [minimum, maximum] where the program sets it
    List,      // a fixed list: the index of the selected item, -1 for none
    VoltsText, // the low-battery box: volts typed as text, with proposed values by nominal voltage
};

// How a list index becomes the bits of its data byte, and which bits read back as which item.
enum class ItemCoding : std::uint8_t {
    // bits = index + offset. The special item, if the list has one, is written as its own byte,
    // and only that byte reads as it ("By Display's Command" and "Undeterminated" are 0xFF).
    Offset,
    // As Offset, except that the bits the formula gives for the special item read as it too: the
    // speed-meter type "By Motor Phase" is written as code 3, and code 2 reads as it.
    TypeCode,
    // bits = the item's number of inches x 2 (half inches). The special item ("700C") is written as
    // its own byte; any other byte reads as its half, an odd one counting as the next inch. Without
    // a selection the item's text is empty, which is no number: encoding fails with EConvertError.
    HalfInches,
};

// What a block is beyond its fields.
struct BlockInfo {
    std::uint8_t code;     // bcBasic, bcPedalAssist, bcThrottle
    int page;              // its page of the window: 0 Basic, 1 Pedal Assist, 2 Throttle Handle
    std::size_t dataBytes; // data bytes of its frame; also its write acknowledgement's field count
    const char* section;   // its section in a profile file
    const char* helpTopic; // the help file of its "?" buttons
};

struct ParameterField {
    std::string control; // the control that shows it, e.g. "speBasCurrLim"; the record field's name
    std::uint8_t block = 0;
    ControlKind kind = ControlKind::Spin;

    // ---- Values ----
    // Spin: the control's range. VoltsText: the proposed volts before any identification.
    // List: 0 .. items - 1.
    int minimum = 0;
    int maximum = 0;
    const std::vector<std::string>* items = nullptr; // List only, in wire order
    ItemCoding coding = ItemCoding::Offset;
    int offset = 0;        // Offset, TypeCode
    int specialIndex = -1; // the item with a byte of its own, -1 for none
    std::uint8_t specialByte = 0;

    // ---- Wire ----
    // Its data byte: frame offset 3 + dataByte, read-reply offset 2 + dataByte. Two fields may
    // share a byte, each with its own bits: a field contributes (bits << shift), the byte is the
    // sum of its fields' contributions reduced to 8 bits, and reads back as (byte >> shift)
    // masked to `width` bits.
    std::size_t dataByte = 0;
    unsigned shift = 0;
    unsigned width = 8;

    // ---- Write acknowledgement ----
    int ackIndex = -1;  // the result that refuses it, -1 when none does
    std::string ackKey; // the message of that result

    // ---- Profile ----
    int profileOrder = 0; // position among the keys of a profile file, 0 first
    std::string profileKey;
    int profileDefault = 0;

    // ---- Help and naming ----
    // The caption the window shows for it, without colon and trailing blanks (the assist levels'
    // fields, which sit under column titles, are named by level and column): how a front end
    // without the window names the field to the user.
    std::string label;
    std::string helpButton; // the "?" button that explains it: its name is the help file's section

    // ---- The record field ----
    int& (*ref)(ParameterValues&, std::size_t level) = nullptr;
    std::size_t level = 0;                            // the assist level of the assist fields
    KeptByte* (*keptRef)(ParameterValues&) = nullptr; // list fields: the byte kept for it

    const BlockInfo& Block() const;
    int Page() const { return Block().page; }
    int& Value(ParameterValues& v) const { return ref(v, level); }
    int Value(const ParameterValues& v) const { return ref(const_cast<ParameterValues&>(v), level); }
    KeptByte* Kept(ParameterValues& v) const { return keptRef ? keptRef(v) : nullptr; }
    const KeptByte* Kept(const ParameterValues& v) const { return Kept(const_cast<ParameterValues&>(v)); }
    int ItemCount() const { return items ? static_cast<int>(items->size()) : 0; }
    unsigned Mask() const { return (1u << width) - 1u; }

    // List fields: the bits an index gives (before the shift). Any index has bits except in a
    // HalfInches list, where an index without an item throws EConvertError.
    unsigned ItemBits(int index) const;
    // List fields: the item that the bits read as, or -1.
    int ItemIndex(unsigned bits) const;
};

// Every field, page by page, each page's fields in the order the window shows them (an assist
// level's current limit before its speed limit).
std::span<const ParameterField> ParameterTable();
std::span<const BlockInfo> Blocks();
const BlockInfo* FindBlock(std::uint8_t code);                     // nullptr for any other code
const ParameterField* FindParameter(std::string_view control);     // nullptr for any other name
std::vector<const ParameterField*> BlockFields(std::uint8_t code); // in table order
std::vector<const ParameterField*> ProfileOrder();                 // all fields, in the order a profile keeps them
const ParameterField* RefusedField(std::uint8_t code, std::size_t result); // nullptr when none has it

// The "?" buttons, in the order the pages show them. A field names the one that explains it; the
// assist levels' column has one that explains no field of its own.
struct HelpButtonInfo {
    const char* name; // e.g. "btnHelp_Basic_CurrentLimit"; the section of the help file
    std::uint8_t block;
};
std::span<const HelpButtonInfo> HelpButtons();

// ---- Codecs over the table ----
// The data bytes of a block from the values (a kept byte wins over its list's index). Throws
// EConvertError where a field cannot be encoded (no wheel selected and no wheel byte kept).
Bytes EncodeBlock(std::uint8_t code, const ParameterValues& values);
// Decodes a read reply into the block's fields of `values`; the other blocks are left alone.
// False, with nothing changed, for a reply too short for the block or a code that is no block.
bool DecodeBlock(std::uint8_t code, std::span<const std::uint8_t> reply, ParameterValues& values);

} // namespace zelbor
