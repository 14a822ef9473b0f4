// SPDX-License-Identifier: GPL-3.0-or-later
#include "editing/EditingState.h"

#include "common/Errors.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace zelbor {

namespace {

std::size_t BlockIndex(std::uint8_t block)
{
    const BlockInfo* info = FindBlock(block);
    if (!info)
        throw std::logic_error("no parameter block " + std::to_string(block));
    return static_cast<std::size_t>(info - Blocks().data());
}

// The current limit is the one field whose upper bound the controller sets.
const ParameterField& CurrentLimit()
{
    static const ParameterField& field = *FindParameter("speBasCurrLim");
    return field;
}

const ParameterField& VoltsField()
{
    static const ParameterField& field = *FindParameter("cbbBasLowBat");
    return field;
}

std::vector<const ParameterField*> AllFields()
{
    std::vector<const ParameterField*> fields;
    for (const ParameterField& f : ParameterTable())
        fields.push_back(&f);
    return fields;
}

// The bits a list writes for its index or kept byte; none where it cannot be encoded (no wheel).
std::optional<unsigned> ListBits(const ParameterField& field, int index, const KeptByte& kept)
{
    if (kept)
        return *kept & field.Mask();
    try {
        return field.ItemBits(index) & field.Mask();
    } catch (const EConvertError&) {
        return std::nullopt;
    }
}

} // namespace

TEditingState::TEditingState() : fields_(ParameterTable().size())
{
    for (const ParameterField& f : ParameterTable()) {
        FieldState& s = Of(f);
        switch (f.kind) {
        case ControlKind::Spin:
            s.range = {f.minimum, f.maximum};
            s.value = f.minimum;
            break;
        case ControlKind::List:
            s.range = {0, f.ItemCount() - 1};
            s.value = -1;
            break;
        case ControlKind::VoltsText:
            for (int v = f.minimum; v <= f.maximum; ++v)
                offeredVolts_.push_back(v);
            break;
        }
    }
}

TEditingState::FieldState& TEditingState::Of(const ParameterField& field)
{
    return const_cast<FieldState&>(std::as_const(*this).Of(field));
}

const TEditingState::FieldState& TEditingState::Of(const ParameterField& field) const
{
    const auto table = ParameterTable();
    if (&field < table.data() || &field >= table.data() + table.size())
        throw std::logic_error("not a field of the parameter table: " + field.control);
    return fields_[static_cast<std::size_t>(&field - table.data())];
}

// ---------------------------------------------------------------- the edited values

int TEditingState::Value(const ParameterField& field) const
{
    if (field.kind == ControlKind::VoltsText)
        return StrToInt(voltsText_);
    return Of(field).value;
}

std::string TEditingState::Text(const ParameterField& field) const
{
    return field.kind == ControlKind::VoltsText ? voltsText_ : std::to_string(Of(field).value);
}

TFieldRange TEditingState::Range(const ParameterField& field) const
{
    if (field.kind == ControlKind::VoltsText)
        return offeredVolts_.empty() ? TFieldRange{0, -1} : TFieldRange{offeredVolts_.front(), offeredVolts_.back()};
    return Of(field).range;
}

KeptByte TEditingState::Kept(const ParameterField& field) const { return Of(field).kept; }

ParameterValues TEditingState::Values(std::uint8_t block) const
{
    ParameterValues values;
    Collect(block, values);
    return values;
}

ParameterValues TEditingState::Values() const
{
    ParameterValues values;
    for (const BlockInfo& block : Blocks()) // Basic first, with the low-battery text
        Collect(block.code, values);
    return values;
}

void TEditingState::Collect(std::uint8_t block, ParameterValues& values) const
{
    const std::vector<const ParameterField*> fields = BlockFields(block);
    // The low-battery text first: when it is no number, nothing else is taken.
    for (const ParameterField* f : fields)
        if (f->kind == ControlKind::VoltsText)
            f->Value(values) = StrToInt(voltsText_);
    for (const ParameterField* f : fields) {
        if (f->kind == ControlKind::VoltsText)
            continue;
        f->Value(values) = Of(*f).value;
        if (KeptByte* kept = f->Kept(values))
            *kept = Of(*f).kept;
    }
}

// ---------------------------------------------------------------- values that arrive

void TEditingState::Hold(const ParameterField& field, int value)
{
    FieldState& s = Of(field);
    if (field.kind == ControlKind::Spin)
        s.value = std::clamp(value, s.range.minimum, s.range.maximum);
    else
        s.value = value >= 0 && value < field.ItemCount() ? value : -1;
}

void TEditingState::SetValue(const ParameterField& field, int value)
{
    if (field.kind == ControlKind::VoltsText) {
        SetText(field, std::to_string(value));
        return;
    }
    FieldState& s = Of(field);
    const FieldState before = s;
    Hold(field, value);
    // The kept byte stood for what the list could not show: once the user picks an item, even
    // the one shown, that item is what goes out.
    s.kept.reset();
    if (s.value != before.value || s.kept != before.kept)
        Notify(TEditSource::User, 0, {&field});
}

void TEditingState::SetText(const ParameterField& field, const std::string& text)
{
    if (field.kind != ControlKind::VoltsText || text == voltsText_)
        return;
    voltsText_ = text;
    Notify(TEditSource::User, 0, {&field});
}

void TEditingState::AdjustText(const ParameterField& field)
{
    if (field.kind != ControlKind::VoltsText || voltsText_.empty() || offeredVolts_.empty())
        return;
    int volts = StrToInt(voltsText_);
    std::string text = voltsText_;
    if (volts > offeredVolts_.back()) {
        volts = offeredVolts_.back();
        text = std::to_string(volts);
    }
    if (volts < offeredVolts_.front())
        text = std::to_string(offeredVolts_.front());
    SetText(field, text);
}

void TEditingState::ApplyRead(std::uint8_t block, const ParameterValues& reported)
{
    reported_[BlockIndex(block)] = reported;
    const std::vector<const ParameterField*> fields = BlockFields(block);
    for (const ParameterField* f : fields) {
        const int value = f->Value(reported);
        if (f->kind == ControlKind::VoltsText) {
            // The proposals follow the nominal voltage identified; the reported volts are shown
            // only where they are proposed, and the text stays otherwise.
            if (identification_)
                offeredVolts_ = NominalVoltageRowForCode(identification_->nominalVoltageCode).LowBatteryList();
            else
                offeredVolts_.clear();
            if (std::find(offeredVolts_.begin(), offeredVolts_.end(), value) != offeredVolts_.end())
                voltsText_ = std::to_string(value);
            continue;
        }
        Hold(*f, value);
        if (const KeptByte* kept = f->Kept(reported))
            Of(*f).kept = *kept;
    }
    Notify(TEditSource::Read, block, fields);
}

void TEditingState::ApplyProfile(const ParameterValues& profile)
{
    for (const ParameterField& f : ParameterTable()) {
        const int value = f.Value(profile);
        if (f.kind == ControlKind::VoltsText) {
            voltsText_ = std::to_string(value); // shown as stored, without the range adjustment
            continue;
        }
        Hold(f, value);
        if (const KeptByte* kept = f.Kept(profile))
            Of(f).kept = *kept;
    }
    Notify(TEditSource::Profile, 0, AllFields());
}

void TEditingState::Identify(const ControllerInfo& info)
{
    identification_ = info;
    offeredVolts_ = NominalVoltageRowForCode(info.nominalVoltageCode).LowBatteryList();
    // The value is held within the new range. The lower bound stays: a maximum below it would
    // otherwise pull it down and allow a limit of 0 A, which a later identification would not
    // raise again; such a maximum leaves the range as it was.
    if (const auto maximum = CurrentLimitMaximum(info)) {
        Of(CurrentLimit()).range = {kCurrentLimitMinimum, *maximum};
        Hold(CurrentLimit(), Of(CurrentLimit()).value);
    }
    Notify(TEditSource::Identification, 0, {&VoltsField(), &CurrentLimit()});
}

void TEditingState::SetOfferedVolts(int firstVolts, int lastVolts)
{
    offeredVolts_.clear();
    for (int v = firstVolts; v <= lastVolts; ++v)
        offeredVolts_.push_back(v);
    Notify(TEditSource::Identification, 0, {&VoltsField()});
}

void TEditingState::ClearOfferedVolts()
{
    offeredVolts_.clear();
    Notify(TEditSource::Identification, 0, {&VoltsField()});
}

bool TEditingState::AcceptsVoltsKey(char32_t key) { return key == 8 || (key >= U'0' && key <= U'9'); }

// ---------------------------------------------------------------- the controller's side

const std::optional<ParameterValues>& TEditingState::Reported(std::uint8_t block) const
{
    return reported_[BlockIndex(block)];
}

void TEditingState::SetReported(std::uint8_t block, const ParameterValues& reported)
{
    reported_[BlockIndex(block)] = reported;
    Notify(TEditSource::Read, block, {});
}

void TEditingState::AcceptWritten(std::uint8_t block, const Bytes& data)
{
    const BlockInfo* info = FindBlock(block);
    if (!info || data.size() != info->dataBytes)
        return;
    Bytes reply{block, static_cast<std::uint8_t>(data.size())};
    reply.insert(reply.end(), data.begin(), data.end());
    ParameterValues held;
    if (!DecodeBlock(block, reply, held))
        return;
    SetReported(block, held);
}

bool TEditingState::DiffersFromController(const ParameterField& field) const
{
    const std::optional<ParameterValues>& reported = Reported(field.block);
    if (!reported)
        return false;
    const int held = field.Value(*reported);
    switch (field.kind) {
    case ControlKind::VoltsText:
        try {
            return Value(field) != held;
        } catch (const EConvertError&) {
            return true; // a text that is no number cannot write what the controller holds
        }
    case ControlKind::Spin:
        return Of(field).value != held;
    case ControlKind::List: {
        const auto edited = ListBits(field, Of(field).value, Of(field).kept);
        const auto controller = ListBits(field, held, *field.Kept(*reported));
        return !edited || !controller || *edited != *controller;
    }
    }
    return false;
}

ParameterValues TEditingState::ReportedAsProfile() const
{
    ParameterValues profile;
    for (const ParameterField& f : ParameterTable()) {
        const std::optional<ParameterValues>& reported = Reported(f.block);
        if (!reported)
            continue;
        const int value = f.Value(*reported);
        if (f.kind == ControlKind::Spin) {
            const TFieldRange range = Of(f).range;
            f.Value(profile) = std::clamp(value, range.minimum, range.maximum);
        } else {
            f.Value(profile) = value; // a list without an item for the byte is -1
        }
    }
    return profile;
}

// ---------------------------------------------------------------- notification

std::size_t TEditingState::AddListener(Listener listener)
{
    listeners_.emplace_back(nextListener_, std::move(listener));
    return nextListener_++;
}

void TEditingState::RemoveListener(std::size_t id)
{
    std::erase_if(listeners_, [id](const auto& entry) { return entry.first == id; });
}

void TEditingState::Notify(TEditSource source, std::uint8_t block, std::vector<const ParameterField*> fields)
{
    const TEditingChange change{source, block, std::move(fields)};
    const auto listeners = listeners_; // a listener may remove itself
    for (const auto& [id, listener] : listeners)
        listener(change);
}

} // namespace zelbor
