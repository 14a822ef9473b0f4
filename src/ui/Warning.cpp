// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Warning.h"

#include "common/Catalogue.h"
#include "common/Ini.h"
#include "ui/Access.h"
#include "ui/Main.h"
#include "ui/Pictures.h"
#include "ui/Seam.h"
#include "ui/Theme.h"
#include "ui/WarningForm.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <memory>

namespace zelbor {

namespace {

constexpr const char* kSection = "WARNING";
// Every text of the dialog falls back to the program title, not to its layout caption.
constexpr const char* kDefault = "Zelbor Configuration Tool";

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

// The legend shows each colour as the main window's labels have it under the same theme.
QLabel* MakeLegendLabel(QWidget* parent, const char* name, const QString& text, Shade shade)
{
    QLabel* label = MakeLabel(parent, name, text);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    UseShade(label, shade);
    return label;
}

void CentreOnScreen(QWidget& w)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    w.move(area.center() - QPoint(w.width() / 2, w.height() / 2));
}

} // namespace

TfrmWarning::TfrmWarning(TMainForm& mainForm, QWidget* parent) : QDialog(parent), mainForm_(mainForm)
{
    setObjectName(QStringLiteral("frmWarning"));
    setWindowTitle(QString::fromLatin1(kDefault));
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    setWindowIcon(AppIcon());
    QFont dialogFont = font();
    dialogFont.setPointSize(8);
    setFont(dialogFont);

    lblLine1 = MakeLabel(this, "lblLine1", QStringLiteral("The use of this software is at your own risk"));
    QFont boldFont = lblLine1->font();
    boldFont.setBold(true);
    lblLine1->setFont(boldFont);

    memWarning = new QPlainTextEdit(this);
    memWarning->setObjectName(QStringLiteral("memWarning"));
    memWarning->setReadOnly(true);
    memWarning->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    memWarning->setWordWrapMode(QTextOption::WordWrap);
    // Reachable by Tab, so that a screen reader can read the warning; Tab goes on to the next
    // control and Enter still reaches the button.
    memWarning->setFocusPolicy(Qt::StrongFocus);
    memWarning->setTabChangesFocus(true);

    lblRedParam = MakeLegendLabel(this, "lblRedParam", QStringLiteral("Red parameters :"), Shade::Red);
    lblRedParamText = MakeLabel(this, "lblRedParamText",
                                QStringLiteral("They should never be changed unless you know what you're doing"));
    lblPurplepParam = MakeLegendLabel(this, "lblPurplepParam", QStringLiteral("Purple parameters :"), Shade::Purple);
    lblPurpleParamText =
        MakeLabel(this, "lblPurpleParamText", QStringLiteral("They can be changed but there is some risk"));
    lblBlackParam = MakeLegendLabel(this, "lblBlackParam", QStringLiteral("Black parameters :"), Shade::Normal);
    lblBlackParamText = MakeLabel(this, "lblBlackParamText", QStringLiteral("They are safe to change"));
    // At 8 points a long explanation may not fit beside its label: it continues on a second line
    // rather than being cut off.
    for (QLabel* text : {lblRedParamText, lblPurpleParamText, lblBlackParamText})
        text->setWordWrap(true);

    lblLanguage = MakeLabel(this, "lblLanguage", QStringLiteral("Language :"));
    lblLanguage->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    cbbLanguage = new QComboBox(this);
    cbbLanguage->setObjectName(QStringLiteral("cbbLanguage"));
    cbbLanguage->setEditable(false);
    cbbLanguage->setMinimumWidth(120);
    // Only a pick by the user switches the language, never the copying of the entries.
    connect(cbbLanguage, &QComboBox::activated, this, [this] { cbbLanguageChange(); });

    btnCloseWarning = new QPushButton(QStringLiteral("I Agree"), this);
    btnCloseWarning->setObjectName(QStringLiteral("btnCloseWarning"));
    btnCloseWarning->setDefault(true);
    connect(btnCloseWarning, &QPushButton::clicked, this, &QDialog::accept);

    // The legend labels and the language label share one column, so their right edges line up
    // whatever length a translation gives them.
    auto* legend = new QGridLayout;
    legend->setHorizontalSpacing(6);
    legend->setVerticalSpacing(2);
    legend->addWidget(lblRedParam, 0, 0);
    legend->addWidget(lblRedParamText, 0, 1);
    legend->addWidget(lblPurplepParam, 1, 0);
    legend->addWidget(lblPurpleParamText, 1, 1);
    legend->addWidget(lblBlackParam, 2, 0);
    legend->addWidget(lblBlackParamText, 2, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(cbbLanguage);
    bottom->addStretch(1);
    bottom->addWidget(btnCloseWarning);
    legend->addWidget(lblLanguage, 3, 0);
    legend->addLayout(bottom, 3, 1);
    legend->setColumnStretch(1, 1);
    legend->setRowMinimumHeight(3, 28);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 8);
    layout->setSpacing(4);
    layout->addWidget(lblLine1);
    layout->addWidget(memWarning, 1);
    layout->addLayout(legend);

    // The button comes first (it has the focus when the dialog opens), then the rows from the top.
    SetTabChain({btnCloseWarning, memWarning, cbbLanguage});

    setFixedSize(480, 214);
    CentreOnScreen(*this);
    FormCreate();
    btnCloseWarning->setFocus();
}

void TfrmWarning::FormCreate() { SetWarningLanguage(); }

void TfrmWarning::SetWarningLanguage()
{
    const IniFile ini = IniFile::Load(LanguageFile("soft/warning.ini"));
    auto read = [&ini](const char* key) { return QString::fromStdString(ini.ReadString(kSection, key, kDefault)); };
    setWindowTitle(read("title"));
    lblLine1->setText(read("line1"));
    memWarning->clear();
    memWarning->setPlainText(read("line2"));
    lblRedParam->setText(read("redParam"));
    lblRedParamText->setText(read("redParamText"));
    lblPurplepParam->setText(read("purpleParam"));
    lblPurpleParamText->setText(read("purpleParamText"));
    lblBlackParam->setText(read("blackParam"));
    lblBlackParamText->setText(read("blackParamText"));
    lblLanguage->setText(read("Language"));
    btnCloseWarning->setText(read("btnClose"));
    // The text box is read under the first line; the list under its label.
    SetAccessibleName(memWarning, LabelName(lblLine1->text()));
    SetAccessibleName(cbbLanguage, LabelName(lblLanguage->text()));
}

void TfrmWarning::cbbLanguageChange()
{
    if (mainForm_.cbbLanguage)
        mainForm_.cbbLanguage->setCurrentIndex(cbbLanguage->currentIndex());
    // A switch that stopped at a file error has been reported; the dialog then keeps its texts.
    if (mainForm_.cbbLanguageChange())
        SetWarningLanguage();
}

void TfrmWarning::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void ShowStartupWarning(TMainForm& mainForm)
{
    auto dialog = std::make_unique<TfrmWarning>(mainForm);
    if (QComboBox* source = mainForm.cbbLanguage) {
        for (int i = 0; i < source->count(); ++i)
            dialog->cbbLanguage->addItem(source->itemText(i));
        dialog->cbbLanguage->setCurrentIndex(source->currentIndex());
    }
    dialog->SetWarningLanguage();
    Seam().RunDialog(*dialog); // however it ends, the program goes on the same way
}

} // namespace zelbor
