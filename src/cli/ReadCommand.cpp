// SPDX-License-Identifier: GPL-3.0-or-later
// read: all three blocks into a profile, as the window's Save As would store them after Read Flash.
#include "cli/Command.h"
#include "cli/Connection.h"
#include "cli/ProfileFile.h"
#include "cli/WindowRules.h"
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
    const ParameterValues read = session->Read(std::nullopt);
    session->Close();

    std::vector<Note> notes;
    const ProfileValues shown = AsTheWindowShows(read, session->Info(), notes);
    Json warnings = Json::Array{};
    for (const Note& n : notes) {
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
