// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Every message box of the program goes through ShowMessageBox, which hands it to the seam
// (ui/Seam.h), so that tests can answer them. ReportError shows a catalogue message; Guarded is
// the general error display of the handlers.
#include <QString>
#include <functional>
#include <string>

#include "protocol/MessageFlags.h" // mbIconError, idYes, ...

namespace zelbor {

inline constexpr const char* kApplicationTitle = "Zelbor Configuration Tool";

struct MessageRequest {
    std::string key; // catalogue key, empty for texts that do not come from the catalogue
    QString text;
    QString caption;
    int flags = 0;
};

// Shows the box through the seam and returns the button id.
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

} // namespace zelbor
