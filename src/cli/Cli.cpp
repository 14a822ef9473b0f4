// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Cli.h"

#include "cli/Command.h"
#include "cli/Texts.h"
#include "common/Errors.h"
#include "common/Version.h"

#include <algorithm>

namespace zelbor::cli {

namespace {

std::string MessageOf(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unexpected error";
    }
}

} // namespace

int ExitStatus(std::exception_ptr error)
{
    if (!error)
        return static_cast<int>(Status::Ok);
    try {
        std::rethrow_exception(error);
    } catch (const Failure& f) {
        return static_cast<int>(f.status());
    } catch (const EFileError&) {
        return static_cast<int>(Status::File);
    } catch (...) {
        return static_cast<int>(Status::Unexpected);
    }
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool progress)
{
    // Known before the arguments are parsed, so that a usage error is JSON too.
    const bool json = std::find(args.begin(), args.end(), "--json") != args.end();
    Report report;
    Status status = Status::Ok;
    try {
        const Options options = Parse(args);
        if (options.version) {
            report.Set("version", ProgramVersion());
            report.Line(std::string("zelbor-cli ") + ProgramVersion());
        } else {
            const Command& command = *FindCommand(options.command);
            if (command.usesLanguage)
                ChooseLanguage(options.language);
            Context c{options, err, progress && !json, report};
            status = command.run(c);
        }
    } catch (...) {
        const std::exception_ptr thrown = std::current_exception();
        status = static_cast<Status>(ExitStatus(thrown));
        const std::string message = MessageOf(thrown);
        err << "zelbor-cli: " << message << "\n";
        if (status == Status::Usage)
            err << "Try 'zelbor-cli --help'.\n";
        report.Error(static_cast<int>(status), message);
    }
    report.Print(out, json);
    return static_cast<int>(status);
}

} // namespace zelbor::cli
