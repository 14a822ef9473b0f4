// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command line's commands (ports, identify, read, write, diff) on the core and the serial
// component, without Qt. Run returns the exit status; the program's main only adds the signals.
#include <ostream>
#include <string>
#include <vector>

namespace zelbor::cli {

// `args` without the program's name. `out` gets the results, `err` the messages; `progress`:
// whether a line a block goes to `err` while a transfer runs (the caller's terminal test).
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool progress);

} // namespace zelbor::cli
