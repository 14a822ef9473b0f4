// SPDX-License-Identifier: GPL-3.0-or-later
// TMainForm: the marks on the controls whose value differs from what the controller last
// reported, and the line under the pages that counts them.
#include "ui/Main.h"

#include <QAction>
#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QStatusBar>
#include <QGroupBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <set>

#include "common/Errors.h"
#include "common/Ini.h"
#include "editing/Differences.h"
#include "ui/AssistChart.h"

namespace zelbor {

namespace {

// Blue: the labels' red, purple and black say how risky a field is; the mark says only that the
// value is not the controller's, and must not be read as a risk.
const QColor kMarkColour(0x1f, 0x6f, 0xd1);
constexpr int kMarkWidth = 4;

// A bar over the left edge of a control, following its size; the control stays usable under it.
class TDifferenceMark : public QWidget {
public:
    explicit TDifferenceMark(QWidget* control) : QWidget(control)
    {
        setObjectName(QStringLiteral("differenceMark"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        control->installEventFilter(this);
        Place();
        hide();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == parent() && event->type() == QEvent::Resize)
            Place();
        return false;
    }
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), kMarkColour); }

private:
    void Place()
    {
        setGeometry(0, 0, kMarkWidth, parentWidget()->height());
        raise();
    }
};

// The controller's value of a field as the window shows it.
QString ControllerText(const ParameterField& field, const ParameterValues& reported)
{
    try {
        return QString::fromStdString(FieldText(field, FieldBits(field, EncodeBlock(field.block, reported))));
    } catch (const EConvertError&) {
        return QString::number(field.Value(reported));
    }
}

QString Text(const IniFile& ini, const char* key, const char* def)
{
    return QString::fromStdString(ini.ReadString("MARKS", key, def));
}

} // namespace

void TMainForm::BuildDifferenceMarks()
{
    for (const ParameterField& field : ParameterTable())
        differenceMarks_.push_back(new TDifferenceMark(ParameterControl(field)));
    lblDifferences = new QLabel;
    lblDifferences->setObjectName(QStringLiteral("lblDifferences"));
    // Under the pages and the panel, outside the client area whose size the design fixes.
    statusBar()->setSizeGripEnabled(false);
    statusBar()->addWidget(lblDifferences, 1);
    // The chart in the right panel's free space, under Controller Info.
    imgAssistChart = new TAssistChart(editing_);
    if (auto* box = qobject_cast<QVBoxLayout*>(pGeneral->layout()))
        box->insertWidget(box->indexOf(gbControllerInfo) + 1, imgAssistChart);
    SetMainExtrasLanguage(IniFile());
    editing_.AddListener([this](const TEditingChange&) { UpdateDifferenceMarks(); });
}

void TMainForm::SetMainExtrasLanguage(const IniFile& ini)
{
    marksOne_ = Text(ini, "one", "1 field differs from the controller, on the page %2.");
    marksMany_ = Text(ini, "many", "%1 fields differ from the controller, on the pages %2.");
    marksNone_ = Text(ini, "none", "Every field holds what the controller reported.");
    marksController_ = Text(ini, "controller", "controller: %1");
    if (imgAssistChart) {
        const auto chart = [&ini](const char* key, const char* def) {
            return QString::fromStdString(ini.ReadString("CHART", key, def));
        };
        imgAssistChart->SetTexts({chart("name", "Assist levels"), chart("current", "Current [%]"),
                                  chart("speed", "Speed [%]"), chart("controller", "controller"),
                                  chart("rising", "Levels below the level before them: %1.")});
    }
    if (mnCompare)
        mnCompare->setText(QString::fromStdString(ini.ReadString("COMPARE", "menu", "&Compare with Controller")));
    if (mnSnapshots)
        mnSnapshots->setText(QString::fromStdString(ini.ReadString("SNAPSHOTS", "menu", "S&napshots...")));
    UpdateDifferenceMarks();
}

bool TMainForm::FieldMarked(const ParameterField& field) const
{
    const std::size_t i = static_cast<std::size_t>(&field - ParameterTable().data());
    return i < differenceMarks_.size() && !differenceMarks_[i]->isHidden();
}

void TMainForm::UpdateDifferenceMarks()
{
    if (differenceMarks_.size() != ParameterTable().size() || !lblDifferences)
        return;
    int count = 0;
    bool anyRead = false;
    std::set<int> pages;
    std::size_t i = 0;
    for (const ParameterField& field : ParameterTable()) {
        QWidget* mark = differenceMarks_[i++];
        QWidget* control = ParameterControl(field);
        const auto& reported = editing_.Reported(field.block);
        anyRead = anyRead || reported.has_value();
        const bool differs = editing_.DiffersFromController(field);
        mark->setVisible(differs);
        const QString description =
            differs ? QString(marksController_).replace(QStringLiteral("%1"), ControllerText(field, *reported))
                    : QString();
        if (control->accessibleDescription() != description)
            control->setAccessibleDescription(description);
        if (differs) {
            ++count;
            pages.insert(field.Page());
        }
    }
    QStringList names;
    for (int page : pages)
        names << pctrlProfile->tabText(page).remove(QLatin1Char('&'));
    const QString pageList = names.join(QStringLiteral(", "));
    QString line;
    if (count == 1)
        line = QString(marksOne_).replace(QStringLiteral("%2"), pageList);
    else if (count > 1)
        line = QString(marksMany_)
                   .replace(QStringLiteral("%1"), QString::number(count))
                   .replace(QStringLiteral("%2"), pageList);
    else if (anyRead)
        line = marksNone_;
    lblDifferences->setText(line);
}

} // namespace zelbor
