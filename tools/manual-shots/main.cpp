// SPDX-License-Identifier: GPL-3.0-or-later
// Takes the manual's pictures from the program itself, in one language, so that they show what
// this build's window shows: the main window after a read from the virtual controller, the
// start-up warning, the snapshots window with two snapshots, and the status line while the
// controller keeps silent.
//
//   zelbor-manual-shots <shipping folder> <language code> <out folder>
//
// Writes main-window.png, warning.png, snapshots.png and doctor-status.png into the out folder.
// The shipping folder is only read: the run works on a copy of its Languages/ and Profiles/, with
// per-user folders of its own, so the build's folder and the user's home stay as they were.
#include "MainTestSupport.h"

#include "common/Catalogue.h"
#include "common/UserFolders.h"
#include "profile/Snapshot.h"
#include "ui/LineTools.h"
#include "ui/Main.h"

#include <QApplication>
#include <QDateTime>
#include <QDialog>
#include <QFile>
#include <QPixmap>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace zelbor {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kPictures[] = {"main-window.png", "warning.png", "snapshots.png", "doctor-status.png"};

class ShotFailed : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

void Save(const QPixmap& picture, const fs::path& path)
{
    if (picture.isNull())
        throw ShotFailed("nothing to take for " + path.filename().string());
    // Under a temporary name first: a failed run leaves no picture the build would take as made.
    const QString tmp = QString::fromStdString(path.string() + ".tmp");
    if (!picture.save(tmp, "PNG") || !QFile::rename(tmp, QString::fromStdString(path.string()))) {
        QFile::remove(tmp);
        throw ShotFailed("cannot write " + path.string());
    }
}

void Settle()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

// Shows the modal windows without running them, takes their pictures, answers every message box
// with its default, and moves the status line's clock ahead on request.
class ShotSeam : public uitest::ForwardingSeam {
public:
    explicit ShotSeam(fs::path out) : out_(std::move(out)) {}

    int RunDialog(QDialog& dialog) override
    {
        const QString name = dialog.objectName();
        const char* file = name == QLatin1String("frmWarning")     ? "warning.png"
                           : name == QLatin1String("frmSnapshots") ? "snapshots.png"
                                                                   : nullptr;
        if (!file)
            return QDialog::Rejected;
        dialog.show();
        Settle();
        Save(dialog.grab(), out_ / file);
        ++taken;
        dialog.hide();
        return QDialog::Rejected;
    }
    int ShowMessage(const MessageRequest& r) override
    {
        ++messages;
        return r.flags == mbYesNo ? idNo : idOk; // never a write to the controller
    }
    void ShowHelpTopic(const std::string&, const std::string&) override {}
    void ShowAboutWindow() override {}
    void OpenUrl(const QUrl&) override {}
    std::chrono::steady_clock::time_point Now() override { return ForwardingSeam::Now() + ahead; }

    int taken = 0;
    int messages = 0;
    std::chrono::steady_clock::duration ahead{};

private:
    fs::path out_;
};

template <class Pred>
void Await(Pred done, const char* what, int guardMs = 15000)
{
    if (!uitest::PumpUntil(done, guardMs))
        throw ShotFailed(std::string("timed out waiting for ") + what);
}

void Connect(TMainForm& form, uitest::VirtualController& vc)
{
    if (vc.Port().isEmpty())
        throw ShotFailed("the virtual controller did not start: " + vc.Log().toStdString());
    uitest::ChoosePort(form, vc.Port());
    form.btnPortConnectClick();
}

void TakeShots(const fs::path& ship, const std::string& code, const fs::path& out)
{
    // The program's files, copied so that the language choice it stores lands in the copy.
    QTemporaryDir work;
    if (!work.isValid())
        throw ShotFailed("no temporary folder");
    const fs::path root = fs::path(work.path().toStdString());
    fs::copy(ship / "Languages", root / "Languages", fs::copy_options::recursive);
    if (fs::exists(ship / "Profiles"))
        fs::copy(ship / "Profiles", root / "Profiles", fs::copy_options::recursive);
    SetExecutableFolder(root);
    SetUserFolders(root / "settings", root / "data");

    const LanguageList list = ReadLanguageList(LanguagesIniPath());
    if (std::find(list.codes.begin(), list.codes.end(), code) == list.codes.end())
        throw ShotFailed("no language '" + code + "' in " + LanguagesIniPath().string());
    StoreDefaultLanguage(LanguagesIniPath(), code);

    ShotSeam seam(out);
    TMainForm form;
    form.FormShow(); // the start-up warning: warning.png
    if (seam.taken != 1)
        throw ShotFailed("the start-up warning was not shown");
    if (QString::fromStdString(CurrentLanguage) != QString::fromStdString(code))
        throw ShotFailed("the window started in '" + CurrentLanguage + "', not '" + code + "'");
    form.show();
    Settle();

    // A read of all three blocks, which also stores the first snapshot.
    {
        uitest::VirtualController vc({});
        Connect(form, vc);
        Await([&] { return form.btnReadFlash->isEnabled(); }, "the identification");
        const int before = seam.messages;
        form.btnReadFlashClick();
        Await([&] { return seam.messages > before && form.TransferMode == TMainForm::tmIdle; }, "Read Flash");
        Await([&] { return !form.LastSnapshotPath.empty(); }, "the snapshot");
        Settle();
        Save(form.grab(), out / "main-window.png");
        form.btnPortDisconnectClick();
    }

    // A second, older snapshot beside it, as a workshop's command line would have left one.
    if (auto first = ReadSnapshot(form.LastSnapshotPath)) {
        SnapshotHeader older = first->header;
        older.time = QDateTime::currentDateTimeUtc().addDays(-6).toString(Qt::ISODate).toStdString();
        older.source = "zelbor-cli write";
        WriteSnapshot(form.LastSnapshotPath.parent_path(), older, first->values);
    }
    form.mnSnapshotsClick(); // snapshots.png
    if (seam.taken != 2)
        throw ShotFailed("the snapshots window was not shown");

    // A controller that keeps silent: the status line's verdict, once the clock is past the wait.
    {
        uitest::VirtualController silent({QStringLiteral("--silent")});
        Connect(form, silent);
        Await([&] { return !form.LineTools->StatusText().isEmpty(); }, "the status line");
        seam.ahead = LineWatch::kVerdictAfter + 1s;
        form.LineTools->Tick();
        Settle();
        Save(form.statusBar()->grab(), out / "doctor-status.png");
        form.btnPortDisconnectClick();
    }
    SetUserFolders({}, {});
}

} // namespace
} // namespace zelbor

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <shipping folder> <language code> <out folder>\n", argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zelbor Configuration Tool"));
    namespace fs = std::filesystem;
    const fs::path out = fs::path(argv[3]);
    try {
        fs::create_directories(out);
        for (const char* name : zelbor::kPictures)
            fs::remove(out / name);
        zelbor::TakeShots(fs::path(argv[1]), argv[2], out);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
        for (const char* name : zelbor::kPictures)
            fs::remove(out / name);
        return 1;
    }
    return 0;
}
