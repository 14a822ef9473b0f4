// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Command.h"

namespace zelbor::cli {

// Each command is defined in a file of its own (PortsCommand.cpp, ...). A new one is that file and
// its line in each list below; the help lists the commands in this order.
const Command& PortsCommand();
const Command& IdentifyCommand();
const Command& ReadCommand();
const Command& WriteCommand();
const Command& DiffCommand();
const Command& DoctorCommand();
const Command& SnapshotsCommand();
const Command& HelpCommand();

const std::vector<const Command*>& Commands()
{
    static const std::vector<const Command*> all = {
        &PortsCommand(), &IdentifyCommand(),  &ReadCommand(),   &WriteCommand(),
        &DiffCommand(),  &SnapshotsCommand(), &DoctorCommand(), &HelpCommand(),
    };
    return all;
}

const Command* FindCommand(std::string_view name)
{
    for (const Command* command : Commands())
        if (command->name == name)
            return command;
    return nullptr;
}

} // namespace zelbor::cli
