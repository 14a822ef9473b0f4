// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A command of the command line: its name, its help, the options it takes and what it does. Each
// command lives in a file of its own and is listed once in Commands.cpp; parsing, help and
// dispatch take everything else from here.
#include "cli/Options.h"
#include "cli/Output.h"
#include "cli/Session.h"

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace zelbor::cli {

// What a command works with while it runs.
struct Context {
    const Options& options;
    std::ostream& err; // warnings, and the progress of a transfer
    bool progress;     // whether a line a block goes to `err` while a transfer runs
    Report& report;    // the results, printed when the command ends, whether it succeeds or not
};

struct Command {
    std::string name{};
    std::string synopsis{}; // the overview of all commands: its arguments ("read --port PORT --out FILE")
    std::string summary{};  // and what it does, in one line
    std::string help{};     // its own help: the usage line and what it does
    std::vector<OptionDecl> options{};
    const char* operand = nullptr; // its one argument, as a message names it ("a profile file"); nullptr: none
    bool listsExitStatuses = true; // its help lists the exit statuses
    bool usesLanguage = true;      // it needs the language chosen (and a --language given checked) first
    // Runs the command: Ok, or the status of a result that is no failure (diff's differences).
    // A failure is thrown (Failure, EFileError).
    Status (*run)(Context&) = nullptr;
};

// Every command, in the order the help lists them.
const std::vector<const Command*>& Commands();
const Command* FindCommand(std::string_view name);

} // namespace zelbor::cli
