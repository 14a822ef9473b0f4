// SPDX-License-Identifier: GPL-3.0-or-later
// TMainForm: profile files and the File menu.
#include "ui/Main.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>

#include "common/AtomicFile.h"
#include "common/Catalogue.h"
#include "common/UserFolders.h"
#include "profile/Profile.h"
#include "ui/PathQt.h"
#include "ui/Report.h"
#include "ui/Seam.h"

namespace zelbor {

namespace {

bool FileExists(const QString& name)
{
    const QFileInfo info(name);
    return info.exists() && !info.isDir();
}

QString ProfilesFolder() { return ToQString(ProfileDialogFolder()); }

} // namespace

void TMainForm::LoadProfile(const QString& fileName) { editing_.ApplyProfile(ReadProfile(ToPath(fileName))); }

void TMainForm::SaveProfile(const QString& fileName)
{
    // The low-battery text first: no number, nothing written.
    WriteProfile(ToPath(fileName), editing_.Values());
}

void TMainForm::SetCaptionForProfile()
{
    setWindowTitle(QStringLiteral("Zelbor Configuration Tool - ") + QFileInfo(ProfileFileName).fileName());
}

void TMainForm::mnSaveClick()
{
    Guarded([this] {
        if (ProfileFileName.isEmpty()) {
            mnSave->setEnabled(false);
            return;
        }
        if (FileExists(ProfileFileName)) {
            SaveProfile(ProfileFileName);
            return;
        }
        MessageRequest request;
        request.key = "err1";
        request.text = QString::fromStdString(GetErrorMessage("err1"));
        request.caption = QStringLiteral("File load error");
        request.flags = mbIconError;
        ShowMessageBox(request);
    });
}

void TMainForm::mnSaveAsClick()
{
    Guarded([this] {
        SaveFileDialog->setDirectory(ProfilesFolder());
        if (const auto name = Seam().RunFileDialog(*SaveFileDialog))
            SaveFileDialogCanClose(*name);
    });
}

void TMainForm::mnLoadClick()
{
    Guarded([this] {
        LoadFileDialog->setDirectory(ProfilesFolder());
        if (const auto name = Seam().RunFileDialog(*LoadFileDialog))
            LoadFileDialogCanClose(*name);
    });
}

void TMainForm::LoadFileDialogCanClose(const QString& fileName)
{
    Guarded([&] {
        if (fileName.isEmpty())
            return;
        if (!FileExists(fileName)) {
            ReportError("err2", mbIconError);
            return;
        }
        // A file that is there but cannot be read (a FIFO, a device, no permission) would load as
        // "no keys" and reset every value to its default: say so and change nothing instead.
        std::string probe;
        if (!ReadWholeFile(ToPath(fileName), probe)) {
            const QString why = QFileInfo(fileName).isFile() ? QStringLiteral("it cannot be read")
                                                             : QStringLiteral("it is not a regular file");
            ShowErrorText(QStringLiteral("Cannot load the profile \"%1\": %2.").arg(fileName, why));
            return;
        }
        ProfileFileName = fileName;
        mnSave->setEnabled(true);
        SetCaptionForProfile();
        LoadProfile(fileName);
    });
}

void TMainForm::SaveFileDialogCanClose(const QString& fileName)
{
    Guarded([&] {
        if (fileName.isEmpty())
            return;
        if (FileExists(fileName) && ReportError("err3", mbYesNo) == idNo)
            return;
        const QString name = QFileInfo(fileName).fileName();
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        const QString extension = dot >= 0 ? name.mid(dot) : QString();
        const QString target = extension == QLatin1String(".el") ? fileName : fileName + QStringLiteral(".el");
        // The extension appended may name another existing profile: never overwrite it unasked.
        if (target != fileName && FileExists(target) && ReportError("err3", mbYesNo) == idNo)
            return;
        ProfileFileName = target;
        SaveProfile(ProfileFileName);
        mnSave->setEnabled(true);
        SetCaptionForProfile();
    });
}

} // namespace zelbor
