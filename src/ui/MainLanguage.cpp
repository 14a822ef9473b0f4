// SPDX-License-Identifier: GPL-3.0-or-later
// TMainForm: the language list, the language switch, the window texts and the information page.
#include "ui/Main.h"
#include "ui/LineTools.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>

#include "common/Catalogue.h"
#include "common/Errors.h"
#include "common/Ini.h"
#include "ui/Application.h"
#include "ui/PathQt.h"
#include "ui/Report.h"

namespace zelbor {

namespace {

// Language files are UTF-8 text.
QString Text(const IniFile& ini, const char* section, const char* key, const char* def)
{
    return QString::fromStdString(ini.ReadString(section, key, def));
}

// Every file path of the language files needs a code; an entry without one names English.
std::string CodeAt(int index)
{
    if (index >= 0 && static_cast<std::size_t>(index) < LanguageCodes.size() &&
        !LanguageCodes[static_cast<std::size_t>(index)].empty())
        return LanguageCodes[static_cast<std::size_t>(index)];
    return "eng";
}

} // namespace

void TMainForm::LoadLanguageList(const std::filesystem::path& path)
{
    cbbLanguage->clear();
    const LanguageList list = ReadChosenLanguageList(path);
    DefaultLanguage = list.defaultCode;
    LanguageCodes = list.codes;
    for (const std::string& name : list.names)
        cbbLanguage->addItem(QString::fromStdString(name));
    cbbLanguage->setCurrentIndex(list.names.empty() ? -1 : list.selectedIndex);
    CurrentLanguage = CodeAt(list.selectedIndex);
    UseQtTranslations(CurrentLanguage); // Qt's buttons and file dialogs follow the language
}

bool TMainForm::CommitLanguageChoice()
{
    CurrentLanguage = CodeAt(cbbLanguage->currentIndex());
    // The catalogue's messages follow CurrentLanguage at once; so do the buttons of their boxes.
    UseQtTranslations(CurrentLanguage);
    try {
        StoreLanguageChoice(CurrentLanguage);
    } catch (const EFileError& e) {
        ShowErrorText(QString::fromStdString(e.what())); // the message names languages.ini or its folder
        return false;
    }
    return true;
}

bool TMainForm::cbbLanguageChange()
{
    bool completed = false;
    Guarded([this, &completed] {
        if (!CommitLanguageChoice())
            return;
        memInfos->clear();
        if (!LoadInfos())
            return;
        SetMainLanguage();
        completed = true;
    });
    return completed;
}

bool TMainForm::LoadInfos()
{
    const QString path = ToQString(LanguageFile("help/Infos.txt"));
    // Only a regular file is opened: opening a FIFO without a writer would block for good.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        ShowErrorText(QStringLiteral("Cannot open file \"%1\". It is not a regular file.").arg(path));
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ShowErrorText(QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorString()));
        return false;
    }
    const QString text = QString::fromUtf8(file.readAll());
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    QStringList lines = text.split(lineEnd);
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // the line end of the last line opens no further line
    memInfos->setPlainText(lines.join(QLatin1Char('\n')));
    return true;
}

void TMainForm::SetMainLanguage()
{
    const IniFile ini = IniFile::Load(LanguageFile("soft/main.ini"));
    setWindowTitle(Text(ini, "MAIN", "title", "Zelbor Configuration Tool"));
    SetMainMenuLanguage(ini);
    SetMainTabLanguage(ini);
    SetMainOtherLanguage(ini);
    SetMainCommLanguage(ini);
    SetMainControllerInfosLanguage(ini);
    LineTools->Retranslate();
    SetMainExtrasLanguage(ini);
    UpdateAccessibility(); // names and access letters follow the new texts
}

void TMainForm::SetMainMenuLanguage(const IniFile& ini)
{
    mnFile->setText(Text(ini, "MENUFILE", "file", "File"));
    mnSave->setText(Text(ini, "MENUFILE", "save", "Save"));
    mnSaveAs->setText(Text(ini, "MENUFILE", "saveas", "Save as..."));
    mnLoad->setText(Text(ini, "MENUFILE", "load", "Load"));
    mnExit->setText(Text(ini, "MENUFILE", "exit", "Exit"));
    mnHelp->setText(Text(ini, "MENUHELP", "help", "Help"));
    mnHelpFile->setText(Text(ini, "MENUHELP", "helpFile", "Help File"));
    mnAbout->setText(Text(ini, "MENUHELP", "about", "About"));
}

void TMainForm::SetMainTabLanguage(const IniFile& ini)
{
    pctrlProfile->setTabText(0, Text(ini, "TABS", "tabBasicName", "Basic"));
    pctrlProfile->setTabText(1, Text(ini, "TABS", "tabPAName", "Pedal Assist"));
    pctrlProfile->setTabText(2, Text(ini, "TABS", "tabThrottleName", "Throttle Handle"));
    pctrlProfile->setTabText(3, Text(ini, "TABS", "tabInfosName", "Infos"));
}

void TMainForm::SetMainOtherLanguage(const IniFile& ini)
{
    btnBasRead->setText(Text(ini, "TABS", "btnRead", "READ"));
    btnBasRead->setToolTip(Text(ini, "TABS", "hintBtnReadBas", "Read only the general settings from controller"));
    btnBasWrite->setText(Text(ini, "TABS", "btnWrite", "WRITE"));
    btnBasWrite->setToolTip(Text(ini, "TABS", "hintBtnWriteas", "Write only the general settings to controller"));
    btnPASRead->setText(Text(ini, "TABS", "btnRead", "READ"));
    btnPASRead->setToolTip(Text(ini, "TABS", "hintBtnReadPAS", "Read only the pedal assist settings from controller"));
    btnPASWrite->setText(Text(ini, "TABS", "btnWrite", "WRITE"));
    btnPASWrite->setToolTip(Text(ini, "TABS", "hintBtnWritePAS", "Write only the pedal assist settings to controller"));
    // The language files keep the Throttle Handle hints under each other's key names.
    btnThrWrite->setText(Text(ini, "TABS", "btnWrite", "WRITE"));
    btnThrWrite->setToolTip(
        Text(ini, "TABS", "hintBtnReadThr", "Write only the throttle handle settings to controller"));
    btnThrRead->setText(Text(ini, "TABS", "btnRead", "READ"));
    btnThrRead->setToolTip(
        Text(ini, "TABS", "hintBtnWriteThr", "Read only the throttle handle settings from controller"));
    lblLanguage->setText(Text(ini, "ZELBOR", "language", "Language"));
    lbSoftwareName->setText(Text(ini, "ZELBOR", "title", "Zelbor Configuration Tool"));
    btnReadFlash->setText(Text(ini, "FLASH", "btnReadFlash", "Read Flash"));
    btnReadFlash->setToolTip(Text(ini, "FLASH", "hintBtnReadFlash", "Read all settings from controller"));
    btnWriteFlash->setText(Text(ini, "FLASH", "btnWriteFlash", "Write Flash"));
    btnWriteFlash->setToolTip(Text(ini, "FLASH", "hintBtnWriteFlash", "Write all settings to controller"));
}

void TMainForm::SetMainCommLanguage(const IniFile& ini)
{
    gbCommIF->setTitle(Text(ini, "COMM", "commInterface", "Communication Interface"));
    lbCOMPort->setText(Text(ini, "COMM", "comPort", "COM Port:"));
    btnPortConnect->setText(Text(ini, "COMM", "btnConnect", "Connect"));
    btnPortConnect->setToolTip(Text(ini, "COMM", "hintBtnConnect", "Connect to selected COM port"));
    btnPortDisconnect->setText(Text(ini, "COMM", "btnDisonnect", "Disconnect"));
    btnPortDisconnect->setToolTip(Text(ini, "COMM", "hintBtnDisconnect", "Disconnect from COM port"));
}

void TMainForm::SetMainControllerInfosLanguage(const IniFile& ini)
{
    gbControllerInfo->setTitle(Text(ini, "CONTROLERINFO", "controlerInfo", "Controller Info"));
    lbManufTitle->setText(Text(ini, "CONTROLERINFO", "manufacturer", "Manufacturer:"));
    lbModelTitle->setText(Text(ini, "CONTROLERINFO", "model", "Model:"));
    lbHWVerTitle->setText(Text(ini, "CONTROLERINFO", "chardware", "Hardware Ver.:"));
    lbFWVerTitle->setText(Text(ini, "CONTROLERINFO", "firmware", "Firmware Ver.:"));
    lbNomVoltTitle->setText(Text(ini, "CONTROLERINFO", "nomVolt", "Nominal Voltage"));
    lbMaxCurrTitle->setText(Text(ini, "CONTROLERINFO", "maxCurrent", "Max. Current"));
}

} // namespace zelbor
