// SPDX-License-Identifier: GPL-3.0-or-later
// The real window of the Windows build: the Windows platform plugin on a display (under Wine,
// a private Xvfb; tests/win32/run-wine-tests.sh), clicked with the mouse, against the virtual
// controller on a COM port: connect, Read Flash, Save As a profile, Write Flash. A screenshot of
// the connected window goes to ZELBOR_ARTIFACTS. Other platforms have their own window tests.
#ifdef _WIN32
#include "MainTestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>

#include "profile/Profile.h"
#include "common/PathText.h"

namespace zelbor {

using namespace uitest;

namespace {

QStringList Received(VirtualController& vc)
{
    QStringList frames;
    for (const QString& frame : ReceivedFrames(vc))
        frames << frame.left(5); // the command and the block code
    return frames;
}

void Click(QPushButton* button)
{
    ASSERT_TRUE(button->isEnabled()) << button->objectName().toStdString();
    QTest::mouseClick(button, Qt::LeftButton);
}

} // namespace

TEST(RealWindow, ConnectReadFlashSaveAsAndWriteFlashByMouse)
{
    if (QGuiApplication::platformName() != QLatin1String("windows"))
        GTEST_SKIP() << "needs the Windows platform plugin on a display, not "
                     << QGuiApplication::platformName().toStdString();
    ShipFolder ship;
    fs::create_directories(ship.Path() / "Profiles");
    HookRecorder hooks;
    VirtualController vc({QStringLiteral("--no-pacing")});
    ASSERT_FALSE(vc.Port().isEmpty());

    auto form = StartedForm();
    MessageRecorder messages(form.get());
    form->CenterOnScreen();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    ChoosePort(*form, vc.Port());

    Click(form->btnPortConnect);
    ASSERT_TRUE(PumpUntil([&] { return form->btnReadFlash->isEnabled(); })) << vc.Log().toStdString();
    EXPECT_EQ(form->lbManuf->text(), "ZLBR");
    EXPECT_EQ(form->lbMaxCurr->text(), "25A");
    PumpFor(500); // painted
    const QString artifacts = qEnvironmentVariable("ZELBOR_ARTIFACTS");
    if (!artifacts.isEmpty()) {
        QDir().mkpath(artifacts);
        // The screen as Windows shows it, and the window as Qt draws it.
        EXPECT_TRUE(form->screen()->grabWindow(0).save(artifacts + "/connected-screen.png"));
        EXPECT_TRUE(form->grab().save(artifacts + "/connected-window.png"));
    }

    Click(form->btnReadFlash);
    ASSERT_TRUE(PumpUntil([&] { return !messages.messages.empty() && form->TransferMode == TMainForm::tmIdle; }));
    EXPECT_EQ(messages.Keys(), std::vector<std::string>{"err47"});
    EXPECT_EQ(form->cbbBasLowBat->currentText(), "41");

    // A name outside ASCII reaches the file system as it is.
    const std::string name = "R\xc3\xa9glages \xd0\x96.el";
    hooks.dialogAnswer = ship.Q("Profiles/") + QString::fromUtf8(name.c_str());
    messages.Clear();
    form->mnSaveAsClick();
    const fs::path saved = ship.Path() / "Profiles" / zelbor::PathFromText(name);
    ASSERT_TRUE(fs::exists(saved));
    EXPECT_EQ(zelbor::ReadProfile(saved).basic.cbbBasLowBat, 41);

    messages.Clear();
    Click(form->btnWriteFlash);
    ASSERT_TRUE(PumpUntil([&] { return !messages.messages.empty() && form->TransferMode == TMainForm::tmIdle; }));
    EXPECT_EQ(messages.Keys(), std::vector<std::string>{"err55"});

    const QStringList frames = Received(vc);
    EXPECT_TRUE(frames.contains("11 51")) << frames.join(", ").toStdString();
    for (const char* f : {"11 52", "11 53", "11 54", "16 52", "16 53", "16 54"})
        EXPECT_EQ(frames.count(QLatin1String(f)), 1) << f << " in " << frames.join(", ").toStdString();
    EXPECT_LT(frames.indexOf("11 54"), frames.indexOf("16 52")); // read before written
}
} // namespace zelbor
#endif
