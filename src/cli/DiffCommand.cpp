// SPDX-License-Identifier: GPL-3.0-or-later
// diff: the fields where the controller and a profile differ. It compares, it writes nothing, so
// it takes every profile it can read, whatever write would refuse to send.
#include "cli/Command.h"
#include "cli/Connection.h"
#include "cli/ProfileFile.h"
#include "common/Ini.h"
#include "common/PathText.h"

namespace zelbor::cli {

namespace {

// The profile as diff reads it: every key present once and a whole number. A value outside its
// range, a list index without an item (-1 is what read stores for a byte without one) or a current
// limit above the controller's maximum is compared as it stands. A key that is missing or no
// number is refused: the window would take a default, and the comparison would report a value
// the file does not hold; a key given twice is refused, as it is unclear which one is meant.
ProfileValues ComparableProfile(const std::string& name)
{
    const std::string text = ReadProfileText(name);
    std::vector<ProfileProblem> unreadable;
    for (const ProfileProblem& p : CheckProfile(IniFile::Parse(text)))
        if (!p.ofValue || !ParseProfileInt(StripMatchingQuotes(p.value)))
            unreadable.push_back(p);
    if (!unreadable.empty())
        RefuseProfile("the profile cannot be compared as it is:", PathFromText(name), unreadable);
    return ParseProfile(text);
}

// A field of the profile against the bits the controller holds, as a Difference (controller
// first). A list index outside the list shows no item in the window, as a byte without an item
// does: the two agree.
std::optional<Difference> Compare(const ParameterField& f, unsigned held, const ProfileValues& profile)
{
    const int value = f.Value(profile);
    bool same = false;
    std::string shown;
    if (f.kind != ControlKind::List) {
        same = value >= 0 && static_cast<unsigned>(value) == held;
        shown = std::to_string(value);
    } else if (value < 0 || value >= f.ItemCount()) {
        same = f.ItemIndex(held) < 0;
        shown = value == -1 ? "no selection" : "index " + std::to_string(value) + " (no item)";
    } else {
        const unsigned bits = f.ItemBits(value) & f.Mask();
        same = bits == held;
        shown = FieldText(f, bits);
    }
    if (same)
        return std::nullopt;
    return Difference{&f, FieldText(f, held), shown};
}

Status Diff(Context& c)
{
    const ProfileValues profile = ComparableProfile(*c.options.operand);
    const Texts texts;
    Connected session(c, texts);
    const ParameterValues held = session->Read(std::nullopt);
    Json differences = Json::Array{};
    int count = 0;
    for (std::uint8_t b : {bcBasic, bcPedalAssist, bcThrottle}) {
        const Bytes bytes = EncodeBlock(b, held);
        for (const ParameterField* f : BlockFields(b)) {
            const std::optional<Difference> d = Compare(*f, FieldBits(*f, bytes), profile);
            if (!d)
                continue;
            ++count;
            Json j = FieldJson(*f);
            j.Set("controller", d->first);
            j.Set("profile", d->second);
            differences.Push(j);
            c.report.Line(FieldName(texts, *f) + ": controller " + d->first + ", profile " + d->second);
        }
    }
    c.report.Set("differences", differences);
    if (count)
        return Status::Differences;
    c.report.Line("no differences (" + std::to_string(ParameterTable().size()) + " fields compared)");
    return Status::Ok;
}

} // namespace

const Command& DiffCommand()
{
    static const Command command{
        .name = "diff",
        .synopsis = "diff --port PORT FILE",
        .summary = "show the fields where controller and profile differ",
        .help = R"(Usage: zelbor-cli diff --port PORT FILE [--json] [--language CODE] [--timeout MS]

Reads all three blocks and lists the fields where the controller and the profile differ, with
both values as the window shows them, or says that none differs. Nothing is written, so the
profile need not be fit to be written: a value outside its field's range is compared as it
stands, and a list without a selection (-1, as read stores a byte that is no item of its list)
agrees with a byte that is no item. A profile with a key missing, given twice or not a whole
number is refused.
)",
        .options = {{"--port", "PORT", true}},
        .operand = "a profile file",
        .run = Diff,
    };
    return command;
}

} // namespace zelbor::cli
