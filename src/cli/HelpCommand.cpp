// SPDX-License-Identifier: GPL-3.0-or-later
// help: the overview of all commands, or the help of one, built from the commands themselves.
#include "cli/Command.h"

namespace zelbor::cli {

namespace {

const char kExitStatuses[] = R"(Exit status:
  0    done (diff: controller and profile agree)
  1    diff: some fields differ
  2    usage error
  3    the port cannot be opened (the message says why and what can be done)
  4    no answer from the controller within the time-out
  5    the controller refused a field (the message names it; nothing further is written)
  6    write: a field read back other than it was written
  7    file error: a profile that is missing, unreadable or malformed (the message names the key
       and its line), an output file that exists (see --force) or cannot be written
  8    the line failed during a transfer (a request could not be sent, the port did not open again)
  9    an unexpected error (a fault of this program: please report it with the message)
  130  interrupted (Ctrl+C): the port is closed, no output file is created or changed
)";

const char kCommonOptions[] = R"(Common options:
  --language CODE  texts of the controller's messages in this language (a folder of Languages/,
                   e.g. eng, fra, deu; default: the language the window last used)
  --json           print one JSON object on standard output, also when a command fails
  --timeout MS     longest wait for any answer of the controller (default 3000)
  --trace          every frame sent and every chunk received to standard error, with the
                   time, the direction and the bytes in hex (as the window's line monitor)
  --help           show the help of the command
)";

std::string Overview()
{
    std::string text = R"(Usage: zelbor-cli [options] COMMAND [command options]

Reads, writes and compares the settings of a motor controller over its serial cable, with the
frames, waits and checks of the window.

Commands:
)";
    constexpr std::size_t kColumn = 30; // where the summaries start, after the indent
    for (const Command* command : Commands()) {
        std::string synopsis = command->synopsis;
        synopsis.resize(std::max(kColumn, synopsis.size() + 1), ' ');
        text += "  " + synopsis + command->summary + "\n";
    }
    return text + R"(
zelbor-cli --version shows the program's version.

PORT is a device (/dev/ttyUSB0, COM3) or a name that "ports" shows.
)";
}

std::string HelpText(const std::string& topic)
{
    const Command* command = topic.empty() ? nullptr : FindCommand(topic);
    if (!command)
        return Overview() + "\n" + kCommonOptions + "\n" + kExitStatuses;
    std::string text = command->help + "\n" + kCommonOptions;
    if (command->listsExitStatuses)
        text += std::string("\n") + kExitStatuses;
    return text;
}

Status Help(Context& c)
{
    const std::string text = HelpText(c.options.topic);
    if (!c.options.topic.empty())
        c.report.Set("command", c.options.topic);
    c.report.Set("help", text);
    c.report.Text(text);
    return Status::Ok;
}

} // namespace

const Command& HelpCommand()
{
    static const Command command{
        .name = "help",
        .synopsis = "help [COMMAND]",
        .summary = "show this text, or a command's",
        .help = R"(Usage: zelbor-cli help [COMMAND] [--json]

Shows the overview of all commands, or the help of one; "zelbor-cli COMMAND --help" does the
same. With --json the text is the member "help" of one JSON object.
)",
        .listsExitStatuses = false,
        .usesLanguage = false,
        .run = Help,
    };
    return command;
}

} // namespace zelbor::cli
