// SPDX-License-Identifier: GPL-3.0-or-later
// Whole sequences against the virtual controller: connect, Read Flash, Write Flash, refusals
// and a controller that disappears.
#include "MainTestSupport.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTabWidget>
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

} // namespace zelbor
