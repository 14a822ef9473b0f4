// SPDX-License-Identifier: GPL-3.0-or-later
// The Snapshots window: the as-found snapshots, newest first; the chosen one loads into the main
// window, and the folder opens in the desktop's file manager.
#include "ui/Main.h"

#include <QAction>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "common/AtomicFile.h"
#include "common/Catalogue.h"
#include "common/Errors.h"
#include "common/Ini.h"
#include "common/PathText.h"
#include "profile/Snapshot.h"
#include "ui/PathQt.h"
#include "ui/Report.h"
#include "ui/Seam.h"

namespace zelbor {

namespace {

QString SnapshotsText(const IniFile& ini, const char* key, const char* def)
{
    return QString::fromStdString(ini.ReadString("SNAPSHOTS", key, def));
}

// The stored UTC time in the user's own time zone; the text as stored when it is no time.
QString LocalTime(const std::string& utc)
{
    const QDateTime time = QDateTime::fromString(QString::fromStdString(utc), Qt::ISODate);
    return time.isValid() ? time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                          : QString::fromStdString(utc);
}

} // namespace

void TMainForm::mnSnapshotsClick()
{
    Guarded([this] {
        const IniFile ini = IniFile::Load(LanguageFile("soft/main.ini"));
        const std::filesystem::path folder = SnapshotsFolder(); // no per-user folder: the error says so
        const std::vector<Snapshot> snapshots = ListSnapshots(folder);

        QDialog dialog(this);
        dialog.setObjectName(QStringLiteral("frmSnapshots"));
        dialog.setWindowTitle(SnapshotsText(ini, "title", "Snapshots"));
        auto* layout = new QVBoxLayout(&dialog);
        auto* none = new QLabel(SnapshotsText(ini, "none",
                                              "No snapshot yet. One is stored the first time all three "
                                              "blocks are read after each Connect."),
                                &dialog);
        none->setObjectName(QStringLiteral("lblNoSnapshots"));
        none->setWordWrap(true);
        none->setVisible(snapshots.empty());
        layout->addWidget(none);

        auto* table = new QTableWidget(static_cast<int>(snapshots.size()), 6, &dialog);
        table->setObjectName(QStringLiteral("tblSnapshots"));
        table->setAccessibleName(dialog.windowTitle());
        table->setHorizontalHeaderLabels(
            {SnapshotsText(ini, "date", "Date"), SnapshotsText(ini, "manufacturer", "Manufacturer"),
             SnapshotsText(ini, "model", "Model"), SnapshotsText(ini, "firmware", "Firmware"),
             SnapshotsText(ini, "voltage", "Voltage"), SnapshotsText(ini, "current", "Current")});
        table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        table->setSelectionBehavior(QAbstractItemView::SelectRows);
        table->setSelectionMode(QAbstractItemView::SingleSelection);
        table->setTabKeyNavigation(false); // Tab leaves the list for the buttons, as in the other windows
        table->verticalHeader()->hide();
        table->horizontalHeader()->setStretchLastSection(true);
        for (int row = 0; row < static_cast<int>(snapshots.size()); ++row) {
            const SnapshotHeader& h = snapshots[static_cast<std::size_t>(row)].header;
            int column = 0;
            for (const QString& text : {LocalTime(h.time), QString::fromStdString(h.manufacturer),
                                        QString::fromStdString(h.model), QString::fromStdString(h.firmwareVersion),
                                        QString::fromStdString(h.nominalVoltage), QString::fromStdString(h.maxCurrent)})
                table->setItem(row, column++, new QTableWidgetItem(text));
        }
        table->resizeColumnsToContents();
        if (!snapshots.empty())
            table->selectRow(0);
        layout->addWidget(table);

        auto* buttons = new QDialogButtonBox(&dialog);
        QPushButton* load = buttons->addButton(SnapshotsText(ini, "load", "&Load"), QDialogButtonBox::AcceptRole);
        load->setObjectName(QStringLiteral("btnSnapshotLoad"));
        load->setEnabled(!snapshots.empty());
        load->setDefault(true); // Enter in the list loads the chosen one
        QPushButton* open =
            buttons->addButton(SnapshotsText(ini, "openFolder", "&Open Folder"), QDialogButtonBox::ActionRole);
        open->setObjectName(QStringLiteral("btnSnapshotFolder"));
        QPushButton* close = buttons->addButton(SnapshotsText(ini, "close", "&Close"), QDialogButtonBox::RejectRole);
        close->setObjectName(QStringLiteral("btnSnapshotClose"));
        layout->addWidget(buttons);

        connect(table, &QTableWidget::itemSelectionChanged, load,
                [table, load] { load->setEnabled(!table->selectedItems().isEmpty()); });
        connect(table, &QTableWidget::cellDoubleClicked, &dialog, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
        connect(open, &QPushButton::clicked, &dialog, [folder] {
            std::error_code ec;
            std::filesystem::create_directories(folder, ec); // the file manager needs a folder to show
            Seam().OpenUrl(QUrl::fromLocalFile(ToQString(folder)));
        });

        dialog.resize(620, 320);
        table->setFocus();
        if (Seam().RunDialog(dialog) != QDialog::Accepted || table->selectedItems().isEmpty())
            return;
        const Snapshot& chosen = snapshots[static_cast<std::size_t>(table->currentRow())];
        // The values load as Load loads a profile; Write Flash then restores them. The snapshot
        // does not become the file that Save writes to: it stays as the controller was found.
        const QString path = ToQString(chosen.path);
        std::string probe;
        if (!ReadWholeFile(chosen.path, probe))
            throw EFileError("Cannot read the snapshot \"" + PathText(chosen.path) + "\"");
        ProfileFileName.clear();
        mnSave->setEnabled(false);
        setWindowTitle(QStringLiteral("Zelbor Configuration Tool - ") + QFileInfo(path).fileName());
        LoadProfile(path);
    });
}

} // namespace zelbor
