// SPDX-License-Identifier: GPL-3.0-or-later
// TMainForm: the three parameter pages, their controls made from the parameter table.
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
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <stdexcept>

#include "ui/Access.h"
#include "ui/MainWidgets.h"
#include "ui/Pictures.h"
#include "ui/Report.h"

namespace zelbor {

namespace {

using namespace mainwidgets;

constexpr int kListWidth = 172; // "By Display's Command" and the drop-down arrow

// The parameter of that name; the table names every parameter control the window builds.
const ParameterField& Field(const std::string& control)
{
    const ParameterField* field = FindParameter(control);
    if (!field)
        throw std::logic_error("no parameter " + control);
    return *field;
}

QStringList ItemTexts(const ParameterField& field)
{
    QStringList out;
    for (const std::string& s : *field.items)
        out << QString::fromStdString(s);
    return out;
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
} // namespace

// ---- The widgets of the window's layout (MainWidgets.h) ----

namespace mainwidgets {

QLabel* MakeLabel(const char* name, const QString& text, Shade shade)
{
    auto* label = new QLabel(text);
    label->setObjectName(QLatin1String(name));
    UseShade(label, shade);
    return label;
}

QPushButton* MakeButton(const char* name, const char* text, const char* hint)
{
    auto* button = new QPushButton(QString::fromLatin1(text));
    button->setObjectName(QLatin1String(name));
    button->setToolTip(QString::fromLatin1(hint));
    return button;
}

QFont BoldFont(int pointSize)
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
} // namespace mainwidgets

QSpinBox* TMainForm::MakeParameterSpin(const char* control)
{
    const ParameterField& field = Field(control);
    auto* spin = new QSpinBox;
    spin->setObjectName(QString::fromStdString(field.control));
    spin->setFixedWidth(72);
    fieldViews_.Add(field, spin); // with its range
    return spin;
}

QComboBox* TMainForm::MakeParameterList(const char* control, int width, bool filled)
{
    const ParameterField& field = Field(control);
    auto* list = new QComboBox;
    list->setObjectName(QString::fromStdString(field.control));
    list->setEditable(false);
    if (filled) {
        FillList(list);
        list->setCurrentIndex(-1);
    }
    FitListWidth(list, width);
    fieldViews_.Add(field, list);
    return list;
}

void TMainForm::FillList(QComboBox* list)
{
    list->clear();
    list->addItems(ItemTexts(Field(list->objectName().toStdString())));
}

QComboBox* TMainForm::MakeLowBatteryBox(const char* control)
{
    const ParameterField& field = Field(control);
    auto* box = new QComboBox;
    box->setObjectName(QString::fromStdString(field.control));
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert); // Enter must not add the typed text as an item
    box->setCompleter(nullptr);                // no inline completion: the text is what was typed
    FitListWidth(box, 72);
    fieldViews_.Add(field, box); // with the volts it proposes
    return box;
}

QToolButton* TMainForm::HelpButton(const std::string& name)
{
    const auto buttons = HelpButtons();
    const auto info =
        std::find_if(buttons.begin(), buttons.end(), [&](const HelpButtonInfo& b) { return name == b.name; });
    if (info == buttons.end())
        throw std::logic_error("no help button " + name);
    void (TMainForm::*handler)(QObject*) = info->block == bcBasic         ? &TMainForm::btnHelp_BasicClick
                                           : info->block == bcPedalAssist ? &TMainForm::btnHelp_PedalAssistClick
                                                                          : &TMainForm::btnHelp_ThrottleClick;
    auto* button = new QToolButton;
    button->setObjectName(QString::fromStdString(name));
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
    const auto help = [this](const char* control) { return HelpButton(Field(control).helpButton); };
    int row = 0;

    cbbBasLowBat = MakeLowBatteryBox("cbbBasLowBat");
    cbbBasLowBat->installEventFilter(this);
    cbbBasLowBat->lineEdit()->installEventFilter(this);
    // Only changes made by the user run the range adjustment.
    connect(cbbBasLowBat->lineEdit(), &QLineEdit::textEdited, this,
            [this] { Guarded([this] { cbbBasLowBatChange(); }); });
    connect(cbbBasLowBat, &QComboBox::activated, this, [this] { Guarded([this] { cbbBasLowBatChange(); }); });

    AddFieldRow(grid, row, 0, MakeLabel("lblBasLowBat", QStringLiteral("Low Battery Protection [V]:")),
                help("cbbBasLowBat"), cbbBasLowBat);

    speBasCurrLim = MakeParameterSpin("speBasCurrLim");
    AddFieldRow(grid, row, 0, MakeLabel("lblBasCurrLim", QStringLiteral("Current Limit [A]:"), Shade::Red),
                help("speBasCurrLim"), speBasCurrLim);

    grid->addItem(new QSpacerItem(1, 6), row++, 0);
    // The levels' column has a button of its own; the limits' columns have their fields' buttons.
    QToolButton* columnHelp[3] = {HelpButton("btnHelp_Basic_AssistsLevel"), help("speBasAssist0CurrLim"),
                                  help("speBasAssist0SpdLim")};
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
        speBasAssistCurrLim[level] = MakeParameterSpin(QStringLiteral("speBasAssist%1CurrLim").arg(n).toLatin1());
        speBasAssistSpdLim[level] = MakeParameterSpin(QStringLiteral("speBasAssist%1SpdLim").arg(n).toLatin1());
        grid->addWidget(label, row, 0);
        grid->addWidget(speBasAssistCurrLim[level], row, 2, Qt::AlignHCenter);
        grid->addWidget(speBasAssistSpdLim[level], row, 3, Qt::AlignHCenter);
        ++row;
        // The label names the level; each of its two fields says which limit it holds.
        label->setBuddy(speBasAssistCurrLim[level]);
        accessRows_.push_back({0,
                               label,
                               nullptr,
                               nullptr,
                               {speBasAssistCurrLim[level], speBasAssistSpdLim[level]},
                               {QStringLiteral("Assist %1 current limit [%]").arg(level),
                                QStringLiteral("Assist %1 speed limit [%]").arg(level)}});
    }
    grid->addItem(new QSpacerItem(1, 6), row++, 0);

    cbbBasSpdMtrType = MakeParameterList("cbbBasSpdMtrType", 160, false); // filled at start-up
    {
        QLabel* label = MakeLabel("lblBasSpdMtrType", QStringLiteral("Speed Meter Type: "), Shade::Red);
        QToolButton* helpButton = help("cbbBasSpdMtrType");
        grid->addWidget(label, row, 0);
        grid->addWidget(helpButton, row, 1);
        grid->addWidget(cbbBasSpdMtrType, row, 2, 1, 2); // the longest items need both columns
        ++row;
        label->setBuddy(cbbBasSpdMtrType);
        accessRows_.push_back({0, label, nullptr, helpButton, {cbbBasSpdMtrType}, {}});
    }

    speBasSpdMtrSig = MakeParameterSpin("speBasSpdMtrSig");
    AddFieldRow(grid, row, 0, MakeLabel("lblBasSpdMtrSig", QStringLiteral("Speed Meter Signals: "), Shade::Red),
                help("speBasSpdMtrSig"), speBasSpdMtrSig);

    cbbBasWheelDiam = MakeParameterList("cbbBasWheelDiam", 72, false); // filled at start-up
    AddFieldRow(grid, row, 0, MakeLabel("lblBasWheelDiam", QStringLiteral("Wheel Diameler [Inch]: ")),
                help("cbbBasWheelDiam"), cbbBasWheelDiam);

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
    int row = 0;
    const auto help = [this](QWidget* field) {
        return HelpButton(Field(field->objectName().toStdString()).helpButton);
    };
    auto addRow = [&](QLabel* label, QWidget* field) { AddFieldRow(grid, row, 1, label, help(field), field); };

    cbbPASPedalSensType = MakeParameterList("cbbPASPedalSensType", kListWidth);
    addRow(MakeLabel("lblPASPedalSensType", QStringLiteral("Pedal Sensor Type: "), Shade::Red), cbbPASPedalSensType);
    cbbPASDesigAssist = MakeParameterList("cbbPASDesigAssist", kListWidth);
    addRow(MakeLabel("lblPASDesigAssist", QStringLiteral("Designated Assist Level: ")), cbbPASDesigAssist);
    cbbPASSpdLim = MakeParameterList("cbbPASSpdLim", kListWidth);
    addRow(MakeLabel("lblPASSpdLim", QStringLiteral("Speed Limit: ")), cbbPASSpdLim);

    spePASStartCurr = MakeParameterSpin("spePASStartCurr");
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
        QToolButton* helpButton = help(spePASStartCurr);
        AddParameterRow(grid, row, pair, helpButton, spePASStartCurr);
        label->setBuddy(spePASStartCurr);
        accessRows_.push_back({1, label, note, helpButton, {spePASStartCurr}, {}});
    }
    cbbPASSlowStartMode = MakeParameterList("cbbPASSlowStartMode", 72);
    addRow(MakeLabel("lblPASSlowStartMode", QStringLiteral("Slow-start Mode (1-8) "), Shade::Purple),
           cbbPASSlowStartMode);
    spePASStartDeg = MakeParameterSpin("spePASStartDeg");
    addRow(MakeLabel("lblPASStartDeg", QStringLiteral("Start Degree (Signal No.): ")), spePASStartDeg);
    cbbPASWorkMode = MakeParameterList("cbbPASWorkMode", kListWidth);
    {
        QLabel* label = MakeLabel("lblPASWorkMode", QStringLiteral("WorkMode (AngPedalSpeed/wheel*10)"), Shade::Red);
        label->setWordWrap(true); // the longest label of the page: two lines rather than clipped
        addRow(label, cbbPASWorkMode);
    }
    spePASStopDelay = MakeParameterSpin("spePASStopDelay");
    addRow(MakeLabel("lblPASStopDelay", QStringLiteral("Stop Delay [x10ms]: ")), spePASStopDelay);
    spePASCurrDecay = MakeParameterSpin("spePASCurrDecay");
    addRow(MakeLabel("lblPASCurrDecay", QStringLiteral("Current Decay (1-8): ")), spePASCurrDecay);
    spePASStopDecay = MakeParameterSpin("spePASStopDecay");
    addRow(MakeLabel("lblPASStopDecay", QStringLiteral("Stop Decay [x10ms]: ")), spePASStopDecay);
    spePASKeepCurr = MakeParameterSpin("spePASKeepCurr");
    addRow(MakeLabel("lblPASKeepCurr", QStringLiteral("Keep Current [%]")), spePASKeepCurr);

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
    int row = 0;
    auto addRow = [&](QLabel* label, QWidget* field) {
        AddFieldRow(grid, row, 2, label, HelpButton(Field(field->objectName().toStdString()).helpButton), field);
    };

    speThrStartVolt = MakeParameterSpin("speThrStartVolt");
    addRow(MakeLabel("lblThrStartVolt", QStringLiteral("Start Voltage [x100mV]: "), Shade::Purple), speThrStartVolt);
    speThrEndVolt = MakeParameterSpin("speThrEndVolt");
    addRow(MakeLabel("lblThrEndVolt", QStringLiteral("End Voltage [x100mV]: "), Shade::Purple), speThrEndVolt);
    cbbThrMode = MakeParameterList("cbbThrMode", kListWidth);
    addRow(MakeLabel("lblThrMode", QStringLiteral("Mode: ")), cbbThrMode);
    cbbThrAssistLvl = MakeParameterList("cbbThrAssistLvl", kListWidth);
    addRow(MakeLabel("lblThrAssistLvl", QStringLiteral("Designated Assist Level: "), Shade::Purple), cbbThrAssistLvl);
    edThrSpeedLim = MakeParameterList("edThrSpeedLim", kListWidth);
    addRow(MakeLabel("lblThrSpeedLim", QStringLiteral("Speed Limit: ")), edThrSpeedLim);
    speThrStartCurr = MakeParameterSpin("speThrStartCurr");
    addRow(MakeLabel("lblThrStartCurr", QStringLiteral("Start Current [%]: "), Shade::Red), speThrStartCurr);

    btnThrRead = MakeButton("btnThrRead", "READ", "Read only the throttle handle settings from controller");
    btnThrWrite = MakeButton("btnThrWrite", "WRITE", "Write only the throttle handle settings to controller");
    AddTransferButtonRow(grid, row, 3, btnThrRead, btnThrWrite);

    connect(btnThrRead, &QPushButton::clicked, this, [this] { btnThrReadClick(); });
    connect(btnThrWrite, &QPushButton::clicked, this, [this] { btnThrWriteClick(); });
    return tabThrottleHandle;
}

} // namespace zelbor
