// SPDX-License-Identifier: GPL-3.0-or-later
// The status line while the window waits for the controller, against a virtual controller that
// misbehaves as real lines do, and the line monitor. Neither stops the transfer nor shows a box.
#include "MainTestSupport.h"
#include "ui/LineTools.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

namespace zelbor::uitest {
namespace {

#ifndef _WIN32

TEST(LineStatus, AfterThreeSecondsTheStatusLineNamesWhatCameBack)
{
    struct Case {
        QStringList controller;
        const char* finding;
    };
    const std::vector<Case> cases = {
        {{QStringLiteral("--silent")}, "Nothing came back"},
        {{QStringLiteral("--echo")}, "Only the tool's own request came back"},
        {{QStringLiteral("--garbage")}, "Bytes came back that are no reply"},
        {{QStringLiteral("--short-reply")}, "A reply came back too short to use"},
    };
    ShipFolder ship;
    HookRecorder hooks;
    MessageRecorder messages;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.controller.join(QLatin1Char(' ')).toStdString());
        VirtualController vc(k.controller);
        ASSERT_FALSE(vc.Port().isEmpty());
        auto form = StartedForm();
        ChoosePort(*form, vc.Port());
        form->btnPortConnectClick();
        QLabel* status = form->findChild<QLabel*>(QStringLiteral("lblLineStatus"));
        ASSERT_TRUE(status);
        ASSERT_TRUE(PumpUntil([&] { return status->text().contains(QStringLiteral("Waiting for the controller")); }));
        EXPECT_TRUE(status->text().contains(QStringLiteral("Identifying the controller on")))
            << status->text().toStdString();
        ASSERT_TRUE(PumpUntil([&] { return status->text().contains(QLatin1String(k.finding)); }, 6000))
            << status->text().toStdString();
        // The design's wait goes on: still identifying, no message, Disconnect stops it.
        EXPECT_EQ(form->TransferMode, TMainForm::tmConnect);
        EXPECT_TRUE(form->TimerConnect->isActive());
        EXPECT_TRUE(messages.messages.empty());
        form->btnPortDisconnectClick();
        EXPECT_TRUE(status->text().isEmpty()) << status->text().toStdString();
    }
}

// German says the longest verdict: the window must grow to show all of it, not cut the cure off.
TEST(LineStatus, TheWholeVerdictIsShownInTheLongestLanguage)
{
    ShipFolder ship;
    HookRecorder hooks;
    MessageRecorder messages;
    VirtualController vc({QStringLiteral("--silent")});
    ASSERT_FALSE(vc.Port().isEmpty());
    auto form = StartedForm();
    form->cbbLanguage->setCurrentIndex(form->cbbLanguage->findText(QStringLiteral("Deutsch")));
    ASSERT_TRUE(form->cbbLanguageChange());
    ASSERT_EQ(zelbor::CurrentLanguage, "deu");
    // The other half of the status bar holds what a read left there.
    form->lblDifferences->setText(QStringLiteral("Jedes Feld enthält, was der Controller gemeldet hat."));
    form->show();
    PumpFor(100);
    const int shortHeight = form->height();
    const QSize client = form->centralWidget()->size();
    ChoosePort(*form, vc.Port());
    form->btnPortConnectClick();
    QLabel* status = form->findChild<QLabel*>(QStringLiteral("lblLineStatus"));
    ASSERT_TRUE(status);
    ASSERT_TRUE(PumpUntil([&] { return status->text().contains(QStringLiteral("Nichts kam zurück")); }, 6000))
        << status->text().toStdString();
    PumpFor(100); // the window's layout follows the new text
    EXPECT_GE(status->height(), status->heightForWidth(status->width())) << status->text().toStdString();
    EXPECT_GT(form->height(), shortHeight);
    EXPECT_EQ(form->centralWidget()->size(), client); // the pages keep their size
    form->btnPortDisconnectClick();
    PumpFor(100);
    EXPECT_EQ(form->height(), shortHeight);
}

TEST(LineStatus, ASoundControllerLeavesNoVerdictAndTheMonitorListsTheLine)
{
    ShipFolder ship;
    HookRecorder hooks;
    MessageRecorder messages;
    VirtualController vc({});
    ASSERT_FALSE(vc.Port().isEmpty());
    auto form = StartedForm();
    QLabel* status = form->findChild<QLabel*>(QStringLiteral("lblLineStatus"));
    ASSERT_TRUE(status);
    form->LineTools->MonitorAction()->trigger();
    QDialog* monitor = form->LineTools->Monitor();
    ASSERT_TRUE(monitor && monitor->isVisible());
    auto* list = monitor->findChild<QPlainTextEdit*>(QStringLiteral("memLineMonitor"));
    ASSERT_TRUE(list);

    ChoosePort(*form, vc.Port());
    form->btnPortConnectClick();
    ASSERT_TRUE(PumpUntil([&] { return form->btnBasRead->isEnabled(); }));
    EXPECT_TRUE(status->text().isEmpty()) << status->text().toStdString();
    form->btnPASReadClick();
    ASSERT_TRUE(PumpUntil([&] { return list->toPlainText().contains(QStringLiteral("<- ")); }));
    ASSERT_TRUE(PumpUntil([&] { return list->toPlainText().contains(QStringLiteral("-> 2 bytes: 11 53")); }));
    EXPECT_TRUE(list->toPlainText().contains(QStringLiteral("-> 5 bytes: 11 51 04 B0 05")))
        << list->toPlainText().toStdString();
    monitor->findChild<QPushButton*>(QStringLiteral("btnMonitorCopy"))->click();
    EXPECT_EQ(QApplication::clipboard()->text(), list->toPlainText());

    // Closed, it records nothing.
    monitor->close();
    const QString before = list->toPlainText();
    form->btnThrReadClick();
    PumpFor(800);
    EXPECT_EQ(list->toPlainText(), before);
}

#endif

} // namespace
} // namespace zelbor::uitest
