// SPDX-License-Identifier: GPL-3.0-or-later
// A controller that repeats its reply while the window shows the message that ends the transfer:
// real message boxes on Qt's offscreen platform, closed with Esc as a user would, against the
// virtual controller.
#include "MainTestSupport.h"

#include <gtest/gtest.h>

#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <algorithm>

namespace zelbor {

using namespace uitest;

namespace {

// Shows every message box for real, counting how many are open at once.
class RealBoxes : public ForwardingSeam {
public:
    int ShowMessage(const MessageRequest& request) override
    {
        keys.push_back(request.key);
        mostOpen = std::max(mostOpen, ++open);
        const int id = ShowRealMessageBox(request);
        --open;
        return id;
    }
    std::vector<std::string> keys;
    int open = 0;
    int mostOpen = 0;
};

} // namespace

class RepeatedReplies : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QString::fromLatin1(ZELBOR_VIRTUAL_CONTROLLER).isEmpty())
            GTEST_SKIP() << "virtual controller not built";
        // Closes the box on top with Esc, but only once the controller has sent every repetition
        // and the last one has had time to reach the window.
        closer_.setInterval(100);
        QObject::connect(&closer_, &QTimer::timeout, [this] {
            if (!vc || vc->Log().count(QStringLiteral("(repeat ")) < kRepeats) {
                sinceLastRepeat_.invalidate();
                return;
            }
            if (!sinceLastRepeat_.isValid())
                sinceLastRepeat_.start();
            if (sinceLastRepeat_.elapsed() < 600)
                return;
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                QTest::keyClick(box, Qt::Key_Escape);
        });
        closer_.start();
    }

    void Connect()
    {
        form->btnPortConnectClick();
        ASSERT_TRUE(PumpUntil([&] { return form->btnBasRead->isEnabled(); }));
    }
    void RunReadFlash()
    {
        keys.clear();
        form->btnReadFlashClick();
        ASSERT_TRUE(PumpUntil(
            [&] {
                return !keys.empty() && open == 0 && form->TransferMode == TMainForm::tmIdle &&
                       vc->Log().count(QStringLiteral("(repeat ")) >= kRepeats;
            },
            30000));
        PumpFor(800); // anything the window does afterwards is seen too
    }

    static constexpr int kRepeats = 10;
    ShipFolder ship;
    HookRecorder hooks;
    RealBoxes boxes;
    std::vector<std::string>& keys = boxes.keys;
    int& open = boxes.open;
    int& mostOpen = boxes.mostOpen;
    std::unique_ptr<VirtualController> vc;
    std::unique_ptr<TMainForm> form;

private:
    QTimer closer_;
    QElapsedTimer sinceLastRepeat_;
};

TEST_F(RepeatedReplies, TenRepeatedThrottleRepliesDuringReadFlashOpenOneBox)
{
    // The Throttle reply, the third read of Read Flash, comes ten more times, 250 ms apart.
    vc = std::make_unique<VirtualController>(QStringList{
        "--folder", QString::fromStdString((ship.Path() / "ports").string()), "--no-pacing", "--fault-scope", "read",
        "--fault-frame", "3", "--repeat", QString::number(kRepeats), "--repeat-gap", "250"});
    ASSERT_FALSE(vc->Port().isEmpty());
    form = StartedForm();
    ChoosePort(*form, vc->Port());
    ASSERT_NO_FATAL_FAILURE(Connect());

    ASSERT_NO_FATAL_FAILURE(RunReadFlash());
    EXPECT_EQ(keys, std::vector<std::string>{"err47"});
    EXPECT_EQ(mostOpen, 1);
    EXPECT_EQ(form->TransferMode, TMainForm::tmIdle);
    EXPECT_EQ(form->speThrEndVolt->value(), 35);

    // The window is usable: Disconnect, Connect and a new Read Flash.
    form->btnPortDisconnectClick();
    EXPECT_TRUE(form->btnPortConnect->isEnabled());
    EXPECT_FALSE(form->btnReadFlash->isEnabled());
    EXPECT_EQ(form->CommPort.ComHandle(), 0);
    ASSERT_NO_FATAL_FAILURE(Connect());
    ASSERT_NO_FATAL_FAILURE(RunReadFlash());
    EXPECT_EQ(keys, std::vector<std::string>{"err47"});
    EXPECT_EQ(mostOpen, 1);
    EXPECT_EQ(vc->Log().count(QStringLiteral("<- 11 54")), 2);
}

} // namespace zelbor
