// SPDX-License-Identifier: GPL-3.0-or-later
// ports: the serial ports, as the window's port list shows them.
#include "cli/Command.h"
#include "serial/Comm.h"

namespace zelbor::cli {

namespace {

Status Ports(Context& c)
{
    Json list = Json::Array{};
    for (const std::string& port : ListSerialPorts()) {
        const std::string shown = PortShownName(port);
        c.report.Line(shown == port ? port : shown + "\t" + port);
        Json j = Json::Object();
        j.Set("name", shown);
        j.Set("path", port);
        list.Push(j);
    }
    c.report.Set("ports", list);
    return Status::Ok;
}

} // namespace

const Command& PortsCommand()
{
    static const Command command{
        .name = "ports",
        .synopsis = "ports",
        .summary = "list the serial ports",
        .help = R"(Usage: zelbor-cli ports [--json]

Lists the serial ports as the window's port list shows them, one a line. A virtual port shows
its link's name, then a tab and its full path.
)",
        .listsExitStatuses = false,
        .run = Ports,
    };
    return command;
}

} // namespace zelbor::cli
