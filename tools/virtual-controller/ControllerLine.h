// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The virtual controller's line: a pseudo-terminal announced in the per-user virtual-port folder,
// paced as a real line at the chosen speed, on which the model's answers are played.
#include "ControllerModel.h"
#include "ControllerOptions.h"

#include <chrono>
#include <string>

namespace zelbor::vc {

// One line on standard error, with the time of day.
void Log(const std::string& what);

// From now on SIGINT and SIGTERM end every wait of the line. False when that cannot be arranged.
bool InstallStopSignals();

class TPseudoTerminal {
public:
    explicit TPseudoTerminal(const TLineOptions& o) : o_(o) {}
    ~TPseudoTerminal() { Unregister(); }
    TPseudoTerminal(const TPseudoTerminal&) = delete;
    TPseudoTerminal& operator=(const TPseudoTerminal&) = delete;

    bool Open();
    // Announces the device with a link in the folder; false (logged) when the folder is not a
    // private one of this user or the name is taken.
    bool Register();
    void Unregister();
    void HangUp();

    int Master() const { return master_; }
    const std::string& Link() const { return link_; }
    const std::string& Device() const { return device_; }

    // Sends bytes at the line's pace; returns false when asked to stop. A receiving UART hands
    // a byte over only after its stop bit, so each byte is written at the end of its time.
    bool Send(const Bytes& bytes);

private:
    const TLineOptions& o_;
    int master_ = -1;
    int slave_ = -1;
    std::string device_;
    std::string link_;
};

// Answers what arrives on the line with the model until a stop signal, or until the model's
// answer hung the line up (unless the options keep it running after that).
void Serve(TPseudoTerminal& port, const TLineOptions& options, TControllerModel& model);

} // namespace zelbor::vc
