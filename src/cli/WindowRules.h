// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's rules for values, as the command line needs them: the current limit's upper bound
// after an identification, and what the window holds after a read (what Save As would store).
// Kept together here because the editing state shared with the window is to take their place.
#include "profile/Profile.h"
#include "protocol/Communication.h"
#include "protocol/Parameters.h"

#include <string>
#include <vector>

namespace zelbor::cli {

// The current limit's upper bound for this controller: its maximum current, or the field's own
// maximum when the identification gives none.
int CurrentLimitUpperBound(const ControllerInfo& info);

// A field whose value a profile cannot keep as the controller holds it, and what it keeps instead.
struct Note {
    const ParameterField* field;
    std::string text;
};

// The values the window holds after Connect and Read Flash, which its Save As stores: spin values
// within the control's range (the current limit's upper bound is the controller's maximum
// current), no item where a list has none for the byte. The low-battery volts are kept as read;
// the window, which keeps the text it showed before when the volts are not among those offered,
// would store a value the controller does not hold. What cannot be stored as read is noted.
ProfileValues AsTheWindowShows(const ParameterValues& read, const ControllerInfo& info, std::vector<Note>& notes);

} // namespace zelbor::cli
