// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Everything the windows hand to the user's time or to the desktop: the fixed waits of a transfer,
// message boxes, file dialogs, the modal windows and opening a document or address. The program
// runs the real ones; a test or the fuzzer installs a seam of its own that records, answers at
// once or looks into a dialog, and nothing else of the program changes.
#include <QString>
#include <chrono>
#include <optional>
#include <string>

class QDialog;
class QFileDialog;
class QUrl;

namespace zelbor {

class TMainForm;
struct MessageRequest;

class TSeam {
public:
    virtual ~TSeam() = default;

    // A fixed wait of the transfer sequence. It blocks the GUI thread without dispatching events,
    // so a chunk that arrives meanwhile is handled only after the running handler has returned.
    virtual void Wait(std::chrono::milliseconds length);
    // The time the status line measures a wait by. Only a seam of a test or a build tool moves it
    // ahead, to see what the window shows after a wait without waiting.
    virtual std::chrono::steady_clock::time_point Now();
    // A modal message box (ShowRealMessageBox); the identifier of the button that closed it.
    virtual int ShowMessage(const MessageRequest& request);
    // A file dialog; the accepted file name, or nullopt when it was cancelled.
    virtual std::optional<QString> RunFileDialog(QFileDialog& dialog);
    // A built auxiliary window (warning, help, About), run modally; its result.
    virtual int RunDialog(QDialog& dialog);
    // The modal windows the main window starts.
    virtual void ShowStartupWarning(TMainForm& mainForm);
    virtual void ShowHelpTopic(const std::string& topic, const std::string& section);
    virtual void ShowAboutWindow();
    // A document or web address, opened by the desktop's program for it; failures are not reported.
    virtual void OpenUrl(const QUrl& url);
};

// The seam in use: the one installed last, or the real one.
TSeam& Seam();
// Installs `seam` (nullptr: the real one again) and returns the one installed before, or nullptr
// for the real one. The seam must outlive its installation.
TSeam* SetSeam(TSeam* seam);

} // namespace zelbor
