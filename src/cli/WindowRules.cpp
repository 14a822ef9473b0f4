// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/WindowRules.h"

#include <algorithm>

namespace zelbor::cli {

int CurrentLimitUpperBound(const ControllerInfo& info)
{
    return CurrentLimitMaximum(info).value_or(FindParameter("speBasCurrLim")->maximum);
}

ProfileValues AsTheWindowShows(const ParameterValues& read, const ControllerInfo& info, std::vector<Note>& notes)
{
    ProfileValues shown;
    for (const ParameterField& f : ParameterTable()) {
        const int value = f.Value(read);
        int& out = f.Value(shown);
        out = value;
        if (f.kind == ControlKind::Spin) {
            const int hi = f.control == "speBasCurrLim" ? CurrentLimitUpperBound(info) : f.maximum;
            out = std::clamp(value, f.minimum, std::max(f.minimum, hi));
            if (out != value)
                notes.push_back({&f, "the controller holds " + std::to_string(value) + ", outside " +
                                         std::to_string(f.minimum) + ".." + std::to_string(hi) +
                                         "; the profile keeps " + std::to_string(out)});
        } else if (f.kind == ControlKind::List) {
            if (const KeptByte* kept = f.Kept(read); kept && *kept && value < 0)
                notes.push_back({&f, "the controller's byte " + std::to_string(**kept) +
                                         " is no item of the list; the profile keeps -1 (no selection), which write "
                                         "refuses and diff compares as no selection"});
            else if (kept && *kept)
                notes.push_back({&f, "the controller's byte " + std::to_string(**kept) + " shows as \"" +
                                         (*f.items)[static_cast<std::size_t>(value)] +
                                         "\", which writes another byte"});
        }
    }
    return shown;
}

} // namespace zelbor::cli
