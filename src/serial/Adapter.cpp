// SPDX-License-Identifier: GPL-3.0-or-later
// The table of common USB-serial chips. Shared by both platforms: only the reading of the ids
// differs.
#include "serial/Adapter.h"

#include <algorithm>
#include <array>
#include <cctype>

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
    DriverEntry{"ch341", "CH340/CH341 family"}, DriverEntry{"ch341-uart", "CH340/CH341 family"},
    DriverEntry{"ftdi_sio", "FT232 family"},    DriverEntry{"cp210x", "CP210x"},
    DriverEntry{"pl2303", "PL2303 family"},     DriverEntry{"cdc_acm", "CDC-ACM"},
    DriverEntry{"usbser", "CDC-ACM"}, // the Windows driver for the same class
};

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
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
