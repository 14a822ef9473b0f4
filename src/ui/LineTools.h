// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's view of the line: a status line under the pages that says what the tool is doing
// and, when the controller keeps silent, what the bytes on the line tell; and the line monitor,
// which lists every frame and chunk while it is open, for a support request. Both only watch:
// transfers go on as they always do, with no time-out, no message box and no change of mode.
#include "protocol/LineWatch.h"
#include "protocol/Transfer.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <span>

class QAction;
class QDialog;
class QLabel;
class QMainWindow;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace zelbor {

class TLineTools : public QObject {
public:
    // Adds the status line to the window's status bar and Tools > Line Monitor before `beforeMenu`.
    // `blockName` names a block as its page does; `portName` the port being identified.
    TLineTools(QMainWindow* window, QMenu* beforeMenu, std::function<QString(std::uint8_t)> blockName,
               std::function<QString()> portName);

    // Every frame sent and chunk received (the transfer sequence's line tap).
    void Line(LineDirection direction, std::span<const std::uint8_t> bytes);
    // Disconnected: nothing is awaited any more.
    void Stop();
    // The texts of the current language.
    void Retranslate();

    QLabel* StatusLine() const { return status_; }
    QDialog* Monitor() const { return monitor_; }
    QAction* MonitorAction() const { return monitorAction_; }
    // The status line's text now (for the tests: the same as the label after a tick).
    QString StatusText() const;
    void Tick(); // refreshes the status line (the timer's once a second)

private:
    void OpenMonitor();
    void BuildMonitor();

    QMainWindow* window_;
    std::function<QString(std::uint8_t)> blockName_;
    std::function<QString()> portName_;
    LineWatch watch_;
    LineWatch::Clock::time_point lastSent_{};
    QLabel* status_ = nullptr;
    QTimer* timer_ = nullptr;
    QMenu* toolsMenu_ = nullptr;
    QAction* monitorAction_ = nullptr;
    QDialog* monitor_ = nullptr;
    QPlainTextEdit* monitorList_ = nullptr;
    QPushButton* copy_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* clear_ = nullptr;
};

} // namespace zelbor
