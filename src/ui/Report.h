#pragma once
// Every message box of the program goes through ShowMessageBox, so that tests can answer them.
// ReportError shows a catalogue message; Guarded is the general error display of the handlers.
#include <QString>
#include <functional>
#include <string>

// Message-box style words and the identifiers of the button that closed a box.
// They are the program's own names (the system's message-box header defines its own as macros).
namespace zelbor {
inline constexpr int mbYesNo = 4;
inline constexpr int mbIconError = 16;
inline constexpr int mbIconWarning = 48;
inline constexpr int mbIconInformation = 64;
inline constexpr int idOk = 1;
inline constexpr int idYes = 6;
inline constexpr int idNo = 7;
} // namespace zelbor

inline constexpr const char* kApplicationTitle = "Zelbor Configuration Tool";

struct MessageRequest {
    std::string key; // catalogue key, empty for texts that do not come from the catalogue
    QString text;
    QString caption;
    int flags = 0;
};

using MessageBoxHandler = std::function<int(const MessageRequest&)>;

// Replaces the handler that shows message boxes; an empty handler restores the real box.
// Returns the handler that was installed before.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// The one seam: shows the box (or hands it to the installed handler) and returns the button id.
int ShowMessageBox(const MessageRequest& request);

// The real, application-modal box: icon and buttons from the flags (16, 48, 64: OK; 4: Yes/No).
int ShowRealMessageBox(const MessageRequest& request);

// Catalogue message: caption GetErrorCaption(key), text GetErrorMessage(key).
int ReportError(const std::string& key, int flags);

// The general error display: an error box under the application title.
void ShowErrorText(const QString& text);

// Runs a handler; an exception escaping it is shown by the general error display and ends the
// handler there. Returns false when the handler ended that way. Nothing ever reaches Qt's event loop.
bool Guarded(const std::function<void()>& handler);
