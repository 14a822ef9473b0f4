// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The virtual controller's command line: the options of its line and of its model.
#include "ControllerModel.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace zelbor::vc {

// How the pseudo-terminal is announced and paced.
struct TLineOptions {
    std::string name;       // empty: virtual-controller-<pid>
    std::string folder;     // empty: the per-user virtual-port folder
    long byteTimeUs = 8333; // 1200 baud, 10 bits a byte
    int latencyMs = 0;
    bool hangupStay = false;
};

struct TOptions {
    TLineOptions line;
    TModelOptions model;
    bool help = false; // --help was given: show UsageText() and nothing else
};

// A command line that cannot be followed; what() says why.
class EUsage : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// `args` without the program's name. Throws EUsage.
TOptions ParseOptions(const std::vector<std::string>& args);

const char* UsageText();

} // namespace zelbor::vc
