// SPDX-License-Identifier: GPL-3.0-or-later
// diff: the fields where the controller and a profile differ.
#include "cli/Command.h"
#include "cli/Connection.h"
#include "cli/ProfileFile.h"

namespace zelbor::cli {

namespace {

Status Diff(Context& c)
{
    const ProfileValues profile = CheckedProfile(*c.options.operand);
    const Texts texts;
    Connected session(c, texts);
    const ParameterValues held = session->Read(std::nullopt);
    Json differences = Json::Array{};
    int count = 0;
    for (std::uint8_t b : {bcBasic, bcPedalAssist, bcThrottle}) {
        for (const Difference& d : Differences(b, held, profile)) {
            ++count;
            Json j = FieldJson(*d.field);
            j.Set("controller", d.first);
            j.Set("profile", d.second);
            differences.Push(j);
            c.report.Line(FieldName(texts, *d.field) + ": controller " + d.first + ", profile " + d.second);
        }
    }
    c.report.Set("differences", differences);
    return count ? Status::Differences : Status::Ok;
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
both values as the window shows them. Nothing is written.
)",
        .options = {{"--port", "PORT", true}},
        .operand = "a profile file",
        .run = Diff,
    };
    return command;
}

} // namespace zelbor::cli
