// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: start-up sequence, controls, help and about, the low-battery field.
#include "MainTestSupport.h"

#include <gtest/gtest.h>

#include <QAction>
#include <algorithm>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace zelbor {

using namespace uitest;

namespace {

const char* const kTransferButtons[] = {"btnBasRead", "btnBasWrite", "btnPASRead",   "btnPASWrite",
                                        "btnThrRead", "btnThrWrite", "btnReadFlash", "btnWriteFlash"};

QColor TextColour(const TMainForm& form, const char* label)
{
    auto* l = form.findChild<QLabel*>(QLatin1String(label));
    return l ? l->palette().color(QPalette::WindowText) : QColor();
}

} // namespace

TEST(MainWindowStartup, WithoutDefaultProfileEveryControlTakesTheReaderDefaults)
{
    ShipFolder ship;
    HookRecorder hooks;
    MessageRecorder messages;
    auto form = StartedForm();

    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(hooks.warnings, 1);
    EXPECT_EQ(form->TransferMode, TMainForm::tmIdle);
    EXPECT_FALSE(form->TimerConnect->isActive());
    EXPECT_EQ(form->TimerConnect->interval(), 500);
    EXPECT_TRUE(form->ProfileFileName.isEmpty());
    EXPECT_FALSE(form->mnSave->isEnabled());
    EXPECT_TRUE(form->btnPortConnect->isEnabled());
    EXPECT_FALSE(form->btnPortDisconnect->isEnabled());
    for (const char* name : kTransferButtons)
        EXPECT_FALSE(form->findChild<QPushButton*>(QLatin1String(name))->isEnabled()) << name;
    EXPECT_EQ(form->pctrlProfile->currentIndex(), 0);

    ASSERT_EQ(form->cbbBasWheelDiam->count(), 16);
    EXPECT_EQ(form->cbbBasWheelDiam->itemText(11), "27");
    EXPECT_EQ(form->cbbBasWheelDiam->itemText(12), "700C");
    EXPECT_EQ(form->cbbBasWheelDiam->itemText(13), "28");
    EXPECT_EQ(form->cbbBasWheelDiam->itemText(15), "30");
    EXPECT_EQ(form->cbbBasWheelDiam->currentText(), "26");
    ASSERT_EQ(form->cbbBasSpdMtrType->count(), 3);
    EXPECT_EQ(form->cbbBasSpdMtrType->currentText(), "External, Wheel Meter");

    EXPECT_EQ(form->cbbBasLowBat->currentText(), "10"); // no adjustment for a loaded value
    for (QSpinBox* spin : form->findChildren<QSpinBox*>()) {
        if (spin->objectName() == "spePASCurrDecay")
            EXPECT_EQ(spin->value(), 8);
        else
            EXPECT_EQ(spin->value(), 10) << spin->objectName().toStdString();
    }
    EXPECT_EQ(form->cbbPASPedalSensType->currentText(), "None");
    EXPECT_EQ(form->cbbPASDesigAssist->currentText(), "By Display's Command");
    EXPECT_EQ(form->cbbPASSpdLim->currentText(), "By Display's Command");
    EXPECT_EQ(form->cbbPASSlowStartMode->currentText(), "1");
    EXPECT_EQ(form->cbbPASWorkMode->currentText(), "Undeterminated");
    EXPECT_EQ(form->cbbThrMode->currentText(), "Speed");
    EXPECT_EQ(form->cbbThrAssistLvl->currentText(), "By Display's Command");
    EXPECT_EQ(form->edThrSpeedLim->currentText(), "By Display's Command");

    // Language list, information page and window texts are in place before the warning.
    EXPECT_EQ(form->cbbLanguage->count(), 3);
    EXPECT_EQ(zelbor::CurrentLanguage, "eng");
    EXPECT_TRUE(form->memInfos->toPlainText().startsWith("ZELBOR CONFIGURATION TOOL"));
    EXPECT_EQ(form->lbCOMPort->text(), "Serial Port:"); // from main.ini, not the built-in text
}

TEST(MainWindowStartup, DefaultProfileIsLoadedWithoutTouchingCaptionOrSave)
{
    ShipFolder ship;
    WriteText(ship.Path() / "Profiles" / "DefaultProfile.el",
              "[Basic]\nLBP=41\nLC=18\nWD=12\n[Pedal Assist]\nCD=3\n[Throttle Handle]\nMODE=1\n");
    HookRecorder hooks;
    MessageRecorder messages;
    auto form = StartedForm();
    EXPECT_EQ(form->cbbBasLowBat->currentText(), "41");
    EXPECT_EQ(form->speBasCurrLim->value(), 18);
    EXPECT_EQ(form->cbbBasWheelDiam->currentText(), "700C");
    EXPECT_EQ(form->spePASCurrDecay->value(), 3);
    EXPECT_EQ(form->cbbThrMode->currentText(), "Current");
    EXPECT_TRUE(form->ProfileFileName.isEmpty());
    EXPECT_FALSE(form->mnSave->isEnabled());
    EXPECT_EQ(form->windowTitle(), "Zelbor Configuration Tool");
}

TEST(MainWindowStartup, MissingInformationTextEndsTheSequenceBeforeTextsAndWarning)
{
    ShipFolder ship;
    fs::remove(ship.Path() / "Languages" / "eng" / "help" / "Infos.txt");
    HookRecorder hooks;
    MessageRecorder messages;
    auto form = StartedForm();

    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].flags, zelbor::mbIconError);
    EXPECT_TRUE(messages.messages[0].key.empty());
    EXPECT_TRUE(messages.messages[0].text.contains("Infos.txt"));
    EXPECT_EQ(hooks.warnings, 0);
    EXPECT_EQ(form->lbCOMPort->text(), "COM Port:"); // built-in texts stay
    EXPECT_EQ(form->cbbLanguage->count(), 3);        // the steps before it ran
    EXPECT_EQ(form->cbbBasWheelDiam->count(), 16);
}

TEST(MainWindowLayout, AreasSizesAndColours)
{
    ShipFolder ship;
    HookRecorder hooks;
    MessageRecorder messages;
    auto form = StartedForm();

    EXPECT_EQ(form->centralWidget()->size(), QSize(678, 586));
    EXPECT_EQ(form->pctrlProfile->geometry(), QRect(0, 0, 417, 586));
    EXPECT_EQ(form->pGeneral->geometry(), QRect(417, 0, 261, 586));
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(form->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(form->imgPAS->size(), QSize(385, 224));

    const QColor red(0xFF, 0, 0), purple(0x80, 0, 0x80);
    EXPECT_EQ(TextColour(*form, "lblBasCurrLim"), red);
    EXPECT_EQ(TextColour(*form, "lblBasSpdMtrType"), red);
    EXPECT_EQ(TextColour(*form, "lblPASStartCurrMax"), red);
    EXPECT_EQ(TextColour(*form, "lblBasAssist9"), purple);
    EXPECT_EQ(TextColour(*form, "lblPASSlowStartMode"), purple);
    EXPECT_EQ(TextColour(*form, "lblThrAssistLvl"), purple);
    EXPECT_NE(TextColour(*form, "lblBasLowBat"), red);
    EXPECT_NE(TextColour(*form, "lblBasLowBat"), purple);
    EXPECT_NE(TextColour(*form, "lblThrMode"), purple);
}

TEST(MainWindowHelp, EveryHelpButtonOpensItsOwnSectionOfItsPagesTopic)
{
    ShipFolder ship;
    HookRecorder hooks;
    MessageRecorder messages;
    auto form = StartedForm();

    int count = 0;
    for (QToolButton* b : form->findChildren<QToolButton*>()) {
        const QString name = b->objectName();
        if (!name.startsWith("btnHelp_"))
            continue;
        ++count;
        EXPECT_EQ(b->text(), "?");
        hooks.help.clear();
        b->click();
        ASSERT_EQ(hooks.help.size(), 1u) << name.toStdString();
        const std::string topic = name.startsWith("btnHelp_Basic_") ? "basic"
                                  : name.startsWith("btnHelp_PA_")  ? "PedalAssist"
                                                                    : "Throttle";
        EXPECT_EQ(hooks.help[0].first, topic);
        EXPECT_EQ(hooks.help[0].second, name.toStdString());
        // The button stands on the page its topic belongs to.
        const int page = topic == "basic" ? 0 : topic == "PedalAssist" ? 1 : 2;
        EXPECT_TRUE(form->pctrlProfile->widget(page)->isAncestorOf(b)) << name.toStdString();
    }
    EXPECT_EQ(count, 25);

    form->mnHelpFileClick();
    ASSERT_EQ(hooks.urls.size(), 1u);
    EXPECT_EQ(hooks.urls[0].toLocalFile(), ship.Q("Help.pdf")); // missing: no message
    form->mnAbout->trigger();
    QTest::mouseClick(form->imgInfo, Qt::LeftButton);
    EXPECT_EQ(hooks.abouts, 2);
    EXPECT_TRUE(messages.messages.empty());
}

TEST(MainWindowHelp, HelpFileOpensTheCurrentLanguagesManualElseTheEnglishOne)
{
    ShipFolder ship;
    HookRecorder hooks;
    MessageRecorder messages;
    WriteText(ship.Path() / "Languages" / "deu" / "Help.pdf", "%PDF-1.4\n");
    fs::create_directories(ship.Path() / "Languages" / "fra" / "Help.pdf"); // a folder is no manual
    auto form = StartedForm();
    const auto open = [&](const std::string& code) {
        const auto at = std::find(LanguageCodes.begin(), LanguageCodes.end(), code);
        form->cbbLanguage->setCurrentIndex(static_cast<int>(at - LanguageCodes.begin()));
        EXPECT_TRUE(form->cbbLanguageChange());
        hooks.urls.clear();
        form->mnHelpFile->trigger();
        return hooks.urls.size() == 1 ? hooks.urls[0].toLocalFile() : QString();
    };
    EXPECT_EQ(open("deu"), ship.Q("Languages/deu/Help.pdf"));
    EXPECT_EQ(open("fra"), ship.Q("Help.pdf"));
    EXPECT_EQ(open("eng"), ship.Q("Help.pdf")); // English has no copy under Languages/
    EXPECT_TRUE(messages.messages.empty());

    // A language code that names a path leads nowhere but to the English manual.
    WriteText(ship.Path() / "x" / "Help.pdf", "%PDF-1.4\n");
    CurrentLanguage = "../x";
    EXPECT_EQ(ManualPath(), ship.Path() / "Help.pdf");
    CurrentLanguage = "eng";
}

TEST(MainWindowPorts, RescanReplacesTheItemsAndSelectsTheFirst)
{
    ShipFolder ship;
    HookRecorder hooks;
    MessageRecorder messages;
    auto form = StartedForm();
#ifndef _WIN32 // on Windows COM1 may well be a real port
    for (int i = 0; i < form->cbbPort->count(); ++i)
        EXPECT_NE(form->cbbPort->itemText(i), "COM1"); // the design items never survive
#endif
    form->cbbPort->addItem("extra");
    form->cbbPort->setCurrentIndex(form->cbbPort->count() - 1);
    QTest::mouseClick(form->imgSearchPorts, Qt::LeftButton);
    EXPECT_EQ(form->cbbPort->findText("extra"), -1);
    EXPECT_EQ(form->cbbPort->currentIndex(), form->cbbPort->count() > 0 ? 0 : -1);
}

// ---- The low-battery field ----

class LowBatteryField : public ::testing::Test {
protected:
    void SetUp() override { form = StartedForm(); }
    void Clear() // as the user does it: select all and delete
    {
        form->cbbBasLowBat->lineEdit()->selectAll();
        QTest::keyClick(form->cbbBasLowBat, Qt::Key_Backspace);
    }
    QString Text() const { return form->cbbBasLowBat->currentText(); }

    ShipFolder ship;
    HookRecorder hooks;
    MessageRecorder messages;
    std::unique_ptr<TMainForm> form;
};

TEST_F(LowBatteryField, OnlyDigitsAndBackspaceReachTheField)
{
    Clear();
    EXPECT_EQ(Text(), ""); // emptied by the user: stays empty
    form->cbbBasLowBat->setEditText("");
    QTest::keyClicks(form->cbbBasLowBat, "a-.+ x");
    EXPECT_EQ(Text(), "");
    form->cbbBasLowBat->setEditText("2");
    form->cbbBasLowBat->lineEdit()->end(false);
    QTest::keyClick(form->cbbBasLowBat, Qt::Key_Backspace);
    EXPECT_EQ(Text(), "");
    form->cbbBasLowBat->setEditText("20");
    form->cbbBasLowBat->lineEdit()->end(false);
    QTest::keyClick(form->cbbBasLowBat, Qt::Key_Left); // navigation keys still work
    QTest::keyClick(form->cbbBasLowBat, Qt::Key_Backspace);
    EXPECT_EQ(Text(), "18");                   // "0" is below the first item
    EXPECT_EQ(form->cbbBasLowBat->count(), 5); // Enter or typing never adds items
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(LowBatteryField, TypedValuesAreBroughtIntoTheListsRange)
{
    Clear();
    QTest::keyClicks(form->cbbBasLowBat, "5");
    EXPECT_EQ(Text(), "18");
    Clear();
    QTest::keyClicks(form->cbbBasLowBat, "205"); // "2" -> "18", "180" -> "22", "225" -> "22"
    EXPECT_EQ(Text(), "22");

    // The adjustment itself, on a text the user has put there.
    form->cbbBasLowBat->setEditText("205");
    form->cbbBasLowBatChange();
    EXPECT_EQ(Text(), "22");
    form->cbbBasLowBat->setCurrentIndex(4); // "22" already current: the text still has to change
    form->cbbBasLowBat->setEditText("99");
    form->cbbBasLowBatChange();
    EXPECT_EQ(Text(), "22");
    form->cbbBasLowBat->setEditText("20");
    form->cbbBasLowBatChange();
    EXPECT_EQ(Text(), "20");

    // With the 48 V list a first digit jumps to the first item.
    form->SetLowBatteryItems(38, 43);
    Clear();
    QTest::keyClicks(form->cbbBasLowBat, "4");
    EXPECT_EQ(Text(), "38");
}

TEST_F(LowBatteryField, TextSetByTheProgramIsNotAdjusted)
{
    form->cbbBasLowBat->setEditText("10");
    EXPECT_EQ(Text(), "10");
    form->SetLowBatteryItems(38, 43); // rebuilding the list keeps the text
    EXPECT_EQ(Text(), "10");
    EXPECT_EQ(form->cbbBasLowBat->count(), 6);
    EXPECT_EQ(form->cbbBasLowBat->currentIndex(), -1);
}

TEST_F(LowBatteryField, PastedTextThatIsNoNumberGivesAConversionMessage)
{
    form->cbbBasLowBat->lineEdit()->selectAll();
    form->cbbBasLowBat->lineEdit()->insert("1x"); // as a paste does: past the key filter, an edit by the user
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].flags, zelbor::mbIconError);
    EXPECT_TRUE(messages.messages[0].text.contains("1x"));
    EXPECT_EQ(Text(), "1x");
}

} // namespace zelbor
