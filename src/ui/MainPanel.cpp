// SPDX-License-Identifier: GPL-3.0-or-later
// TMainForm: the menu, the Infos page, the right panel and the file dialogs.
#include "ui/Main.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include "common/Version.h"
#include "ui/Access.h"
#include "ui/MainWidgets.h"
#include "ui/Pictures.h"
#include "ui/Report.h"

namespace zelbor {

namespace {

using namespace mainwidgets;

// Rows of the language list are 16 pixels high and drawn as plain text.
class FixedRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        s.setHeight(16);
        return s;
    }
};
} // namespace

void TMainForm::BuildMenu()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu"));

    mnFileMenu = bar->addMenu(QStringLiteral("&File"));
    mnFileMenu->setObjectName(QStringLiteral("mnFileMenu"));
    mnFile = mnFileMenu->menuAction();
    mnFile->setObjectName(QStringLiteral("mnFile"));
    mnSave = mnFileMenu->addAction(QStringLiteral("&Save"));
    mnSave->setObjectName(QStringLiteral("mnSave"));
    mnSave->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    mnSaveAs = mnFileMenu->addAction(QStringLiteral("Save &As..."));
    mnSaveAs->setObjectName(QStringLiteral("mnSaveAs"));
    mnLoad = mnFileMenu->addAction(QStringLiteral("&Load"));
    mnLoad->setObjectName(QStringLiteral("mnLoad"));
    mnLoad->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    mnExit = mnFileMenu->addAction(QStringLiteral("E&xit"));
    mnExit->setObjectName(QStringLiteral("mnExit"));
    mnExit->setShortcut(QKeySequence(Qt::ALT | Qt::Key_X));

    mnHelpMenu = bar->addMenu(QStringLiteral("&Help"));
    mnHelpMenu->setObjectName(QStringLiteral("mnHelpMenu"));
    mnHelp = mnHelpMenu->menuAction();
    mnHelp->setObjectName(QStringLiteral("mnHelp"));
    mnHelpFile = mnHelpMenu->addAction(QStringLiteral("&Help File"));
    mnHelpFile->setObjectName(QStringLiteral("mnHelpFile"));
    mnHelpFile->setShortcut(QKeySequence(Qt::Key_F1));
    mnAbout = mnHelpMenu->addAction(QStringLiteral("&About"));
    mnAbout->setObjectName(QStringLiteral("mnAbout"));

    // Shortcuts work anywhere in the window, also while the menu is closed.
    for (QAction* a : {mnSave, mnSaveAs, mnLoad, mnExit, mnHelpFile, mnAbout})
        a->setShortcutContext(Qt::WindowShortcut);

    connect(mnSave, &QAction::triggered, this, [this] { mnSaveClick(); });
    connect(mnSaveAs, &QAction::triggered, this, [this] { mnSaveAsClick(); });
    connect(mnLoad, &QAction::triggered, this, [this] { mnLoadClick(); });
    connect(mnExit, &QAction::triggered, this, [this] { mnExitClick(); });
    connect(mnHelpFile, &QAction::triggered, this, [this] { mnHelpFileClick(); });
    connect(mnAbout, &QAction::triggered, this, [this] { mnAboutClick(); });
}

QWidget* TMainForm::BuildInfosPage()
{
    TabInfos = new QWidget;
    TabInfos->setObjectName(QStringLiteral("TabInfos"));
    auto* box = new QVBoxLayout(TabInfos);
    box->setContentsMargins(8, 8, 8, 8);
    memInfos = new QPlainTextEdit;
    memInfos->setObjectName(QStringLiteral("memInfos"));
    memInfos->setReadOnly(true);
    memInfos->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memInfos->setLineWrapMode(QPlainTextEdit::WidgetWidth); // only a vertical scroll bar: long lines wrap
    QFont mono(QStringLiteral("Courier New"), 10);
    mono.setStyleHint(QFont::Monospace);
    mono.setFixedPitch(true);
    memInfos->setFont(mono);
    memInfos->setTabChangesFocus(true); // Tab leaves the page's text for the right panel
    box->addWidget(memInfos);
    return TabInfos;
}

QWidget* TMainForm::BuildRightPanel()
{
    auto* panel = new QWidget;
    panel->setObjectName(QStringLiteral("pGeneral"));
    auto* box = new QVBoxLayout(panel);
    box->setContentsMargins(8, 8, 8, 8);
    box->setSpacing(6);

    lbSoftwareName = MakeLabel("lbSoftwareName", QString::fromLatin1(kApplicationTitle));
    lbSoftwareName->setFont(BoldFont(10));
    lblVersion = MakeLabel("lblVersion", QStringLiteral("V") + QString::fromLatin1(ProgramVersion()));
    lblVersion->setFont(BoldFont(10));
    box->addWidget(lbSoftwareName);
    box->addWidget(lblVersion);

    auto* info = new TClickLabel(TClickLabel::Kind::Button);
    info->setObjectName(QStringLiteral("imgInfo"));
    info->setFixedSize(30, 30);
    info->setPixmap(InfoSignPixmap(30));
    info->onClick = [this] { imgInfoClick(); };
    imgInfo = info;
    lblLanguage = MakeLabel("lblLanguage", QStringLiteral("Language :"));
    lblLanguage->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    cbbLanguage = new QComboBox;
    cbbLanguage->setObjectName(QStringLiteral("cbbLanguage"));
    cbbLanguage->setEditable(false);
    cbbLanguage->setItemDelegate(new FixedRowDelegate(cbbLanguage));
    FitListWidth(cbbLanguage, 120);
    // Only a pick by the user switches the language, never the filling of the list.
    connect(cbbLanguage, &QComboBox::activated, this, [this] { cbbLanguageChange(); });
    auto* langRow = new QHBoxLayout;
    langRow->addWidget(imgInfo);
    langRow->addWidget(lblLanguage, 1);
    langRow->addWidget(cbbLanguage);
    lblLanguage->setBuddy(cbbLanguage);
    box->addLayout(langRow);

    gbCommIF = MakeGroup("gbCommIF", " Communication Interface ");
    auto* comm = new QGridLayout(gbCommIF);
    comm->setContentsMargins(8, 8, 8, 8);
    comm->setVerticalSpacing(6);
    lbCOMPort = MakeLabel("lbCOMPort", QStringLiteral("COM Port:"));
    cbbPort = new QComboBox;
    cbbPort->setObjectName(QStringLiteral("cbbPort"));
    cbbPort->setEditable(false);
    cbbPort->addItems({QStringLiteral("COM1"), QStringLiteral("COM2"), QStringLiteral("COM3"), QStringLiteral("COM4"),
                       QStringLiteral("COM5"), QStringLiteral("COM6")});
    cbbPort->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cbbPort->setMinimumContentsLength(10);
    auto* search = new TClickLabel(TClickLabel::Kind::Button);
    search->setObjectName(QStringLiteral("imgSearchPorts"));
    search->setFixedSize(16, 16);
    // Drawn in colours that stand out on the window's background, light or dark.
    FollowTheme(search, [search] { search->setPixmap(MagnifierPixmap(16, search->palette())); });
    search->setToolTip(QStringLiteral("Click to rescan for available COM ports"));
    search->onClick = [this] { imgSearchPortsClick(); };
    imgSearchPorts = search;
    btnPortConnect = MakeButton("btnPortConnect", "Connect", "Connect to selected COM port");
    btnPortDisconnect = MakeButton("btnPortDisconnect", "Disconnect", "Disconnect from COM port");
    lbCOMPort->setBuddy(cbbPort);
    comm->addWidget(lbCOMPort, 0, 0, 1, 2);
    comm->addWidget(cbbPort, 1, 0);
    comm->addWidget(imgSearchPorts, 1, 1);
    auto* connectRow = new QHBoxLayout;
    connectRow->addWidget(btnPortConnect);
    connectRow->addWidget(btnPortDisconnect);
    comm->addLayout(connectRow, 2, 0, 1, 2);
    comm->setColumnStretch(0, 1);
    for (QWidget* w : std::initializer_list<QWidget*>{lbCOMPort, cbbPort, btnPortConnect, btnPortDisconnect})
        UseNormalFont(w);
    box->addWidget(gbCommIF);
    connect(btnPortConnect, &QPushButton::clicked, this, [this] { btnPortConnectClick(); });
    connect(btnPortDisconnect, &QPushButton::clicked, this, [this] { btnPortDisconnectClick(); });

    gbControllerInfo = MakeGroup("gbControllerInfo", " Controller Info ");
    auto* infoGrid = new QGridLayout(gbControllerInfo);
    infoGrid->setContentsMargins(8, 8, 8, 8);
    infoGrid->setVerticalSpacing(4);
    struct Row {
        QLabel** title;
        const char* titleName;
        const char* titleText;
        QLabel** value;
        const char* valueName;
    };
    const Row rows[] = {
        {&lbManufTitle, "lbManufTitle", "Manufacturer:", &lbManuf, "lbManuf"},
        {&lbModelTitle, "lbModelTitle", "Model:", &lbModel, "lbModel"},
        {&lbHWVerTitle, "lbHWVerTitle", "Hardware Ver.:", &lbHWVer, "lbHWVer"},
        {&lbFWVerTitle, "lbFWVerTitle", "Firmware Ver.:", &lbFWVer, "lbFWVer"},
        {&lbNomVoltTitle, "lbNomVoltTitle", "Nominal Voltage:", &lbNomVolt, "lbNomVolt"},
        {&lbMaxCurrTitle, "lbMaxCurrTitle", "Max.Current:", &lbMaxCurr, "lbMaxCurr"},
    };
    int r = 0;
    for (const Row& row : rows) {
        *row.title = MakeLabel(row.titleName, QString::fromLatin1(row.titleText));
        *row.value = MakeLabel(row.valueName, QString());
        (*row.value)->setFixedWidth(100);
        UseNormalFont(*row.title);
        UseNormalFont(*row.value);
        infoGrid->addWidget(*row.title, r, 0);
        infoGrid->addWidget(*row.value, r, 1);
        ++r;
    }
    infoGrid->setColumnStretch(0, 1);
    box->addWidget(gbControllerInfo);

    box->addStretch(1);
    btnReadFlash = MakeButton("btnReadFlash", "Read Flash", "Read all settings from controller");
    btnWriteFlash = MakeButton("btnWriteFlash", "Write Flash", "Write all settings to controller");
    auto* flashRow = new QHBoxLayout;
    flashRow->addWidget(btnReadFlash);
    flashRow->addWidget(btnWriteFlash);
    box->addLayout(flashRow);
    connect(btnReadFlash, &QPushButton::clicked, this, [this] { btnReadFlashClick(); });
    connect(btnWriteFlash, &QPushButton::clicked, this, [this] { btnWriteFlashClick(); });
    return panel;
}

void TMainForm::BuildFileDialogs()
{
    const QString filter = QStringLiteral("Zelbor Configuration Tool Profile (*.el)");
    LoadFileDialog = new QFileDialog(this, QStringLiteral("Select profile to load"));
    LoadFileDialog->setObjectName(QStringLiteral("LoadFileDialog"));
    LoadFileDialog->setOption(QFileDialog::DontUseNativeDialog);
    LoadFileDialog->setAcceptMode(QFileDialog::AcceptOpen);
    LoadFileDialog->setFileMode(QFileDialog::AnyFile); // a typed name that does not exist is reported later
    LoadFileDialog->setNameFilter(filter);
    LoadFileDialog->setDefaultSuffix(QStringLiteral("el"));

    SaveFileDialog = new QFileDialog(this, QStringLiteral("Save profile"));
    SaveFileDialog->setObjectName(QStringLiteral("SaveFileDialog"));
    SaveFileDialog->setOption(QFileDialog::DontUseNativeDialog);
    SaveFileDialog->setOption(QFileDialog::DontConfirmOverwrite); // the window asks itself
    SaveFileDialog->setAcceptMode(QFileDialog::AcceptSave);
    SaveFileDialog->setFileMode(QFileDialog::AnyFile);
    SaveFileDialog->setNameFilter(filter);

    // The completion list of a typed file name is a popup of its own: if it is still open when
    // Enter accepts the name, it would stay on screen over the main window and take the next
    // click. It closes with its dialog.
    for (QFileDialog* dialog : {LoadFileDialog, SaveFileDialog})
        connect(dialog, &QDialog::finished, dialog, [dialog] {
            for (QCompleter* completer : dialog->findChildren<QCompleter*>())
                if (QAbstractItemView* popup = completer->popup())
                    popup->hide();
        });
}

} // namespace zelbor
