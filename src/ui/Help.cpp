// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Help.h"

#include "common/Catalogue.h"
#include "common/Ini.h"
#include "ui/Access.h"
#include "ui/HelpForm.h"
#include "ui/Pictures.h"
#include "ui/Seam.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

namespace zelbor {

TfrmHelp::TfrmHelp(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmHelp"));
    setWindowTitle(QStringLiteral("Help"));
    setWindowIcon(AppIcon());
    QFont dialogFont = font();
    dialogFont.setPointSize(8);
    setFont(dialogFont);
    setSizeGripEnabled(true);

    memHelp = new QPlainTextEdit(this);
    memHelp->setObjectName(QStringLiteral("memHelp"));
    memHelp->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memHelp->setMinimumSize(120, 60);
    // What is typed here is discarded anyway: Tab moves on rather than trapping the focus.
    memHelp->setTabChangesFocus(true);

    btnHelpClose = new QPushButton(QStringLiteral("Close"), this);
    btnHelpClose->setObjectName(QStringLiteral("btnHelpClose"));
    // Default and cancel button at once: Enter (outside the text box, which takes it as a new
    // line) and Esc both close the window.
    btnHelpClose->setDefault(true);
    connect(btnHelpClose, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnHelpClose);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(19, 12, 19, 12);
    layout->addWidget(memHelp, 1);
    layout->addLayout(buttons);

    setTabOrder(btnHelpClose, memHelp);
    resize(447, 259);
    btnHelpClose->setFocus();
}

void TfrmHelp::reject()
{
    // Esc acts as the Close button, whose result is OK.
    accept();
}

namespace {
// A damaged "nbLine" (say 0x7FFFFFFF) must not make the window build a text of gigabytes.
constexpr int kMaxHelpLines = 10000;
} // namespace

QString HelpTopicText(const IniFile& ini, const std::string& section)
{
    const int lines = std::min(ini.ReadLanguageInt(section, "nbLine", 0), kMaxHelpLines);
    // The box shows each line break as a new line: the text starts with an empty line, and a
    // missing key gives an empty line in its place.
    QString text;
    for (int i = 1; i <= lines; ++i) {
        text += QLatin1Char('\n');
        text += QString::fromStdString(ini.ReadString(section, "line" + std::to_string(i), ""));
    }
    return text;
}

void ShowHelpTopic(const std::string& topic, const std::string& section)
{
    const IniFile ini = IniFile::Load(LanguageFile("help/" + topic + ".ini"));
    const IniFile mainIni = IniFile::Load(LanguageFile("soft/main.ini"));
    const QString title = QString::fromStdString(ini.ReadString(section, "title", "Help"));
    const QString text = HelpTopicText(ini, section);

    auto form = std::make_unique<TfrmHelp>();
    form->setWindowTitle(title);
    SetAccessibleName(form->memHelp, title); // the box holds the help on the window's topic
    form->btnHelpClose->setText(QString::fromStdString(mainIni.ReadString("HELP", "close", "Close")));
    form->memHelp->clear();
    form->memHelp->setPlainText(text);
    Seam().RunDialog(*form);
}

} // namespace zelbor
