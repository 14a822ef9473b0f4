// SPDX-License-Identifier: GPL-3.0-or-later
// Serial ports present on Windows: the serial-device map that the drivers keep in the registry,
// HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM. Each value stands for one port; its data is
// the port name (COM3), its name only the driver's device (\Device\Serial0). Read-only: the key is
// never created.
#include "serial/Adapter.h"
#include "serial/Comm.h"
#include "serial/win32/PortDiscoveryWin32.h"

#include <cctype>

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

namespace {

// The names of a key's sub-keys; empty when it cannot be opened.
std::vector<std::string> SubKeys(HKEY parent, const std::string& path)
{
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    char name[256]; // the longest key name the registry allows is 255 characters
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    RegCloseKey(key);
    return names;
}

// A string value of root\path; empty when missing or not a string.
std::string StringValue(HKEY root, const std::string& path, const char* value)
{
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegGetValueA(root, path.c_str(), value, RRF_RT_REG_SZ, &type, nullptr, &bytes) != ERROR_SUCCESS || !bytes)
        return {};
    std::string data(bytes, '\0');
    if (RegGetValueA(root, path.c_str(), value, RRF_RT_REG_SZ, &type, data.data(), &bytes) != ERROR_SUCCESS)
        return {};
    data.resize(bytes);
    while (!data.empty() && data.back() == '\0')
        data.pop_back();
    return data;
}

bool SameName(std::string a, std::string b)
{
    for (std::string* s : {&a, &b}) {
        if (s->rfind("\\\\.\\", 0) == 0)
            s->erase(0, 4);
        for (char& c : *s)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return a == b;
}

} // namespace

AdapterInfo DescribeAdapter(HKEY root, const std::string& enumKey, const std::string& port)
{
    if (port.empty())
        return {};
    // Enum\<bus>\<device id>\<instance>, whose "Device Parameters" name the port it serves. Only
    // devices with USB ids are looked at: the tree holds thousands of others, none of them an adapter.
    for (const std::string& bus : SubKeys(root, enumKey)) {
        const std::string busPath = enumKey + "\\" + bus;
        for (const std::string& device : SubKeys(root, busPath)) {
            std::string upper = device;
            for (char& c : upper)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (upper.find("VID_") == std::string::npos)
                continue;
            for (const std::string& instance : SubKeys(root, busPath + "\\" + device)) {
                const std::string path = busPath + "\\" + device + "\\" + instance;
                if (!SameName(StringValue(root, path + "\\Device Parameters", "PortName"), port))
                    continue;
                std::string description = StringValue(root, path, "FriendlyName");
                if (description.empty())
                    description = StringValue(root, path, "DeviceDesc");
                return AdapterFromWindowsDevice(bus + "\\" + device + "\\" + instance,
                                                StringValue(root, path, "Service"), description);
            }
        }
    }
    return {};
}

AdapterInfo DescribeAdapter(const std::string& port)
{
    return DescribeAdapter(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum", port);
}

} // namespace zelbor
