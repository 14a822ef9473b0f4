// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace zelbor {

class TMainForm;

// Shows the modal start-up warning; copies the main window's language entries and selection and
// switches the language through the main window when the user picks one in the dialog.
void ShowStartupWarning(TMainForm& mainForm);

} // namespace zelbor
