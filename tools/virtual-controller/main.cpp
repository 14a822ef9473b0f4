// SPDX-License-Identifier: GPL-3.0-or-later
// A controller on a pseudo-terminal, for development and for users without a bike. It
// announces its port in the per-user virtual-port folder, answers identification, block
// reads and block writes like the real controller, and can be told to misbehave
// (ControllerOptions.cpp lists how). The controller itself is ControllerModel.h, its line
// ControllerLine.h.
#include "ControllerLine.h"
#include "ControllerModel.h"
#include "ControllerOptions.h"
#include "serial/Comm.h"

#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

int main(int argc, char** argv)
{
    using namespace zelbor::vc;
    TOptions o;
    try {
        o = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const EUsage& e) {
        std::fprintf(stderr, "zelbor-virtual-controller: %s\nTry --help.\n", e.what());
        return 2;
    }
    if (o.help) {
        std::fputs(UsageText(), stdout);
        return 0;
    }
    if (o.line.name.empty())
        o.line.name = "virtual-controller-" + std::to_string(getpid());
    if (o.line.folder.empty())
        o.line.folder = zelbor::VirtualPortFolder();
    if (!InstallStopSignals())
        return 1;

    TPseudoTerminal port(o.line);
    if (!port.Open() || !port.Register())
        return 1;
    std::printf("PORT %s\n", port.Link().c_str());
    std::fflush(stdout);
    Log("serving " + port.Device() + " as " + port.Link());

    TControllerModel model(o.model, Log);
    Serve(port, o.line, model);
    port.Unregister();
    Log("stopped");
    return 0;
}
