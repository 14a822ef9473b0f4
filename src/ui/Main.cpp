// SPDX-License-Identifier: GPL-3.0-or-later
// TMainForm: construction of the window, the start-up sequence, the port list, help and about,
// and the low-battery field.
#include "ui/Main.h"
#include "serial/Adapter.h"
#include "ui/LineTools.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <filesystem>

#include "common/Catalogue.h"
#include "common/Errors.h"
#include "common/UserFolders.h"
#include "ui/AssistChart.h"
#include "ui/PathQt.h"
#include "ui/Pictures.h"
#include "ui/Report.h"
#include "ui/Seam.h"

namespace zelbor {

namespace {

constexpr int kClientWidth = 678;
constexpr int kClientHeight = 586;
constexpr int kPagesWidth = 417;
constexpr int kPanelWidth = kClientWidth - kPagesWidth; // 261

} // namespace

TMainForm::TMainForm(QWidget* parent)
    : QMainWindow(parent), CommPort(notifyWindow_), link_(CommPort), transfer_(link_, *this),
      TransferMode(transfer_.TransferMode), ReopenCount(transfer_.ReopenCount)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QString::fromLatin1(kApplicationTitle));
    setWindowIcon(AppIcon());
    // System menu and minimise, no maximise: the window has one fixed size.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    // The serial component: notifications reach it again on this thread through Qt's event queue.
    notifyWindow_.SetReceiver([this](CommNotification n) { CommPort.HandleNotification(std::move(n)); });
    // The line settings are the controller link's; what the port receives goes to the sequence.
    link_.DeliverTo(transfer_);

    TimerConnect = new QTimer(this);
    TimerConnect->setObjectName(QStringLiteral("TimerConnect"));
    TimerConnect->setInterval(static_cast<int>(TTransferSequence::kConnectRetryInterval.count()));
    connect(TimerConnect, &QTimer::timeout, this, [this] { TimerConnectTimer(); });

    BuildMenu();
    BuildExtraMenu();
    LineTools = new TLineTools(
        this, mnHelpMenu,
        [this](std::uint8_t code) {
            const BlockInfo* block = FindBlock(code);
            return block ? pctrlProfile->tabText(block->page).remove(QLatin1Char('&')) : QString();
        },
        [this] { return QString::fromStdString(PortShownName(CommPort.CommName())); });
    transfer_.LineTap = [this](LineDirection direction, std::span<const std::uint8_t> bytes) {
        LineTools->Line(direction, bytes);
    };

    auto* client = new QWidget;
    client->setObjectName(QStringLiteral("ClientArea"));
    client->setFixedSize(kClientWidth, kClientHeight);

    pctrlProfile = new QTabWidget(client);
    pctrlProfile->setObjectName(QStringLiteral("pctrlProfile"));
    pctrlProfile->setGeometry(0, 0, kPagesWidth, kClientHeight);
    pctrlProfile->addTab(BuildBasicPage(), QStringLiteral("Basic"));
    pctrlProfile->addTab(BuildPedalAssistPage(), QStringLiteral("Pedal Assist"));
    pctrlProfile->addTab(BuildThrottlePage(), QStringLiteral("Throttle Handle"));
    pctrlProfile->addTab(BuildInfosPage(), QStringLiteral("Infos"));

    pGeneral = BuildRightPanel();
    pGeneral->setParent(client);
    pGeneral->setGeometry(kPagesWidth, 0, kPanelWidth, kClientHeight);

    setCentralWidget(client);
    layout()->setSizeConstraint(QLayout::SetFixedSize); // client area fixed, menu bar above it

    BuildFileDialogs();
    BuildTabChain();
    fieldViews_.Start();
    BuildDifferenceMarks();
    UpdateAccessibility();
}

TMainForm::~TMainForm()
{
    // The port's events must not reach the sequence while the window is being taken apart.
    CommPort.OnReceiveData = nullptr;
    CommPort.ClosePort();
    delete imgAssistChart; // it listens to editing_, which goes before the window's widgets do
}

// ---------------------------------------------------------------------------------------------

void TMainForm::FormShow()
{
    Guarded([this] {
        TimerConnect->stop();                                       // 1
        centralWidget()->setFixedSize(kClientWidth, kClientHeight); // 2
        ProfileFileName.clear();                                    // 3
        mnSave->setEnabled(false);
        TransferMode = tmIdle;            // 4
        FillPortList();                   // 5
        btnPortConnect->setEnabled(true); // 6
        btnPortDisconnect->setEnabled(false);
        pctrlProfile->setCurrentIndex(0); // 7

        FillList(cbbBasWheelDiam);  // 8
        FillList(cbbBasSpdMtrType); // 9

        SetTransferButtonsEnabled(false); // 10

        const auto profile = StartupProfilePath();
        LoadProfile(ToQString(profile));      // 11
        LoadLanguageList(LanguagesIniPath()); // 12
        if (!LoadInfos())                     // 13
            return;
        SetMainLanguage();                // 14
        Seam().ShowStartupWarning(*this); // 15
    });
}

void TMainForm::CenterOnScreen()
{
    adjustSize();
    QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QSize size = frameGeometry().size();
    move(area.center() - QPoint(size.width() / 2, size.height() / 2));
}

void TMainForm::FillPortList()
{
    // A virtual port's path begins with the long per-user folder, so the list would show the same
    // beginning for all of them: each shows its link's own name instead, with the whole path as its
    // tooltip and description. The path stays the item's data; it is what Connect opens.
    connect(cbbPort, &QComboBox::currentIndexChanged, this, &TMainForm::ShowSelectedPortPath, Qt::UniqueConnection);
    cbbPort->clear();
    for (const std::string& port : ListSerialPorts()) {
        const QString full = QString::fromStdString(port);
        const QString shown = QString::fromStdString(PortShownName(port));
        cbbPort->addItem(shown, full);
        const int i = cbbPort->count() - 1;
        // The adapter behind the port tells apart two adapters that look alike in the list.
        const std::string adapter = AdapterSummary(DescribeAdapter(port));
        const QString described = adapter.empty() ? full : full + "\n" + QString::fromStdString(adapter);
        cbbPort->setItemData(i, described, Qt::ToolTipRole);
        cbbPort->setItemData(i, described, Qt::AccessibleDescriptionRole);
    }
    cbbPort->setCurrentIndex(cbbPort->count() > 0 ? 0 : -1);
    ShowSelectedPortPath(); // also when the index stayed the same
}

QString TMainForm::SelectedPortPath() const
{
    // An item without a path (added by hand) names its port by its text.
    const QVariant path = cbbPort->currentData();
    return path.isValid() ? path.toString() : cbbPort->currentText();
}

void TMainForm::ShowSelectedPortPath()
{
    const QVariant described = cbbPort->currentData(Qt::ToolTipRole);
    const QString path = described.isValid() ? described.toString() : SelectedPortPath();
    cbbPort->setToolTip(path);
    if (cbbPort->accessibleDescription() != path)
        cbbPort->setAccessibleDescription(path);
}

void TMainForm::imgSearchPortsClick()
{
    Guarded([this] { FillPortList(); });
}

// ---- Help, about, exit ----

void TMainForm::btnHelp_BasicClick(QObject* sender)
{
    Guarded([&] { Seam().ShowHelpTopic(FindBlock(bcBasic)->helpTopic, sender->objectName().toStdString()); });
}

void TMainForm::btnHelp_PedalAssistClick(QObject* sender)
{
    Guarded([&] { Seam().ShowHelpTopic(FindBlock(bcPedalAssist)->helpTopic, sender->objectName().toStdString()); });
}

void TMainForm::btnHelp_ThrottleClick(QObject* sender)
{
    Guarded([&] { Seam().ShowHelpTopic(FindBlock(bcThrottle)->helpTopic, sender->objectName().toStdString()); });
}

void TMainForm::mnHelpFileClick()
{
    Guarded([] {
        // The current language's manual, else the English one. A missing document or viewer
        // gives no message.
        Seam().OpenUrl(QUrl::fromLocalFile(ToQString(ManualPath())));
    });
}

void TMainForm::mnAboutClick()
{
    Guarded([] { Seam().ShowAboutWindow(); });
}

void TMainForm::imgInfoClick()
{
    Guarded([] { Seam().ShowAboutWindow(); });
}

void TMainForm::mnExitClick() { close(); }

// ---- Low-battery field ----

bool TMainForm::cbbBasLowBatKeyPress(QChar key) { return TEditingState::AcceptsVoltsKey(key.unicode()); }

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && cbbBasLowBat &&
        (watched == cbbBasLowBat || watched == cbbBasLowBat->lineEdit())) {
        const QString text = static_cast<QKeyEvent*>(event)->text();
        // Keys without a printable character (arrows, Home, Delete, Tab, shortcuts) keep working.
        for (QChar c : text)
            if (c.isPrint() && !cbbBasLowBatKeyPress(c))
                return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::cbbBasLowBatChange()
{
    const ParameterField& field = *FindParameter("cbbBasLowBat");
    fieldViews_.TakeText(field);
    editing_.AdjustText(field);
}

} // namespace zelbor
