// SPDX-License-Identifier: GPL-3.0-or-later
// TMainForm: the as-found snapshot taken after the first complete read of a connection.
#include "ui/Main.h"

#include <QPointer>
#include <QTimer>
#include <chrono>

#include "common/Catalogue.h"
#include "common/Errors.h"
#include "common/Ini.h"
#include "profile/Snapshot.h"
#include "ui/PathQt.h"
#include "ui/Report.h"

namespace zelbor {

namespace {

QString SnapshotText(const char* key, const char* def)
{
    const IniFile ini = IniFile::Load(LanguageFile("soft/main.ini"));
    return QString::fromStdString(ini.ReadString("SNAPSHOTS", key, def));
}

} // namespace

void TMainForm::StartSnapshotConnection()
{
    snapshotRead_ = {};
    snapshotDue_ = true;
}

void TMainForm::NoteBlockRead(std::uint8_t block)
{
    const BlockInfo* info = FindBlock(block);
    if (!info || !snapshotDue_)
        return;
    snapshotRead_[static_cast<std::size_t>(info - Blocks().data())] = true;
    if (!snapshotRead_[0] || !snapshotRead_[1] || !snapshotRead_[2] || !editing_.Identification())
        return;
    snapshotDue_ = false; // one attempt per connection, whatever its outcome
    std::filesystem::path folder;
    try {
        folder = SnapshotsFolder();
        LastSnapshotPath = WriteSnapshot(
            folder, MakeSnapshotHeader(*editing_.Identification(), std::chrono::system_clock::now(), "window"),
            editing_.ReportedAsProfile());
    } catch (const EFileError& e) {
        WarnSnapshotFailed(folder.empty() ? QString() : ToQString(folder), QString::fromStdString(e.what()));
    }
}

void TMainForm::WarnSnapshotFailed(const QString& folder, const QString& reason)
{
    // Once per run: the user has been told where the snapshots cannot go, and a warning at every
    // read would only stand in the way of the work.
    if (SnapshotWarnings > 0)
        return;
    ++SnapshotWarnings;
    // The box waits until the transfer step that read the last block has ended, so that the
    // step's own message, mode and port handling stay as they are.
    QPointer<TMainForm> self(this);
    QTimer::singleShot(0, this, [self, folder, reason] {
        if (!self)
            return;
        QString text = SnapshotText("writeFailed", "The settings the controller was found with could not be "
                                                   "stored as a snapshot in the folder %1.")
                           .replace(QStringLiteral("%1"), folder.isEmpty() ? reason : folder);
        text += QStringLiteral("\n\n") + reason;
        ShowMessageBox({"", text, SnapshotText("caption", "Snapshot"), mbIconWarning});
    });
}

} // namespace zelbor
