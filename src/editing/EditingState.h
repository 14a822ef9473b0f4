// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The three blocks as they are being edited, and what the controller last reported of them. Every
// front end edits through this state: the window's controls show it and hand it what the user
// does, the command line loads a profile into it or reads a controller into it, and the transfer
// sequence takes the values it writes from it. The rules of what a value becomes when it arrives
// from a read, a profile or the user live here and nowhere else; the facts of each field (range,
// items, bytes) come from the parameter table.
#include "protocol/Communication.h"
#include "protocol/Parameters.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zelbor {

// Where a change of the edited values came from.
enum class TEditSource : std::uint8_t {
    User,           // one field set by the user (a control, a command-line option)
    Read,           // the read reply of one block
    Profile,        // a profile: all three blocks
    Identification, // the controller's identification, or the low-battery choices set anew
};

struct TEditingChange {
    TEditSource source = TEditSource::User;
    std::uint8_t block = 0; // the block a read reported; 0 for the other sources
    // The fields whose value, range, choices or kept byte may have changed, in table order.
    std::vector<const ParameterField*> fields;
};

struct TFieldRange {
    int minimum = 0;
    int maximum = 0;
    bool operator==(const TFieldRange&) const = default;
};

class TEditingState {
public:
    using Listener = std::function<void(const TEditingChange&)>;

    // As a window shows its fields before anything is loaded: every number at its minimum, no
    // list item selected, an empty low-battery text with the design's proposed volts.
    TEditingState();
    TEditingState(const TEditingState&) = delete;
    TEditingState& operator=(const TEditingState&) = delete;

    // ---- The edited values ----
    // A spin field's number or a list's index (-1: no item). The low-battery text is taken as a
    // whole number where it is read: throws EConvertError when it is none.
    int Value(const ParameterField& field) const;
    // The low-battery text as it stands (it may be empty or hold other characters, as pasted);
    // the decimal number for any other field.
    std::string Text(const ParameterField& field) const;
    // A spin field's current range, the identification's bound included; a list's 0 .. items - 1;
    // the low-battery field's first and last proposed volts (minimum > maximum: none proposed).
    TFieldRange Range(const ParameterField& field) const;
    // The byte a list keeps for the controller because no item shows it as read; none otherwise.
    KeptByte Kept(const ParameterField& field) const;
    // The volts the low-battery field proposes, ascending.
    const std::vector<int>& OfferedVolts() const { return offeredVolts_; }

    // What a write of `block` sends, and what a profile stores: the block's fields with the kept
    // bytes (the other blocks hold defaults), or all three. The low-battery text is converted
    // first, so a text that is no number throws EConvertError before anything else is taken.
    ParameterValues Values(std::uint8_t block) const;
    ParameterValues Values() const;

    // ---- Values that arrive ----
    // The user sets a field. A spin value is held within its range; a list index outside its
    // items selects nothing, and any pick, even of the item shown, drops the byte kept for it.
    // The low-battery field takes the number as its text.
    void SetValue(const ParameterField& field, int value);
    // The user's low-battery text, as typed or pasted; no rule applies to it here.
    void SetText(const ParameterField& field, const std::string& text);
    // The range adjustment after the user changed the low-battery text: a number above the last
    // proposed volts becomes the last, one below the first becomes the first. An empty text, or
    // no proposals, stays. Throws EConvertError, with nothing changed, when the text is no number.
    void AdjustText(const ParameterField& field);
    // A read reply of `block` (DecodeBlock's record; the other blocks are not looked at). It is
    // kept as what the controller reports. Spin values are held within their ranges; lists show
    // their item, or none, and keep the bytes no item gives back; the low-battery field proposes
    // the volts of the identified nominal voltage (none without an identification) and shows the
    // reported volts when it proposes them, its text otherwise. Fields of other blocks stay.
    void ApplyRead(std::uint8_t block, const ParameterValues& reported);
    // A profile's 42 numbers: spin values held within their ranges (the current limit within the
    // identification's bound), a list index outside its items as no selection, the kept bytes
    // the record carries (a profile carries none), the low-battery number as its text, whatever
    // is proposed. The controller's side stays as it is.
    void ApplyProfile(const ParameterValues& profile);
    // The identification: the current limit's upper bound becomes the controller's maximum
    // current (a maximum below the lower bound leaves the range as it was, see
    // CurrentLimitMaximum) and its value is held within it; the low-battery field proposes the
    // volts of the nominal voltage and keeps its text.
    void Identify(const ControllerInfo& info);
    const std::optional<ControllerInfo>& Identification() const { return identification_; }
    // The low-battery proposals set directly (the identification sets them from the nominal
    // voltage); the text stays.
    void SetOfferedVolts(int firstVolts, int lastVolts);
    void ClearOfferedVolts();

    // The characters the low-battery text takes from the keyboard: digits and Backspace.
    static bool AcceptsVoltsKey(char32_t key);

    // ---- The controller's side ----
    // What the controller last reported of `block`, as its read reply gave it (spin values
    // unlimited, list bytes without an item kept); none before a read of it.
    const std::optional<ParameterValues>& Reported(std::uint8_t block) const;
    // A read reply of `block` kept as what the controller reports, without touching the values
    // being edited (a comparison with the controller). Listeners hear a change of source Read
    // with no field of its own.
    void SetReported(std::uint8_t block, const ParameterValues& reported);
    // The controller accepted a write of `block` whose frame carried `data`: those bytes are
    // what it holds now, as a read of them would report. The edited values stay; listeners hear
    // a change of source Read with no field of its own. Data of the wrong length is ignored.
    void AcceptWritten(std::uint8_t block, const Bytes& data);
    // Whether the edited field would write other than the controller last reported: false for a
    // block not read yet. Lists compare the bytes they write, so a kept byte equals itself.
    bool DiffersFromController(const ParameterField& field) const;
    // The controller's reported values as a profile keeps them: spin values within their current
    // ranges, a list byte without an item as no selection (-1), the low-battery volts as reported.
    // Blocks not read yet hold defaults.
    ParameterValues ReportedAsProfile() const;

    // ---- Notification ----
    // Called after each change, in the order added; a listener may read the state but not change it.
    std::size_t AddListener(Listener listener);
    void RemoveListener(std::size_t id);

private:
    struct FieldState {
        int value = 0;
        KeptByte kept;
        TFieldRange range;
    };
    FieldState& Of(const ParameterField& field);
    const FieldState& Of(const ParameterField& field) const;
    void Hold(const ParameterField& field, int value); // a spin or list value as the program sets it
    void Collect(std::uint8_t block, ParameterValues& values) const;
    void Notify(TEditSource source, std::uint8_t block, std::vector<const ParameterField*> fields);

    std::vector<FieldState> fields_; // by the field's place in ParameterTable()
    std::string voltsText_;
    std::vector<int> offeredVolts_;
    std::optional<ControllerInfo> identification_;
    std::array<std::optional<ParameterValues>, 3> reported_; // Basic, Pedal Assist, Throttle Handle
    std::vector<std::pair<std::size_t, Listener>> listeners_;
    std::size_t nextListener_ = 1;
};

} // namespace zelbor
