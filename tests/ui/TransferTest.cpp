// SPDX-License-Identifier: GPL-3.0-or-later
// Connection and transfers against a pseudo-terminal whose far end the test plays: the frames the
// window sends, the dispatch of replies by first byte and mode, and the acknowledgement tables.
#include "MainTestSupport.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

namespace zelbor {

using namespace uitest;
using zelbor::Bytes;

namespace {

// A Basic read reply: low battery, current limit, the twenty assist bytes, wheel, speed meter.
Bytes BasicReply(std::uint8_t lowBat, std::uint8_t currLim, std::uint8_t wheel, std::uint8_t meter)
{
    Bytes b = {0x52, 0x18, lowBat, currLim};
    for (int i = 0; i < 20; ++i)
        b.push_back(static_cast<std::uint8_t>(i * 5));
    b.push_back(wheel);
    b.push_back(meter);
    return b;
}

} // namespace

class Transfer : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(line.Ok());
        form = StartedForm();
        messages.SetForm(form.get());
        ChoosePort(*form, QString::fromStdString(line.Path()));
    }

    // Connects and answers the identification with a 48 V, 25 A controller.
    void Connect(std::uint8_t nominal = 2, std::uint8_t maxCurrent = 25)
    {
        form->btnPortConnectClick();
        ASSERT_EQ(form->TransferMode, TMainForm::tmConnect);
        line.TakeAtLeast(5);
        line.Write(InfoReply(nominal, maxCurrent));
        ASSERT_TRUE(PumpUntil([&] { return form->btnBasRead->isEnabled(); }));
        line.Take(); // a repeated request that crossed the reply
        form->ReopenCount = 0;
        messages.Clear();
    }

    // Feeds a chunk to the dispatcher as the serial component would.
    void Feed(const Bytes& chunk)
    {
        form->CommPortReceiveData(form->CommPort, chunk.data(), static_cast<std::uint16_t>(chunk.size()));
    }

    void ShowAndActivate()
    {
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }

    bool HasFocus(const char* name)
    {
        QWidget* control = form->findChild<QWidget*>(QLatin1String(name));
        QWidget* focus = QApplication::focusWidget();
        return control && focus && (focus == control || control->isAncestorOf(focus));
    }

    FakeLine line;
    ShipFolder ship;
    HookRecorder hooks;
    MessageRecorder messages;
    std::unique_ptr<TMainForm> form;
};

TEST_F(Transfer, DisconnectWhileIdentifyingStopsTheRequestsAndKeepsTheMode)
{
    form->btnPortConnectClick();
    PumpFor(300);
    form->btnPortDisconnectClick();
    EXPECT_FALSE(form->TimerConnect->isActive());
    EXPECT_EQ(form->TransferMode, TMainForm::tmConnect);
    EXPECT_TRUE(form->btnPortConnect->isEnabled());
    EXPECT_FALSE(form->btnPortDisconnect->isEnabled());
    line.Take();
    PumpFor(1200);
    EXPECT_TRUE(line.Take().empty());
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(Transfer, ConnectFailureLeavesButtonsTimerAndModeAlone)
{
    form->cbbPort->clear(); // no port: an empty name
    form->btnPortConnectClick();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].flags, zelbor::mbIconError);
    EXPECT_EQ(messages.messages[0].caption, "Zelbor Configuration Tool");
    EXPECT_TRUE(messages.messages[0].text.startsWith("Error opening serial port"));
    EXPECT_TRUE(form->btnPortConnect->isEnabled());
    EXPECT_FALSE(form->btnPortDisconnect->isEnabled());
    EXPECT_FALSE(form->TimerConnect->isActive());
    EXPECT_EQ(form->TransferMode, TMainForm::tmIdle);
}

TEST_F(Transfer, IdentificationFillsLabelsListAndCurrentBound)
{
    form->cbbBasLowBat->setEditText("10");
    form->speBasCurrLim->setValue(20);
    Connect(2, 25);
    EXPECT_EQ(form->lbManuf->text(), "ACME");
    EXPECT_EQ(form->lbModel->text(), "MD01");
    EXPECT_EQ(form->lbHWVer->text(), "V1.2");
    EXPECT_EQ(form->lbFWVer->text(), "V2.0.1.5");
    EXPECT_EQ(form->lbNomVolt->text(), "48V");
    EXPECT_EQ(form->lbMaxCurr->text(), "25A");
    ASSERT_EQ(form->cbbBasLowBat->count(), 6);
    EXPECT_EQ(form->cbbBasLowBat->itemText(0), "38");
    EXPECT_EQ(form->cbbBasLowBat->itemText(5), "43");
    EXPECT_EQ(form->cbbBasLowBat->currentText(), "10"); // text kept while the list is rebuilt
    EXPECT_EQ(form->speBasCurrLim->maximum(), 25);
    EXPECT_EQ(form->speBasCurrLim->value(), 20);

    // A second identification (after a new Connect) with a smaller maximum and an unknown code.
    form->TransferMode = TMainForm::tmConnect;
    Bytes info = InfoReply(9, 15);
    info[3] = 0;    // the manufacturer text ends before a zero byte
    info[6] = 0xE9; // bytes are single-byte characters
    Feed(info);
    EXPECT_EQ(form->lbManuf->text(), "A");
    EXPECT_EQ(form->lbModel->text(), QString::fromUtf8("\xC3\xA9") + "D01");
    EXPECT_EQ(form->lbNomVolt->text(), "24-60V");
    ASSERT_EQ(form->cbbBasLowBat->count(), 38);
    EXPECT_EQ(form->cbbBasLowBat->itemText(37), "55");
    EXPECT_EQ(form->speBasCurrLim->maximum(), 15);
    EXPECT_EQ(form->speBasCurrLim->value(), 15); // the spin box clamps its value to the new bound
}

TEST_F(Transfer, RepliesInTheWrongModeOrTooShortAreDropped)
{
    // Before any identification: an identification reply in tmIdle changes nothing.
    Feed(InfoReply(2, 25));
    EXPECT_TRUE(form->lbManuf->text().isEmpty());
    EXPECT_FALSE(form->btnBasRead->isEnabled());

    Connect();
    const int limit = form->speBasCurrLim->value();
    for (auto mode : {TMainForm::tmIdle, TMainForm::tmConnect}) {
        form->TransferMode = mode;
        Feed(BasicReply(41, 3, 55, 0x88));
        EXPECT_EQ(form->speBasCurrLim->value(), limit);
        EXPECT_EQ(form->TransferMode, mode);
    }
    form->TransferMode = TMainForm::tmReadBlock;
    Feed(InfoReply(0, 10)); // identification during a read
    EXPECT_EQ(form->lbNomVolt->text(), "48V");
    Feed({0x99, 0x01, 0x02});
    const Bytes full = BasicReply(41, 3, 55, 0x88);
    Feed(Bytes(full.begin(), full.begin() + 10)); // cut short
    EXPECT_EQ(form->speBasCurrLim->value(), limit);
    EXPECT_EQ(form->TransferMode, TMainForm::tmReadBlock);

    form->TransferMode = TMainForm::tmWriteBlock;
    Feed({0x53}); // an acknowledgement of only the block code
    form->TransferMode = TMainForm::tmConnect;
    Feed({0x51, 0x00, 'A', 'B'});
    EXPECT_TRUE(form->btnBasRead->isEnabled());
    EXPECT_EQ(form->lbManuf->text(), "ACME");
    EXPECT_EQ(form->ReopenCount, 0);
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(Transfer, BasicReadReplyFillsTheControlsThenReportsInIdle)
{
    Connect(2, 25);
    form->cbbBasLowBat->setEditText("39");
    form->TransferMode = TMainForm::tmReadBlock;
    Bytes reply = BasicReply(41, 40, 55, 0x88);
    reply.resize(400, 0xAA); // longer than the receive buffer: cut, still handled
    Feed(reply);
    EXPECT_EQ(form->cbbBasLowBat->currentText(), "41");
    EXPECT_EQ(form->cbbBasLowBat->currentIndex(), 3);
    EXPECT_EQ(form->speBasCurrLim->value(), 25); // above the controller's maximum
    EXPECT_EQ(form->speBasAssistCurrLim[0]->value(), 0);
    EXPECT_EQ(form->speBasAssistCurrLim[9]->value(), 45);
    EXPECT_EQ(form->speBasAssistSpdLim[0]->value(), 50);
    EXPECT_EQ(form->speBasAssistSpdLim[9]->value(), 95);
    EXPECT_EQ(form->cbbBasWheelDiam->currentText(), "700C");
    EXPECT_EQ(form->cbbBasSpdMtrType->currentText(), "By Motor Phase");
    EXPECT_EQ(form->speBasSpdMtrSig->value(), 8);
    ASSERT_EQ(messages.Keys(), std::vector<std::string>{"err7"});
    EXPECT_EQ(messages.messages[0].flags, zelbor::mbIconInformation);
    EXPECT_EQ(messages.messages[0].mode, TMainForm::tmIdle);
    EXPECT_EQ(form->ReopenCount, 1);

    // A voltage the list does not offer leaves no item selected and keeps the text.
    form->TransferMode = TMainForm::tmReadBlock;
    Feed(BasicReply(30, 5, 250, 0x05));
    EXPECT_EQ(form->cbbBasLowBat->currentText(), "41");
    EXPECT_EQ(form->cbbBasLowBat->currentIndex(), -1);
    EXPECT_EQ(form->cbbBasWheelDiam->currentIndex(), -1);
    EXPECT_EQ(form->cbbBasSpdMtrType->currentIndex(), 0);
}

TEST_F(Transfer, ThrottleReadReportsBeforeReturningToIdle)
{
    Connect();
    form->TransferMode = TMainForm::tmReadBlock;
    Feed({0x54, 0x06, 11, 60, 1, 0xFF, 25, 150});
    EXPECT_EQ(form->speThrStartVolt->value(), 11);
    EXPECT_EQ(form->speThrEndVolt->value(), 50);
    EXPECT_EQ(form->cbbThrMode->currentText(), "Current");
    EXPECT_EQ(form->cbbThrAssistLvl->currentIndex(), 0);
    EXPECT_EQ(form->edThrSpeedLim->currentText(), "25km/h");
    EXPECT_EQ(form->speThrStartCurr->value(), 100);
    ASSERT_EQ(messages.Keys(), std::vector<std::string>{"err46"});
    EXPECT_EQ(messages.messages[0].mode, TMainForm::tmReadBlock);
    EXPECT_EQ(form->TransferMode, TMainForm::tmIdle);

    form->TransferMode = TMainForm::tmReadAll;
    Feed({0x54, 0x06, 11, 35, 7, 0x09, 50, 10}); // mode 7 and 50 km/h have no item
    EXPECT_EQ(form->cbbThrMode->currentIndex(), -1);
    EXPECT_EQ(form->cbbThrAssistLvl->currentText(), "9");
    EXPECT_EQ(form->edThrSpeedLim->currentIndex(), -1);
    EXPECT_EQ(messages.Keys(), (std::vector<std::string>{"err46", "err47"}));
    EXPECT_EQ(form->TransferMode, TMainForm::tmIdle);
    EXPECT_EQ(form->ReopenCount, 2);
}

TEST_F(Transfer, WriteFramesCarryTheControlsValues)
{
    Connect();
    form->speThrStartVolt->setValue(11);
    form->speThrEndVolt->setValue(35);
    form->cbbThrMode->setCurrentIndex(0);
    form->cbbThrAssistLvl->setCurrentIndex(0);
    form->edThrSpeedLim->setCurrentIndex(0);
    form->speThrStartCurr->setValue(10);
    form->btnThrWriteClick();
    EXPECT_EQ(form->TransferMode, TMainForm::tmWriteBlock);
    EXPECT_EQ(Hex(line.TakeAtLeast(10)), "16 54 06 0B 23 00 FF FF 0A 90");

    form->cbbBasLowBat->setEditText("41");
    form->cbbBasWheelDiam->setCurrentIndex(12);
    form->cbbBasSpdMtrType->setCurrentIndex(2);
    form->speBasSpdMtrSig->setValue(8);
    form->btnBasWriteClick();
    const Bytes basic = line.TakeAtLeast(28);
    ASSERT_EQ(basic.size(), 28u) << Hex(basic).toStdString();
    EXPECT_EQ(basic[0], 0x16);
    EXPECT_EQ(basic[1], 0x52);
    EXPECT_EQ(basic[3], 41);
    EXPECT_EQ(basic[25], 0x37);
    EXPECT_EQ(basic[26], 0xC8);
    EXPECT_EQ(basic[27], zelbor::CheckByte(std::span(basic).subspan(1, 26)));

    form->cbbPASSpdLim->setCurrentIndex(-1); // no selection goes out as 13
    form->btnPASWriteClick();
    const Bytes pas = line.TakeAtLeast(15);
    ASSERT_EQ(pas.size(), 15u);
    EXPECT_EQ(pas[5], 13);
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(Transfer, ALowBatteryTextThatIsNoNumberStopsABasicWrite)
{
    Connect();
    for (const char* text : {"", "4x"}) {
        messages.Clear();
        form->cbbBasLowBat->setEditText(QString::fromLatin1(text));
        form->btnBasWriteClick();
        ASSERT_EQ(messages.messages.size(), 1u) << text;
        EXPECT_TRUE(messages.messages[0].key.empty());
        EXPECT_EQ(messages.messages[0].flags, zelbor::mbIconError);
        EXPECT_EQ(form->TransferMode, TMainForm::tmWriteBlock);
    }
    form->cbbBasLowBat->setEditText("40");
    form->cbbBasWheelDiam->setCurrentIndex(-1); // no wheel: no number either
    messages.Clear();
    form->btnWriteFlashClick();
    EXPECT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(form->TransferMode, TMainForm::tmWriteAll);
    EXPECT_TRUE(line.Take().empty());
}

TEST_F(Transfer, SendsOnAClosedPortAreRefused)
{
    Connect();
    form->btnPortDisconnectClick();
    form->btnPASReadClick();
    form->btnThrWriteClick();
    form->btnWriteFlashClick();
    ASSERT_EQ(messages.Keys(), (std::vector<std::string>{"err5", "err6", "err6"}));
    EXPECT_EQ(messages.messages[0].mode, TMainForm::tmReadBlock);
    EXPECT_EQ(messages.messages[2].mode, TMainForm::tmWriteAll);
    for (const auto& m : messages.messages)
        EXPECT_EQ(m.flags, zelbor::mbIconError);
    EXPECT_EQ(form->TransferMode, TMainForm::tmWriteAll);
}

TEST_F(Transfer, AFailedReopenStopsTheDecoderAndLeavesThePortClosed)
{
    Connect();
    form->TransferMode = TMainForm::tmReadBlock;
    line.Close(); // the device vanishes
    Feed(BasicReply(41, 3, 55, 0x88));
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_TRUE(messages.messages[0].text.startsWith("Error opening serial port"));
    EXPECT_EQ(messages.messages[0].caption, "Zelbor Configuration Tool");
    EXPECT_EQ(form->TransferMode, TMainForm::tmReadBlock); // no err7, no mode change
    EXPECT_EQ(form->speBasCurrLim->value(), 3);            // the values were shown before
    form->btnBasReadClick();
    EXPECT_EQ(messages.Keys(), (std::vector<std::string>{"", "err5"}));
}

// ---- Acknowledgements, result by result ----

namespace {

// The message and the control of each refused result, as the controller's acknowledgement numbers
// them: Basic alternates current and speed level by level, unlike its frame's data order.
struct Refusal {
    const char* key;
    const char* control;
};

struct AckCase {
    std::uint8_t block;
    int page;
    std::vector<Refusal> results;
};

const AckCase kAckCases[] = {
    {0x52, 0, {{"err8", "cbbBasLowBat"},          {"err9", "speBasCurrLim"},         {"err10", "speBasAssist0CurrLim"},
               {"err20", "speBasAssist0SpdLim"},  {"err11", "speBasAssist1CurrLim"}, {"err21", "speBasAssist1SpdLim"},
               {"err12", "speBasAssist2CurrLim"}, {"err22", "speBasAssist2SpdLim"},  {"err13", "speBasAssist3CurrLim"},
               {"err23", "speBasAssist3SpdLim"},  {"err14", "speBasAssist4CurrLim"}, {"err24", "speBasAssist4SpdLim"},
               {"err15", "speBasAssist5CurrLim"}, {"err25", "speBasAssist5SpdLim"},  {"err16", "speBasAssist6CurrLim"},
               {"err26", "speBasAssist6SpdLim"},  {"err17", "speBasAssist7CurrLim"}, {"err27", "speBasAssist7SpdLim"},
               {"err18", "speBasAssist8CurrLim"}, {"err28", "speBasAssist8SpdLim"},  {"err19", "speBasAssist9CurrLim"},
               {"err29", "speBasAssist9SpdLim"},  {"err30", "cbbBasWheelDiam"},      {"err31", "speBasSpdMtrSig"}}},
    {0x53,
     1,
     {{"err34", "cbbPASPedalSensType"},
      {"err35", "cbbPASDesigAssist"},
      {"err36", "cbbPASSpdLim"},
      {"err37", "spePASStartCurr"},
      {"err38", "cbbPASSlowStartMode"},
      {"err39", "spePASStartDeg"},
      {"err40", "cbbPASWorkMode"},
      {"err41", "spePASStopDelay"},
      {"err42", "spePASCurrDecay"},
      {"err43", "spePASStopDecay"},
      {"err44", "spePASKeepCurr"}}},
    {0x54,
     2,
     {{"err48", "speThrStartVolt"},
      {"err49", "speThrEndVolt"},
      {"err50", "cbbThrMode"},
      {"err51", "cbbThrAssistLvl"},
      {"err52", "edThrSpeedLim"},
      {"err53", "speThrStartCurr"}}},
};

} // namespace

TEST_F(Transfer, EveryRefusedFieldShowsItsKeyPageAndControl)
{
    Connect();
    ShowAndActivate();
    for (const AckCase& c : kAckCases) {
        for (auto mode : {TMainForm::tmWriteBlock, TMainForm::tmWriteAll}) {
            for (std::size_t r = 0; r < c.results.size(); ++r) {
                const Refusal& expected = c.results[r];
                SCOPED_TRACE(testing::Message() << "block " << int(c.block) << " result " << r << " mode " << mode);
                messages.Clear();
                form->ReopenCount = 0;
                form->pctrlProfile->setCurrentIndex(3);
                form->TransferMode = mode;
                Feed({c.block, static_cast<std::uint8_t>(r), 0x77});

                ASSERT_GE(messages.messages.size(), 1u);
                EXPECT_EQ(messages.messages[0].key, expected.key);
                EXPECT_EQ(messages.messages[0].flags, zelbor::mbIconWarning);
                EXPECT_EQ(form->pctrlProfile->currentIndex(), c.page);
                EXPECT_TRUE(HasFocus(expected.control)) << expected.control;

                const bool single = mode == TMainForm::tmWriteBlock;
                if (c.block == 0x54) {
                    EXPECT_EQ(messages.messages.size(), 1u);
                    EXPECT_EQ(form->TransferMode, mode); // Throttle: mode and port untouched
                    EXPECT_EQ(form->ReopenCount, 0);
                } else if (c.block == 0x53 && single) {
                    ASSERT_EQ(messages.Keys(), (std::vector<std::string>{expected.key, "err45"}));
                    EXPECT_EQ(messages.messages[1].flags, zelbor::mbIconInformation);
                    EXPECT_EQ(messages.messages[1].mode, TMainForm::tmIdle);
                    EXPECT_EQ(form->TransferMode, TMainForm::tmIdle);
                    EXPECT_EQ(form->ReopenCount, 1);
                } else {
                    EXPECT_EQ(messages.messages.size(), 1u);
                    EXPECT_EQ(form->TransferMode, single ? TMainForm::tmIdle : TMainForm::tmWriteAll);
                    EXPECT_EQ(form->ReopenCount, single ? 1 : 0);
                }
            }
            // The result after the last refusal is the field count: accepted, not refused.
            messages.Clear();
            form->TransferMode = TMainForm::tmWriteBlock;
            Feed({c.block, static_cast<std::uint8_t>(c.results.size())});
            ASSERT_EQ(messages.messages.size(), 1u);
            EXPECT_EQ(messages.messages[0].flags, zelbor::mbIconInformation);
        }
    }
    // The two rows that are easy to get wrong.
    EXPECT_STREQ(zelbor::AckTable(0x52)[3].control, "speBasAssist0SpdLim");
    EXPECT_STREQ(zelbor::AckTable(0x52)[23].control, "speBasSpdMtrSig");
    EXPECT_TRUE(line.Take().empty()); // a refusal never sends the next frame
}

TEST_F(Transfer, AcceptedBlocksMoveTheWriteFlashChainOn)
{
    Connect();
    form->cbbBasLowBat->setEditText("40");
    // Single writes: the information message, then idle.
    const std::pair<std::uint8_t, const char*> singles[] = {{0x52, "err32"}, {0x53, "err45"}, {0x54, "err54"}};
    for (const auto& [block, key] : singles) {
        messages.Clear();
        form->ReopenCount = 0;
        form->TransferMode = TMainForm::tmWriteBlock;
        Feed({block, static_cast<std::uint8_t>(zelbor::AckTable(block).size())});
        ASSERT_EQ(messages.Keys(), std::vector<std::string>{key});
        EXPECT_EQ(messages.messages[0].flags, zelbor::mbIconInformation);
        // Basic and Throttle report before the mode changes, Pedal Assist after it.
        EXPECT_EQ(messages.messages[0].mode, block == 0x53 ? TMainForm::tmIdle : TMainForm::tmWriteBlock);
        EXPECT_EQ(form->TransferMode, TMainForm::tmIdle);
        EXPECT_EQ(form->ReopenCount, 1);
    }
    EXPECT_TRUE(line.Take().empty());

    // Write Flash: Basic accepted sends the Pedal Assist frame, that one the Throttle frame.
    messages.Clear();
    form->ReopenCount = 0;
    form->TransferMode = TMainForm::tmWriteAll;
    Feed({0x52, 24});
    Bytes sent = line.TakeAtLeast(15);
    ASSERT_EQ(sent.size(), 15u);
    EXPECT_EQ(sent[1], 0x53);
    Feed({0x53, 11});
    sent = line.TakeAtLeast(10);
    ASSERT_EQ(sent.size(), 10u);
    EXPECT_EQ(sent[1], 0x54);
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(form->TransferMode, TMainForm::tmWriteAll);
    Feed({0x54, 6});
    EXPECT_EQ(messages.Keys(), std::vector<std::string>{"err55"});
    EXPECT_EQ(form->TransferMode, TMainForm::tmIdle);
    EXPECT_EQ(form->ReopenCount, 3);
}

TEST_F(Transfer, ResultsBeyondTheFieldCount)
{
    Connect();
    form->TransferMode = TMainForm::tmWriteBlock;
    Feed({0x52, 200});
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(form->TransferMode, TMainForm::tmIdle);
    EXPECT_EQ(form->ReopenCount, 1);

    form->TransferMode = TMainForm::tmWriteBlock;
    Feed({0x53, 200});
    EXPECT_EQ(messages.Keys(), std::vector<std::string>{"err45"});
    EXPECT_EQ(form->TransferMode, TMainForm::tmIdle);
    EXPECT_EQ(form->ReopenCount, 2);

    messages.Clear();
    for (auto mode : {TMainForm::tmWriteBlock, TMainForm::tmWriteAll}) {
        form->TransferMode = mode;
        Feed({0x54, 200});
        EXPECT_EQ(form->TransferMode, mode);
        form->TransferMode = TMainForm::tmWriteAll;
        Feed({0x52, 25});
        Feed({0x53, 12});
        EXPECT_EQ(form->TransferMode, TMainForm::tmWriteAll);
    }
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(form->ReopenCount, 2);
    EXPECT_TRUE(line.Take().empty());
}

TEST_F(Transfer, AThrottleReplyDuringASingleWriteIsTakenAsAnAcknowledgement)
{
    Connect();
    const int start = form->speThrStartVolt->value();
    form->TransferMode = TMainForm::tmWriteBlock;
    Feed({0x54, 0x02, 0x30, 0x00, 0x01, 0xFF, 0xFF, 0x0A}); // byte 1 = 2: mode refused
    EXPECT_EQ(messages.Keys(), std::vector<std::string>{"err50"});
    EXPECT_EQ(form->speThrStartVolt->value(), start);
    EXPECT_EQ(form->TransferMode, TMainForm::tmWriteBlock);
}

// ---- The current limit's bounds ----

TEST_F(Transfer, AMaximumCurrentOfZeroNeverAllowsACurrentLimitOfZero)
{
    Connect(2, 15);
    form->speBasCurrLim->setValue(12);
    form->btnPortDisconnectClick();
    Connect(2, 0);                            // a controller that reports 0 A
    EXPECT_EQ(form->lbMaxCurr->text(), "0A"); // shown as the controller reported it
    EXPECT_EQ(form->speBasCurrLim->minimum(), 1);
    EXPECT_EQ(form->speBasCurrLim->maximum(), 15); // the range it had
    EXPECT_EQ(form->speBasCurrLim->value(), 12);

    form->btnPortDisconnectClick();
    Connect(2, 25);
    EXPECT_EQ(form->speBasCurrLim->minimum(), 1);
    EXPECT_EQ(form->speBasCurrLim->maximum(), 25);
    EXPECT_EQ(form->speBasCurrLim->value(), 12);

    // Neither the user nor a reply can bring it to 0, so no Basic frame carries 0 A.
    form->speBasCurrLim->setValue(0);
    EXPECT_EQ(form->speBasCurrLim->value(), 1);
    form->TransferMode = TMainForm::tmReadBlock;
    Feed(BasicReply(41, 0, 52, 0x01));
    EXPECT_EQ(form->speBasCurrLim->value(), 1);
    form->btnBasWriteClick();
    const Bytes frame = line.TakeAtLeast(28);
    ASSERT_EQ(frame.size(), 28u) << Hex(frame).toStdString();
    EXPECT_EQ(frame[4], 1);
}

// ---- List bytes that no item shows ----

namespace {

Bytes FrameData(const Bytes& frame) { return frame.size() < 4 ? Bytes{} : Bytes(frame.begin() + 3, frame.end() - 1); }
Bytes ReplyData(const Bytes& reply) { return Bytes(reply.begin() + 2, reply.end()); }

// Read replies whose list bytes have no item (or, for the speed-meter type code 2, an item that
// writes 3); every spin value lies within its control's range, so the whole block can come back.
const Bytes kBasicNoItems = BasicReply(41, 20, 250, 0x85); // wheel 250; type code 2, 5 signals
const Bytes kPedalAssistNoItems = {0x53, 0x0B, 4, 10, 14, 20, 0, 12, 9, 5, 4, 6, 70};
const Bytes kThrottleNoItems = {0x54, 0x06, 11, 35, 7, 10, 50, 10};

} // namespace

class KeptListBytes : public Transfer {
protected:
    void ReadAll()
    {
        for (const Bytes* reply : {&kBasicNoItems, &kPedalAssistNoItems, &kThrottleNoItems}) {
            form->TransferMode = TMainForm::tmReadBlock;
            Feed(*reply);
        }
        ASSERT_EQ(messages.Keys(), (std::vector<std::string>{"err7", "err33", "err46"}));
        messages.Clear();
        line.Take();
    }
    // The data bytes of the frame the click sends; a frame that does not go out whole fails the
    // test, and the data keep the block's length so that the checks after it cannot read past it.
    Bytes Write(void (TMainForm::*click)(), std::size_t length)
    {
        (form.get()->*click)();
        const Bytes frame = line.TakeAtLeast(length);
        EXPECT_EQ(frame.size(), length) << Hex(frame).toStdString();
        Bytes data = FrameData(frame);
        data.resize(length - 4);
        return data;
    }
};

TEST_F(KeptListBytes, WriteSendsEveryListByteAsReadUntilAnItemIsPicked)
{
    Connect();
    ASSERT_NO_FATAL_FAILURE(ReadAll());
    EXPECT_EQ(form->cbbBasWheelDiam->currentIndex(), -1);
    EXPECT_EQ(form->cbbBasSpdMtrType->currentText(), "By Motor Phase");
    EXPECT_EQ(form->cbbPASSpdLim->currentIndex(), -1);
    EXPECT_EQ(form->cbbPASWorkMode->currentIndex(), -1);
    EXPECT_EQ(form->cbbThrMode->currentIndex(), -1);

    EXPECT_EQ(Hex(Write(&TMainForm::btnBasWriteClick, 28)), Hex(ReplyData(kBasicNoItems)));
    EXPECT_EQ(Hex(Write(&TMainForm::btnPASWriteClick, 15)), Hex(ReplyData(kPedalAssistNoItems)));
    EXPECT_EQ(Hex(Write(&TMainForm::btnThrWriteClick, 10)), Hex(ReplyData(kThrottleNoItems)));

    // Write Flash: the same bytes, block after block.
    EXPECT_EQ(Hex(Write(&TMainForm::btnWriteFlashClick, 28)), Hex(ReplyData(kBasicNoItems)));
    Feed({0x52, 24});
    EXPECT_EQ(Hex(FrameData(line.TakeAtLeast(15))), Hex(ReplyData(kPedalAssistNoItems)));
    Feed({0x53, 11});
    EXPECT_EQ(Hex(FrameData(line.TakeAtLeast(10))), Hex(ReplyData(kThrottleNoItems)));
    Feed({0x54, 6});
    EXPECT_EQ(messages.Keys(), std::vector<std::string>{"err55"});

    // The signal count still comes from its own field, beside the type bits as read.
    form->speBasSpdMtrSig->setValue(7);
    EXPECT_EQ(Write(&TMainForm::btnBasWriteClick, 28)[23], 0x87);

    // Items picked: their own bytes go out. The speed-meter type is picked by keyboard, away from
    // the item shown and back to it, as a user would.
    ShowAndActivate();
    form->cbbBasSpdMtrType->setFocus();
    QTest::keyClick(form->cbbBasSpdMtrType, Qt::Key_Up);
    QTest::keyClick(form->cbbBasSpdMtrType, Qt::Key_Down);
    ASSERT_EQ(form->cbbBasSpdMtrType->currentText(), "By Motor Phase");
    form->cbbBasWheelDiam->setCurrentIndex(10);
    Bytes basic = Write(&TMainForm::btnBasWriteClick, 28);
    EXPECT_EQ(basic[22], 52);
    EXPECT_EQ(basic[23], 0xC7);

    form->cbbPASPedalSensType->setCurrentIndex(2);
    form->cbbPASDesigAssist->setCurrentIndex(0);
    form->cbbPASSpdLim->setCurrentIndex(11);
    form->cbbPASSlowStartMode->setCurrentIndex(0);
    form->cbbPASWorkMode->setCurrentIndex(1);
    const Bytes pas = Write(&TMainForm::btnPASWriteClick, 15);
    ASSERT_EQ(pas.size(), 11u);
    EXPECT_EQ(pas[0], 2);
    EXPECT_EQ(pas[1], 0xFF);
    EXPECT_EQ(pas[2], 25);
    EXPECT_EQ(pas[4], 1);
    EXPECT_EQ(pas[6], 10);

    form->cbbThrMode->setCurrentIndex(1);
    form->cbbThrAssistLvl->setCurrentIndex(3);
    form->edThrSpeedLim->setCurrentIndex(0);
    const Bytes thr = Write(&TMainForm::btnThrWriteClick, 10);
    ASSERT_EQ(thr.size(), 6u);
    EXPECT_EQ(thr[2], 1);
    EXPECT_EQ(thr[3], 2);
    EXPECT_EQ(thr[4], 0xFF);
}

TEST_F(KeptListBytes, AProfileOrALaterReadGivesTheListsTheirOwnEncodingAgain)
{
    Connect();
    ASSERT_NO_FATAL_FAILURE(ReadAll());

    // A profile without a selection for two lists: nothing kept, the no-selection bytes (13, 8).
    const fs::path profile = ship.Path() / "Profiles" / "unselected.el";
    WriteText(profile, "[Basic]\nLBP=41\nWD=13\n[Pedal Assist]\nSL=-1\nWM=-1\n[Throttle Handle]\nMODE=1\n");
    form->LoadProfile(QString::fromStdString(profile.string()));
    EXPECT_EQ(form->cbbPASSpdLim->currentIndex(), -1);
    const Bytes pas = Write(&TMainForm::btnPASWriteClick, 15);
    ASSERT_EQ(pas.size(), 11u);
    EXPECT_EQ(pas[0], 0);                                       // the profile reader's first item
    EXPECT_EQ(pas[2], 13);                                      // -1, not the 14 read before
    EXPECT_EQ(pas[6], 8);                                       // -1, not the 9 read before
    EXPECT_EQ(Write(&TMainForm::btnBasWriteClick, 28)[22], 56); // "28"
    EXPECT_EQ(Write(&TMainForm::btnThrWriteClick, 10)[2], 1);

    // A read with bytes that have items, then one without: each time the reply decides.
    ASSERT_NO_FATAL_FAILURE(ReadAll());
    form->TransferMode = TMainForm::tmReadBlock;
    Feed({0x54, 0x06, 11, 35, 1, 0xFF, 25, 10});
    EXPECT_EQ(Hex(Write(&TMainForm::btnThrWriteClick, 10)), "0B 23 01 FF 19 0A");
    form->TransferMode = TMainForm::tmReadBlock;
    Feed(kThrottleNoItems);
    EXPECT_EQ(Hex(Write(&TMainForm::btnThrWriteClick, 10)), Hex(ReplyData(kThrottleNoItems)));
}

TEST_F(KeptListBytes, PickingTheItemAListAlreadyShowsSendsThatItemsByte)
{
    // Wheel 53 shows "27" and speed-meter type code 2 "By Motor Phase"; both go back as read until
    // the user opens the list and picks the item shown, which then writes its own byte (54, 0xC0).
    Connect();
    form->TransferMode = TMainForm::tmReadBlock;
    Feed(BasicReply(41, 20, 53, 0x85));
    ASSERT_EQ(form->cbbBasWheelDiam->currentText(), "27");
    ASSERT_EQ(form->cbbBasSpdMtrType->currentText(), "By Motor Phase");
    Bytes basic = Write(&TMainForm::btnBasWriteClick, 28);
    EXPECT_EQ(basic[22], 53);
    EXPECT_EQ(basic[23], 0x85);

    ASSERT_NO_FATAL_FAILURE(ShowAndActivate());
    for (QComboBox* list : {form->cbbBasWheelDiam, form->cbbBasSpdMtrType}) {
        list->showPopup();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(list->view()->window()));
        QTest::keyClick(list->view(), Qt::Key_Return);
        ASSERT_TRUE(PumpUntil([&] { return !list->view()->isVisible(); }));
    }
    EXPECT_EQ(form->cbbBasWheelDiam->currentText(), "27");
    EXPECT_EQ(form->cbbBasSpdMtrType->currentText(), "By Motor Phase");
    basic = Write(&TMainForm::btnBasWriteClick, 28);
    EXPECT_EQ(basic[22], 54);
    EXPECT_EQ(basic[23], 0xC5);
}

// ---- Chunks that arrive while a message box of the dispatcher is open ----

TEST_F(Transfer, ChunksArrivingDuringADispatcherBoxWaitForItAndAreBounded)
{
    Connect();
    int open = 0, mostOpen = 0;
    bool streamed = false;
    messages.answer = [&](const MessageRequest&) {
        mostOpen = std::max(mostOpen, ++open);
        if (!std::exchange(streamed, true))
            for (int i = 0; i < 50; ++i) // the peer keeps sending refusals while the box is open
                Feed({0x54, 0x00});
        --open;
        return zelbor::idOk;
    };
    // Write Flash stays on after a refused Throttle field, so each waiting refusal is handled
    // in turn, after the box before it has closed; those beyond the bound were dropped.
    form->TransferMode = TMainForm::tmWriteAll;
    Feed({0x54, 0x00});
    EXPECT_EQ(mostOpen, 1);
    EXPECT_EQ(messages.messages.size(), 1 + TMainForm::kMaxPendingChunks);
    for (const auto& m : messages.messages)
        EXPECT_EQ(m.key, "err48");
    EXPECT_EQ(form->PendingChunkCount(), 0u);

    // Read Flash's last reply: the repeated replies find the mode idle once err47 has closed.
    messages.Clear();
    streamed = false;
    messages.answer = [&](const MessageRequest&) {
        if (!std::exchange(streamed, true))
            for (int i = 0; i < 10; ++i)
                Feed({0x54, 0x06, 11, 35, 0, 0xFF, 0xFF, 10});
        return zelbor::idOk;
    };
    form->TransferMode = TMainForm::tmReadAll;
    Feed({0x54, 0x06, 11, 35, 0, 0xFF, 0xFF, 10});
    EXPECT_EQ(messages.Keys(), std::vector<std::string>{"err47"});
    EXPECT_EQ(form->TransferMode, TMainForm::tmIdle);
}

TEST_F(Transfer, AFailedReopenInsideAHandlerLeavesTheDispatcherFreeForTheNextChunk)
{
    Connect();
    form->TransferMode = TMainForm::tmReadBlock;
    line.Close(); // the device vanishes: every reopen fails with the serial component's error
    bool arrived = false;
    messages.answer = [&](const MessageRequest&) {
        if (!std::exchange(arrived, true))
            Feed(BasicReply(41, 9, 52, 0x01)); // arrives while the error is shown
        return zelbor::idOk;
    };
    Feed(BasicReply(41, 3, 55, 0x88));
    // The waiting reply was handled after the first error: shown, then the same failed reopen.
    ASSERT_EQ(messages.messages.size(), 2u);
    EXPECT_TRUE(messages.messages[0].key.empty());
    EXPECT_TRUE(messages.messages[1].key.empty());
    EXPECT_EQ(form->speBasCurrLim->value(), 9);
    EXPECT_EQ(form->TransferMode, TMainForm::tmReadBlock);
    EXPECT_EQ(form->PendingChunkCount(), 0u);

    // Nothing is left marked as running: the next chunk is handled at once.
    messages.answer = nullptr;
    Feed(BasicReply(41, 5, 52, 0x01));
    EXPECT_EQ(form->speBasCurrLim->value(), 5);
    EXPECT_EQ(messages.messages.size(), 3u);
}

} // namespace zelbor
