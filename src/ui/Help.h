// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <string>

namespace zelbor {

// Shows the help for one "?" button: section `section` of Languages/<CurrentLanguage>/help/<topic>.ini,
// in a modal TfrmHelp; returns when it has been closed. Topic files and main.ini are read afresh each time.
void ShowHelpTopic(const std::string& topic, const std::string& section);

} // namespace zelbor
