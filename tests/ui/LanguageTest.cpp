// SPDX-License-Identifier: GPL-3.0-or-later
// Languages: the list, the switch (stored, information page, texts) and its failures.
#include "MainTestSupport.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>

#include "common/UserFolders.h"
#include "ui/PathQt.h"

namespace zelbor {

using namespace uitest;

namespace {

const char* const kTestMainIni =
    "[MAIN]\ntitle=Testtitel\n"
    "[MENUFILE]\nfile=Datei\nsave=Sichern\nsaveas=Sichern unter\nload=Laden\nexit=Ende\n"
    "[MENUHELP]\nhelp=Hilfe\nhelpFile=Handbuch\nabout=Info\n"
    "[TABS]\ntabBasicName=Grund\ntabPAName=Tret\ntabThrottleName=Gas\ntabInfosName=Infos2\n"
    "btnRead=LESEN\nbtnWrite=SCHREIBEN\nhintBtnReadThr=Gas schreiben\nhintBtnWriteThr=Gas lesen\n"
    "[ZELBOR]\nlanguage=Sprache\ntitle=\"Werkzeug \"\n"
    "[COMM]\ncommInterface=Schnittstelle\nbtnDisonnect=Trennen\n"
    "[CONTROLERINFO]\nnomVolt=Nennspannung\n";

} // namespace

class Languages : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A fourth language "tst" with its own texts and information page.
        WriteText(ship.Path() / "Languages" / "tst" / "soft" / "main.ini", kTestMainIni);
        WriteText(ship.Path() / "Languages" / "tst" / "help" / "Infos.txt", "Zeile 1\r\nZeile \xC3\xBC\r\n");
        WriteLanguages("[LANGUAGES]\nnbLang=4\ndefault=eng\nlang1=English,eng\nlang2=Fran\xC3\xA7"
                       "ais,fra\n"
                       "lang3=Deutsch,deu\nlang4=Test,tst\n");
        form = StartedForm();
        messages.SetForm(form.get());
    }
    void WriteLanguages(const std::string& text) { WriteText(ship.Path() / "Languages" / "languages.ini", text); }
    std::string LanguagesIni() const { return ReadText(ship.Path() / "Languages" / "languages.ini"); }
    void Pick(int index)
    {
        form->cbbLanguage->setCurrentIndex(index);
        form->cbbLanguageChange();
    }

    ShipFolder ship;
    HookRecorder hooks;
    MessageRecorder messages;
    std::unique_ptr<TMainForm> form;
};

TEST_F(Languages, ASwitchAppliesTheTextsStoresTheChoiceAndResetsTheCaption)
{
    WriteText(ship.Path() / "p.el", "[Basic]\nLC=5\n");
    form->LoadFileDialogCanClose(ship.Q("p.el"));
    ASSERT_EQ(form->windowTitle(), "Zelbor Configuration Tool - p.el");
    EXPECT_EQ(form->cbbLanguage->itemText(1), QString::fromUtf8("Fran\xC3\xA7"
                                                                "ais"));

    Pick(3);
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(zelbor::CurrentLanguage, "tst");
    EXPECT_NE(LanguagesIni().find("default=tst"), std::string::npos);
    EXPECT_EQ(form->windowTitle(), "Testtitel");
    EXPECT_EQ(form->ProfileFileName, ship.Q("p.el"));
    EXPECT_EQ(form->memInfos->toPlainText(), QString::fromUtf8("Zeile 1\nZeile \xC3\xBC"));

    EXPECT_EQ(form->mnFile->text(), "Datei");
    EXPECT_EQ(form->mnExit->text(), "Ende");
    EXPECT_EQ(form->mnHelpFile->text(), "Handbuch");
    EXPECT_EQ(form->pctrlProfile->tabText(2), "Gas");
    EXPECT_EQ(form->pctrlProfile->tabText(3), "Infos2");
    for (QPushButton* b : {form->btnBasRead, form->btnPASRead, form->btnThrRead})
        EXPECT_EQ(b->text(), "LESEN");
    EXPECT_EQ(form->btnThrWrite->text(), "SCHREIBEN");
    EXPECT_EQ(form->btnThrWrite->toolTip(), "Gas schreiben"); // the crosswise keys
    EXPECT_EQ(form->btnThrRead->toolTip(), "Gas lesen");
    EXPECT_EQ(form->lblLanguage->text(), "Sprache");
    EXPECT_EQ(form->lbSoftwareName->text(), "Werkzeug ");
    EXPECT_EQ(form->gbCommIF->title(), "Schnittstelle");
    EXPECT_EQ(form->btnPortDisconnect->text(), "Trennen");
    // Keys the file lacks take the built-in defaults, which differ from the design captions.
    EXPECT_EQ(form->lbCOMPort->text(), "COM Port:");
    EXPECT_EQ(form->gbControllerInfo->title(), "Controller Info");
    EXPECT_EQ(form->lbNomVoltTitle->text(), "Nennspannung");
    EXPECT_EQ(form->lbMaxCurrTitle->text(), "Max. Current");
    EXPECT_EQ(form->btnBasRead->toolTip(), "Read only the general settings from controller");
    EXPECT_EQ(form->btnWriteFlash->toolTip(), "Write all settings to controller");

    // Back to English: the shipped texts again.
    Pick(0);
    EXPECT_EQ(form->windowTitle(), "Zelbor Configuration Tool");
    EXPECT_EQ(form->lbCOMPort->text(), "Serial Port:");
    EXPECT_NE(LanguagesIni().find("default=eng"), std::string::npos);
}

TEST_F(Languages, AMissingInformationPageEndsTheSwitchAfterStoringIt)
{
    const QString before = form->memInfos->toPlainText();
    fs::remove_all(ship.Path() / "Languages" / "deu");
    Pick(2);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_TRUE(messages.messages[0].text.contains("Infos.txt"));
    EXPECT_EQ(zelbor::CurrentLanguage, "deu");
    EXPECT_NE(LanguagesIni().find("default=deu"), std::string::npos);
    EXPECT_EQ(form->lbCOMPort->text(), "Serial Port:"); // the texts stay
    EXPECT_TRUE(form->memInfos->toPlainText().isEmpty());
    EXPECT_FALSE(before.isEmpty());
}

TEST_F(Languages, ALanguageListThatCannotBeWrittenEndsTheSwitch)
{
    const QString infos = form->memInfos->toPlainText();
    const fs::path ini = ship.Path() / "Languages" / "languages.ini";
    fs::remove(ini);
    fs::create_directories(ini); // a folder in its place cannot be replaced by a file
    Pick(3);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_TRUE(messages.messages[0].text.contains("languages.ini"));
    EXPECT_EQ(zelbor::CurrentLanguage, "tst");
    EXPECT_EQ(form->memInfos->toPlainText(), infos);
    EXPECT_EQ(form->windowTitle(), "Zelbor Configuration Tool");
}

TEST_F(Languages, AnInstalledCopyKeepsTheChoiceAndTheProfilesInTheUsersFolders)
{
    QTemporaryDir user;
    const fs::path settings = fs::path(user.path().toStdString()) / "settings";
    const fs::path data = fs::path(user.path().toStdString()) / "data";
    zelbor::SetUserFolders(settings, data);
    struct Restore {
        ~Restore() { zelbor::SetUserFolders({}, {}); }
    } restore;
    WriteText(ship.Path() / zelbor::kInstalledCopyMarker, "installed\n");
    const std::string shipped = LanguagesIni();

    Pick(3);
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(form->windowTitle(), "Testtitel");
    EXPECT_EQ(ReadText(settings / "languages.ini"), "[LANGUAGES]\r\ndefault=tst\r\n");
    EXPECT_EQ(LanguagesIni(), shipped);

    // The next start takes the user's choice; the dialogs start in the user's profiles.
    form = StartedForm();
    messages.SetForm(form.get());
    EXPECT_EQ(form->cbbLanguage->currentIndex(), 3);
    EXPECT_EQ(zelbor::CurrentLanguage, "tst");
    form->mnSaveAsClick();
    ASSERT_EQ(hooks.dialogs.size(), 1u);
    EXPECT_EQ(hooks.dialogs[0]->directory().absolutePath(), QDir(ToQString(data / "Profiles")).absolutePath());
}

TEST_F(Languages, TheListSelectsTheLastExactMatchAndFallsBackToEnglish)
{
    WriteLanguages("[LANGUAGES]\nnbLang=3\ndefault=tst\nlang1=A,tst\nlang2=B,TST\nlang3=C,tst\n");
    form->LoadLanguageList(zelbor::LanguagesIniPath());
    EXPECT_EQ(form->cbbLanguage->currentIndex(), 2);
    EXPECT_EQ(zelbor::CurrentLanguage, "tst");
    EXPECT_EQ(zelbor::DefaultLanguage, "tst");
    EXPECT_EQ(zelbor::LanguageCodes, (std::vector<std::string>{"tst", "TST", "tst"}));

    WriteLanguages("[LANGUAGES]\nnbLang=2\ndefault=xx\nlang1=A, tst\n");
    form->LoadLanguageList(zelbor::LanguagesIniPath());
    ASSERT_EQ(form->cbbLanguage->count(), 2);
    EXPECT_EQ(form->cbbLanguage->itemText(1), "English"); // missing key
    EXPECT_EQ(form->cbbLanguage->currentIndex(), 0);
    EXPECT_EQ(zelbor::CurrentLanguage, " tst");

    WriteLanguages("[LANGUAGES]\nnbLang=0\n");
    form->LoadLanguageList(zelbor::LanguagesIniPath());
    EXPECT_EQ(form->cbbLanguage->count(), 0);
    EXPECT_EQ(zelbor::CurrentLanguage, "eng");
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(LanguagesIni(), "[LANGUAGES]\nnbLang=0\n"); // filling the list switches nothing
}

} // namespace zelbor
