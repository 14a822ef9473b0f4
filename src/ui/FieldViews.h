// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The parameter controls as views of the editing state, and the one place that maps each control
// to its field, both ways. What the user does in a control goes to the state as it is; every
// change of the state (a read, a profile, an identification, a rule applied to the user's value)
// is shown in the controls. How a field is shown follows its kind in the parameter table: a spin
// box, a fixed list, or the editable list of the low-battery volts.
#include "editing/EditingState.h"

#include <QObject>
#include <cstddef>
#include <vector>

class QComboBox;
class QWidget;

namespace zelbor {

class TFieldViews : public QObject {
public:
    explicit TFieldViews(TEditingState& state);
    ~TFieldViews() override;
    TFieldViews(const TFieldViews&) = delete;
    TFieldViews& operator=(const TFieldViews&) = delete;

    // While the window is built: the control of `field` (a QSpinBox for a spin field, a
    // QComboBox for the others).
    void Add(const ParameterField& field, QWidget* control);
    QWidget* Control(const ParameterField& field) const;
    // Once every field has its control: shows the state and follows the controls from then on.
    void Start();
    // Hands the state the text the control holds now, for a handler that may run before the
    // control's own notification of it.
    void TakeText(const ParameterField& field);

private:
    void Show(const TEditingChange& change);
    void ShowVolts(const ParameterField& field, QComboBox* box, const TEditingChange& change);

    TEditingState& state_;
    std::vector<QWidget*> controls_; // by the field's place in ParameterTable()
    std::size_t listener_ = 0;
    bool showing_ = false; // the controls' notifications of what this view sets are not the user's
};

} // namespace zelbor
