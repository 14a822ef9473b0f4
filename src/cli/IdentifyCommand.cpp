// SPDX-License-Identifier: GPL-3.0-or-later
// identify: the controller's identification under the window's captions.
#include "cli/Command.h"
#include "cli/Connection.h"
#include "protocol/Transfer.h"

namespace zelbor::cli {

namespace {

Status Identify(Context& c)
{
    const Texts texts;
    Connected session(c, texts);
    for (const std::string& line : session.IdentificationLines())
        c.report.Line(line);
    return Status::Ok;
}

// The request goes out again once the timer has run after the wait that follows each request,
// and after the wait before the next one: about 660 ms apart, not the timer's 500.
std::string Help()
{
    using S = TTransferSequence;
    const auto period = S::kIdentifyWait + S::kConnectRetryInterval + S::kIdentifyWait;
    return R"(Usage: zelbor-cli identify --port PORT [--json] [--language CODE] [--timeout MS]

Connects as the window's Connect does (the identification request again about every )" +
           std::to_string(period.count()) + R"( ms
until the controller answers) and shows manufacturer, model, hardware and firmware version,
nominal voltage and maximum current.
)";
}

} // namespace

const Command& IdentifyCommand()
{
    static const Command command{
        .name = "identify",
        .synopsis = "identify --port PORT",
        .summary = "show the controller's identification",
        .help = Help(),
        .options = {{"--port", "PORT", true}},
        .run = Identify,
    };
    return command;
}

} // namespace zelbor::cli
