// SPDX-License-Identifier: GPL-3.0-or-later
// Port discovery from the registry: a prepared key, and the system's serial-device map as Wine
// fills it from its port configuration.
#include "WineTestSupport.h"
#include "serial/win32/PortDiscoveryWin32.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace zelbor {
namespace {

class PortsWin32Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        key = "Software\\ZelborTests\\SerialComm" + std::to_string(GetCurrentProcessId());
        RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());
    }
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str()); }

    void Value(HKEY k, const char* name, const std::string& data)
    {
        ASSERT_EQ(RegSetValueExA(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                 static_cast<DWORD>(data.size() + 1)),
                  ERROR_SUCCESS);
    }

    std::string key;
};

TEST_F(PortsWin32Test, TheDataOfEveryValueInEnumerationOrderDuplicatesKept)
{
    EXPECT_TRUE(ListSerialPorts(HKEY_CURRENT_USER, key).empty()); // no key: no ports, no error
    HKEY k = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr),
              ERROR_SUCCESS);
    EXPECT_TRUE(ListSerialPorts(HKEY_CURRENT_USER, key).empty()); // a key without values
    // Names chosen so that creation order and name order agree (registries differ in which
    // one they enumerate by).
    Value(k, "\\Device\\Serial0", "COM7");
    Value(k, "\\Device\\Serial1", "COM1");
    Value(k, "\\Device\\Serial2", "COM7");
    // A value without string data names no port; one without a terminating zero still does.
    const DWORD number = 3;
    RegSetValueExA(k, "\\Device\\Serial3", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
    RegSetValueExA(k, "\\Device\\Serial4", 0, REG_SZ, reinterpret_cast<const BYTE*>("COM15"), 5);
    RegCloseKey(k);
    EXPECT_EQ(ListSerialPorts(HKEY_CURRENT_USER, key), (std::vector<std::string>{"COM7", "COM1", "COM7", "COM15"}));
}

// The device tree as Windows keeps it (Enum\\<bus>\\<device>\\<instance>, the port named in
// "Device Parameters"), prepared under the user's key.
TEST_F(PortsWin32Test, TheAdapterIsTheDeviceWhoseParametersNameThePort)
{
    const std::string enumKey = key + "\\Enum";
    const auto device = [&](const std::string& path, const char* port, const char* service, const char* name) {
        HKEY k = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (enumKey + "\\" + path).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                  &k, nullptr),
                  ERROR_SUCCESS);
        if (service)
            Value(k, "Service", service);
        if (name)
            Value(k, "FriendlyName", name);
        HKEY p = nullptr;
        ASSERT_EQ(RegCreateKeyExA(k, "Device Parameters", 0, nullptr, 0, KEY_WRITE, nullptr, &p, nullptr),
                  ERROR_SUCCESS);
        if (port)
            Value(p, "PortName", port);
        RegCloseKey(p);
        RegCloseKey(k);
    };
    EXPECT_TRUE(DescribeAdapter(HKEY_CURRENT_USER, enumKey, "COM7").Empty()); // no tree: nothing, no error
    device("ACPI\\PNP0501\\1", "COM1", "Serial", "Communications Port (COM1)");
    device("USB\\VID_1A86&PID_7523\\5&2D6A1C&0&2", "COM7", "CH341SER_A64", "USB-SERIAL CH340 (COM7)");
    device("USB\\VID_1A86&PID_7523\\5&2D6A1C&0&3", nullptr, nullptr, nullptr); // unplugged: no port
    device("FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", "COM12", "FTSER2K", "USB Serial Port (COM12)");

    const AdapterInfo ch = DescribeAdapter(HKEY_CURRENT_USER, enumKey, "com7");
    EXPECT_EQ(AdapterSummary(ch), "CH340 \xC2\xB7 USB 1a86:7523 \xC2\xB7 driver CH341SER_A64");
    EXPECT_EQ(ch.product, "USB-SERIAL CH340");
    const AdapterInfo ft = DescribeAdapter(HKEY_CURRENT_USER, enumKey, "\\\\.\\COM12");
    EXPECT_EQ(ft.serial, "A50285BI");
    EXPECT_EQ(ft.chip, "FT232R");
    // A built-in port has no USB ids and is not looked at; a port nobody names has no adapter.
    EXPECT_TRUE(DescribeAdapter(HKEY_CURRENT_USER, enumKey, "COM1").Empty());
    EXPECT_TRUE(DescribeAdapter(HKEY_CURRENT_USER, enumKey, "COM3").Empty());
    EXPECT_TRUE(DescribeAdapter(HKEY_CURRENT_USER, enumKey, "").Empty());
}

TEST(PortsWin32System, TheSerialDeviceMapListsTheConfiguredPortsAndTheyOpen)
{
    const auto ports = ListSerialPorts();
    for (const char* env : {"ZELBOR_WINE_PORT", "ZELBOR_WINE_WIDE_PORT", "ZELBOR_WINE_VC_PORT"}) {
        const std::string name = test::Env(env);
        ASSERT_FALSE(name.empty()) << env << " is not set; run through tests/win32/run-wine-tests.sh";
        EXPECT_NE(std::find(ports.begin(), ports.end(), name), ports.end()) << name;
    }
    EXPECT_TRUE(VirtualPortFolder().empty());
    // Wine's ports are host devices without a USB device in its device tree: nothing to tell, and
    // asking does not fail.
    for (const auto& port : ports)
        EXPECT_TRUE(DescribeAdapter(port).vendorId.empty()) << port;

    // What discovery lists is a name the component accepts.
    test::Peer peer;
    const std::string port = test::Env("ZELBOR_WINE_WIDE_PORT");
    ASSERT_TRUE(peer.Open(port));
    NotifyQueue queue;
    TComm comm(queue);
    comm.SetCommName(*std::find(ports.begin(), ports.end(), port));
    EXPECT_NO_THROW(comm.OpenPort());
    comm.ClosePort();
    peer.Close(port);
}

} // namespace
} // namespace zelbor
