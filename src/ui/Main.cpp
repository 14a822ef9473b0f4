// TMainForm: construction of the window, the start-up sequence, help and about.
#include "ui/Main.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <filesystem>

#include "common/Catalogue.h"
#include "common/Errors.h"
#include "serial/CommPortSettings.h"
#include "ui/About.h"
#include "ui/Access.h"
#include "ui/Help.h"
#include "ui/PathQt.h"
#include "ui/Pictures.h"
#include "ui/Report.h"
#include "ui/Warning.h"

namespace {

constexpr int kClientWidth = 678;
constexpr int kClientHeight = 586;
constexpr int kPagesWidth = 417;
constexpr int kPanelWidth = kClientWidth - kPagesWidth; // 261

constexpr int kListWidth = 172; // "By Display's Command" and the drop-down arrow

const QColor kRed(0xFF, 0x00, 0x00);
const QColor kPurple(0x80, 0x00, 0x80);

enum class Shade { Normal, Red, Purple };

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

QLabel* MakeLabel(const char* name, const QString& text, Shade shade = Shade::Normal)
{
    auto* label = new QLabel(text);
    label->setObjectName(QLatin1String(name));
    if (shade != Shade::Normal) {
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, shade == Shade::Red ? kRed : kPurple);
        label->setPalette(p);
    }
    return label;
}

QSpinBox* MakeSpin(const QString& name, int minimum, int maximum)
{
    auto* spin = new QSpinBox;
    spin->setObjectName(name);
    spin->setRange(minimum, maximum);
    spin->setFixedWidth(72);
    return spin;
}

QComboBox* MakeList(const char* name, const QStringList& items, int width)
{
    auto* list = new QComboBox;
    list->setObjectName(QLatin1String(name));
    list->setEditable(false);
    list->addItems(items);
    list->setCurrentIndex(-1);
    list->setFixedWidth(width);
    return list;
}

QStringList ToList(const std::vector<std::string>& items)
{
    QStringList out;
    for (const auto& s : items)
        out << QString::fromStdString(s);
    return out;
}

template <std::size_t N>
QStringList ToList(const std::array<const char*, N>& items)
{
    QStringList out;
    for (const char* s : items)
        out << QString::fromLatin1(s);
    return out;
}

QPushButton* MakeButton(const char* name, const char* text, const char* hint)
{
    auto* button = new QPushButton(QString::fromLatin1(text));
    button->setObjectName(QLatin1String(name));
    button->setToolTip(QString::fromLatin1(hint));
    return button;
}

// A parameter page: 8-pixel margins, rows of label, "?" button and field.
QGridLayout* NewPageGrid(QWidget*& page, const char* name, int verticalSpacing)
{
    page = new QWidget;
    page->setObjectName(QLatin1String(name));
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(8, 8, 8, 8);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(verticalSpacing);
    return grid;
}

void AddParameterRow(QGridLayout* grid, int& row, QWidget* label, QWidget* helpButton, QWidget* field)
{
    grid->addWidget(label, row, 0);
    grid->addWidget(helpButton, row, 1);
    grid->addWidget(field, row, 2);
    ++row;
}

// The READ and WRITE buttons at the foot of a parameter page, right-aligned below a stretch.
void AddTransferButtonRow(QGridLayout* grid, int& row, int columns, QPushButton* read, QPushButton* write)
{
    grid->setRowStretch(row++, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(read);
    buttons->addWidget(write);
    grid->addLayout(buttons, row, 0, 1, columns);
    grid->setColumnStretch(0, 1);
}

QFont BoldFont(int pointSize = -1)
{
    QFont f = QApplication::font();
    f.setBold(true);
    if (pointSize > 0)
        f.setPointSize(pointSize);
    return f;
}

// A group whose caption is bold while its contents keep the normal font.
QGroupBox* MakeGroup(const char* name, const char* caption)
{
    auto* group = new QGroupBox(QString::fromLatin1(caption));
    group->setObjectName(QLatin1String(name));
    group->setFont(BoldFont());
    return group;
}

// An explicit weight, so that the bold caption of the group does not pass on to its contents.
void UseNormalFont(QWidget* w)
{
    QFont f = QApplication::font();
    f.setBold(false);
    w->setFont(f);
}

} // namespace

// ---------------------------------------------------------------------------------------------

TMainForm::ModalHooks TMainForm::DefaultHooks()
{
    ModalHooks hooks;
    hooks.startupWarning = [](TMainForm& form) { ShowStartupWarning(form); };
    hooks.helpTopic = [](const std::string& topic, const std::string& section) { ShowHelpTopic(topic, section); };
    hooks.about = [] { ShowAboutWindow(); };
    hooks.openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    hooks.runFileDialog = [](QFileDialog& dialog) -> std::optional<QString> {
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return dialog.selectedFiles().value(0);
    };
    return hooks;
}

TMainForm::ModalHooks& TMainForm::Hooks()
{
    static ModalHooks hooks = DefaultHooks();
    return hooks;
}

TMainForm::TMainForm(QWidget* parent)
    : QMainWindow(parent), CommPort(notifyWindow_)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QString::fromLatin1(kApplicationTitle));
    setWindowIcon(AppIcon());
    // System menu and minimise, no maximise: the window has one fixed size.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    // The serial component: notifications reach it again on this thread through Qt's event queue.
    notifyWindow_.SetReceiver([this](zelbor::CommNotification n) { CommPort.HandleNotification(std::move(n)); });
    zelbor::ApplyCommPortSettings(CommPort);
    CommPort.SetCommName("COM1");
    CommPort.SetBaudRate(9600);
    CommPort.OnReceiveData = [this](zelbor::TComm& sender, const std::uint8_t* buffer, std::uint16_t length) {
        CommPortReceiveData(sender, buffer, length);
    };

    TimerConnect = new QTimer(this);
    TimerConnect->setObjectName(QStringLiteral("TimerConnect"));
    TimerConnect->setInterval(500);
    connect(TimerConnect, &QTimer::timeout, this, [this] { TimerConnectTimer(); });

    BuildMenu();

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
    WatchKeptByteLists();
    UpdateAccessibility();
}

TMainForm::~TMainForm() = default;

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

QToolButton* TMainForm::HelpButton(const char* name, void (TMainForm::*handler)(QObject*))
{
    auto* button = new QToolButton;
    button->setObjectName(QLatin1String(name));
    button->setText(QStringLiteral("?"));
    button->setFixedSize(20, 20);
    button->setFocusPolicy(Qt::TabFocus);
    connect(button, &QToolButton::clicked, this, [this, button, handler] { (this->*handler)(button); });
    return button;
}

void TMainForm::AddFieldRow(QGridLayout* grid, int& row, int page, QLabel* label, QToolButton* help, QWidget* field)
{
    AddParameterRow(grid, row, label, help, field);
    label->setBuddy(field); // the label's access letter reaches the field
    accessRows_.push_back({page, label, nullptr, help, {field}, {}});
}

QWidget* TMainForm::BuildBasicPage()
{
    auto* grid = NewPageGrid(tabGeneral, "tabGeneral", 3);
    const auto help = &TMainForm::btnHelp_BasicClick;
    int row = 0;

    cbbBasLowBat = new QComboBox;
    cbbBasLowBat->setObjectName(QStringLiteral("cbbBasLowBat"));
    cbbBasLowBat->setEditable(true);
    cbbBasLowBat->setInsertPolicy(QComboBox::NoInsert); // Enter must not add the typed text as an item
    cbbBasLowBat->setCompleter(nullptr);                // no inline completion: the text is what was typed
    cbbBasLowBat->setFixedWidth(72);
    for (int v = zelbor::kDesignLowBatteryFirst; v <= zelbor::kDesignLowBatteryLast; ++v)
        cbbBasLowBat->addItem(QString::number(v));
    cbbBasLowBat->setCurrentIndex(-1);
    cbbBasLowBat->installEventFilter(this);
    cbbBasLowBat->lineEdit()->installEventFilter(this);
    // Only changes made by the user run the range adjustment.
    connect(cbbBasLowBat->lineEdit(), &QLineEdit::textEdited, this, [this] { Guarded([this] { cbbBasLowBatChange(); }); });
    connect(cbbBasLowBat, &QComboBox::activated, this, [this] { Guarded([this] { cbbBasLowBatChange(); }); });

    AddFieldRow(grid, row, 0, MakeLabel("lblBasLowBat", QStringLiteral("Low Battery Protection [V]:")),
                HelpButton("btnHelp_Basic_LowBattProtection", help), cbbBasLowBat);

    speBasCurrLim = MakeSpin(QStringLiteral("speBasCurrLim"), 1, 25);
    AddFieldRow(grid, row, 0, MakeLabel("lblBasCurrLim", QStringLiteral("Current Limit [A]:"), Shade::Red),
                HelpButton("btnHelp_Basic_CurrentLimit", help), speBasCurrLim);

    grid->addItem(new QSpacerItem(1, 6), row++, 0);
    QToolButton* columnHelp[3] = {HelpButton("btnHelp_Basic_AssistsLevel", help),
                                  HelpButton("btnHelp_Basic_LvlCurrentLimit", help),
                                  HelpButton("btnHelp_Basic_SpeedLimit", help)};
    grid->addWidget(columnHelp[0], row, 0, Qt::AlignLeft);
    grid->addWidget(columnHelp[1], row, 2, Qt::AlignHCenter);
    grid->addWidget(columnHelp[2], row, 3, Qt::AlignHCenter);
    ++row;
    auto* title0 = MakeLabel("lblBasAssistLevels", QStringLiteral("Assist levels"));
    auto* title1 = MakeLabel("lblBasAssistCurrLim", QStringLiteral("Current Limit [%]"));
    auto* title2 = MakeLabel("lblBasAssistSpdLim", QStringLiteral("Speed Limit [%]"));
    for (QLabel* t : {title0, title1, title2})
        t->setFont(BoldFont());
    for (QLabel* t : {title1, title2}) {
        t->setWordWrap(true); // two short lines keep the label column wide enough
        t->setAlignment(Qt::AlignCenter);
        t->setFixedWidth(84);
    }
    grid->addWidget(title0, row, 0, Qt::AlignBottom);
    grid->addWidget(title1, row, 2, Qt::AlignHCenter);
    grid->addWidget(title2, row, 3, Qt::AlignHCenter);
    ++row;
    // The column titles name their help buttons; the three buttons form one row of the tab chain.
    accessRows_.push_back({0, title0, nullptr, columnHelp[0], {}, {}});
    accessRows_.push_back({0, title1, nullptr, columnHelp[1], {}, {}});
    accessRows_.push_back({0, title2, nullptr, columnHelp[2], {}, {}});

    for (int level = 0; level < 10; ++level) {
        const QString n = QString::number(level);
        auto* label = MakeLabel("", QStringLiteral("Assit %1:").arg(level), Shade::Purple);
        label->setObjectName(QStringLiteral("lblBasAssist%1").arg(level));
        speBasAssistCurrLim[level] = MakeSpin(QStringLiteral("speBasAssist%1CurrLim").arg(n), 0, 100);
        speBasAssistSpdLim[level] = MakeSpin(QStringLiteral("speBasAssist%1SpdLim").arg(n), 0, 100);
        grid->addWidget(label, row, 0);
        grid->addWidget(speBasAssistCurrLim[level], row, 2, Qt::AlignHCenter);
        grid->addWidget(speBasAssistSpdLim[level], row, 3, Qt::AlignHCenter);
        ++row;
        // The label names the level; each of its two fields says which limit it holds.
        label->setBuddy(speBasAssistCurrLim[level]);
        accessRows_.push_back({0, label, nullptr, nullptr, {speBasAssistCurrLim[level], speBasAssistSpdLim[level]},
                               {QStringLiteral("Assist %1 current limit [%]").arg(level),
                                QStringLiteral("Assist %1 speed limit [%]").arg(level)}});
    }
    grid->addItem(new QSpacerItem(1, 6), row++, 0);

    cbbBasSpdMtrType = MakeList("cbbBasSpdMtrType", {}, 160);
    {
        QLabel* label = MakeLabel("lblBasSpdMtrType", QStringLiteral("Speed Meter Type: "), Shade::Red);
        QToolButton* helpButton = HelpButton("btnHelp_Basic_SpeedMeterType", help);
        grid->addWidget(label, row, 0);
        grid->addWidget(helpButton, row, 1);
        grid->addWidget(cbbBasSpdMtrType, row, 2, 1, 2); // the longest items need both columns
        ++row;
        label->setBuddy(cbbBasSpdMtrType);
        accessRows_.push_back({0, label, nullptr, helpButton, {cbbBasSpdMtrType}, {}});
    }

    speBasSpdMtrSig = MakeSpin(QStringLiteral("speBasSpdMtrSig"), 1, 36);
    AddFieldRow(grid, row, 0, MakeLabel("lblBasSpdMtrSig", QStringLiteral("Speed Meter Signals: "), Shade::Red),
                HelpButton("btnHelp_Basic_SpeedMeterSignals", help), speBasSpdMtrSig);

    cbbBasWheelDiam = MakeList("cbbBasWheelDiam", {}, 72);
    AddFieldRow(grid, row, 0, MakeLabel("lblBasWheelDiam", QStringLiteral("Wheel Diameler [Inch]: ")),
                HelpButton("btnHelp_Basic_WheelDiameter", help), cbbBasWheelDiam);

    btnBasRead = MakeButton("btnBasRead", "READ", "Read only the general settings from controller");
    btnBasWrite = MakeButton("btnBasWrite", "WRITE", "Write only the general settings to controller");
    AddTransferButtonRow(grid, row, 4, btnBasRead, btnBasWrite);

    connect(btnBasRead, &QPushButton::clicked, this, [this] { btnBasReadClick(); });
    connect(btnBasWrite, &QPushButton::clicked, this, [this] { btnBasWriteClick(); });
    return tabGeneral;
}

QWidget* TMainForm::BuildPedalAssistPage()
{
    auto* grid = NewPageGrid(tabPedalAssist, "tabPedalAssist", 2);
    const auto help = &TMainForm::btnHelp_PedalAssistClick;
    int row = 0;
    auto addRow = [&](QLabel* label, const char* helpName, QWidget* field) {
        AddFieldRow(grid, row, 1, label, HelpButton(helpName, help), field);
    };

    cbbPASPedalSensType = MakeList("cbbPASPedalSensType", ToList(zelbor::kPedalSensorItems), kListWidth);
    addRow(MakeLabel("lblPASPedalSensType", QStringLiteral("Pedal Sensor Type: "), Shade::Red),
           "btnHelp_PA_PedalSensorType", cbbPASPedalSensType);
    cbbPASDesigAssist = MakeList("cbbPASDesigAssist", ToList(zelbor::AssistLevelItems()), kListWidth);
    addRow(MakeLabel("lblPASDesigAssist", QStringLiteral("Designated Assist Level: ")),
           "btnHelp_PA_DesignAssistLevel", cbbPASDesigAssist);
    cbbPASSpdLim = MakeList("cbbPASSpdLim", ToList(zelbor::SpeedLimitItems()), kListWidth);
    addRow(MakeLabel("lblPASSpdLim", QStringLiteral("Speed Limit: ")), "btnHelp_PA_SpeedLimit", cbbPASSpdLim);

    spePASStartCurr = MakeSpin(QStringLiteral("spePASStartCurr"), 1, 60);
    {
        auto* pair = new QWidget;
        auto* h = new QHBoxLayout(pair);
        h->setContentsMargins(0, 0, 0, 0);
        h->setSpacing(4);
        QLabel* label = MakeLabel("lblPASStartCurr", QStringLiteral("Start Current [%]: "), Shade::Red);
        QLabel* note = MakeLabel("lblPASStartCurrMax", QStringLiteral("(max 60%)"), Shade::Red);
        h->addWidget(label);
        h->addWidget(note);
        h->addStretch(1);
        QToolButton* helpButton = HelpButton("btnHelp_PA_StartCurrent", help);
        AddParameterRow(grid, row, pair, helpButton, spePASStartCurr);
        label->setBuddy(spePASStartCurr);
        accessRows_.push_back({1, label, note, helpButton, {spePASStartCurr}, {}});
    }
    cbbPASSlowStartMode = MakeList("cbbPASSlowStartMode", ToList(zelbor::SlowStartItems()), 72);
    addRow(MakeLabel("lblPASSlowStartMode", QStringLiteral("Slow-start Mode (1-8) "), Shade::Purple),
           "btnHelp_PA_SlowStartMode", cbbPASSlowStartMode);
    spePASStartDeg = MakeSpin(QStringLiteral("spePASStartDeg"), 1, 100);
    addRow(MakeLabel("lblPASStartDeg", QStringLiteral("Start Degree (Signal No.): ")), "btnHelp_PA_StartDegree",
           spePASStartDeg);
    cbbPASWorkMode = MakeList("cbbPASWorkMode", ToList(zelbor::WorkModeItems()), kListWidth);
    {
        QLabel* label = MakeLabel("lblPASWorkMode", QStringLiteral("WorkMode (AngPedalSpeed/wheel*10)"), Shade::Red);
        label->setWordWrap(true); // the longest label of the page: two lines rather than clipped
        addRow(label, "btnHelp_PA_WorkMode", cbbPASWorkMode);
    }
    spePASStopDelay = MakeSpin(QStringLiteral("spePASStopDelay"), 0, 255);
    addRow(MakeLabel("lblPASStopDelay", QStringLiteral("Stop Delay [x10ms]: ")), "btnHelp_PA_StopDelay",
           spePASStopDelay);
    spePASCurrDecay = MakeSpin(QStringLiteral("spePASCurrDecay"), 1, 8);
    addRow(MakeLabel("lblPASCurrDecay", QStringLiteral("Current Decay (1-8): ")), "btnHelp_PA_CurrentDecay",
           spePASCurrDecay);
    spePASStopDecay = MakeSpin(QStringLiteral("spePASStopDecay"), 0, 255);
    addRow(MakeLabel("lblPASStopDecay", QStringLiteral("Stop Decay [x10ms]: ")), "btnHelp_PA_StopDecay",
           spePASStopDecay);
    spePASKeepCurr = MakeSpin(QStringLiteral("spePASKeepCurr"), 1, 100);
    addRow(MakeLabel("lblPASKeepCurr", QStringLiteral("Keep Current [%]")), "btnHelp_PA_KeepCurrent", spePASKeepCurr);

    imgPAS = new QLabel;
    imgPAS->setObjectName(QStringLiteral("imgPAS"));
    imgPAS->setFixedSize(385, 224);
    imgPAS->setPixmap(QPixmap::fromImage(PedalAssistDiagram()));
    grid->addItem(new QSpacerItem(1, 4), row++, 0);
    grid->addWidget(imgPAS, row++, 0, 1, 3, Qt::AlignHCenter);

    btnPASRead = MakeButton("btnPASRead", "READ", "Read only the pedal assist settings from controller");
    btnPASWrite = MakeButton("btnPASWrite", "WRITE", "Write only the pedal assist settings to controller");
    AddTransferButtonRow(grid, row, 3, btnPASRead, btnPASWrite);

    connect(btnPASRead, &QPushButton::clicked, this, [this] { btnPASReadClick(); });
    connect(btnPASWrite, &QPushButton::clicked, this, [this] { btnPASWriteClick(); });
    return tabPedalAssist;
}

QWidget* TMainForm::BuildThrottlePage()
{
    auto* grid = NewPageGrid(tabThrottleHandle, "tabThrottleHandle", 3);
    const auto help = &TMainForm::btnHelp_ThrottleClick;
    int row = 0;
    auto addRow = [&](QLabel* label, const char* helpName, QWidget* field) {
        AddFieldRow(grid, row, 2, label, HelpButton(helpName, help), field);
    };

    speThrStartVolt = MakeSpin(QStringLiteral("speThrStartVolt"), 0, 50);
    addRow(MakeLabel("lblThrStartVolt", QStringLiteral("Start Voltage [x100mV]: "), Shade::Purple),
           "btnHelp_Throttle_StartVolt", speThrStartVolt);
    speThrEndVolt = MakeSpin(QStringLiteral("speThrEndVolt"), 0, 50);
    addRow(MakeLabel("lblThrEndVolt", QStringLiteral("End Voltage [x100mV]: "), Shade::Purple),
           "btnHelp_Throttle_EndVolt", speThrEndVolt);
    cbbThrMode = MakeList("cbbThrMode", ToList(zelbor::kThrottleModeItems), kListWidth);
    addRow(MakeLabel("lblThrMode", QStringLiteral("Mode: ")), "btnHelp_Throttle_Mode", cbbThrMode);
    cbbThrAssistLvl = MakeList("cbbThrAssistLvl", ToList(zelbor::AssistLevelItems()), kListWidth);
    addRow(MakeLabel("lblThrAssistLvl", QStringLiteral("Designated Assist Level: "), Shade::Purple),
           "btnHelp_Throttle_DesignAssistLevel", cbbThrAssistLvl);
    edThrSpeedLim = MakeList("edThrSpeedLim", ToList(zelbor::SpeedLimitItems()), kListWidth);
    addRow(MakeLabel("lblThrSpeedLim", QStringLiteral("Speed Limit: ")), "btnHelp_Throttle_SpeedLimit", edThrSpeedLim);
    speThrStartCurr = MakeSpin(QStringLiteral("speThrStartCurr"), 1, 100);
    addRow(MakeLabel("lblThrStartCurr", QStringLiteral("Start Current [%]: "), Shade::Red),
           "btnHelp_Throttle_StartCurrent", speThrStartCurr);

    btnThrRead = MakeButton("btnThrRead", "READ", "Read only the throttle handle settings from controller");
    btnThrWrite = MakeButton("btnThrWrite", "WRITE", "Write only the throttle handle settings to controller");
    AddTransferButtonRow(grid, row, 3, btnThrRead, btnThrWrite);

    connect(btnThrRead, &QPushButton::clicked, this, [this] { btnThrReadClick(); });
    connect(btnThrWrite, &QPushButton::clicked, this, [this] { btnThrWriteClick(); });
    return tabThrottleHandle;
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
    lblVersion = MakeLabel("lblVersion", QStringLiteral("V2.2b"));
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
    cbbLanguage->setFixedWidth(120);
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
    cbbPort->addItems({QStringLiteral("COM1"), QStringLiteral("COM2"), QStringLiteral("COM3"),
                       QStringLiteral("COM4"), QStringLiteral("COM5"), QStringLiteral("COM6")});
    cbbPort->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cbbPort->setMinimumContentsLength(10);
    auto* search = new TClickLabel(TClickLabel::Kind::Button);
    search->setObjectName(QStringLiteral("imgSearchPorts"));
    search->setFixedSize(16, 16);
    search->setPixmap(MagnifierPixmap(16));
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
    struct Row { QLabel** title; const char* titleName; const char* titleText; QLabel** value; const char* valueName; };
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

// ---------------------------------------------------------------------------------------------

void TMainForm::FormShow()
{
    Guarded([this] {
        TimerConnect->stop();                                                   // 1
        centralWidget()->setFixedSize(kClientWidth, kClientHeight);            // 2
        ProfileFileName.clear();                                                // 3
        mnSave->setEnabled(false);
        TransferMode = tmIdle;                                                  // 4
        FillPortList();                                                         // 5
        btnPortConnect->setEnabled(true);                                       // 6
        btnPortDisconnect->setEnabled(false);
        pctrlProfile->setCurrentIndex(0);                                       // 7

        cbbBasWheelDiam->clear();                                               // 8
        for (int inch = 16; inch <= 30; ++inch)
            cbbBasWheelDiam->addItem(QString::number(inch));
        cbbBasWheelDiam->insertItem(cbbBasWheelDiam->findText(QStringLiteral("28")), QStringLiteral("700C"));

        cbbBasSpdMtrType->clear();                                              // 9
        cbbBasSpdMtrType->addItems(ToList(zelbor::kSpeedMeterItems));

        SetTransferButtonsEnabled(false);                                       // 10

        const auto profile = zelbor::ExecutableFolder() / "Profiles" / "DefaultProfile.el";
        LoadProfile(ToQString(profile));                                        // 11
        LoadLanguageList(zelbor::LanguagesIniPath());                           // 12
        if (!LoadInfos())                                                       // 13
            return;
        SetMainLanguage();                                                      // 14
        Hooks().startupWarning(*this);                                          // 15
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
    const std::filesystem::path virtualFolder(zelbor::VirtualPortFolder());
    cbbPort->clear();
    for (const std::string& port : zelbor::ListSerialPorts()) {
        const std::filesystem::path path(port);
        const QString full = QString::fromStdString(port);
        const QString shown = path.parent_path() == virtualFolder ? QString::fromStdString(path.filename().string()) : full;
        cbbPort->addItem(shown, full);
        const int i = cbbPort->count() - 1;
        cbbPort->setItemData(i, full, Qt::ToolTipRole);
        cbbPort->setItemData(i, full, Qt::AccessibleDescriptionRole);
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
    const QString path = SelectedPortPath();
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
    Guarded([&] { Hooks().helpTopic("basic", sender->objectName().toStdString()); });
}

void TMainForm::btnHelp_PedalAssistClick(QObject* sender)
{
    Guarded([&] { Hooks().helpTopic("PedalAssist", sender->objectName().toStdString()); });
}

void TMainForm::btnHelp_ThrottleClick(QObject* sender)
{
    Guarded([&] { Hooks().helpTopic("Throttle", sender->objectName().toStdString()); });
}

void TMainForm::mnHelpFileClick()
{
    Guarded([] {
        const auto pdf = zelbor::ExecutableFolder() / "Help.pdf";
        // A missing document or viewer gives no message.
        Hooks().openUrl(QUrl::fromLocalFile(ToQString(pdf)));
    });
}

void TMainForm::mnAboutClick()
{
    Guarded([] { Hooks().about(); });
}

void TMainForm::imgInfoClick()
{
    Guarded([] { Hooks().about(); });
}

void TMainForm::mnExitClick()
{
    close();
}

// ---- Low-battery field ----

bool TMainForm::cbbBasLowBatKeyPress(QChar key)
{
    return key == QChar(8) || (key >= QLatin1Char('0') && key <= QLatin1Char('9'));
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && cbbBasLowBat
        && (watched == cbbBasLowBat || watched == cbbBasLowBat->lineEdit())) {
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
    QComboBox* box = cbbBasLowBat;
    const QString text = box->currentText();
    if (text.isEmpty() || box->count() == 0)
        return;
    auto select = [box](int index) {
        box->setCurrentIndex(index);
        box->setEditText(box->itemText(index)); // also when that item was already the current one
    };
    int volts = zelbor::StrToInt(text.toStdString());
    const int last = zelbor::StrToInt(box->itemText(box->count() - 1).toStdString());
    if (volts > last) {
        select(box->count() - 1);
        volts = last;
    }
    const int first = zelbor::StrToInt(box->itemText(0).toStdString());
    if (volts < first)
        select(0);
}
