// SPDX-License-Identifier: GPL-3.0-or-later
// Whole sequences against the virtual controller: connect, Read Flash, Write Flash, refusals
// and a controller that disappears.
#include "MainTestSupport.h"
#include "common/UserFolders.h"
#include "profile/Snapshot.h"
#include "ui/AssistChart.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

namespace zelbor {

using namespace uitest;

namespace {

QStringList Received(VirtualController& vc) { return ReceivedFrames(vc); }

QStringList Starting(const QStringList& frames, const QString& prefix)
{
    QStringList out;
    for (const QString& f : frames)
        if (f.startsWith(prefix))
            out << f.left(prefix.size() + 1); // the command and the block code
    return out;
}

} // namespace

class WithController : public ::testing::Test {
protected:
    // `paced`: replies at the line's speed, byte by byte, as on a cable.
    void Start(QStringList options = {}, bool paced = false)
    {
        if (QString::fromLatin1(ZELBOR_VIRTUAL_CONTROLLER).isEmpty())
            GTEST_SKIP() << "virtual controller not built";
        options << "--folder" << QString::fromStdString((ship.Path() / "ports").string());
        if (!paced)
            options << "--no-pacing";
        vc = std::make_unique<VirtualController>(options);
        ASSERT_FALSE(vc->Port().isEmpty());
        form = StartedForm();
        messages.SetForm(form.get());
        ChoosePort(*form, vc->Port());
    }
    void Connect()
    {
        form->btnPortConnectClick();
        ASSERT_TRUE(PumpUntil([&] { return form->btnBasRead->isEnabled(); }));
        form->ReopenCount = 0;
        messages.Clear();
    }
    // Runs until a message has been shown and the mode is idle again, then a little longer,
    // so that anything sent or shown afterwards is seen as well.
    void RunToEnd()
    {
        ASSERT_TRUE(PumpUntil([&] { return !messages.messages.empty() && form->TransferMode == TMainForm::tmIdle; }));
        PumpFor(600);
    }

    ShipFolder ship;
    HookRecorder hooks;
    MessageRecorder messages;
    std::unique_ptr<VirtualController> vc;
    std::unique_ptr<TMainForm> form;
};

TEST_F(WithController, ConnectsToAControllerThatAnswersTheThirdRequest)
{
    Start({"--identify-on", "3"});
    form->btnPortConnectClick();
    EXPECT_EQ(form->CommPort.BaudRate(), 1200u);
    EXPECT_EQ(form->CommPort.CommName(), vc->Port().toStdString());
    EXPECT_FALSE(form->btnPortConnect->isEnabled());
    EXPECT_FALSE(form->btnBasRead->isEnabled()); // identifying
    ASSERT_TRUE(PumpUntil([&] { return form->btnBasRead->isEnabled(); }));
    PumpFor(1000);
    EXPECT_EQ(Received(*vc).count("11 51 04 B0 05"), 3);
    EXPECT_FALSE(form->TimerConnect->isActive());
    EXPECT_EQ(form->TransferMode, TMainForm::tmIdle);
    EXPECT_EQ(form->lbManuf->text(), "ZLBR");
    EXPECT_EQ(form->lbModel->text(), "M250");
    EXPECT_EQ(form->lbHWVer->text(), "V1.2");
    EXPECT_EQ(form->lbFWVer->text(), "V2.0.1.5");
    EXPECT_EQ(form->lbNomVolt->text(), "48V");
    EXPECT_EQ(form->lbMaxCurr->text(), "25A");
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(WithController, ReadFlashReadsTheThreeBlocksInOrderAndReportsOnce)
{
    Start({}, true);
    Connect();
    form->btnReadFlashClick();
    EXPECT_EQ(form->TransferMode, TMainForm::tmReadAll);
    RunToEnd();
    EXPECT_EQ(messages.Keys(), std::vector<std::string>{"err47"});
    EXPECT_EQ(messages.messages[0].flags, zelbor::mbIconInformation);
    const QStringList reads = Starting(Received(*vc), "11 5");
    EXPECT_EQ(reads, (QStringList{"11 51", "11 52", "11 53", "11 54"}));
    EXPECT_EQ(form->ReopenCount, 3);
    // The controller's values are on the pages.
    EXPECT_EQ(form->cbbBasLowBat->currentText(), "41");
    EXPECT_EQ(form->speBasCurrLim->value(), 20);
    EXPECT_EQ(form->cbbBasWheelDiam->currentText(), "26");
}

TEST_F(WithController, EachSingleReadEndsWithItsOwnMessage)
{
    Start();
    Connect();
    const std::pair<QPushButton*, const char*> reads[] = {
        {form->btnBasRead, "err7"}, {form->btnPASRead, "err33"}, {form->btnThrRead, "err46"}};
    for (const auto& [button, key] : reads) {
        messages.Clear();
        button->click();
        RunToEnd();
        EXPECT_EQ(messages.Keys(), std::vector<std::string>{key});
    }
    EXPECT_EQ(Starting(Received(*vc), "11 5").mid(1), (QStringList{"11 52", "11 53", "11 54"}));
}

TEST_F(WithController, ReadPressedDuringReadFlashEndsTheSequence)
{
    Start();
    Connect();
    form->btnReadFlashClick();
    form->btnBasReadClick(); // before the first reply has been handled
    EXPECT_EQ(form->TransferMode, TMainForm::tmReadBlock);
    RunToEnd();
    PumpFor(800);
    EXPECT_EQ(messages.Keys(), std::vector<std::string>{"err7"});
    const QStringList frames = Received(*vc);
    EXPECT_EQ(frames.count("11 53"), 0);
    EXPECT_EQ(frames.count("11 54"), 0);
    EXPECT_EQ(form->TransferMode, TMainForm::tmIdle);
}

TEST_F(WithController, WriteFlashWithEverythingAcceptedReportsOnceAfterThreeReopenings)
{
    Start();
    Connect();
    form->cbbBasLowBat->setEditText("41");
    form->btnWriteFlashClick();
    RunToEnd();
    EXPECT_EQ(messages.Keys(), std::vector<std::string>{"err55"});
    EXPECT_EQ(messages.messages[0].mode, TMainForm::tmWriteAll);
    EXPECT_EQ(form->ReopenCount, 3);
    EXPECT_EQ(Starting(Received(*vc), "16 5"), (QStringList{"16 52", "16 53", "16 54"}));

    // What was written is what the controller now answers.
    form->spePASKeepCurr->setValue(33);
    form->btnPASWriteClick();
    RunToEnd();
    form->spePASKeepCurr->setValue(1);
    messages.Clear();
    form->btnPASReadClick();
    RunToEnd();
    EXPECT_EQ(form->spePASKeepCurr->value(), 33);
}

TEST_F(WithController, ARefusedFieldStopsWriteFlashOnItsPage)
{
    Start({"--refuse", "S:0"});
    Connect();
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->cbbBasLowBat->setEditText("41");
    form->btnWriteFlashClick();
    ASSERT_TRUE(PumpUntil([&] { return !messages.messages.empty(); }));
    PumpFor(800);
    EXPECT_EQ(messages.Keys(), std::vector<std::string>{"err34"});
    EXPECT_EQ(messages.messages[0].flags, zelbor::mbIconWarning);
    EXPECT_EQ(form->pctrlProfile->currentIndex(), 1);
    EXPECT_EQ(QApplication::focusWidget(), form->cbbPASPedalSensType);
    EXPECT_EQ(form->TransferMode, TMainForm::tmWriteAll);
    EXPECT_EQ(Starting(Received(*vc), "16 5"), (QStringList{"16 52", "16 53"}));
}

TEST_F(WithController, AfterTheControllerVanishesReadsAreRefused)
{
    Start();
    Connect();
    vc->Kill(); // its device disappears with it
    form->TransferMode = TMainForm::tmReadBlock;
    const zelbor::Bytes reply = {0x54, 0x06, 11, 35, 0, 0xFF, 0xFF, 10};
    form->CommPortReceiveData(form->CommPort, reply.data(), static_cast<std::uint16_t>(reply.size()));
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_TRUE(messages.messages[0].key.empty()); // the serial component's own error
    EXPECT_EQ(form->TransferMode, TMainForm::tmReadBlock);
    form->btnBasReadClick();
    form->btnThrReadClick();
    EXPECT_EQ(messages.Keys(), (std::vector<std::string>{"", "err5", "err5"}));
}

TEST_F(WithController, AControllerReportingZeroAmperesLeavesNoCurrentLimitOfZeroBehind)
{
    Start({"--max-current", "0"});
    form->btnPortConnectClick();
    ASSERT_TRUE(PumpUntil([&] { return form->btnBasRead->isEnabled(); }));
    EXPECT_EQ(form->lbMaxCurr->text(), "0A");
    EXPECT_EQ(form->speBasCurrLim->minimum(), 1);
    EXPECT_EQ(form->speBasCurrLim->maximum(), 25);
    form->btnPortDisconnectClick();

    // The next controller allows 25 A: the limit the user writes cannot be 0.
    vc = std::make_unique<VirtualController>(
        QStringList{"--folder", QString::fromStdString((ship.Path() / "ports").string()), "--no-pacing"});
    ASSERT_FALSE(vc->Port().isEmpty());
    ChoosePort(*form, vc->Port());
    Connect();
    EXPECT_EQ(form->speBasCurrLim->minimum(), 1);
    EXPECT_EQ(form->speBasCurrLim->maximum(), 25);
    form->speBasCurrLim->setValue(form->speBasCurrLim->minimum());
    form->cbbBasLowBat->setEditText("41");
    form->btnBasWriteClick();
    RunToEnd();
    EXPECT_EQ(messages.Keys(), std::vector<std::string>{"err32"});
    const QStringList writes = Received(*vc).filter(QRegularExpression(QStringLiteral("^16 52")));
    ASSERT_EQ(writes.size(), 1);
    EXPECT_TRUE(writes[0].startsWith(QLatin1String("16 52 18 29 01 "))) << writes[0].toStdString();
}

// ---- As-found snapshots: they only observe the transfers ----

class WithSnapshots : public WithController {
protected:
    void SetUp() override { SetUserFolders(ship.Path() / "settings", ship.Path() / "data"); }
    void TearDown() override { SetUserFolders({}, {}); }
    fs::path Folder() const { return ship.Path() / "data" / "Snapshots"; }
    std::vector<Snapshot> Taken() const { return ListSnapshots(Folder()); }
    void Reconnect()
    {
        form->btnPortDisconnectClick();
        Connect();
    }
};

TEST_F(WithSnapshots, ReadFlashStoresOneSnapshotPerConnectEqualToASaveAs)
{
    Start();
    Connect();
    form->btnReadFlashClick();
    RunToEnd();
    EXPECT_EQ(messages.Keys(), std::vector<std::string>{"err47"}); // nothing added to the sequence
    std::vector<Snapshot> taken = Taken();
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0].path, form->LastSnapshotPath);
    EXPECT_EQ(taken[0].header.model, "M250");
    EXPECT_EQ(taken[0].header.firmwareVersion, "V2.0.1.5");
    form->SaveProfile(ship.Q("saved.el"));
    EXPECT_EQ(taken[0].values, ReadProfile(ship.Path() / "saved.el"));

    messages.Clear();
    form->btnReadFlashClick(); // the same connection: none more
    RunToEnd();
    EXPECT_EQ(Taken().size(), 1u);

    Reconnect(); // a new connection: one more
    form->btnReadFlashClick();
    RunToEnd();
    EXPECT_EQ(Taken().size(), 2u);
}

TEST_F(WithSnapshots, ThreeSingleReadsInAnyOrderStoreOneSnapshotAfterTheThird)
{
    Start();
    Connect();
    for (QPushButton* button : {form->btnThrRead, form->btnBasRead, form->btnThrRead, form->btnPASRead}) {
        EXPECT_TRUE(Taken().empty());
        messages.Clear();
        button->click();
        RunToEnd();
    }
    ASSERT_EQ(Taken().size(), 1u);
    form->SaveProfile(ship.Q("saved.el"));
    EXPECT_EQ(Taken()[0].values, ReadProfile(ship.Path() / "saved.el"));
}

TEST_F(WithSnapshots, AFolderThatCannotBeWrittenWarnsOnceAndTheReadCompletes)
{
    WriteText(ship.Path() / "data", "a file where the folder should be");
    Start();
    Connect();
    form->btnReadFlashClick();
    RunToEnd();
    ASSERT_EQ(messages.messages.size(), 2u) << ::testing::PrintToString(messages.Keys());
    EXPECT_EQ(messages.messages[0].key, "err47"); // the sequence first, as it always ends
    EXPECT_EQ(messages.messages[1].flags, zelbor::mbIconWarning);
    EXPECT_TRUE(messages.messages[1].text.contains(QString::fromStdString(Folder().string())))
        << messages.messages[1].text.toStdString();
    EXPECT_EQ(form->TransferMode, TMainForm::tmIdle);
    EXPECT_EQ(form->speBasCurrLim->value(), 20); // the values arrived all the same

    Reconnect();
    form->btnReadFlashClick();
    RunToEnd();
    EXPECT_EQ(messages.Keys(), std::vector<std::string>{"err47"}); // told once
}

// ---- Marks on what differs from the controller, and the comparison with it ----

TEST_F(WithSnapshots, MarksFollowEditsAcknowledgedWritesAndLoads)
{
    Start();
    Connect();
    const ParameterField& limit = *FindParameter("speBasCurrLim");
    const ParameterField& keep = *FindParameter("spePASKeepCurr");
    form->speBasCurrLim->setValue(form->speBasCurrLim->value() == 10 ? 11 : 10);
    EXPECT_FALSE(form->FieldMarked(limit)); // nothing read: nothing to differ from
    EXPECT_TRUE(form->lblDifferences->text().isEmpty());

    form->btnReadFlashClick();
    RunToEnd();
    EXPECT_FALSE(form->FieldMarked(limit));
    EXPECT_FALSE(form->lblDifferences->text().isEmpty()); // every field as reported

    const int reported = form->speBasCurrLim->value();
    form->speBasCurrLim->setValue(reported == 10 ? 11 : 10);
    form->spePASKeepCurr->setValue(form->spePASKeepCurr->value() == 30 ? 31 : 30);
    EXPECT_TRUE(form->FieldMarked(limit));
    EXPECT_TRUE(form->FieldMarked(keep));
    EXPECT_EQ(form->speBasCurrLim->accessibleDescription(), QStringLiteral("controller: %1").arg(reported));
    EXPECT_TRUE(form->lblDifferences->text().startsWith(QLatin1String("2 fields")));
    EXPECT_TRUE(form->lblDifferences->text().contains(QLatin1String("Basic, Pedal Assist")))
        << form->lblDifferences->text().toStdString();
    int marked = 0;
    for (const ParameterField& f : ParameterTable())
        marked += form->FieldMarked(f);
    EXPECT_EQ(marked, 2);
    form->speBasCurrLim->setValue(reported); // back to the controller's value: no mark
    EXPECT_FALSE(form->FieldMarked(limit));
    EXPECT_TRUE(form->speBasCurrLim->accessibleDescription().isEmpty());
    form->speBasCurrLim->setValue(reported == 10 ? 11 : 10);

    // The chart draws the edited levels over the controller's and says so in words.
    ASSERT_TRUE(form->imgAssistChart->Reported(true));
    EXPECT_EQ(*form->imgAssistChart->Reported(true), form->imgAssistChart->Edited(true));
    form->speBasAssistCurrLim[2]->setValue(60);
    form->speBasAssistCurrLim[3]->setValue(40);
    EXPECT_EQ(form->imgAssistChart->Edited(true)[3], 40);
    const std::vector<int> falling = form->imgAssistChart->Falling();
    EXPECT_NE(std::find(falling.begin(), falling.end(), 3), falling.end());
    const QString words = form->imgAssistChart->accessibleDescription();
    EXPECT_TRUE(words.contains(QLatin1String("60, 40"))) << words.toStdString();
    EXPECT_TRUE(words.contains(QLatin1String("controller"))) << words.toStdString();
    if (const QString artifacts = qEnvironmentVariable("ZELBOR_ARTIFACTS"); !artifacts.isEmpty()) {
        QDir().mkpath(artifacts); // what a reviewer looks at: marks, count line and chart
        form->show();
        PumpFor(200);
        EXPECT_TRUE(form->grab().save(artifacts + "/marks-window.png"));
        form->hide();
    }
    for (int level : {2, 3}) // back to the controller's, so that only the two edits above stay marked
        form->speBasAssistCurrLim[static_cast<std::size_t>(level)]->setValue(
            (*form->imgAssistChart->Reported(true))[static_cast<std::size_t>(level)]);

    // An acknowledged write of Pedal Assist makes its values the controller's; Basic stays marked.
    messages.Clear();
    form->btnPASWriteClick();
    RunToEnd();
    EXPECT_EQ(messages.Keys(), std::vector<std::string>{"err45"});
    EXPECT_FALSE(form->FieldMarked(keep));
    EXPECT_TRUE(form->FieldMarked(limit));

    // Load marks what the profile would change.
    ProfileValues profile = form->EditingState().ReportedAsProfile();
    FindParameter("speThrStartVolt")->Value(profile) = form->speThrStartVolt->value() == 5 ? 6 : 5;
    WriteProfile(ship.Path() / "touring.el", profile);
    form->LoadFileDialogCanClose(ship.Q("touring.el"));
    marked = 0;
    for (const ParameterField& f : ParameterTable())
        marked += form->FieldMarked(f);
    EXPECT_TRUE(form->FieldMarked(*FindParameter("speThrStartVolt")));
    EXPECT_FALSE(form->FieldMarked(limit)); // the profile holds the controller's limit
    EXPECT_EQ(marked, 1);
}

TEST_F(WithSnapshots, CompareListsExactlyTheFieldTheControllerStoredOtherwise)
{
    const ParameterField& start = *FindParameter("speThrStartCurr");
    Start({"--store-differs", QStringLiteral("T:%1").arg(start.dataByte)});
    Connect();
    form->btnReadFlashClick();
    RunToEnd();
    const int written = form->speThrStartCurr->value() == 40 ? 41 : 40;
    form->speThrStartCurr->setValue(written);
    messages.Clear();
    form->btnThrWriteClick();
    RunToEnd();
    EXPECT_EQ(messages.Keys(), std::vector<std::string>{"err54"});
    EXPECT_FALSE(form->FieldMarked(start)); // acknowledged: taken as the controller's

    // The controller holds written + 1. Compare reads, lists that field, and changes no value.
    const qsizetype before = Received(*vc).size();
    QStringList rows;
    ShowHookScope<QDialog> compare([&](QDialog& dialog) {
        auto* table = dialog.findChild<QTableWidget*>(QStringLiteral("tblCompare"));
        ASSERT_TRUE(table);
        if (const QString artifacts = qEnvironmentVariable("ZELBOR_ARTIFACTS"); !artifacts.isEmpty()) {
            EXPECT_TRUE(dialog.grab().save(artifacts + "/compare-window.png"));
        }
        for (int r = 0; r < table->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < table->columnCount(); ++c)
                cells << table->item(r, c)->text();
            rows << cells.join(QLatin1Char('|'));
        }
    });
    messages.Clear();
    form->mnCompare->trigger();
    ASSERT_TRUE(PumpUntil([&] { return compare.Runs() == 1 && form->TransferMode == TMainForm::tmIdle; }));
    PumpFor(400);
    EXPECT_TRUE(messages.Keys().empty()); // the list takes the place of Read Flash's message
    EXPECT_EQ(rows, QStringList{QStringLiteral("Throttle Handle|%1|%2|%3")
                                    .arg(form->speThrStartCurr->accessibleName())
                                    .arg(written + 1)
                                    .arg(written)});
    const QStringList frames = Received(*vc).mid(before);
    EXPECT_EQ(Starting(frames, "11 5"), (QStringList{"11 52", "11 53", "11 54"}));
    EXPECT_TRUE(Starting(frames, "16").isEmpty()); // read requests only
    EXPECT_EQ(form->speThrStartCurr->value(), written);
    EXPECT_TRUE(form->FieldMarked(start));
    EXPECT_EQ(form->speThrStartCurr->accessibleDescription(), QStringLiteral("controller: %1").arg(written + 1));
}

TEST_F(WithSnapshots, TheSnapshotsWindowListsNewestFirstLoadsTheChosenOneAndOpensTheFolder)
{
    Start();
    Connect();
    form->btnReadFlashClick();
    RunToEnd();
    const ProfileValues asFound = form->EditingState().ReportedAsProfile();
    form->speBasCurrLim->setValue(form->speBasCurrLim->value() == 10 ? 11 : 10); // an edit to undo
    ASSERT_EQ(Taken().size(), 1u);

    int runs = 0;
    ShowHookScope<QDialog> window([&](QDialog& dialog) {
        ++runs;
        auto* table = dialog.findChild<QTableWidget*>(QStringLiteral("tblSnapshots"));
        ASSERT_TRUE(table);
        ASSERT_EQ(table->rowCount(), 1);
        EXPECT_EQ(table->item(0, 1)->text(), "ZLBR");
        EXPECT_EQ(table->item(0, 2)->text(), "M250");
        EXPECT_EQ(table->item(0, 3)->text(), "V2.0.1.5");
        EXPECT_EQ(table->item(0, 4)->text(), "48V");
        EXPECT_EQ(table->item(0, 5)->text(), "25A");
        EXPECT_EQ(table->currentRow(), 0); // the newest is chosen; Enter loads it
        if (const QString artifacts = qEnvironmentVariable("ZELBOR_ARTIFACTS"); !artifacts.isEmpty()) {
            EXPECT_TRUE(dialog.grab().save(artifacts + "/snapshots-window.png"));
        }
        if (runs == 1) {
            dialog.findChild<QPushButton*>(QStringLiteral("btnSnapshotFolder"))->click();
            dialog.reject();
        } else {
            dialog.findChild<QPushButton*>(QStringLiteral("btnSnapshotLoad"))->click();
        }
    });
    form->mnSnapshots->trigger();
    ASSERT_EQ(hooks.urls.size(), 1u);
    EXPECT_EQ(fs::path(hooks.urls[0].toLocalFile().toStdString()), Folder());
    EXPECT_NE(form->EditingState().Values(), asFound); // closing loads nothing

    form->mnSnapshots->trigger();
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(form->EditingState().Values(), asFound);
    EXPECT_TRUE(form->ProfileFileName.isEmpty()); // Save does not write into the snapshot
    EXPECT_FALSE(form->mnSave->isEnabled());
    EXPECT_TRUE(form->windowTitle().endsWith(QString::fromStdString(Taken()[0].path.filename().string())));
}

} // namespace zelbor
