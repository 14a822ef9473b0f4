// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The ten assist levels at a glance: the current and speed limits being edited, with what the
// controller last reported drawn faintly behind them, so that a level that breaks the rise of
// the curve or differs from the controller stands out. Drawn with Qt's own painting.
#include "editing/EditingState.h"

#include <QString>
#include <QWidget>
#include <array>
#include <optional>

namespace zelbor {

class TAssistChart : public QWidget {
public:
    explicit TAssistChart(TEditingState& state, QWidget* parent = nullptr);
    ~TAssistChart() override;
    TAssistChart(const TAssistChart&) = delete;
    TAssistChart& operator=(const TAssistChart&) = delete;

    // The texts of the legend and of the accessible description (%1: the levels' values).
    struct Texts {
        QString name = QStringLiteral("Assist levels");
        QString current = QStringLiteral("Current [%]");
        QString speed = QStringLiteral("Speed [%]");
        QString controller = QStringLiteral("controller");
        QString rising = QStringLiteral("Levels below the level before them: %1.");
    };
    void SetTexts(const Texts& texts);
    // The ten values of a column: the edited ones, or the controller's (none before a read).
    using Levels = std::array<int, 10>;
    Levels Edited(bool current) const;
    std::optional<Levels> Reported(bool current) const;
    // The levels (1 to 9) whose current or speed lies below the level before them.
    std::vector<int> Falling() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Describe();
    TEditingState& state_;
    std::size_t listener_ = 0;
    Texts texts_;
};

} // namespace zelbor
