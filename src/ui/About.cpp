// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/About.h"

#include "common/Catalogue.h"
#include "common/Ini.h"
#include "common/Version.h"
#include "ui/AboutForm.h"
#include "ui/Pictures.h"
#include "ui/Seam.h"
#include "ui/Theme.h"

#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <memory>

namespace zelbor {

namespace {

constexpr const char* kSection = "ABOUT";

// The credits are the project's own; the captions of the link labels are the addresses they open,
// except for the tips link, whose caption shows the site while the click opens one page on it.
constexpr const char* kAppName = "ZelborConfigTool ";
constexpr const char* kAuthor = "Zelbor project developers";
constexpr const char* kAuthorLink = "https://zelbor.example/tool";
constexpr const char* kUpgrader = "Zelbor community";
constexpr const char* kUpgraderLink = "https://zelbor.example/";
constexpr const char* kTipsAuthor = "Zelbor docs";
constexpr const char* kTipsLink = "https://zelbor.example/docs";
constexpr const char* kTipsPage = "https://zelbor.example/docs/tips";
constexpr const char* kMaker = "Zelbor Drive Systems";
constexpr const char* kMakerLine2 = "Motors and controllers";
constexpr const char* kMakerLink = "https://zelbor.example/drive";

void OpenAddress(const QUrl& url)
{
    Seam().OpenUrl(url); // a link that cannot be opened gives no message
}

QLabel* MakeText(QWidget* parent, const char* name, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    UseTextColour(label, Qt::black);
    return label;
}

TLinkLabel* MakeLink(QWidget* parent, const char* name, const char* caption, const char* target)
{
    auto* label = new TLinkLabel(QString::fromLatin1(caption), QUrl(QString::fromLatin1(target)), parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

QFrame* MakeRule(QWidget* parent, const char* name)
{
    auto* rule = new QFrame(parent);
    rule->setObjectName(QString::fromLatin1(name));
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Plain);
    rule->setLineWidth(1);
    rule->setFixedHeight(1);
    QPalette pal = rule->palette();
    pal.setColor(QPalette::WindowText, QColor(128, 128, 128));
    rule->setPalette(pal);
    return rule;
}

} // namespace

TLinkLabel::TLinkLabel(const QString& caption, const QUrl& target, QWidget* parent)
    : TClickLabel(Kind::Link, caption, parent), target_(target)
{
    UseTextColour(this, Qt::blue);
    onClick = [this] { OpenAddress(target_); };
}

TAboutForm::TAboutForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(QStringLiteral("About"));
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    setWindowIcon(AppIcon());
    QFont textFont(QStringList{QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")},
                   12);
    textFont.setStyleHint(QFont::SansSerif);
    setFont(textFont);

    lbAppName = MakeText(this, "lbAppName", QString::fromLatin1(kAppName));
    QFont bold = textFont;
    bold.setBold(true);
    lbAppName->setFont(bold);
    lblVersion = MakeText(this, "lblVersion", QStringLiteral("V") + QString::fromLatin1(ProgramVersion()));
    lblVersion->setFont(bold);
    lblUpgradedBy = MakeText(this, "lblUpgradedBy", QStringLiteral("Upgraded by :"));
    Bevel1 = MakeRule(this, "Bevel1");
    lbAuthor = MakeText(this, "lbAuthor", QString::fromLatin1(kAuthor));
    lblAuthorLink = MakeLink(this, "lblAuthorLink", kAuthorLink, kAuthorLink);
    Label2 = MakeText(this, "Label2", QString::fromLatin1(kUpgrader));
    lblUpgraderLink = MakeLink(this, "lblUpgraderLink", kUpgraderLink, kUpgraderLink);
    lblHelpTips = MakeText(this, "lblHelpTips", QStringLiteral("Help and tips "));
    Label3 = MakeText(this, "Label3", QString::fromLatin1(kTipsAuthor));
    lblTipsLink = MakeLink(this, "lblTipsLink", kTipsLink, kTipsPage);
    lbOriginalInfo = MakeText(this, "lbOriginalInfo", QStringLiteral("Original application designed by"));
    Bevel2 = MakeRule(this, "Bevel2");
    lbOriginalAuthor = MakeText(this, "lbOriginalAuthor", QString::fromLatin1(kMaker));
    Label1 = MakeText(this, "Label1", QString::fromLatin1(kMakerLine2));
    lblMakerLink = MakeLink(this, "lblMakerLink", kMakerLink, kMakerLink);

    btnClose = new QPushButton(QStringLiteral("Close"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setDefault(true);
    btnClose->setMinimumWidth(100);
    btnClose->installEventFilter(this);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);

    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(lbAppName);
    nameRow->addWidget(lblVersion);
    nameRow->addStretch(1);

    auto* credits = new QGridLayout;
    credits->setHorizontalSpacing(12);
    credits->setVerticalSpacing(6);
    credits->addWidget(lbAuthor, 0, 0);
    credits->addWidget(lblAuthorLink, 0, 1, Qt::AlignRight);
    credits->addWidget(Label2, 1, 0);
    credits->addWidget(lblUpgraderLink, 1, 1, Qt::AlignRight);
    auto* tipsName = new QHBoxLayout;
    tipsName->setSpacing(0);
    tipsName->addWidget(lblHelpTips);
    tipsName->addWidget(Label3);
    tipsName->addStretch(1);
    credits->addLayout(tipsName, 2, 0);
    credits->addWidget(lblTipsLink, 2, 1, Qt::AlignRight);
    credits->setColumnStretch(0, 1);

    auto* maker = new QGridLayout;
    maker->setHorizontalSpacing(12);
    maker->setVerticalSpacing(2);
    maker->addWidget(lbOriginalAuthor, 0, 0);
    maker->addWidget(lblMakerLink, 0, 1, Qt::AlignRight);
    maker->addWidget(Label1, 1, 0);
    maker->setColumnStretch(0, 1);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(btnClose);
    buttonRow->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 12, 16, 12);
    layout->setSpacing(8);
    layout->addLayout(nameRow);
    layout->addWidget(lblUpgradedBy);
    layout->addWidget(Bevel1);
    layout->addLayout(credits);
    layout->addSpacing(4);
    layout->addWidget(lbOriginalInfo);
    layout->addWidget(Bevel2);
    layout->addLayout(maker);
    layout->addStretch(1);
    layout->addLayout(buttonRow);

    setFixedSize(489, 319);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    // The button first, then the links from the top.
    SetTabChain({btnClose, lblAuthorLink, lblUpgraderLink, lblTipsLink, lblMakerLink});
    btnClose->setFocus(); // first in the tab order: Enter and Esc reach it at once
}

void TAboutForm::SetAboutLanguage()
{
    const IniFile ini = IniFile::Load(LanguageFile("soft/main.ini"));
    auto read = [&ini](const char* key, const char* def) {
        return QString::fromStdString(ini.ReadString(kSection, key, def));
    };
    setWindowTitle(read("title", "About"));
    lblUpgradedBy->setText(read("updagred", "Upgraded by : "));
    lblHelpTips->setText(read("helptips", "Help and tips "));
    lbOriginalInfo->setText(read("originalapp", "Original application designed by "));
    btnClose->setText(read("close", "Close "));
}

bool TAboutForm::btnCloseKeyPress(int key)
{
    if (key != Qt::Key_Escape)
        return false;
    accept();
    return true;
}

bool TAboutForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == btnClose && event->type() == QEvent::KeyPress) {
        if (btnCloseKeyPress(static_cast<QKeyEvent*>(event)->key()))
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

void ShowAboutWindow()
{
    auto form = std::make_unique<TAboutForm>();
    form->SetAboutLanguage(); // read afresh every time, so a language switch shows at once
    Seam().RunDialog(*form);
}

} // namespace zelbor
