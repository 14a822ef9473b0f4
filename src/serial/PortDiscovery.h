// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Port discovery with injectable roots, so that it can run against a prepared tree.
#include "serial/Adapter.h"

#include <string>
#include <vector>

namespace zelbor {

// sysClassTty: the folder of tty classes (normally "/sys/class/tty"); devRoot: the device
// folder ("/dev"); virtualFolder: the per-user folder of links to virtual ports.
std::vector<std::string> ListSerialPorts(const std::string& sysClassTty, const std::string& devRoot,
                                         const std::string& virtualFolder);

// The adapter behind the tty ttyName ("ttyUSB0") as sysfs describes it under sysClassTty.
AdapterInfo DescribeAdapter(const std::string& sysClassTty, const std::string& ttyName);

// Whether the links of a virtual-port folder may be believed: only a real folder (not a link)
// that belongs to this user and that nobody else may write to.
enum class FolderTrust { Trusted, Missing, NotAFolder, ForeignOwner, WritableByOthers };
FolderTrust CheckVirtualFolder(const std::string& folder);

// Orders names with embedded numbers by value: ttyACM0 < ttyUSB0 < ttyUSB2 < ttyUSB10.
bool NaturalLess(const std::string& a, const std::string& b);

} // namespace zelbor
