// SPDX-License-Identifier: GPL-3.0-or-later
// The window's external contract, written out from its tables: which key of main.ini feeds which
// control (and each key's built-in default), the menu shortcuts, the colour of every parameter
// label, and the language the program starts in.
#include "MainTestSupport.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include "ui/About.h"
#include "ui/AboutForm.h"
#include "ui/Help.h"
#include "ui/HelpForm.h"

namespace zelbor {

using namespace uitest;

namespace {

// One text the window reads from main.ini: section, key, the built-in default, and where it shows.
struct TextKey {
    const char* section;
    const char* key;
    const char* fallback;
    std::function<QString(TMainForm&)> shown;
};

QString Tab(TMainForm& f, int i) { return f.pctrlProfile->tabText(i); }

std::vector<TextKey> MainWindowKeys()
{
    return {
        {"MAIN", "title", "Zelbor Configuration Tool", [](TMainForm& f) { return f.windowTitle(); }},
        {"MENUFILE", "file", "File", [](TMainForm& f) { return f.mnFile->text(); }},
        {"MENUFILE", "save", "Save", [](TMainForm& f) { return f.mnSave->text(); }},
        {"MENUFILE", "saveas", "Save as...", [](TMainForm& f) { return f.mnSaveAs->text(); }},
        {"MENUFILE", "load", "Load", [](TMainForm& f) { return f.mnLoad->text(); }},
        {"MENUFILE", "exit", "Exit", [](TMainForm& f) { return f.mnExit->text(); }},
        {"MENUHELP", "help", "Help", [](TMainForm& f) { return f.mnHelp->text(); }},
        {"MENUHELP", "helpFile", "Help File", [](TMainForm& f) { return f.mnHelpFile->text(); }},
        {"MENUHELP", "about", "About", [](TMainForm& f) { return f.mnAbout->text(); }},
        {"TABS", "tabBasicName", "Basic", [](TMainForm& f) { return Tab(f, 0); }},
        {"TABS", "tabPAName", "Pedal Assist", [](TMainForm& f) { return Tab(f, 1); }},
        {"TABS", "tabThrottleName", "Throttle Handle", [](TMainForm& f) { return Tab(f, 2); }},
        {"TABS", "tabInfosName", "Infos", [](TMainForm& f) { return Tab(f, 3); }},
        {"TABS", "btnRead", "READ", [](TMainForm& f) { return f.btnBasRead->text(); }},
        {"TABS", "btnRead", "READ", [](TMainForm& f) { return f.btnPASRead->text(); }},
        {"TABS", "btnRead", "READ", [](TMainForm& f) { return f.btnThrRead->text(); }},
        {"TABS", "btnWrite", "WRITE", [](TMainForm& f) { return f.btnBasWrite->text(); }},
        {"TABS", "btnWrite", "WRITE", [](TMainForm& f) { return f.btnPASWrite->text(); }},
        {"TABS", "btnWrite", "WRITE", [](TMainForm& f) { return f.btnThrWrite->text(); }},
        {"TABS", "hintBtnReadBas", "Read only the general settings from controller",
         [](TMainForm& f) { return f.btnBasRead->toolTip(); }},
        {"TABS", "hintBtnWriteas", "Write only the general settings to controller",
         [](TMainForm& f) { return f.btnBasWrite->toolTip(); }},
        {"TABS", "hintBtnReadPAS", "Read only the pedal assist settings from controller",
         [](TMainForm& f) { return f.btnPASRead->toolTip(); }},
        {"TABS", "hintBtnWritePAS", "Write only the pedal assist settings to controller",
         [](TMainForm& f) { return f.btnPASWrite->toolTip(); }},
        // Named crosswise: the READ key holds the WRITE button's hint and the other way round.
        {"TABS", "hintBtnReadThr", "Write only the throttle handle settings to controller",
         [](TMainForm& f) { return f.btnThrWrite->toolTip(); }},
        {"TABS", "hintBtnWriteThr", "Read only the throttle handle settings from controller",
         [](TMainForm& f) { return f.btnThrRead->toolTip(); }},
        {"ZELBOR", "language", "Language", [](TMainForm& f) { return f.lblLanguage->text(); }},
        {"ZELBOR", "title", "Zelbor Configuration Tool", [](TMainForm& f) { return f.lbSoftwareName->text(); }},
        {"FLASH", "btnReadFlash", "Read Flash", [](TMainForm& f) { return f.btnReadFlash->text(); }},
        {"FLASH", "hintBtnReadFlash", "Read all settings from controller",
         [](TMainForm& f) { return f.btnReadFlash->toolTip(); }},
        {"FLASH", "btnWriteFlash", "Write Flash", [](TMainForm& f) { return f.btnWriteFlash->text(); }},
        {"FLASH", "hintBtnWriteFlash", "Write all settings to controller",
         [](TMainForm& f) { return f.btnWriteFlash->toolTip(); }},
        {"COMM", "commInterface", "Communication Interface", [](TMainForm& f) { return f.gbCommIF->title(); }},
        {"COMM", "comPort", "COM Port:", [](TMainForm& f) { return f.lbCOMPort->text(); }},
        {"COMM", "btnConnect", "Connect", [](TMainForm& f) { return f.btnPortConnect->text(); }},
        {"COMM", "hintBtnConnect", "Connect to selected COM port",
         [](TMainForm& f) { return f.btnPortConnect->toolTip(); }},
        {"COMM", "btnDisonnect", "Disconnect", [](TMainForm& f) { return f.btnPortDisconnect->text(); }},
        {"COMM", "hintBtnDisconnect", "Disconnect from COM port",
         [](TMainForm& f) { return f.btnPortDisconnect->toolTip(); }},
        {"CONTROLERINFO", "controlerInfo", "Controller Info", [](TMainForm& f) { return f.gbControllerInfo->title(); }},
        {"CONTROLERINFO", "manufacturer", "Manufacturer:", [](TMainForm& f) { return f.lbManufTitle->text(); }},
        {"CONTROLERINFO", "model", "Model:", [](TMainForm& f) { return f.lbModelTitle->text(); }},
        {"CONTROLERINFO", "chardware", "Hardware Ver.:", [](TMainForm& f) { return f.lbHWVerTitle->text(); }},
        {"CONTROLERINFO", "firmware", "Firmware Ver.:", [](TMainForm& f) { return f.lbFWVerTitle->text(); }},
        {"CONTROLERINFO", "nomVolt", "Nominal Voltage", [](TMainForm& f) { return f.lbNomVoltTitle->text(); }},
        {"CONTROLERINFO", "maxCurrent", "Max. Current", [](TMainForm& f) { return f.lbMaxCurrTitle->text(); }},
    };
}

// The texts of the help and About windows, read when they open.
struct WindowTexts {
    QString helpClose;
    QString aboutTitle, upgraded, helpTips, original, aboutClose;
};

WindowTexts OpenHelpAndAbout()
{
    WindowTexts t;
    ShowHookScope<TfrmHelp> help([&t](TfrmHelp& f) { t.helpClose = f.btnHelpClose->text(); });
    ShowHookScope<TAboutForm> about([&t](TAboutForm& f) {
        t.aboutTitle = f.windowTitle();
        t.upgraded = f.lblUpgradedBy->text();
        t.helpTips = f.lblHelpTips->text();
        t.original = f.lbOriginalInfo->text();
        t.aboutClose = f.btnClose->text();
    });
    ShowHelpTopic("basic", "btnHelp_Basic_CurrentLimit");
    ShowAboutWindow();
    return t;
}

// A distinct text for every key: "<section>.<key>".
QString Distinct(const char* section, const char* key) { return QStringLiteral("%1.%2").arg(section, key); }

class Contract : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteText(ship.Path() / "Languages" / "tst" / "help" / "Infos.txt", "tst\n");
        WriteText(ship.Path() / "Languages" / "emp" / "help" / "Infos.txt", "emp\n");
        WriteText(ship.Path() / "Languages" / "emp" / "soft" / "main.ini", "; every key missing\n");
        std::map<std::string, std::string> sections;
        for (const TextKey& k : MainWindowKeys())
            sections[k.section] += std::string(k.key) + "=" + Distinct(k.section, k.key).toStdString() + "\n";
        sections["HELP"] = "close=HELP.close\n";
        sections["ABOUT"] = "title=ABOUT.title\nupdagred=ABOUT.updagred\nhelptips=ABOUT.helptips\n"
                            "originalapp=ABOUT.originalapp\nclose=ABOUT.close\n";
        std::string ini;
        for (const auto& [section, keys] : sections)
            ini += "[" + section + "]\n" + keys;
        WriteText(ship.Path() / "Languages" / "tst" / "soft" / "main.ini", ini);
        WriteText(ship.Path() / "Languages" / "languages.ini",
                  "[LANGUAGES]\nnbLang=5\ndefault=eng\nlang1=English,eng\nlang2=Fran\xC3\xA7"
                  "ais,fra\n"
                  "lang3=Deutsch,deu\nlang4=Test,tst\nlang5=Empty,emp\n");
    }
    void Start()
    {
        form = StartedForm();
        messages.SetForm(form.get());
    }
    void Pick(int index)
    {
        form->cbbLanguage->setCurrentIndex(index);
        ASSERT_TRUE(form->cbbLanguageChange());
    }
    QLabel* PageLabel(int page, const QString& caption) const
    {
        // Access letters may have been added to a label's text: compare without them.
        for (QLabel* l : form->pctrlProfile->widget(page)->findChildren<QLabel*>())
            if (QString(l->text()).remove(QLatin1Char('&')) == caption)
                return l;
        return nullptr;
    }

    ShipFolder ship;
    HookRecorder hooks;
    MessageRecorder messages;
    std::unique_ptr<TMainForm> form;
};

} // namespace

TEST_F(Contract, EveryKeyOfMainIniFeedsItsOwnControlAndFallsBackToItsOwnDefault)
{
    Start();
    Pick(3);
    for (const TextKey& k : MainWindowKeys())
        EXPECT_EQ(k.shown(*form), Distinct(k.section, k.key)) << k.section << "/" << k.key;
    WindowTexts t = OpenHelpAndAbout();
    EXPECT_EQ(t.helpClose, "HELP.close");
    EXPECT_EQ(t.aboutTitle, "ABOUT.title");
    EXPECT_EQ(t.upgraded, "ABOUT.updagred");
    EXPECT_EQ(t.helpTips, "ABOUT.helptips");
    EXPECT_EQ(t.original, "ABOUT.originalapp");
    EXPECT_EQ(t.aboutClose, "ABOUT.close");

    // A main.ini without any of the keys: every place shows its own built-in default.
    Pick(4);
    for (const TextKey& k : MainWindowKeys())
        EXPECT_EQ(k.shown(*form), QString::fromLatin1(k.fallback)) << k.section << "/" << k.key;
    t = OpenHelpAndAbout();
    EXPECT_EQ(t.helpClose, "Close");
    EXPECT_EQ(t.aboutTitle, "About");
    EXPECT_EQ(t.upgraded, "Upgraded by : ");
    EXPECT_EQ(t.helpTips, "Help and tips ");
    EXPECT_EQ(t.original, "Original application designed by ");
    EXPECT_EQ(t.aboutClose, "Close ");
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(Contract, MenuShortcutsAreCtrlSCtrlLAltXAndF1AndWorkInEveryLanguage)
{
    Start();
    const std::pair<QAction*, QKeySequence> expected[] = {
        {form->mnSave, QKeySequence(Qt::CTRL | Qt::Key_S)}, {form->mnSaveAs, QKeySequence()},
        {form->mnLoad, QKeySequence(Qt::CTRL | Qt::Key_L)}, {form->mnExit, QKeySequence(Qt::ALT | Qt::Key_X)},
        {form->mnHelpFile, QKeySequence(Qt::Key_F1)},       {form->mnAbout, QKeySequence()},
    };
    for (int lang : {0, 3}) {
        Pick(lang);
        for (const auto& [action, keys] : expected) {
            EXPECT_EQ(action->shortcut(), keys) << action->objectName().toStdString();
            EXPECT_EQ(action->shortcuts().size(), keys.isEmpty() ? 0 : 1) << action->objectName().toStdString();
        }
    }

    // The keys reach their commands while the window has the focus.
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QTest::keyClick(form.get(), Qt::Key_L, Qt::ControlModifier);
    ASSERT_EQ(hooks.dialogs.size(), 1u);
    EXPECT_EQ(hooks.dialogs[0], form->LoadFileDialog);
    QTest::keyClick(form.get(), Qt::Key_F1);
    ASSERT_EQ(hooks.urls.size(), 1u);
    EXPECT_EQ(hooks.urls[0].toLocalFile(), ship.Q("Help.pdf"));

    const fs::path profile = ship.Path() / "p.el";
    WriteText(profile, "");
    form->LoadFileDialogCanClose(ship.Q("p.el"));
    QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_NE(ReadText(profile).find("[Throttle Handle]"), std::string::npos);
    EXPECT_EQ(hooks.dialogs.size(), 1u); // Save writes without a dialog

    QTest::keyClick(form.get(), Qt::Key_X, Qt::AltModifier);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(hooks.abouts, 0);
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(Contract, EveryParameterLabelHasItsColour)
{
    Start();
    enum Colour { Normal, Red, Purple };
    struct Row {
        int page;
        const char* caption;
        Colour colour;
    };
    std::vector<Row> rows = {
        {0, "Low Battery Protection [V]:", Normal},
        {0, "Current Limit [A]:", Red},
        {0, "Assist levels", Normal},
        {0, "Current Limit [%]", Normal},
        {0, "Speed Limit [%]", Normal},
        {0, "Speed Meter Type: ", Red},
        {0, "Speed Meter Signals: ", Red},
        {0, "Wheel Diameler [Inch]: ", Normal},
        {1, "Pedal Sensor Type: ", Red},
        {1, "Designated Assist Level: ", Normal},
        {1, "Speed Limit: ", Normal},
        {1, "Start Current [%]: ", Red},
        {1, "(max 60%)", Red},
        {1, "Slow-start Mode (1-8) ", Purple},
        {1, "Start Degree (Signal No.): ", Normal},
        {1, "WorkMode (AngPedalSpeed/wheel*10)", Red},
        {1, "Stop Delay [x10ms]: ", Normal},
        {1, "Current Decay (1-8): ", Normal},
        {1, "Stop Decay [x10ms]: ", Normal},
        {1, "Keep Current [%]", Normal},
        {2, "Start Voltage [x100mV]: ", Purple},
        {2, "End Voltage [x100mV]: ", Purple},
        {2, "Mode: ", Normal},
        {2, "Designated Assist Level: ", Purple},
        {2, "Speed Limit: ", Normal},
        {2, "Start Current [%]: ", Red},
    };
    static const char* const assist[] = {"Assit 0:", "Assit 1:", "Assit 2:", "Assit 3:", "Assit 4:",
                                         "Assit 5:", "Assit 6:", "Assit 7:", "Assit 8:", "Assit 9:"};
    for (const char* a : assist)
        rows.push_back({0, a, Purple});

    for (const Row& r : rows) {
        QLabel* label = PageLabel(r.page, QString::fromLatin1(r.caption));
        ASSERT_NE(label, nullptr) << r.caption;
        const QColor normal = form->pctrlProfile->widget(r.page)->palette().color(QPalette::WindowText);
        const QColor want = r.colour == Red ? QColor(0xFF, 0, 0) : r.colour == Purple ? QColor(0x80, 0, 0x80) : normal;
        EXPECT_EQ(label->palette().color(QPalette::WindowText), want) << r.caption;
    }
    // Every label on the three parameter pages is one of those.
    int labels = 0;
    for (int page = 0; page < 3; ++page)
        for (QLabel* l : form->pctrlProfile->widget(page)->findChildren<QLabel*>())
            labels += l->pixmap().isNull() ? 1 : 0;
    EXPECT_EQ(labels, static_cast<int>(rows.size()));
}

TEST_F(Contract, TheProgramStartsInTheStoredLanguageNotInTheFirstOfTheList)
{
    WriteText(ship.Path() / "Languages" / "languages.ini",
              "[LANGUAGES]\nnbLang=4\ndefault=tst\nlang1=English,eng\nlang2=Fran\xC3\xA7"
              "ais,fra\n"
              "lang3=Test,tst\nlang4=Deutsch,deu\n");
    const std::string before = ReadText(ship.Path() / "Languages" / "languages.ini");
    Start();
    EXPECT_EQ(zelbor::CurrentLanguage, "tst");
    EXPECT_EQ(zelbor::DefaultLanguage, "tst");
    EXPECT_EQ(form->cbbLanguage->currentIndex(), 2);
    EXPECT_EQ(form->windowTitle(), "MAIN.title");
    EXPECT_EQ(form->memInfos->toPlainText(), "tst");
    EXPECT_EQ(ReadText(ship.Path() / "Languages" / "languages.ini"), before); // starting stores nothing
    EXPECT_EQ(hooks.warnings, 1);
    EXPECT_TRUE(messages.messages.empty());
}

} // namespace zelbor
