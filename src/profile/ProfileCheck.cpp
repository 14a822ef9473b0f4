// SPDX-License-Identifier: GPL-3.0-or-later
#include "profile/ProfileCheck.h"

#include "common/PathText.h"
#include "profile/Profile.h"

#include <string>

namespace zelbor {

namespace {

std::string Range(int lo, int hi) { return "outside " + std::to_string(lo) + ".." + std::to_string(hi); }

// The reason a value cannot be written, or "" when it can.
std::string ValueProblem(const ParameterField& field, int value)
{
    switch (field.kind) {
    case ControlKind::Spin: {
        const int lo = field.control == "speBasCurrLim" ? kCurrentLimitMinimum : field.minimum;
        const int hi = field.control == "speBasCurrLim" ? 255 : field.maximum;
        return value < lo || value > hi ? Range(lo, hi) : "";
    }
    case ControlKind::List:
        if (value == -1)
            return "no item selected";
        return value < 0 || value >= field.ItemCount() ? Range(0, field.ItemCount() - 1) + " (the list's items)" : "";
    case ControlKind::VoltsText:
        return value < 0 || value > 255 ? Range(0, 255) : "";
    }
    return "";
}

} // namespace

std::vector<ProfileProblem> CheckProfile(const IniFile& ini)
{
    std::vector<ProfileProblem> problems;
    for (const IniFile::Ignored& ignored : ini.IgnoredLines()) {
        for (const BlockInfo& block : Blocks()) {
            if (!SameIniName(ignored.section, block.section))
                continue; // foreign sections are no concern of the profile
            problems.push_back({ignored.section,
                                ignored.key,
                                ignored.line,
                                {},
                                false,
                                ignored.key.empty() ? "section given twice; only the first is read"
                                                    : "key given twice in its section; only the first is read"});
        }
    }
    for (const ParameterField* field : ProfileOrder()) {
        const char* section = field->Block().section;
        const std::string& key = field->profileKey;
        const auto stored = ini.Value(section, key);
        if (!stored) {
            problems.push_back({section, key, 0, {}, false, "missing"});
            continue;
        }
        const std::size_t line = ini.Line(section, key);
        const auto number = ParseProfileInt(StripMatchingQuotes(*stored));
        if (!number) {
            problems.push_back({section, key, line, *stored, true, "not a whole number"});
            continue;
        }
        if (std::string reason = ValueProblem(*field, *number); !reason.empty())
            problems.push_back({section, key, line, *stored, true, reason});
    }
    return problems;
}

std::string ProblemText(const std::filesystem::path& file, const ProfileProblem& p)
{
    std::string text = PathText(file);
    if (p.line)
        text += ":" + std::to_string(p.line);
    text += ": [" + p.section + "]";
    if (!p.key.empty())
        text += " " + p.key;
    if (p.ofValue)
        text += "=" + p.value;
    return text + ": " + p.reason;
}

} // namespace zelbor
