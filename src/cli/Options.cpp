// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Options.h"

#include "cli/Command.h"
#include "cli/Session.h"

#include <charconv>

namespace zelbor::cli {

namespace {

const OptionDecl* FindIn(const std::vector<OptionDecl>& options, std::string_view name)
{
    for (const OptionDecl& s : options)
        if (name == s.name)
            return &s;
    return nullptr;
}

// The option of that name as some command declares it, and the commands that take it.
const OptionDecl* AnyCommandsOption(std::string_view name, std::vector<std::string>* takers = nullptr)
{
    const OptionDecl* found = nullptr;
    for (const Command* command : Commands()) {
        if (const OptionDecl* s = FindIn(command->options, name)) {
            found = s;
            if (takers)
                takers->push_back(command->name);
        }
    }
    return found;
}

std::chrono::milliseconds Timeout(const std::string& v)
{
    int ms = 0;
    const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), ms);
    if (ec != std::errc{} || end != v.data() + v.size() || ms < 1 || ms > 600000)
        throw Failure(Status::Usage, "--timeout needs a number of milliseconds from 1 to 600000, not '" + v + "'");
    return std::chrono::milliseconds(ms);
}

// The command's own options, checked once the command is known (options may come before it).
void CheckAgainst(const Command& command, const Options& o)
{
    auto given = [&](const std::string& name) { return o.values.count(name) || o.flags.count(name); };
    std::vector<std::string> names;
    for (const auto& [name, value] : o.values)
        names.push_back(name);
    names.insert(names.end(), o.flags.begin(), o.flags.end());
    for (const std::string& name : names) {
        if (FindIn(command.options, name))
            continue;
        std::vector<std::string> takers;
        AnyCommandsOption(name, &takers);
        if (takers.size() == 1)
            throw Failure(Status::Usage, name + " belongs to " + takers.front());
        throw Failure(Status::Usage, command.name + " takes no " + name);
    }
    for (const OptionDecl& option : command.options)
        if (option.required && !given(option.name))
            throw Failure(Status::Usage, command.name + " needs " + option.name + (option.value ? " " : "") +
                                             (option.value ? option.value : ""));
}

} // namespace

std::optional<std::string> Options::Value(std::string_view name) const
{
    const auto it = values.find(name);
    if (it == values.end())
        return std::nullopt;
    return it->second;
}

Options Parse(const std::vector<std::string>& args)
{
    Options o;
    bool help = false;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string a = args[i];
        std::optional<std::string> inlineValue;
        if (a.rfind("--", 0) == 0) {
            if (const auto eq = a.find('='); eq != std::string::npos) {
                inlineValue = a.substr(eq + 1);
                a = a.substr(0, eq);
            }
        }
        auto value = [&]() -> std::string {
            if (inlineValue)
                return *inlineValue;
            if (i + 1 >= args.size())
                throw Failure(Status::Usage, a + " needs a value");
            return args[++i];
        };
        auto flag = [&] {
            if (inlineValue)
                throw Failure(Status::Usage, a + " takes no value");
        };
        if (a == "--help" || a == "-h") {
            flag();
            help = true;
        } else if (a == "--version") {
            flag();
            o.version = true;
        } else if (a == "--json") {
            flag();
            o.json = true;
        } else if (a == "--trace") {
            flag();
            o.trace = true;
        } else if (a == "--language") {
            o.language = value();
        } else if (a == "--timeout") {
            o.timeout = Timeout(value());
        } else if (const OptionDecl* option = AnyCommandsOption(a)) {
            if (option->value) {
                o.values[a] = value();
            } else {
                flag();
                o.flags.insert(a);
            }
        } else if (a.size() > 1 && a[0] == '-') {
            throw Failure(Status::Usage, "unknown option " + a);
        } else {
            positional.push_back(a);
        }
    }
    if (!positional.empty()) {
        o.command = positional.front();
        positional.erase(positional.begin());
    }
    if (o.command == "help") {
        help = true;
        o.command = positional.empty() ? "" : positional.front();
    }
    if (o.version && !help) {
        if (!o.command.empty())
            throw Failure(Status::Usage, "--version takes no command");
        return o;
    }
    if (help) {
        if (!o.command.empty() && !FindCommand(o.command))
            throw Failure(Status::Usage, "unknown command '" + o.command + "'");
        o.topic = o.command;
        o.command = "help";
        return o;
    }
    if (o.command.empty())
        throw Failure(Status::Usage, "no command given");
    const Command* command = FindCommand(o.command);
    if (!command)
        throw Failure(Status::Usage, "unknown command '" + o.command + "'");

    if (positional.size() > (command->operand ? 1u : 0u))
        throw Failure(Status::Usage, "unexpected argument '" + positional.back() + "'");
    if (command->operand) {
        if (positional.empty())
            throw Failure(Status::Usage, o.command + " needs " + command->operand);
        o.operand = positional.front();
    }
    CheckAgainst(*command, o);
    return o;
}

} // namespace zelbor::cli
