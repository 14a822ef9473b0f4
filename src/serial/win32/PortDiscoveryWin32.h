// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Port discovery from the registry, with an injectable key so that it can run against a
// prepared one.
#include "serial/Adapter.h"

#include <string>
#include <vector>

#include <windows.h>

namespace zelbor {

// The string data of every value of `root`\`subKey`, in the order the registry enumerates the
// values; empty when the key is missing. Values that cannot be read as a string (removed while
// the scan ran, or not of a string type) name no port and are left out.
std::vector<std::string> ListSerialPorts(HKEY root, const std::string& subKey);

// The adapter behind `port` ("COM7") as the device tree below root\enumKey describes it (normally
// HKEY_LOCAL_MACHINE, "SYSTEM\CurrentControlSet\Enum"); empty when no device with USB ids names it.
AdapterInfo DescribeAdapter(HKEY root, const std::string& enumKey, const std::string& port);

} // namespace zelbor
