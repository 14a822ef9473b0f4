// SPDX-License-Identifier: GPL-3.0-or-later
// doctor: the checks of a connection that does not work, for one port or all, in the words the
// window uses; with a port, one identification attempt and a verdict.
#include "cli/Command.h"
#include "cli/Connection.h"
#include "cli/Texts.h"
#include "protocol/LineWatch.h"
#include "serial/Adapter.h"
#include "serial/Comm.h"
#include "serial/Doctor.h"

#include <chrono>

namespace zelbor::cli {

namespace {

void CheckPort(Context& c, const std::string& port, Json& list)
{
    const std::string shown = PortShownName(port);
    const AdapterInfo adapter = DescribeAdapter(port);
    const std::string summary = AdapterSummary(adapter);
    c.report.Line((shown == port ? port : shown + "\t" + port) + (summary.empty() ? "" : "\t" + summary));
    Json j = Json::Object();
    j.Set("name", shown);
    j.Set("path", port);
    if (!summary.empty())
        j.Set("adapter", summary);
    // Who holds the port and which service takes such adapters matter even when it opens: two
    // programs reading one line each get half of every reply.
    Json findings = Json::Array{};
    const std::string text = OpenFailureFindings(port);
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string line = text.substr(start, end - start);
        c.report.Line("  " + line);
        findings.Push(line);
        start = end + 1;
    }
    j.Set("findings", findings);
    list.Push(j);
}

Status Doctor(Context& c)
{
    const auto given = c.options.Value("--port");
    if (const std::string folder = VirtualFolderText(VirtualPortFolder()); !folder.empty()) {
        c.report.Line(folder);
        c.report.Set("virtualFolder", folder);
    }
    Json ports = Json::Array{};
    const std::vector<std::string> all = given ? std::vector<std::string>{ResolvePort(*given)} : ListSerialPorts();
    if (all.empty())
        c.report.Line("No serial port found: plug the adapter in; if it is in and still missing, its driver did not "
                      "take it (see the system log).");
    for (const std::string& port : all)
        CheckPort(c, port, ports);
    c.report.Set("ports", ports);
    if (!given)
        return Status::Ok;

    // One identification attempt, watched as the window's status line watches it.
    const Texts texts;
    Session session(c.options.timeout, {}, [&texts](std::uint8_t block) { return texts.Block(block); });
    LineWatch watch;
    const bool trace = c.options.trace;
    std::ostream& err = c.err;
    session.SetLineTap([&](LineDirection direction, std::span<const std::uint8_t> bytes) {
        const bool sent = direction == LineDirection::Sent;
        if (sent)
            watch.Sent(bytes, LineWatch::Clock::now());
        else
            watch.Received(bytes);
        if (trace)
            err << MonitorLine(std::chrono::system_clock::now(), sent, bytes) << std::endl;
    });
    Json verdict = Json::Object();
    try {
        session.Connect(all.front());
    } catch (const Failure& f) {
        // A port that does not open has said why in the failure's own message.
        std::string text = f.what();
        if (f.status() == Status::NoAnswer) {
            text = FindingText(watch);
            c.report.Line(text);
        }
        verdict.Set("identified", false);
        verdict.Set("finding", text);
        c.report.Set("verdict", verdict);
        throw Failure(f.status(), f.status() == Status::NoAnswer ? "the controller did not identify" : f.what());
    }
    const ControllerInfo& info = session.Info();
    const std::string text = "The controller answered: " + Printable(Latin1ToUtf8(ManufacturerText(info))) + " " +
                             Printable(Latin1ToUtf8(ModelText(info))) + ", firmware " +
                             Printable(Latin1ToUtf8(FirmwareVersionText(info))) + ".";
    c.report.Line(text);
    verdict.Set("identified", true);
    verdict.Set("finding", text);
    c.report.Set("verdict", verdict);
    return Status::Ok;
}

} // namespace

const Command& DoctorCommand()
{
    static const Command command{
        .name = "doctor",
        .synopsis = "doctor [--port PORT]",
        .summary = "find out why a connection does not work",
        .help = R"(Usage: zelbor-cli doctor [--port PORT] [--json] [--timeout MS] [--trace]

Checks every serial port, or PORT: the adapter behind it, the program that holds it, a braille
or modem service that takes such adapters, a vanished device, and a virtual-port folder that is
not this user's own. With --port it then tries to identify the controller once (for --timeout,
default 3000 ms) and prints a verdict from what came back: nothing, the request itself (a
loop), bytes that are no reply, or a reply too short; and what to do about it. Exit status 0
when the controller identified (or, without --port, when the checks ran).
)",
        .options = {{"--port", "PORT", false}},
        .run = Doctor,
    };
    return command;
}

} // namespace zelbor::cli
