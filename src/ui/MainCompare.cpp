// SPDX-License-Identifier: GPL-3.0-or-later
// TMainForm: the comparison with the controller, and the File menu's entries for it and for the
// snapshots.
#include "ui/Main.h"

#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include "common/Catalogue.h"
#include "common/Errors.h"
#include "common/Ini.h"
#include "editing/Differences.h"
#include "ui/Report.h"
#include "ui/Seam.h"

namespace zelbor {

namespace {

QString CompareText(const IniFile& ini, const char* key, const char* def)
{
    return QString::fromStdString(ini.ReadString("COMPARE", key, def));
}

// The values of `block` as a write would send them. A low-battery text that is no number cannot
// be sent: the controller's volts stand in for it, so that the other fields still compare, and
// the caller names the text itself.
ParameterValues EditedValues(const TEditingState& state, std::uint8_t block, const ParameterValues& reported,
                             bool& voltsUnreadable)
{
    voltsUnreadable = false;
    try {
        return state.Values(block);
    } catch (const EConvertError&) {
        voltsUnreadable = true;
    }
    ParameterValues values;
    for (const ParameterField* f : BlockFields(block)) {
        if (f->kind == ControlKind::VoltsText) {
            f->Value(values) = f->Value(reported);
            continue;
        }
        f->Value(values) = state.Value(*f);
        if (KeptByte* kept = f->Kept(values))
            *kept = state.Kept(*f);
    }
    return values;
}

} // namespace

void TMainForm::BuildExtraMenu()
{
    mnCompare = new QAction(QStringLiteral("&Compare with Controller"), this);
    mnCompare->setObjectName(QStringLiteral("mnCompare"));
    mnCompare->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    mnCompare->setShortcutContext(Qt::WindowShortcut);
    mnCompare->setEnabled(false); // as the transfer buttons: after an identification
    mnSnapshots = new QAction(QStringLiteral("S&napshots..."), this);
    mnSnapshots->setObjectName(QStringLiteral("mnSnapshots"));
    mnSnapshots->setShortcutContext(Qt::WindowShortcut);
    mnFileMenu->insertAction(mnExit, mnCompare);
    mnFileMenu->insertAction(mnExit, mnSnapshots);
    mnFileMenu->insertSeparator(mnExit);
    connect(mnCompare, &QAction::triggered, this, [this] { mnCompareClick(); });
    connect(mnSnapshots, &QAction::triggered, this, [this] { mnSnapshotsClick(); });
}

void TMainForm::mnCompareClick()
{
    if (!btnReadFlash->isEnabled())
        return; // not connected: there is nothing to compare with
    Guarded([this] {
        comparing_ = true;
        transfer_.ReadAll(); // read requests only, as Read Flash sends them
    });
}

std::vector<TMainForm::TComparedField> TMainForm::CompareWithController() const
{
    std::vector<TComparedField> out;
    for (const BlockInfo& block : Blocks()) {
        const auto& reported = editing_.Reported(block.code);
        if (!reported)
            continue;
        bool voltsUnreadable = false;
        const ParameterValues edited = EditedValues(editing_, block.code, *reported, voltsUnreadable);
        std::vector<Difference> differing;
        try {
            differing = Differences(block.code, *reported, edited);
        } catch (const EConvertError&) {
            // A list that cannot be encoded (no wheel chosen): every field on its own.
            for (const ParameterField* f : BlockFields(block.code))
                if (editing_.DiffersFromController(*f))
                    differing.push_back({f, std::to_string(f->Value(*reported)), "?"});
        }
        for (const ParameterField* f : BlockFields(block.code)) {
            if (f->kind == ControlKind::VoltsText && voltsUnreadable)
                differing.insert(differing.begin(), {f, std::to_string(f->Value(*reported)), editing_.Text(*f)});
        }
        for (const Difference& d : differing) {
            QWidget* control = ParameterControl(*d.field);
            out.push_back({d.field, pctrlProfile->tabText(d.field->Page()).remove(QLatin1Char('&')),
                           control ? control->accessibleName() : QString::fromStdString(d.field->label),
                           QString::fromStdString(d.first), QString::fromStdString(d.second)});
        }
    }
    return out;
}

void TMainForm::ShowComparison()
{
    const IniFile ini = IniFile::Load(LanguageFile("soft/main.ini"));
    const std::vector<TComparedField> differing = CompareWithController();

    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("frmCompare"));
    dialog.setWindowTitle(CompareText(ini, "title", "Compare with Controller"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* summary = new QLabel(&dialog);
    summary->setObjectName(QStringLiteral("lblCompareSummary"));
    summary->setWordWrap(true);
    if (differing.empty())
        summary->setText(CompareText(ini, "none", "Every field holds what the controller holds."));
    else if (differing.size() == 1)
        summary->setText(CompareText(ini, "one", "1 field differs from the controller."));
    else
        summary->setText(CompareText(ini, "count", "%1 fields differ from the controller.")
                             .replace(QStringLiteral("%1"), QString::number(differing.size())));
    layout->addWidget(summary);
    auto* table = new QTableWidget(static_cast<int>(differing.size()), 4, &dialog);
    table->setObjectName(QStringLiteral("tblCompare"));
    table->setHorizontalHeaderLabels({CompareText(ini, "page", "Page"), CompareText(ini, "field", "Field"),
                                      CompareText(ini, "controller", "Controller"),
                                      CompareText(ini, "window", "Window")});
    table->setAccessibleName(summary->text());
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    for (int row = 0; row < static_cast<int>(differing.size()); ++row) {
        const TComparedField& d = differing[static_cast<std::size_t>(row)];
        int column = 0;
        for (const QString& text : {d.page, d.name, d.controller, d.window})
            table->setItem(row, column++, new QTableWidgetItem(text));
    }
    table->resizeColumnsToContents();
    table->setVisible(!differing.empty());
    summary->setBuddy(table);
    layout->addWidget(table);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    buttons->button(QDialogButtonBox::Close)->setText(CompareText(ini, "close", "&Close"));
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.resize(560, differing.empty() ? 120 : 360);
    Seam().RunDialog(dialog);
}

} // namespace zelbor
