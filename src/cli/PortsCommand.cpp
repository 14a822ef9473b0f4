// SPDX-License-Identifier: GPL-3.0-or-later
// ports: the serial ports, as the window's port list shows them.
#include "cli/Command.h"
#include "serial/Adapter.h"
#include "serial/Comm.h"

namespace zelbor::cli {

namespace {

Status Ports(Context& c)
{
    Json list = Json::Array{};
    for (const std::string& port : ListSerialPorts()) {
        const std::string shown = PortShownName(port);
        const AdapterInfo adapter = DescribeAdapter(port);
        const std::string summary = AdapterSummary(adapter);
        c.report.Line((shown == port ? port : shown + "\t" + port) + (summary.empty() ? "" : "\t" + summary));
        Json j = Json::Object();
        j.Set("name", shown);
        j.Set("path", port);
        if (!adapter.Empty()) {
            Json a = Json::Object();
            a.Set("vendorId", adapter.vendorId);
            a.Set("productId", adapter.productId);
            a.Set("chip", adapter.chip);
            a.Set("serial", adapter.serial);
            a.Set("driver", adapter.driver);
            a.Set("product", adapter.product);
            j.Set("adapter", a);
        }
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
its link's name, then a tab and its full path. A port with a known adapter behind it is followed
by a tab and the adapter: chip family, USB vendor:product ids, serial number and driver. With
--json each such port has an "adapter" object with the same facts.
)",
        .listsExitStatuses = false,
        .run = Ports,
    };
    return command;
}

} // namespace zelbor::cli
