// SPDX-License-Identifier: GPL-3.0-or-later
// write: a checked profile to the controller, read back and compared field by field.
#include "cli/Command.h"
#include "cli/Connection.h"
#include "cli/ProfileFile.h"
#include "common/AtomicFile.h"
#include "common/Errors.h"
#include "common/Ini.h"
#include "common/PathText.h"
#include "editing/EditingState.h"
#include "profile/Snapshot.h"

#include <chrono>

#include <algorithm>

namespace zelbor::cli {

namespace {

std::optional<std::uint8_t> BlockOption(const std::optional<std::string>& name)
{
    if (!name)
        return std::nullopt;
    if (*name == "basic")
        return bcBasic;
    if (*name == "pedal-assist")
        return bcPedalAssist;
    if (*name == "throttle")
        return bcThrottle;
    throw Failure(Status::Usage, "--block is basic, pedal-assist or throttle, not '" + *name + "'");
}

std::vector<std::uint8_t> BlocksOf(std::optional<std::uint8_t> block)
{
    if (block)
        return {*block};
    return {bcBasic, bcPedalAssist, bcThrottle};
}

// What the controller holds after a write that ended early, block by block: a script must learn
// which of the blocks it asked for are now the profile's, whatever stopped the write.
void ReportStop(Context& c, const Texts& texts, Session& session, const std::vector<std::uint8_t>& asked)
{
    const std::vector<std::uint8_t>& acknowledged = session.Acknowledged();
    const std::optional<std::uint8_t> unacknowledged = session.Unacknowledged();
    const ParameterField* refused = session.RefusedField();
    Json written = Json::Array{}, unconfirmed = Json::Array{};
    for (std::uint8_t b : asked) {
        std::string state;
        if (std::find(acknowledged.begin(), acknowledged.end(), b) != acknowledged.end()) {
            written.Push(BlockName(b));
            state = "written, not read back";
        } else if (refused && refused->block == b) {
            state = "refused";
        } else if (unacknowledged == b) {
            unconfirmed.Push(BlockName(b));
            state = "sent, not acknowledged (the controller may hold it or not)";
        } else {
            state = "not written";
        }
        c.report.Line(texts.Block(b) + ": " + state);
    }
    c.report.Set("written", written);
    c.report.Set("unacknowledged", unconfirmed);
}

// Reads all three blocks and stores what the controller holds as an as-found snapshot, before
// anything is written. A snapshot that cannot be stored stops the write: the settings it would
// keep could otherwise be lost by the very write it was taken for; --no-snapshot is the way past.
void StoreAsFound(Context& c, Session& session)
{
    session.Read(std::nullopt); // the session's state keeps what the controller reported
    std::filesystem::path path;
    try {
        path = WriteSnapshot(SnapshotsFolder(),
                             MakeSnapshotHeader(session.Info(), std::chrono::system_clock::now(), "zelbor-cli write"),
                             session.State().ReportedAsProfile());
    } catch (const EFileError& e) {
        throw Failure(Status::File, std::string(e.what()) + "\nnothing was written; --no-snapshot writes without one");
    }
    c.report.Set("snapshot", PathText(path));
    // Standard output keeps the write's own lines; a terminal hears where the snapshot went
    // with the progress of the transfer (JSON names it, and `snapshots` lists it).
    if (c.progress)
        c.err << "as found: " << PathText(path) << "\n";
}

[[noreturn]] void AboveMaximumCurrent(const std::string& file, const ProfileValues& values, int upper)
{
    const ParameterField& limit = *FindParameter("speBasCurrLim");
    std::string text;
    ReadWholeFile(PathFromText(file), text);
    const std::size_t line = IniFile::Parse(text).Line(limit.Block().section, limit.profileKey);
    throw Failure(Status::File, file + (line ? ":" + std::to_string(line) : "") + ": [Basic] " + limit.profileKey +
                                    "=" + std::to_string(limit.Value(values)) +
                                    ": above the controller's maximum current of " + std::to_string(upper) + " A");
}

Status Write(Context& c)
{
    const std::optional<std::uint8_t> block = BlockOption(c.options.Value("--block"));
    const std::string& file = *c.options.operand;
    const ProfileValues values = CheckedProfile(file);
    const Texts texts;
    Connected session(c, texts);

    // The window would hold a current limit above the controller's maximum at that maximum; a
    // profile written unattended must not go out as other than it reads, so it is refused.
    TEditingState& state = session->State();
    const ParameterField& limit = *FindParameter("speBasCurrLim");
    const int upper = state.Range(limit).maximum;
    if (limit.Value(values) > upper && (!block || *block == bcBasic))
        AboveMaximumCurrent(file, values, upper);

    if (!c.options.Flag("--no-snapshot"))
        StoreAsFound(c, *session);

    const std::vector<std::uint8_t> asked = BlocksOf(block);
    // The blocks go out as the editing state holds the profile, as after the window's Load. The
    // checks above leave it nothing to change in the blocks asked for; should it change a field
    // all the same, nothing is sent.
    state.ApplyProfile(values);
    const ParameterValues sent = state.Values(); // the read-back below replaces the state's values
    for (std::uint8_t b : asked)
        if (const std::vector<Difference> changed = Differences(b, values, sent); !changed.empty())
            throw Failure(Status::Unexpected, FieldName(texts, *changed.front().field) + ": the profile's " +
                                                  changed.front().first + " would be written as " +
                                                  changed.front().second + "; nothing was written");
    Json blocks = Json::Array{};
    for (std::uint8_t b : asked)
        blocks.Push(BlockName(b));
    c.report.Set("blocks", blocks);
    ParameterValues readBack;
    try {
        session->Write(block);
        readBack = session->Read(block);
    } catch (const Failure& f) {
        ReportStop(c, texts, *session, asked);
        if (f.status() == Status::Refused && session->RefusedField()) {
            const ParameterField& field = *session->RefusedField();
            Json r = FieldJson(field);
            r.Set("message", f.what());
            c.report.Set("refused", r);
            throw Failure(Status::Refused, FieldName(texts, field) + ": " + f.what());
        }
        throw;
    }
    Json written = Json::Array{};
    for (std::uint8_t b : session->Acknowledged())
        written.Push(BlockName(b));
    c.report.Set("written", written);
    c.report.Set("unacknowledged", Json::Array{});

    Json mismatches = Json::Array{};
    int count = 0;
    for (std::uint8_t b : asked) {
        const std::vector<Difference> differing = Differences(b, sent, readBack);
        for (const Difference& d : differing) {
            ++count;
            Json m = FieldJson(*d.field);
            m.Set("written", d.first);
            m.Set("readBack", d.second);
            mismatches.Push(m);
            c.report.Line(FieldName(texts, *d.field) + ": written " + d.first + ", read back " + d.second);
        }
        if (differing.empty())
            c.report.Line(texts.Block(b) + ": written and read back");
    }
    c.report.Set("mismatches", mismatches);
    if (count)
        throw Failure(Status::Mismatch, std::to_string(count) + (count == 1 ? " field reads" : " fields read") +
                                            " back other than written");
    return Status::Ok;
}

} // namespace

const Command& WriteCommand()
{
    static const Command command{
        .name = "write",
        .synopsis = "write --port PORT FILE",
        .summary = "write a profile, read it back and compare every field",
        .help = R"(Usage: zelbor-cli write --port PORT FILE [--block basic|pedal-assist|throttle] [--no-snapshot]
                  [--json] [--language CODE] [--timeout MS]

Checks the whole profile first (every key present once, a whole number in its field's range, a
list value one of its items, the current limit within the controller's maximum current): a
malformed profile is refused before anything is sent. Then writes all three blocks as Write
Flash does, or the one block given, reads them back and compares them field by field. A refused
field is named with the controller's message, and nothing further is written. A write that stops
early (a refused field, a lost line, Ctrl+C) says block by block what the controller now holds:
written (acknowledged), refused, sent without an acknowledgement, or not written; in JSON the
members "written" and "unacknowledged" list the blocks.

Before it writes anything, it reads all three blocks and stores what the controller holds as an
as-found snapshot (see "zelbor-cli snapshots"); in JSON the member "snapshot" names the file. A
snapshot that cannot be stored stops the write before anything is sent; --no-snapshot skips it.
)",
        .options = {{"--port", "PORT", true}, {"--block", "BLOCK"}, {"--no-snapshot"}},
        .operand = "a profile file",
        .run = Write,
    };
    return command;
}

} // namespace zelbor::cli
