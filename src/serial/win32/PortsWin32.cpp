// SPDX-License-Identifier: GPL-3.0-or-later
// Serial ports present on Windows: the serial-device map that the drivers keep in the registry,
// HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM. Each value stands for one port; its data is
// the port name (COM3), its name only the driver's device (\Device\Serial0). Read-only: the key is
// never created.
#include "serial/Adapter.h"
#include "serial/Comm.h"
#include "serial/win32/PortDiscoveryWin32.h"

namespace zelbor {

std::vector<std::string> ListSerialPorts(HKEY root, const std::string& subKey)
{
    std::vector<std::string> result;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return result;

    // All names first, then the data: the list is the state of one moment, not a mix.
    std::vector<std::string> names;
    DWORD count = 0;
    DWORD longestName = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &longestName, nullptr,
                         nullptr, nullptr) == ERROR_SUCCESS) {
        std::string name(longestName + 1, '\0');
        for (DWORD i = 0;; ++i) {
            DWORD length = static_cast<DWORD>(name.size());
            const LONG r = RegEnumValueA(key, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
            if (r == ERROR_MORE_DATA) { // a longer name appeared since the count
                name.resize(name.size() * 2);
                --i;
                continue;
            }
            if (r != ERROR_SUCCESS)
                break;
            names.emplace_back(name.data(), length);
        }
    }

    for (const auto& name : names) {
        DWORD type = 0;
        DWORD bytes = 0;
        if (RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ))
            continue;
        std::string data(bytes + 1, '\0');
        if (RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &bytes) !=
            ERROR_SUCCESS)
            continue;
        data.resize(bytes);
        // Stored strings usually carry their terminating zero, but need not.
        while (!data.empty() && data.back() == '\0')
            data.pop_back();
        result.push_back(data);
    }
    RegCloseKey(key);
    return result;
}

std::vector<std::string> ListSerialPorts()
{
    return ListSerialPorts(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM");
}

// Windows has no folder of virtual-port links: a virtual port is a driver that enters itself in
// the serial-device map like any other.
std::string VirtualPortFolder() { return {}; }

// Virtual ports are drivers of the serial-device map here, named like any other port.
std::string PortShownName(const std::string& port) { return port; }

// The adapter's ids would come from SetupAPI's device properties; not read yet, so the list
// shows no adapter details on Windows.
AdapterInfo DescribeAdapter(const std::string&) { return {}; }

} // namespace zelbor
