// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the system knows about the adapter behind a serial port. Most connection trouble starts
// with the wrong adapter, a missing driver or two adapters that look alike in the port list, so
// the list, the command line and the connection check all show the same few facts.
#include <string>

namespace zelbor {

struct AdapterInfo {
    std::string vendorId;  // four lower-case hex digits, empty when the port is not on USB
    std::string productId; // likewise
    std::string chip;      // the chip family named from the ids or the driver, empty when unknown
    std::string serial;    // the adapter's own serial number, when it reports one
    std::string driver;    // the kernel driver (or the Windows service) that serves the port
    std::string product;   // the adapter's own description, when it reports one

    bool Empty() const { return vendorId.empty() && chip.empty() && serial.empty() && driver.empty(); }
};

// The chip family of a USB-serial adapter, from its ids and, failing that, from the driver that
// took it (a driver serves one family, whatever ids a maker gave the chip). Empty when unknown.
std::string ChipFamily(const std::string& vendorId, const std::string& productId, const std::string& driver);

// One line for a tooltip or a listing: "CH340 · USB 1a86:7523 · serial A1B2 · driver ch341".
// Empty for an empty record.
std::string AdapterSummary(const AdapterInfo& info);

// The adapter as the Windows device tree describes it. instanceId is the device's path below the
// tree's Enum key, e.g. "USB\\VID_1A86&PID_7523\\5&2D6A1C&0&2" or
// "FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000"; service is the driver service that serves it
// ("CH341SER_A64", "usbser"); description its friendly name or device description as stored.
AdapterInfo AdapterFromWindowsDevice(const std::string& instanceId, const std::string& service,
                                     const std::string& description);

// The adapter behind a port named as ListSerialPorts names it. On Linux from sysfs; a virtual
// port or a port without hardware behind it gives an empty record. On Windows from the device
// tree in the registry (the device whose "Device Parameters" name the port).
AdapterInfo DescribeAdapter(const std::string& port);

} // namespace zelbor
