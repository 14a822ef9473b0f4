// SPDX-License-Identifier: GPL-3.0-or-later
// snapshots: the as-found snapshots the window and write have stored, newest first.
#include "cli/Command.h"
#include "common/PathText.h"
#include "profile/Snapshot.h"

namespace zelbor::cli {

namespace {

Status Snapshots(Context& c)
{
    const std::filesystem::path folder = SnapshotsFolder();
    c.report.Set("folder", PathText(folder));
    Json list = Json::Array{};
    const std::vector<Snapshot> all = ListSnapshots(folder);
    for (const Snapshot& s : all) {
        const SnapshotHeader& h = s.header;
        Json j = Json::Object();
        j.Set("file", PathText(s.path));
        j.Set("time", h.time);
        j.Set("manufacturer", h.manufacturer);
        j.Set("model", h.model);
        j.Set("hardwareVersion", h.hardwareVersion);
        j.Set("firmwareVersion", h.firmwareVersion);
        j.Set("nominalVoltage", h.nominalVoltage);
        j.Set("maxCurrent", h.maxCurrent);
        j.Set("source", h.source);
        list.Push(j);
        c.report.Line(h.time + "\t" + Printable(h.manufacturer) + "\t" + Printable(h.model) + "\t" +
                      Printable(h.firmwareVersion) + "\t" + Printable(h.nominalVoltage) + "\t" +
                      Printable(h.maxCurrent) + "\t" + PathText(s.path));
    }
    c.report.Set("snapshots", list);
    if (all.empty())
        c.report.Line("no snapshots in " + PathText(folder));
    return Status::Ok;
}

} // namespace

const Command& SnapshotsCommand()
{
    static const Command command{
        .name = "snapshots",
        .synopsis = "snapshots",
        .summary = "list the as-found snapshots, newest first",
        .help = R"(Usage: zelbor-cli snapshots [--json]

Lists the as-found snapshots, newest first, one a line: the time (UTC), manufacturer, model,
firmware, nominal voltage and maximum current of the controller, and the file, separated by tabs.
The window stores one the first time all three blocks are read after each Connect, and write
stores one before it writes. Each is an ordinary profile that load, write and diff take as it
stands. They lie in the per-user data folder ($XDG_DATA_HOME/ZelborConfigTool/Snapshots, or
%LOCALAPPDATA%\ZelborConfigTool\Snapshots), for a portable copy too.
)",
        .listsExitStatuses = false,
        .usesLanguage = false,
        .run = Snapshots,
    };
    return command;
}

} // namespace zelbor::cli
