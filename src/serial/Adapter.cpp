// SPDX-License-Identifier: GPL-3.0-or-later
// The table of common USB-serial chips. Shared by both platforms: only the reading of the ids
// differs.
#include "serial/Adapter.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <vector>

namespace zelbor {

namespace {

struct ChipEntry {
    const char* vendor;
    const char* product; // nullptr: any product of that vendor id
    const char* family;
};

// Exact ids first, then the vendor-wide fallbacks; the first match wins.
constexpr std::array kChips{
    ChipEntry{"1a86", "7523", "CH340"},
    ChipEntry{"1a86", "7522", "CH340"},
    ChipEntry{"1a86", "5523", "CH341"},
    ChipEntry{"1a86", "55d4", "CH9102"},
    ChipEntry{"1a86", nullptr, "CH340/CH341 family"},
    ChipEntry{"0403", "6001", "FT232R"},
    ChipEntry{"0403", "6010", "FT2232"},
    ChipEntry{"0403", "6011", "FT4232"},
    ChipEntry{"0403", "6014", "FT232H"},
    ChipEntry{"0403", "6015", "FT230X/FT231X"},
    ChipEntry{"0403", nullptr, "FT232 family"},
    ChipEntry{"10c4", "ea60", "CP2102/CP2104"},
    ChipEntry{"10c4", "ea70", "CP2105"},
    ChipEntry{"10c4", "ea71", "CP2108"},
    ChipEntry{"10c4", nullptr, "CP210x"},
    ChipEntry{"067b", "2303", "PL2303"},
    ChipEntry{"067b", nullptr, "PL2303 family"},
};

struct DriverEntry {
    const char* driver;
    const char* family;
};

constexpr std::array kDrivers{
    DriverEntry{"ch341", "CH340/CH341 family"},
    DriverEntry{"ch341-uart", "CH340/CH341 family"},
    DriverEntry{"ftdi_sio", "FT232 family"},
    DriverEntry{"cp210x", "CP210x"},
    DriverEntry{"pl2303", "PL2303 family"},
    DriverEntry{"cdc_acm", "CDC-ACM"},
    // The Windows driver services of the same families.
    DriverEntry{"usbser", "CDC-ACM"},
    DriverEntry{"ch341ser", "CH340/CH341 family"},
    DriverEntry{"ch341ser_a64", "CH340/CH341 family"},
    DriverEntry{"ftser2k", "FT232 family"},
    DriverEntry{"silabser", "CP210x"},
    DriverEntry{"ser2pl", "PL2303 family"},
    DriverEntry{"ser2pl64", "PL2303 family"},
};

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

bool IsHex4(const std::string& s, std::size_t at)
{
    if (at + 4 > s.size())
        return false;
    return std::all_of(s.begin() + static_cast<std::ptrdiff_t>(at), s.begin() + static_cast<std::ptrdiff_t>(at + 4),
                       [](unsigned char c) { return std::isxdigit(c) != 0; });
}

// The four hex digits after "VID_" or "PID_" in a device id, lower case; empty when absent.
std::string IdAfter(const std::string& deviceId, const std::string& tag)
{
    const std::string upper = Lower(deviceId);
    const std::size_t at = upper.find(Lower(tag));
    return at != std::string::npos && IsHex4(deviceId, at + tag.size()) ? Lower(deviceId.substr(at + tag.size(), 4))
                                                                        : std::string();
}

std::vector<std::string> SplitAt(const std::string& text, char separator)
{
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == separator)
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

} // namespace

std::string ChipFamily(const std::string& vendorId, const std::string& productId, const std::string& driver)
{
    const std::string v = Lower(vendorId), p = Lower(productId), d = Lower(driver);
    for (const ChipEntry& e : kChips)
        if (v == e.vendor && (!e.product || p == e.product))
            return e.family;
    for (const DriverEntry& e : kDrivers)
        if (d == e.driver)
            return e.family;
    return {};
}

AdapterInfo AdapterFromWindowsDevice(const std::string& instanceId, const std::string& service,
                                     const std::string& description)
{
    AdapterInfo info;
    const std::vector<std::string> path = SplitAt(instanceId, '\\');
    const std::string enumerator = Lower(path[0]);
    const std::string deviceId = path.size() > 1 ? path[1] : std::string();
    const std::string instance = path.size() > 2 ? path[2] : std::string();
    info.vendorId = IdAfter(deviceId, "VID_");
    info.productId = IdAfter(deviceId, "PID_");
    if (info.productId.empty())
        info.vendorId.clear(); // half an id names no device
    if (enumerator == "usb" && !instance.empty() && instance.find('&') == std::string::npos) {
        // Windows makes up an instance with '&' in it for a device without a serial number of its own.
        info.serial = instance;
    } else if (enumerator == "ftdibus") {
        // The FTDI driver's own bus: "VID_0403+PID_6001+<serial><channel letter>".
        const std::vector<std::string> parts = SplitAt(deviceId, '+');
        if (parts.size() == 3 && parts[2].size() > 1)
            info.serial = parts[2].substr(0, parts[2].size() - 1);
    }
    info.driver = service;
    // A description may be an indirect string, "@oem12.inf,%ch340.devicedesc%;USB-SERIAL CH340", whose
    // text follows the last ';'; a friendly name ends in the port, " (COM7)", which the list shows anyway.
    std::string text = description;
    if (!text.empty() && text[0] == '@')
        if (const std::size_t semi = text.rfind(';'); semi != std::string::npos)
            text = text.substr(semi + 1);
    if (const std::size_t open = text.rfind(" (COM"); open != std::string::npos && text.back() == ')')
        text.erase(open);
    info.product = text;
    info.chip = ChipFamily(info.vendorId, info.productId, info.driver);
    return info;
}

std::string AdapterSummary(const AdapterInfo& info)
{
    std::string text;
    const auto add = [&text](const std::string& part) {
        if (part.empty())
            return;
        if (!text.empty())
            text += " \xC2\xB7 "; // a middle dot
        text += part;
    };
    add(info.chip.empty() ? info.product : info.chip);
    if (!info.vendorId.empty())
        add("USB " + info.vendorId + ":" + info.productId);
    if (!info.serial.empty())
        add("serial " + info.serial);
    if (!info.driver.empty())
        add("driver " + info.driver);
    return text;
}

} // namespace zelbor
