// SPDX-License-Identifier: GPL-3.0-or-later
// Faults on the line, against the real window, the real serial component and the virtual
// controller: a controller unplugged mid-transfer, one that never answers, replies split in two,
// garbage and long bursts on the line, and a port that another program holds. After each fault
// every control must hold either its old value or a value the controller sent whole.
#include "MainTestSupport.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTimer>

#include <map>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#endif

namespace zelbor {

using namespace uitest;
using zelbor::Bytes;

namespace {

// Every parameter control by name: spin values, list indexes, the low-battery text.
using Values = std::map<QString, QString>;

Values ControlValues(const TMainForm& form)
{
    Values v;
    for (const QSpinBox* s : form.findChildren<QSpinBox*>())
        if (s->objectName().startsWith(QLatin1String("spe")))
            v[s->objectName()] = QString::number(s->value());
    for (const QComboBox* c : form.findChildren<QComboBox*>()) {
        if (c == form.cbbLanguage || c == form.cbbPort)
            continue;
        if (c == form.cbbBasLowBat)
            v[c->objectName()] = c->currentText();
        else if (c->objectName().startsWith(QLatin1String("cbb")) || c->objectName().startsWith(QLatin1String("ed")))
            v[c->objectName()] = QString::number(c->currentIndex());
    }
    return v;
}

QString N(int v) { return QString::number(v); }

// What the window shows after a whole read reply, written out field by field from the decoded
// record (48 V controller: the low-battery list offers 38 to 43).
void ApplyReadReply(Values& v, const Bytes& reply)
{
    if (const auto b = zelbor::DecodeBasic(reply); b && reply[0] == zelbor::bcBasic) {
        if (b->cbbBasLowBat >= 38 && b->cbbBasLowBat <= 43)
            v["cbbBasLowBat"] = N(b->cbbBasLowBat);
        v["speBasCurrLim"] = N(b->speBasCurrLim);
        for (int i = 0; i < 10; ++i) {
            v[QStringLiteral("speBasAssist%1CurrLim").arg(i)] = N(b->speBasAssistCurrLim[std::size_t(i)]);
            v[QStringLiteral("speBasAssist%1SpdLim").arg(i)] = N(b->speBasAssistSpdLim[std::size_t(i)]);
        }
        v["cbbBasWheelDiam"] = N(b->cbbBasWheelDiam);
        v["cbbBasSpdMtrType"] = N(b->cbbBasSpdMtrType);
        v["speBasSpdMtrSig"] = N(b->speBasSpdMtrSig);
    } else if (const auto p = zelbor::DecodePedalAssist(reply); p && reply[0] == zelbor::bcPedalAssist) {
        v["cbbPASPedalSensType"] = N(p->cbbPASPedalSensType);
        v["cbbPASDesigAssist"] = N(p->cbbPASDesigAssist);
        v["cbbPASSpdLim"] = N(p->cbbPASSpdLim);
        v["spePASStartCurr"] = N(p->spePASStartCurr);
        v["cbbPASSlowStartMode"] = N(p->cbbPASSlowStartMode);
        v["spePASStartDeg"] = N(p->spePASStartDeg);
        v["cbbPASWorkMode"] = N(p->cbbPASWorkMode);
        v["spePASStopDelay"] = N(p->spePASStopDelay);
        v["spePASCurrDecay"] = N(p->spePASCurrDecay);
        v["spePASStopDecay"] = N(p->spePASStopDecay);
        v["spePASKeepCurr"] = N(p->spePASKeepCurr);
    } else if (const auto t = zelbor::DecodeThrottle(reply); t && reply[0] == zelbor::bcThrottle) {
        v["speThrStartVolt"] = N(t->speThrStartVolt);
        v["speThrEndVolt"] = N(t->speThrEndVolt);
        v["cbbThrMode"] = N(t->cbbThrMode);
        v["cbbThrAssistLvl"] = N(t->cbbThrAssistLvl);
        v["edThrSpeedLim"] = N(t->edThrSpeedLim);
        v["speThrStartCurr"] = N(t->speThrStartCurr);
    }
}

// Values that differ from the controller's own and that the controller accepts; several data
// bytes are 0x11 or 0x13, the flow-control characters, which must pass as plain data.
void SetDistinctValues(TMainForm& f)
{
    f.cbbBasLowBat->setEditText("39");
    f.speBasCurrLim->setValue(17);
    const int cur[10] = {19, 17, 25, 33, 41, 49, 57, 65, 73, 81};
    for (int i = 0; i < 10; ++i) {
        f.speBasAssistCurrLim[std::size_t(i)]->setValue(cur[i]);
        f.speBasAssistSpdLim[std::size_t(i)]->setValue(5 + 8 * i);
    }
    f.cbbBasWheelDiam->setCurrentIndex(12);
    f.cbbBasSpdMtrType->setCurrentIndex(0);
    f.speBasSpdMtrSig->setValue(19);
    f.cbbPASPedalSensType->setCurrentIndex(2);
    f.cbbPASDesigAssist->setCurrentIndex(9);
    f.cbbPASSpdLim->setCurrentIndex(25);
    f.spePASStartCurr->setValue(31);
    f.cbbPASSlowStartMode->setCurrentIndex(6);
    f.spePASStartDeg->setValue(51);
    f.cbbPASWorkMode->setCurrentIndex(70);
    f.spePASStopDelay->setValue(128);
    f.spePASCurrDecay->setValue(5);
    f.spePASStopDecay->setValue(17);
    f.spePASKeepCurr->setValue(51);
    f.speThrStartVolt->setValue(19);
    f.speThrEndVolt->setValue(45);
    f.cbbThrMode->setCurrentIndex(1);
    f.cbbThrAssistLvl->setCurrentIndex(4);
    f.edThrSpeedLim->setCurrentIndex(7);
    f.speThrStartCurr->setValue(51);
}

// A reply the controller logged as sent; `whole` is false for the half sent before hanging up.
struct Sent {
    Bytes bytes;
    bool whole = true;
};

std::vector<Sent> SentReplies(VirtualController& vc)
{
    static const QRegularExpression re(
        QStringLiteral(R"(\] -> ((?:[0-9A-F]{2} )*[0-9A-F]{2})(?:  \((first half|second half|then hanging up)\))?$)"));
    QStringList lines = vc.Log().split(QLatin1Char('\n'));
    lines.removeLast(); // a line still being written
    std::vector<Sent> out;
    Bytes firstHalf;
    for (const QString& line : lines) {
        const auto m = re.match(line);
        if (!m.hasMatch())
            continue;
        Bytes bytes;
        for (const QString& h : m.captured(1).split(QLatin1Char(' ')))
            bytes.push_back(static_cast<std::uint8_t>(h.toUInt(nullptr, 16)));
        const QString how = m.captured(2);
        if (how == QLatin1String("first half")) {
            firstHalf = bytes;
        } else if (how == QLatin1String("second half")) {
            firstHalf.insert(firstHalf.end(), bytes.begin(), bytes.end());
            out.push_back({firstHalf, true});
            firstHalf.clear();
        } else {
            out.push_back({bytes, how.isEmpty()});
        }
    }
    return out;
}

// The controls as they must be: `before`, then every read reply the controller sent whole.
Values Expected(Values before, VirtualController& vc)
{
    for (const Sent& s : SentReplies(vc))
        if (s.whole && s.bytes.size() > 2)
            ApplyReadReply(before, s.bytes);
    return before;
}

// The controls of one page, by the page part of their names ("Bas", "PAS", "Thr").
Values Block(const Values& v, const char* page)
{
    Values out;
    for (const auto& [name, value] : v)
        if (name.contains(QLatin1String(page)))
            out[name] = value;
    return out;
}

int CountReceived(VirtualController& vc, const QString& frame) { return vc.Log().count(QStringLiteral("<- ") + frame); }

double CpuSeconds()
{
#ifdef _WIN32
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto seconds = [](const FILETIME& t) {
        return double((std::uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
#else
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
#endif
}

} // namespace

class LineFaults : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QString::fromLatin1(ZELBOR_VIRTUAL_CONTROLLER).isEmpty())
            GTEST_SKIP() << "virtual controller not built";
    }

    // A controller under a fixed link name, so that one started after a hang-up has the
    // port name the window already shows.
    void StartController(QStringList options)
    {
        if (vc)
            vc->Stop();
        options << "--folder" << QString::fromStdString((ship.Path() / "ports").string()) << "--name"
                << "fault-controller"
                << "--no-pacing";
        vc = std::make_unique<VirtualController>(options);
        ASSERT_FALSE(vc->Port().isEmpty());
    }
    void Start(const QStringList& options)
    {
        ASSERT_NO_FATAL_FAILURE(StartController(options));
        form = StartedForm();
        messages.SetForm(form.get());
        ChoosePort(*form, vc->Port());
    }
    void Connect()
    {
        form->btnPortConnectClick();
        ASSERT_TRUE(PumpUntil([&] { return form->btnBasRead->isEnabled(); }));
        messages.Clear();
    }
    // Until the controller has logged `text` (the fault has happened), then a little longer, so
    // that whatever the window does with it has been done.
    void RunUntilLogged(const QString& text, int times = 1)
    {
        ASSERT_TRUE(PumpUntil([&] { return vc->Log().count(text) >= times; })) << vc->Log().toStdString();
        PumpFor(600);
    }
    void RunToEnd()
    {
        ASSERT_TRUE(PumpUntil([&] { return !messages.messages.empty() && form->TransferMode == TMainForm::tmIdle; }));
        PumpFor(400);
    }
    // While the window waits, the process uses only a small share of one core: no thread spins.
    void ExpectIdle()
    {
        QElapsedTimer wall;
        wall.start();
        const double cpu = CpuSeconds();
        PumpFor(1200);
        const double used = CpuSeconds() - cpu;
        EXPECT_LT(used, 0.25 * double(wall.elapsed()) / 1000.0) << "CPU seconds used while waiting: " << used;
    }
    void ExpectConnectedButtons()
    {
        EXPECT_FALSE(form->btnPortConnect->isEnabled());
        EXPECT_TRUE(form->btnPortDisconnect->isEnabled());
        EXPECT_TRUE(form->btnReadFlash->isEnabled());
    }
    void Disconnect()
    {
        form->btnPortDisconnectClick();
        EXPECT_TRUE(form->btnPortConnect->isEnabled());
        EXPECT_FALSE(form->btnPortDisconnect->isEnabled());
        EXPECT_FALSE(form->btnReadFlash->isEnabled());
        EXPECT_EQ(form->CommPort.ComHandle(), 0);
    }

    ShipFolder ship;
    HookRecorder hooks;
    MessageRecorder messages;
    std::unique_ptr<VirtualController> vc;
    std::unique_ptr<TMainForm> form;
};

TEST_F(LineFaults, UnpluggedDuringReadFlashKeepsWhatWasNotReceivedWholeAndRecovers)
{
    // Half the Pedal Assist reply, then the controller closes its end and is gone.
    ASSERT_NO_FATAL_FAILURE(Start({"--fault-scope", "read", "--hangup-after", "2"}));
    ASSERT_NO_FATAL_FAILURE(Connect());
    SetDistinctValues(*form);
    const Values before = ControlValues(*form);
    form->btnReadFlashClick();
    ASSERT_NO_FATAL_FAILURE(RunUntilLogged("hung up"));

    const Values after = ControlValues(*form);
    EXPECT_EQ(after, Expected(before, *vc)); // the Basic block, nothing of the half reply
    EXPECT_NE(after.at("speBasCurrLim"), before.at("speBasCurrLim"));
    EXPECT_EQ(after.at("spePASKeepCurr"), before.at("spePASKeepCurr"));
    EXPECT_TRUE(messages.messages.empty()); // no reply, no message: there is no time-out
    EXPECT_EQ(form->TransferMode, TMainForm::tmReadAll);
    ExpectConnectedButtons();
    ASSERT_NO_FATAL_FAILURE(ExpectIdle());

    Disconnect();
    EXPECT_TRUE(messages.messages.empty());
    ASSERT_NO_FATAL_FAILURE(StartController({}));
    ASSERT_NO_FATAL_FAILURE(Connect());
    form->btnReadFlashClick();
    ASSERT_NO_FATAL_FAILURE(RunToEnd());
    EXPECT_EQ(messages.Keys(), std::vector<std::string>{"err47"});
    EXPECT_EQ(ControlValues(*form), Expected(after, *vc));
    EXPECT_EQ(form->spePASKeepCurr->value(), 60); // the controller's own value
}

TEST_F(LineFaults, UnpluggedDuringWriteFlashChangesNoControlAndRecovers)
{
    // The Pedal Assist acknowledgement is cut to its block code, then the line goes dead.
    ASSERT_NO_FATAL_FAILURE(Start({"--fault-scope", "write", "--hangup-after", "2"}));
    ASSERT_NO_FATAL_FAILURE(Connect());
    SetDistinctValues(*form);
    const Values before = ControlValues(*form);
    form->btnWriteFlashClick();
    ASSERT_NO_FATAL_FAILURE(RunUntilLogged("hung up"));
    EXPECT_EQ(CountReceived(*vc, "16 52"), 1);
    EXPECT_EQ(CountReceived(*vc, "16 53"), 1);
    EXPECT_EQ(CountReceived(*vc, "16 54"), 0);
    EXPECT_EQ(ControlValues(*form), before);
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(form->TransferMode, TMainForm::tmWriteAll);
    ExpectConnectedButtons();
    ASSERT_NO_FATAL_FAILURE(ExpectIdle());

    Disconnect();
    ASSERT_NO_FATAL_FAILURE(StartController({}));
    ASSERT_NO_FATAL_FAILURE(Connect());
    form->btnWriteFlashClick();
    ASSERT_NO_FATAL_FAILURE(RunToEnd());
    EXPECT_EQ(messages.Keys(), std::vector<std::string>{"err55"});
    EXPECT_EQ(ControlValues(*form), before);

    // What the new controller holds now is what the window wrote, 0x11 and 0x13 bytes included.
    for (QSpinBox* s : form->findChildren<QSpinBox*>())
        s->setValue(s->minimum());
    messages.Clear();
    form->btnReadFlashClick();
    ASSERT_NO_FATAL_FAILURE(RunToEnd());
    EXPECT_EQ(messages.Keys(), std::vector<std::string>{"err47"});
    EXPECT_EQ(ControlValues(*form), before);
}

TEST_F(LineFaults, AControllerThatNeverAnswersLeavesTheWindowIdentifyingAndIdle)
{
    ASSERT_NO_FATAL_FAILURE(Start({"--silent"}));
    const Values before = ControlValues(*form);
    form->btnPortConnectClick();
    ASSERT_TRUE(PumpUntil([&] { return CountReceived(*vc, "11 51 04 B0 05") >= 2; })); // the request repeats
    ASSERT_NO_FATAL_FAILURE(ExpectIdle());
    EXPECT_FALSE(form->btnPortConnect->isEnabled());
    EXPECT_TRUE(form->btnPortDisconnect->isEnabled());
    EXPECT_FALSE(form->btnReadFlash->isEnabled());
    EXPECT_TRUE(form->lbManuf->text().isEmpty());
    EXPECT_EQ(form->TransferMode, TMainForm::tmConnect);

    Disconnect();
    EXPECT_FALSE(form->TimerConnect->isActive());
    PumpFor(300); // a request that left just before has reached the controller's log
    const int sent = CountReceived(*vc, "11 51 04 B0 05");
    PumpFor(900); // longer than a retry interval
    EXPECT_EQ(CountReceived(*vc, "11 51 04 B0 05"), sent);
    EXPECT_EQ(ControlValues(*form), before);
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(LineFaults, AReadThatIsNeverAnsweredLeavesTheValuesAndDisconnectWorks)
{
    ASSERT_NO_FATAL_FAILURE(Start({"--read-delay", "3600000"}));
    ASSERT_NO_FATAL_FAILURE(Connect());
    const Values before = ControlValues(*form);
    form->btnReadFlashClick();
    ASSERT_TRUE(PumpUntil([&] { return CountReceived(*vc, "11 52") == 1; }));
    ASSERT_NO_FATAL_FAILURE(ExpectIdle());
    EXPECT_EQ(form->TransferMode, TMainForm::tmReadAll);
    EXPECT_TRUE(messages.messages.empty());
    ExpectConnectedButtons();
    Disconnect();
    EXPECT_EQ(ControlValues(*form), before);
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(LineFaults, RepliesSplitWithinTheQuietIntervalAreDecodedWhole)
{
    ASSERT_NO_FATAL_FAILURE(Start({"--split", "5"})); // every reply, the identification too
    ASSERT_NO_FATAL_FAILURE(Connect());
    EXPECT_EQ(form->lbModel->text(), "M250");
    const Values before = ControlValues(*form);
    form->btnReadFlashClick();
    ASSERT_NO_FATAL_FAILURE(RunToEnd());
    EXPECT_EQ(messages.Keys(), std::vector<std::string>{"err47"});
    EXPECT_EQ(ControlValues(*form), Expected(before, *vc));
    EXPECT_EQ(form->speBasCurrLim->value(), 20);
    EXPECT_EQ(form->speThrEndVolt->value(), 35);
}

TEST_F(LineFaults, RepliesSplitBeyondTheQuietIntervalAreDroppedWithNothingHalfApplied)
{
    ASSERT_NO_FATAL_FAILURE(Start({"--fault-scope", "read,write", "--split", "400"}));
    ASSERT_NO_FATAL_FAILURE(Connect());
    SetDistinctValues(*form);
    const Values before = ControlValues(*form);

    // The Basic reply comes as 13 and 14 bytes: the first part is too short for the block, the
    // second does not begin with a block code. Both are dropped; the sequence waits.
    form->btnReadFlashClick();
    ASSERT_NO_FATAL_FAILURE(RunUntilLogged("(second half)"));
    EXPECT_EQ(ControlValues(*form), before);
    EXPECT_EQ(CountReceived(*vc, "11 53"), 0);
    EXPECT_EQ(form->TransferMode, TMainForm::tmReadAll);

    // An acknowledgement split into its two bytes: neither part is acted on.
    form->btnWriteFlashClick();
    ASSERT_NO_FATAL_FAILURE(RunUntilLogged("(second half)", 2));
    EXPECT_EQ(CountReceived(*vc, "16 53"), 0);
    EXPECT_EQ(form->TransferMode, TMainForm::tmWriteAll);
    EXPECT_EQ(ControlValues(*form), before);
    EXPECT_TRUE(messages.messages.empty());
    ExpectConnectedButtons();
    Disconnect();
}

TEST_F(LineFaults, GarbageBeforeRepliesIsDroppedNeverApplied)
{
    // Garbage glued to the front of every read reply: the chunk no longer begins with the
    // block code and is dropped as a whole. Flow-control bytes are garbage like any other.
    ASSERT_NO_FATAL_FAILURE(Start({"--fault-scope", "read", "--prefix", "00 FF 13 11"}));
    ASSERT_NO_FATAL_FAILURE(Connect());
    SetDistinctValues(*form);
    const Values before = ControlValues(*form);
    form->btnReadFlashClick();
    ASSERT_NO_FATAL_FAILURE(RunUntilLogged("-> 00 FF 13 11 52"));
    EXPECT_EQ(ControlValues(*form), before);
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(CountReceived(*vc, "11 53"), 0);
    Disconnect();

    // Garbage that arrives as a chunk of its own, then a quiet line, then the reply: the
    // garbage is dropped and the reply taken.
    ASSERT_NO_FATAL_FAILURE(StartController({"--fault-scope", "read", "--burst", "40", "--burst-gap", "300"}));
    ASSERT_NO_FATAL_FAILURE(Connect());
    form->btnReadFlashClick();
    ASSERT_NO_FATAL_FAILURE(RunToEnd());
    EXPECT_EQ(messages.Keys(), std::vector<std::string>{"err47"});
    EXPECT_EQ(ControlValues(*form), Expected(before, *vc));
    EXPECT_EQ(vc->Log().count(QStringLiteral("bytes of noise")), 3);
}

TEST_F(LineFaults, ABurstOf3000BytesInTheMiddleOfReadFlash)
{
    // Before the Pedal Assist reply: 3000 bytes of noise (three chunks of at most 1024 bytes,
    // ending with an XOFF), a quiet line, then the reply. The sequence carries on.
    ASSERT_NO_FATAL_FAILURE(
        Start({"--fault-scope", "read", "--fault-frame", "2", "--burst", "3000", "--burst-gap", "300"}));
    ASSERT_NO_FATAL_FAILURE(Connect());
    SetDistinctValues(*form);
    const Values before = ControlValues(*form);
    form->btnReadFlashClick();
    ASSERT_NO_FATAL_FAILURE(RunToEnd());
    EXPECT_EQ(messages.Keys(), std::vector<std::string>{"err47"});
    EXPECT_EQ(ControlValues(*form), Expected(before, *vc));
    EXPECT_EQ(form->spePASKeepCurr->value(), 60);
}

TEST_F(LineFaults, ABurstThatSwallowsAReplyStallsOnlyThatReplyAndReadFlashRecovers)
{
    // The reply follows the noise without a pause, so it ends up inside a chunk of noise.
    ASSERT_NO_FATAL_FAILURE(Start({"--fault-scope", "read", "--fault-frame", "2", "--burst", "3000"}));
    ASSERT_NO_FATAL_FAILURE(Connect());
    SetDistinctValues(*form);
    const Values before = ControlValues(*form);
    form->btnReadFlashClick();
    ASSERT_NO_FATAL_FAILURE(RunUntilLogged("-> 53 0B"));

    // The Basic block was received whole. Each other block holds either all its old values or,
    // had its reply reached a chunk of its own after all, all the values sent: nothing in between.
    Values basicOnly = before;
    for (const Sent& s : SentReplies(*vc))
        if (s.bytes.size() > 2 && s.bytes[0] == zelbor::bcBasic)
            ApplyReadReply(basicOnly, s.bytes);
    const Values after = ControlValues(*form);
    const Values all = Expected(before, *vc);
    EXPECT_EQ(Block(after, "Bas"), Block(basicOnly, "Bas"));
    for (const char* block : {"PAS", "Thr"}) {
        const Values shown = Block(after, block);
        EXPECT_TRUE(shown == Block(basicOnly, block) || shown == Block(all, block)) << block;
    }
    const bool finished = Block(after, "Thr") == Block(all, "Thr") && Block(all, "Thr") != Block(before, "Thr");
    EXPECT_EQ(messages.Keys(), finished ? std::vector<std::string>{"err47"} : std::vector<std::string>{});

    // Pressing Read Flash again reads the three blocks as if nothing had happened.
    messages.Clear();
    form->btnReadFlashClick();
    ASSERT_NO_FATAL_FAILURE(RunToEnd());
    EXPECT_EQ(messages.Keys(), std::vector<std::string>{"err47"});
    EXPECT_EQ(ControlValues(*form), Expected(before, *vc));
    EXPECT_EQ(form->speThrEndVolt->value(), 35);
}

#ifndef _WIN32 // the other program takes the port with flock(1)
TEST_F(LineFaults, APortHeldByAnotherProgramIsNamedAndNothingChanges)
{
    ASSERT_NO_FATAL_FAILURE(Start({}));
    // Another program takes the port the way a second instance of the tool would: an exclusive lock.
    QProcess holder;
    // --no-fork: the process that holds the lock is the one that is killed below.
    holder.start(QStringLiteral("flock"),
                 {QStringLiteral("--exclusive"), QStringLiteral("--no-fork"), vc->Port(), QStringLiteral("sh"),
                  QStringLiteral("-c"), QStringLiteral("echo locked; exec sleep 60")});
    if (!holder.waitForStarted(5000))
        GTEST_SKIP() << "flock(1) is not installed";
    ASSERT_TRUE(holder.waitForReadyRead(5000));
    ASSERT_TRUE(holder.readAll().startsWith("locked"));

    SetDistinctValues(*form);
    const Values before = ControlValues(*form);
    const QString title = form->windowTitle();
    form->btnPortConnectClick();
    ASSERT_EQ(messages.messages.size(), 1u);
    const Message& m = messages.messages[0];
    EXPECT_EQ(m.flags, zelbor::mbIconError);
    EXPECT_TRUE(m.text.startsWith("Error opening serial port")) << m.text.toStdString();
    EXPECT_TRUE(m.text.contains(vc->Port()));
    EXPECT_TRUE(m.text.contains("held by another program")) << m.text.toStdString();
    EXPECT_TRUE(form->btnPortConnect->isEnabled());
    EXPECT_FALSE(form->btnPortDisconnect->isEnabled());
    EXPECT_FALSE(form->btnReadFlash->isEnabled());
    EXPECT_FALSE(form->TimerConnect->isActive());
    EXPECT_EQ(form->TransferMode, TMainForm::tmIdle);
    EXPECT_EQ(form->CommPort.ComHandle(), 0);
    EXPECT_EQ(ControlValues(*form), before);
    EXPECT_EQ(form->windowTitle(), title);
    PumpFor(300);
    EXPECT_EQ(CountReceived(*vc, ""), 0); // not one byte reached the controller

    // Once the other program has let go, the same Connect works.
    holder.kill();
    holder.waitForFinished(5000);
    ASSERT_NO_FATAL_FAILURE(Connect());

    // A second window of this tool meets the same wall, and the first one keeps working.
    MessageRecorder second;
    auto other = StartedForm();
    ChoosePort(*other, vc->Port());
    other->btnPortConnectClick();
    ASSERT_EQ(second.messages.size(), 1u);
    EXPECT_TRUE(second.messages[0].text.contains("held by another program"));
    EXPECT_TRUE(other->btnPortConnect->isEnabled());
    other.reset();
    form->btnReadFlashClick();
    ASSERT_TRUE(PumpUntil([&] { return !second.messages.empty() && second.messages.back().key == "err47"; }));
}
#endif

} // namespace zelbor
