// SPDX-License-Identifier: GPL-3.0-or-later
// The command line and the window agree: after the same steps against the same kind of
// controller, the window's Save As and `zelbor-cli read` write the same file, and the window's
// Write Flash and `zelbor-cli write` of the same profile send the same frames.
#if !defined(_WIN32) && defined(ZELBOR_CLI)
#include "MainTestSupport.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QRegularExpression>

namespace zelbor {

using namespace uitest;

namespace {

// The frames a controller received that start with `prefix`, in order, as hexadecimal text.
QStringList Received(VirtualController& vc, const QString& prefix)
{
    QStringList frames;
    for (const QString& frame : ReceivedFrames(vc))
        if (frame.startsWith(prefix))
            frames << frame;
    return frames;
}

struct CliRun {
    int status = -1;
    QString out, err;
    std::string Describe() const
    {
        return "status " + std::to_string(status) + "\n--- stdout ---\n" + out.toStdString() + "--- stderr ---\n" +
               err.toStdString();
    }
};

CliRun RunCli(const QStringList& args)
{
    QProcess p;
    p.setProgram(QStringLiteral(ZELBOR_CLI));
    p.setArguments(args);
    p.start();
    CliRun r;
    if (!p.waitForStarted(5000))
        return r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished(5000);
    }
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    if (p.exitStatus() == QProcess::NormalExit)
        r.status = p.exitCode();
    return r;
}

} // namespace

class CliAndWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QString::fromLatin1(ZELBOR_VIRTUAL_CONTROLLER).isEmpty())
            GTEST_SKIP() << "virtual controller not built";
        form = StartedForm();
        messages.SetForm(form.get());
    }
    // A controller of the kind both sides talk to: not the defaults, so that the values the
    // identification sets (the voltage's low-battery volts, the maximum current) take part.
    std::unique_ptr<VirtualController> NewController()
    {
        auto vc = std::make_unique<VirtualController>(
            QStringList{"--no-pacing", "--folder", QString::fromStdString((ship.Path() / "ports").string()),
                        "--voltage-code", "1", "--max-current", "17", "--manufacturer", "ACME"});
        EXPECT_FALSE(vc->Port().isEmpty());
        return vc;
    }
    void ConnectWindow(VirtualController& vc)
    {
        ChoosePort(*form, vc.Port());
        form->btnPortConnectClick();
        ASSERT_TRUE(PumpUntil([&] { return form->btnReadFlash->isEnabled(); })) << vc.Log().toStdString();
        messages.Clear();
    }
    void RunToEnd()
    {
        ASSERT_TRUE(PumpUntil([&] { return !messages.messages.empty() && form->TransferMode == TMainForm::tmIdle; }));
        PumpFor(300);
    }
    QString Path(const std::string& name) const { return QString::fromStdString((ship.Path() / name).string()); }

    ShipFolder ship;
    HookRecorder hooks;
    MessageRecorder messages;
    std::unique_ptr<TMainForm> form;
};

TEST_F(CliAndWindow, ReadFlashAndSaveAsWriteTheFileThatCliReadWrites)
{
    auto forWindow = NewController();
    ASSERT_NO_FATAL_FAILURE(ConnectWindow(*forWindow));
    form->btnReadFlashClick();
    ASSERT_NO_FATAL_FAILURE(RunToEnd());
    EXPECT_EQ(messages.Keys(), std::vector<std::string>{"err47"});
    hooks.dialogAnswer = ship.Q("window.el");
    form->mnSaveAsClick();
    ASSERT_TRUE(fs::exists(ship.Path() / "window.el"));

    auto forCli = NewController();
    const CliRun r = RunCli({"read", "--port", forCli->Port(), "--out", Path("cli.el")});
    ASSERT_EQ(r.status, 0) << r.Describe() << forCli->Log().toStdString();

    const std::string window = ReadText(ship.Path() / "window.el");
    EXPECT_FALSE(window.empty());
    EXPECT_EQ(ReadText(ship.Path() / "cli.el"), window);
}

TEST_F(CliAndWindow, WriteFlashOfALoadedProfileSendsTheFramesThatCliWriteSends)
{
    // The shipped profile, with a wheel that has a byte of its own (700C), lists off their
    // first items, and low-battery volts and a current limit that this 36 V, 17 A controller takes.
    std::string text = ReadText(ResourcesDir() / "Profiles" / "DefaultProfile.el");
    ASSERT_FALSE(text.empty());
    for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
             {"LBP=41", "LBP=30"}, {"WD=13", "WD=12"}, {"LC=18", "LC=16"}, {"MODE=0", "MODE=1"}}) {
        const auto at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        text.replace(at, from.size(), to);
    }
    WriteText(ship.Path() / "Profiles" / "edited.el", text);
    const QString profile = ship.Q("Profiles/edited.el");

    auto forWindow = NewController();
    ASSERT_NO_FATAL_FAILURE(ConnectWindow(*forWindow));
    form->LoadProfile(profile);
    ASSERT_TRUE(messages.messages.empty());
    form->btnWriteFlashClick();
    ASSERT_NO_FATAL_FAILURE(RunToEnd());
    EXPECT_EQ(messages.Keys(), std::vector<std::string>{"err55"});
    const QStringList windowWrites = Received(*forWindow, QStringLiteral("16 "));

    auto forCli = NewController();
    const CliRun r = RunCli({"write", "--port", forCli->Port(), profile});
    ASSERT_EQ(r.status, 0) << r.Describe() << forCli->Log().toStdString();
    // The controller's log reaches this process through the event loop.
    PumpUntil([&] { return Received(*forCli, QStringLiteral("16 ")).size() >= windowWrites.size(); });
    const QStringList cliWrites = Received(*forCli, QStringLiteral("16 "));

    ASSERT_EQ(windowWrites.size(), 3) << forWindow->Log().toStdString();
    EXPECT_EQ(cliWrites, windowWrites) << "command line:\n"
                                       << cliWrites.join('\n').toStdString() << "\nwindow:\n"
                                       << windowWrites.join('\n').toStdString();
}

} // namespace zelbor
#endif
