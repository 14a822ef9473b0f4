// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What can be found out about a port that does not open, and the texts that say it. A rider whose
// adapter "works with another program" needs to hear which program holds it, which service takes
// such adapters for itself, or that the adapter is gone; the window, the command line and the
// connection check all say it in the same words, taken from the language files.
#include "protocol/LineWatch.h"

#include <string>
#include <string_view>
#include <vector>

namespace zelbor {

// A text of the section DOCTOR of the current language's errors.ini, English built in when the
// file or the key is missing. %1, %2, ... are replaced by the arguments in order.
std::string DoctorText(std::string_view key, std::string_view english, const std::vector<std::string>& args = {});

struct PortHolder {
    long pid = 0;
    std::string name; // the program's name as the system reports it
};

// The processes (other than this one) with the device open, as far as this user may see them:
// every /proc/<pid>/fd entry that is the same character device. Empty on Windows.
std::vector<PortHolder> FindPortHolders(const std::string& device, const std::string& procRoot = "/proc");

// The services known to take USB-serial adapters for themselves that are running (their process
// names: "brltty", "ModemManager"). Empty on Windows.
std::vector<std::string> RunningGrabbers(const std::string& procRoot = "/proc");

// What can be told about a port that could not be opened, one sentence a line (empty when nothing
// is known): the device node is gone, who holds it, which grabbing service runs.
std::string OpenFailureFindings(const std::string& port, const std::string& procRoot = "/proc");

// What a wait without an answer tells, with its cure (empty for Answered).
std::string FindingText(const LineWatch& watch);

// Why the virtual-port folder's ports are not listed, with the cure; empty when the folder is
// trusted or absent.
std::string VirtualFolderText(const std::string& folder);

} // namespace zelbor
