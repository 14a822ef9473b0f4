// SPDX-License-Identifier: GPL-3.0-or-later
// read: all three blocks into a profile, as the window's Save As would store them after Read Flash.
#include "cli/Command.h"
#include "cli/Connection.h"
#include "cli/ProfileFile.h"
#include "common/AtomicFile.h"
#include "common/Errors.h"
#include "common/PathText.h"

#include <filesystem>

namespace zelbor::cli {

namespace {

namespace fs = std::filesystem;

bool Exists(const fs::path& path)
{
    std::error_code ec;
    return fs::exists(path, ec) || fs::is_symlink(path, ec);
}

// A field whose value the profile cannot keep as the controller holds it, and what it keeps instead.
struct Note {
    const ParameterField* field;
    std::string text;
};

// What the window's rules made of the values read, where the profile differs from the controller:
// a number beyond the field's current range, a list byte no item gives back.
std::vector<Note> Notes(const TEditingState& state, const ParameterValues& profile)
{
    std::vector<Note> notes;
    for (const ParameterField& f : ParameterTable()) {
        const std::optional<ParameterValues>& reported = state.Reported(f.block);
        if (!reported)
            continue;
        const int held = f.Value(*reported);
        const int kept = f.Value(profile);
        if (f.kind == ControlKind::Spin && kept != held) {
            const TFieldRange range = state.Range(f);
            notes.push_back({&f, "the controller holds " + std::to_string(held) + ", outside " +
                                     std::to_string(range.minimum) + ".." + std::to_string(range.maximum) +
                                     "; the profile keeps " + std::to_string(kept)});
        } else if (const KeptByte* byte = f.Kept(*reported); f.kind == ControlKind::List && byte && *byte) {
            if (kept < 0)
                notes.push_back({&f, "the controller's byte " + std::to_string(**byte) +
                                         " is no item of the list; the profile keeps -1 (no selection), which "
                                         "write refuses and diff compares as no selection"});
            else
                notes.push_back({&f, "the controller's byte " + std::to_string(**byte) + " shows as \"" +
                                         (*f.items)[static_cast<std::size_t>(kept)] + "\", which writes another byte"});
        }
    }
    return notes;
}

[[noreturn]] void ExistsAlready(const std::string& name)
{
    throw Failure(Status::File, name + ": the file exists (give --force to replace it)");
}

// Whatever would stop the file from being written, found before the controller is asked: a read
// takes seconds, and its values would be lost.
void CheckOutput(const std::string& name, bool force)
{
    const fs::path out = PathFromText(name);
    std::error_code ec;
    if (fs::is_directory(out, ec))
        throw Failure(Status::File, name + ": is a folder, not a file");
    if (!force && Exists(out))
        ExistsAlready(name);
    const fs::path folder = ResolveWriteTarget(out).folder;
    if (!fs::is_directory(folder, ec))
        throw Failure(Status::File, name + ": the folder \"" + PathText(folder) + "\"" +
                                        (Exists(folder) ? " is not a folder" : " does not exist"));
}

Status Read(Context& c)
{
    const std::string name = *c.options.Value("--out");
    const bool force = c.options.Flag("--force");
    CheckOutput(name, force);
    const Texts texts;
    Connected session(c, texts);
    session->Read(std::nullopt);
    session->Close();

    // What the window's Save As would store after Read Flash.
    const ProfileValues shown = session->State().ReportedAsProfile();
    Json warnings = Json::Array{};
    for (const Note& n : Notes(session->State(), shown)) {
        c.err << "zelbor-cli: warning: " << FieldName(texts, *n.field) << ": " << n.text << "\n";
        Json w = FieldJson(*n.field);
        w.Set("warning", n.text);
        warnings.Push(w);
    }
    c.report.Set("warnings", warnings);

    if (StopRequested()) // nothing is written after Ctrl+C
        throw Failure(Status::Interrupted, "interrupted");
    if (!force && Exists(PathFromText(name))) // created meanwhile
        ExistsAlready(name);
    try {
        SaveWholeProfile(PathFromText(name), shown);
    } catch (const EFileError& e) {
        throw Failure(Status::File, e.what());
    }
    c.report.Set("file", name);
    c.report.Line(name);
    return Status::Ok;
}

} // namespace

const Command& ReadCommand()
{
    static const Command command{
        .name = "read",
        .synopsis = "read --port PORT --out FILE",
        .summary = "read all settings into a profile file (*.el)",
        .help = R"(Usage: zelbor-cli read --port PORT --out FILE [--force] [--json] [--language CODE] [--timeout MS]

Connects, reads the Basic, Pedal Assist and Throttle Handle blocks as Read Flash does and saves
them as a profile in the window's format, with the values the window would show. The file is
written whole or not at all. An existing file is replaced only with --force, and then whole:
none of its lines stay. A FILE that cannot be written where it is named (its folder missing, a
folder of that name) is refused before the controller is asked. A value the window could not
show as the controller holds it (beyond a field's range, a byte without a list item) is named on
standard error.
)",
        .options = {{"--port", "PORT", true}, {"--out", "FILE", true}, {"--force"}},
        .run = Read,
    };
    return command;
}

} // namespace zelbor::cli
