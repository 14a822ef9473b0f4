// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command line's arguments: the options every command takes, and those each command
// declares for itself, checked against the command given.
#include <chrono>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace zelbor::cli {

// An option of one or more commands.
struct OptionDecl {
    const char* name;            // "--out"
    const char* value = nullptr; // what its value is, as the messages name it ("FILE"); nullptr: a flag
    bool required = false;
};

struct Options {
    // The command to run. `help` (or --help) makes it "help", with the command asked about in `topic`.
    std::string command;
    std::string topic;
    bool json = false;
    bool trace = false;   // --trace: every frame sent and chunk received to standard error
    bool version = false; // --version: the program's version, no command
    std::optional<std::string> language;
    std::chrono::milliseconds timeout{3000};
    std::optional<std::string> operand; // the command's one argument (a profile file)

    // The command's own options, by name.
    std::map<std::string, std::string, std::less<>> values;
    std::set<std::string, std::less<>> flags;
    std::optional<std::string> Value(std::string_view name) const;
    bool Flag(std::string_view name) const { return flags.count(name) != 0; }
};

// Throws Failure(Usage) naming what is wrong.
Options Parse(const std::vector<std::string>& args);

} // namespace zelbor::cli
