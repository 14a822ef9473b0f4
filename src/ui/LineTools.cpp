// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/LineTools.h"
#include "common/AtomicFile.h"
#include "serial/Doctor.h"
#include "ui/PathQt.h"
#include "ui/Seam.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

namespace zelbor {

namespace {

QString Text(const char* key, const char* english, const std::vector<std::string>& args = {})
{
    return QString::fromStdString(DoctorText(key, english, args));
}

} // namespace

TLineTools::TLineTools(QMainWindow* window, QMenu* beforeMenu, std::function<QString(std::uint8_t)> blockName,
                       std::function<QString()> portName)
    : QObject(window), window_(window), blockName_(std::move(blockName)), portName_(std::move(portName))
{
    status_ = new QLabel(window);
    status_->setObjectName(QStringLiteral("lblLineStatus"));
    status_->setWordWrap(true);
    window->statusBar()->setObjectName(QStringLiteral("sbLine"));
    window->statusBar()->setSizeGripEnabled(false);
    window->statusBar()->addWidget(status_, 1);

    timer_ = new QTimer(this);
    timer_->setObjectName(QStringLiteral("TimerLineStatus"));
    timer_->setInterval(1000);
    connect(timer_, &QTimer::timeout, this, [this] { Tick(); });

    toolsMenu_ = new QMenu(window);
    toolsMenu_->setObjectName(QStringLiteral("mnToolsMenu"));
    window->menuBar()->insertMenu(beforeMenu ? beforeMenu->menuAction() : nullptr, toolsMenu_);
    monitorAction_ = toolsMenu_->addAction(QString());
    monitorAction_->setObjectName(QStringLiteral("mnLineMonitor"));
    connect(monitorAction_, &QAction::triggered, this, [this] { OpenMonitor(); });
    Retranslate();
}

void TLineTools::Retranslate()
{
    toolsMenu_->setTitle(Text("menu_tools", "&Tools"));
    monitorAction_->setText(Text("menu_monitor", "&Line Monitor"));
    if (monitor_) {
        monitor_->setWindowTitle(Text("monitor_title", "Line Monitor"));
        copy_->setText(Text("monitor_copy", "&Copy All"));
        save_->setText(Text("monitor_save", "&Save..."));
        clear_->setText(Text("monitor_clear", "C&lear"));
    }
    Tick();
}

void TLineTools::Line(LineDirection direction, std::span<const std::uint8_t> bytes)
{
    const bool sent = direction == LineDirection::Sent;
    if (sent)
        watch_.Sent(bytes, Seam().Now());
    else
        watch_.Received(bytes);
    if (watch_.Waiting() && !timer_->isActive())
        timer_->start();
    // Only while the monitor is open: nothing is kept that the user did not ask to see.
    if (monitor_ && monitor_->isVisible())
        monitorList_->appendPlainText(
            QString::fromStdString(MonitorLine(std::chrono::system_clock::now(), sent, bytes)));
    Tick();
}

void TLineTools::Stop()
{
    watch_.Stop();
    Tick();
}

QString TLineTools::StatusText() const
{
    const auto awaited = watch_.Awaited();
    if (!awaited)
        return {};
    const long seconds = watch_.SecondsWaited(Seam().Now());
    QString doing;
    if (*awaited == bcIdentify)
        doing = Text("identifying", "Identifying the controller on %1", {portName_().toStdString()});
    else if (watch_.AwaitsWriteAck())
        doing = Text("writing", "Writing %1", {blockName_(*awaited).toStdString()});
    else
        doing = Text("reading", "Reading %1", {blockName_(*awaited).toStdString()});
    QString text = doing + QStringLiteral("\u2026 ") +
                   Text("waiting", "Waiting for the controller: %1 s", {std::to_string(seconds)});
    if (seconds >= LineWatch::kVerdictAfter.count())
        text += QStringLiteral(". ") + QString::fromStdString(FindingText(watch_));
    return text;
}

void TLineTools::Tick()
{
    const QString text = StatusText();
    if (status_->text() != text) {
        status_->setText(text);
        status_->setAccessibleName(text);
        // A verdict runs to several lines (more in French and German than in English), and the
        // status bar of a fixed-size window would give it one: the window grows by what the whole
        // text needs while it is shown, so that the cure is never cut off.
        const int width = status_->width() > 0 ? status_->width() : window_->width() / 2;
        status_->setMinimumHeight(text.isEmpty() ? 0 : status_->heightForWidth(width));
    }
    if (text.isEmpty())
        timer_->stop();
}

void TLineTools::BuildMonitor()
{
    monitor_ = new QDialog(window_);
    monitor_->setObjectName(QStringLiteral("frmLineMonitor"));
    monitor_->setModal(false);
    monitor_->resize(640, 360);
    monitorList_ = new QPlainTextEdit(monitor_);
    monitorList_->setObjectName(QStringLiteral("memLineMonitor"));
    monitorList_->setReadOnly(true);
    monitorList_->setLineWrapMode(QPlainTextEdit::NoWrap);
    monitorList_->setFont(QFont(QStringLiteral("monospace")));
    copy_ = new QPushButton(monitor_);
    copy_->setObjectName(QStringLiteral("btnMonitorCopy"));
    save_ = new QPushButton(monitor_);
    save_->setObjectName(QStringLiteral("btnMonitorSave"));
    clear_ = new QPushButton(monitor_);
    clear_->setObjectName(QStringLiteral("btnMonitorClear"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(copy_);
    buttons->addWidget(save_);
    buttons->addWidget(clear_);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(monitor_);
    layout->addWidget(monitorList_, 1);
    layout->addLayout(buttons);
    connect(copy_, &QPushButton::clicked, this,
            [this] { QApplication::clipboard()->setText(monitorList_->toPlainText()); });
    connect(clear_, &QPushButton::clicked, this, [this] { monitorList_->clear(); });
    connect(save_, &QPushButton::clicked, this, [this] {
        const QString file = QFileDialog::getSaveFileName(monitor_, monitor_->windowTitle());
        if (file.isEmpty())
            return;
        try {
            WriteFileAtomically(ToPath(file), (monitorList_->toPlainText() + "\n").toStdString());
        } catch (const std::exception& e) {
            monitorList_->appendPlainText(QString::fromStdString(e.what()));
        }
    });
}

void TLineTools::OpenMonitor()
{
    if (!monitor_)
        BuildMonitor();
    Retranslate();
    monitor_->show();
    monitor_->raise();
    monitor_->activateWindow();
}

} // namespace zelbor
