// SPDX-License-Identifier: GPL-3.0-or-later
// Port discovery against sysfs trees laid out the way the kernels build them: legacy UART slots
// without a UART must not be listed, whichever driver their port hangs off.
#include "serial/PortDiscovery.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace zelbor {
namespace {

namespace fs = std::filesystem;

constexpr int kNoUart = 0;     // the type a UART driver reports when nothing answers at the address
constexpr int kUart16550A = 4; // a real UART

class SysfsLayoutTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::path(testing::TempDir()) / ("sysfs-layout-" + std::to_string(getpid()));
        fs::remove_all(root);
        for (const char* d : {"sys/class/tty", "sys/bus/serial-base/drivers/port",
                              "sys/bus/platform/drivers/serial8250", "sys/bus/platform/drivers/dw-apb-uart",
                              "sys/bus/usb-serial/drivers/ftdi_sio", "sys/bus/usb/drivers/cdc_acm", "dev", "virtual"})
            fs::create_directories(root / d);
    }
    void TearDown() override { fs::remove_all(root); }

    // A tty whose class entry links to `ttyDir`, with its "device" link to `deviceDir`, bound to
    // `driver` (a folder under sys/bus), and a "type" attribute when `type` is given. The device
    // node is a FIFO: a scan that opened it for reading would block there.
    void Tty(const std::string& name, const fs::path& deviceDir, const std::string& driver, const int* type)
    {
        const fs::path dev = root / "sys/devices" / deviceDir;
        const fs::path tty = dev / "tty" / name;
        fs::create_directories(tty);
        if (!fs::is_symlink(dev / "driver")) // several ports may hang off one device
            fs::create_directory_symlink(root / "sys/bus" / driver, dev / "driver");
        fs::create_directory_symlink(fs::relative(dev, tty), tty / "device");
        if (type)
            std::ofstream(tty / "type") << *type << "\n";
        fs::create_directory_symlink(fs::relative(tty, root / "sys/class/tty"), root / "sys/class/tty" / name);
        ASSERT_EQ(mkfifo((root / "dev" / name).c_str(), 0600), 0);
    }

    // Current kernels: each 8250 port is a device of its own under the serial core's port driver.
    void CurrentKernelUart(const std::string& name, int index, int type)
    {
        Tty(name, "platform/serial8250/serial8250:0/serial8250:0." + std::to_string(index), "serial-base/drivers/port",
            &type);
    }
    // Older kernels: the ports hang off the serial8250 platform device itself.
    void OlderKernelUart(const std::string& name, const int* type)
    {
        Tty(name, "platform/serial8250", "platform/drivers/serial8250", type);
    }
    void UsbAdapter(const std::string& name)
    {
        Tty(name, "pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/" + name, "usb-serial/drivers/ftdi_sio", nullptr);
    }

    std::vector<std::string> List()
    {
        return ListSerialPorts((root / "sys/class/tty").string(), (root / "dev").string(), (root / "virtual").string());
    }
    std::vector<std::string> Devs(std::initializer_list<const char*> names)
    {
        std::vector<std::string> out;
        for (const char* n : names)
            out.push_back((root / "dev" / n).string());
        return out;
    }

    fs::path root;
};

TEST_F(SysfsLayoutTest, EmptySlotsUnderTheSerialCorePortDriverAreLeftOut)
{
    CurrentKernelUart("ttyS0", 0, kUart16550A);
    for (int i = 1; i <= 3; ++i)
        CurrentKernelUart("ttyS" + std::to_string(i), i, kNoUart);
    UsbAdapter("ttyUSB0");
    EXPECT_EQ(List(), Devs({"ttyS0", "ttyUSB0"}));
}

TEST_F(SysfsLayoutTest, WithOnlyEmptySlotsTheAdapterComesFirst)
{
    // What the port list preselects: the adapter, not a slot that cannot be connected.
    for (int i = 0; i <= 3; ++i)
        CurrentKernelUart("ttyS" + std::to_string(i), i, kNoUart);
    UsbAdapter("ttyUSB0");
    EXPECT_EQ(List(), Devs({"ttyUSB0"}));
}

TEST_F(SysfsLayoutTest, EmptySlotsUnderTheLegacyDriverAreLeftOut)
{
    const int real = kUart16550A, none = kNoUart;
    OlderKernelUart("ttyS0", &real);
    OlderKernelUart("ttyS1", &none);
    OlderKernelUart("ttyS2", nullptr); // a kernel without the type attribute cannot show a UART
    UsbAdapter("ttyUSB0");
    EXPECT_EQ(List(), Devs({"ttyS0", "ttyUSB0"}));
}

TEST_F(SysfsLayoutTest, TheTypeDecidesForAnyUartDriverAndOtherDriversNeedNone)
{
    const int none = kNoUart, real = kUart16550A;
    Tty("ttyS4", "platform/fe215040.serial", "platform/drivers/dw-apb-uart", &none);
    Tty("ttyS5", "platform/fe215080.serial", "platform/drivers/dw-apb-uart", &real);
    Tty("ttyACM0", "pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0", "usb/drivers/cdc_acm", nullptr);
    EXPECT_EQ(List(), Devs({"ttyACM0", "ttyS5"}));
}

} // namespace
} // namespace zelbor
