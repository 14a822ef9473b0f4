// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/FieldViews.h"

#include <QComboBox>
#include <QSignalBlocker>
#include <QSpinBox>
#include <utility>

namespace zelbor {

namespace {

std::size_t Place(const ParameterField& field) { return static_cast<std::size_t>(&field - ParameterTable().data()); }

// A list shows no item for an index it does not hold (its items may not be filled in yet).
void ShowIndex(QComboBox* list, int index) { list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1); }

// Sets the state aside for as long as the view writes into the controls.
class Showing {
public:
    explicit Showing(bool& flag) : flag_(flag), before_(std::exchange(flag, true)) {}
    ~Showing() { flag_ = before_; }
    Showing(const Showing&) = delete;
    Showing& operator=(const Showing&) = delete;

private:
    bool& flag_;
    bool before_;
};

} // namespace

TFieldViews::TFieldViews(TEditingState& state) : state_(state), controls_(ParameterTable().size(), nullptr) {}

TFieldViews::~TFieldViews()
{
    if (listener_)
        state_.RemoveListener(listener_);
}

void TFieldViews::Add(const ParameterField& field, QWidget* control) { controls_.at(Place(field)) = control; }

QWidget* TFieldViews::Control(const ParameterField& field) const
{
    const std::size_t i = Place(field);
    return i < controls_.size() ? controls_[i] : nullptr;
}

void TFieldViews::Start()
{
    // Each takes what the control holds when it is called rather than what its notification
    // carries: a text field notifies of a change after the handlers of the user's edit have run,
    // with the text from before they changed it.
    for (const ParameterField& field : ParameterTable()) {
        QWidget* control = Control(field);
        switch (field.kind) {
        case ControlKind::Spin: {
            auto* spin = static_cast<QSpinBox*>(control);
            connect(spin, &QSpinBox::valueChanged, this, [this, &field, spin] {
                if (!showing_)
                    state_.SetValue(field, spin->value());
            });
            break;
        }
        case ControlKind::List: {
            auto* list = static_cast<QComboBox*>(control);
            const auto picked = [this, &field, list] {
                if (!showing_)
                    state_.SetValue(field, list->currentIndex());
            };
            // A pick of the item already shown is a pick too: it drops the byte kept for the list.
            connect(list, &QComboBox::currentIndexChanged, this, picked);
            connect(list, &QComboBox::activated, this, picked);
            break;
        }
        case ControlKind::VoltsText:
            connect(static_cast<QComboBox*>(control), &QComboBox::editTextChanged, this, [this, &field] {
                if (!showing_)
                    TakeText(field);
            });
            break;
        }
    }
    listener_ = state_.AddListener([this](const TEditingChange& change) { Show(change); });

    // As an identification shows them: ranges, proposals and values.
    TEditingChange all{TEditSource::Identification, 0, {}};
    for (const ParameterField& field : ParameterTable())
        all.fields.push_back(&field);
    Show(all);
}

void TFieldViews::TakeText(const ParameterField& field)
{
    if (auto* box = qobject_cast<QComboBox*>(Control(field)))
        state_.SetText(field, box->currentText().toStdString());
}

void TFieldViews::Show(const TEditingChange& change)
{
    const Showing showing(showing_);
    for (const ParameterField* field : change.fields) {
        QWidget* control = Control(*field);
        switch (field->kind) {
        case ControlKind::Spin: {
            auto* spin = static_cast<QSpinBox*>(control);
            const TFieldRange range = state_.Range(*field);
            if (spin->minimum() != range.minimum || spin->maximum() != range.maximum)
                spin->setRange(range.minimum, range.maximum);
            const int value = state_.Value(*field);
            if (spin->value() != value)
                spin->setValue(value);
            break;
        }
        case ControlKind::List: {
            auto* list = static_cast<QComboBox*>(control);
            const int index = state_.Value(*field);
            if (list->currentIndex() != index)
                ShowIndex(list, index);
            break;
        }
        case ControlKind::VoltsText:
            ShowVolts(*field, static_cast<QComboBox*>(control), change);
            break;
        }
    }
}

void TFieldViews::ShowVolts(const ParameterField& field, QComboBox* box, const TEditingChange& change)
{
    const QString text = QString::fromStdString(state_.Text(field));
    // Shows the text; the item it names is selected where `select` holds, none otherwise.
    const auto showText = [box, &text](bool select) {
        const int index = select ? box->findText(text, Qt::MatchExactly) : -1;
        box->setCurrentIndex(index);
        box->setEditText(text); // also when that item was already the current one
    };
    switch (change.source) {
    case TEditSource::User:
        // A rule applied to the user's text (the range adjustment) selects the item it chose.
        if (box->currentText() != text)
            showText(true);
        break;
    case TEditSource::Profile: {
        const QSignalBlocker blocker(box);
        showText(true);
        break;
    }
    case TEditSource::Identification:
    case TEditSource::Read: {
        // The proposals are rebuilt around the text; a read selects the item of the reported volts
        // when it proposes them, and otherwise leaves the text it had without a selection.
        const QSignalBlocker blocker(box);
        box->clear();
        for (int volts : state_.OfferedVolts())
            box->addItem(QString::number(volts));
        bool select = false;
        if (change.source == TEditSource::Read)
            if (const auto& reported = state_.Reported(change.block))
                select = text == QString::number(field.Value(*reported));
        showText(select);
        break;
    }
    }
}

} // namespace zelbor
