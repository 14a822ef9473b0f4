// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command line's commands (ports, identify, read, write, diff) on the core and the serial
// component, without Qt. Run returns the exit status; the program's main only adds the signals.
#include <exception>
#include <ostream>
#include <string>
#include <vector>

namespace zelbor::cli {

// `args` without the program's name. `out` gets the results, `err` the messages; `progress`:
// whether a line a block goes to `err` while a transfer runs (the caller's terminal test).
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool progress);

// The exit status of a command that ended with `error`: a step's Failure gives its own status, an
// error of a file 7; anything else is a fault of the program, 9, whatever was thrown. Scripts
// branch on these numbers, so they are kept in one place.
int ExitStatus(std::exception_ptr error);

} // namespace zelbor::cli
