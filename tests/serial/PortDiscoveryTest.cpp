// SPDX-License-Identifier: GPL-3.0-or-later
// Port discovery against a prepared sysfs tree, device folder and virtual-port folder.
#include "serial/Comm.h"
#include "serial/PortDiscovery.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace zelbor {
namespace {

namespace fs = std::filesystem;

class PortDiscoveryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::path(testing::TempDir()) / ("ports-" + std::to_string(getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "sys" / "class" / "tty");
        fs::create_directories(root / "devices");
        fs::create_directories(root / "drivers" / "serial8250");
        fs::create_directories(root / "drivers" / "ftdi_sio");
        fs::create_directories(root / "dev");
        fs::create_directories(root / "virtual");
    }
    void TearDown() override { fs::remove_all(root); }

    // A tty class entry; with a driver it has hardware behind it, with a node it appears in /dev.
    void Tty(const std::string& name, const char* driver, bool node = true, const char* type = nullptr)
    {
        const fs::path dir = root / "sys" / "class" / "tty" / name;
        fs::create_directories(dir);
        if (driver) {
            const fs::path dev = root / "devices" / name;
            fs::create_directories(dev);
            fs::create_directory_symlink(root / "drivers" / driver, dev / "driver");
            fs::create_directory_symlink(dev, dir / "device");
        }
        if (type)
            std::ofstream(dir / "type") << type << "\n";
        if (node)
            std::ofstream(root / "dev" / name);
    }
    std::vector<std::string> List()
    {
        return ListSerialPorts((root / "sys" / "class" / "tty").string(), (root / "dev").string(),
                               (root / "virtual").string());
    }
    std::string Dev(const std::string& n) { return (root / "dev" / n).string(); }
    std::string Virt(const std::string& n) { return (root / "virtual" / n).string(); }

    fs::path root;
};

TEST_F(PortDiscoveryTest, ListsHardwarePortsInNaturalOrderAndSkipsEmptyLegacySlots)
{
    Tty("ttyUSB10", "ftdi_sio");
    Tty("ttyUSB0", "ftdi_sio");
    Tty("ttyUSB2", "ftdi_sio");
    Tty("ttyACM0", "ftdi_sio");
    Tty("tty0", nullptr);                  // a console: no hardware
    Tty("ttyS0", "serial8250", true, "0"); // a legacy slot without a UART
    Tty("ttyS1", "serial8250", true, "4"); // a legacy port with a UART found
    Tty("ttyS2", "serial8250", true);      // no type reported
    Tty("ttyUSB5", "ftdi_sio", false);     // no device node
    EXPECT_EQ(List(), (std::vector<std::string>{Dev("ttyACM0"), Dev("ttyS1"), Dev("ttyUSB0"), Dev("ttyUSB2"),
                                                Dev("ttyUSB10")}));
    EXPECT_EQ(List(), List()); // stable
}

TEST_F(PortDiscoveryTest, VirtualLinksFollowTheHardwarePortsAndDanglingOnesAreOmitted)
{
    Tty("ttyUSB0", "ftdi_sio");
    std::ofstream(root / "target-a");
    std::ofstream(root / "target-b");
    fs::create_symlink(root / "target-b", root / "virtual" / "virtual-controller-12");
    fs::create_symlink(root / "target-a", root / "virtual" / "virtual-controller-9");
    fs::create_symlink(root / "gone", root / "virtual" / "virtual-controller-1");
    std::ofstream(root / "virtual" / "not-a-link");
    EXPECT_EQ(List(),
              (std::vector<std::string>{Dev("ttyUSB0"), Virt("virtual-controller-9"), Virt("virtual-controller-12")}));
}

TEST_F(PortDiscoveryTest, VirtualLinksAreBelievedOnlyFromAPrivateFolderOfThisUser)
{
    std::ofstream(root / "target");
    fs::create_symlink(root / "target", root / "virtual" / "virtual-controller-1");
    const std::vector<std::string> one{Virt("virtual-controller-1")};
    EXPECT_EQ(CheckVirtualFolder((root / "virtual").string()), FolderTrust::Trusted);
    EXPECT_EQ(List(), one);

    // Anyone may write: another user could have planted the link.
    fs::permissions(root / "virtual", fs::perms::others_write, fs::perm_options::add);
    EXPECT_EQ(CheckVirtualFolder((root / "virtual").string()), FolderTrust::WritableByOthers);
    EXPECT_TRUE(List().empty());
    fs::permissions(root / "virtual", fs::perms::others_write | fs::perms::group_write, fs::perm_options::remove);
    fs::permissions(root / "virtual", fs::perms::group_write, fs::perm_options::add);
    EXPECT_TRUE(List().empty());
    fs::permissions(root / "virtual", fs::perms::group_write, fs::perm_options::remove);
    EXPECT_EQ(List(), one);

    // The folder's name is a link to a folder elsewhere: not believed, wherever it leads.
    fs::rename(root / "virtual", root / "elsewhere");
    fs::create_directory_symlink(root / "elsewhere", root / "virtual");
    EXPECT_EQ(CheckVirtualFolder((root / "virtual").string()), FolderTrust::NotAFolder);
    EXPECT_TRUE(List().empty());

    // Another user's folder.
    fs::remove(root / "virtual");
    fs::rename(root / "elsewhere", root / "virtual");
    ASSERT_EQ(chown((root / "virtual").c_str(), getuid() + 1, static_cast<gid_t>(-1)) == 0, getuid() == 0);
    if (getuid() == 0) {
        EXPECT_EQ(CheckVirtualFolder((root / "virtual").string()), FolderTrust::ForeignOwner);
        EXPECT_TRUE(List().empty());
    }
    EXPECT_EQ(CheckVirtualFolder((root / "none").string()), FolderTrust::Missing);
}

TEST_F(PortDiscoveryTest, AdapterDetailsComeFromTheUsbDeviceAboveTheTty)
{
    // A USB-serial adapter: tty -> port of the USB-serial driver -> interface -> USB device.
    const fs::path usb = root / "devices" / "usb1" / "1-2";
    const fs::path port = usb / "1-2:1.0" / "ttyUSB0";
    fs::create_directories(port);
    fs::create_directories(root / "drivers" / "ch341-uart");
    fs::create_directory_symlink(root / "drivers" / "ch341-uart", port / "driver");
    std::ofstream(usb / "idVendor") << "1a86\n";
    std::ofstream(usb / "idProduct") << "7523\n";
    std::ofstream(usb / "serial") << "A50285BI\n";
    std::ofstream(usb / "product") << "USB Serial\n";
    fs::create_directories(root / "sys" / "class" / "tty" / "ttyUSB0");
    fs::create_directory_symlink(port, root / "sys" / "class" / "tty" / "ttyUSB0" / "device");
    const std::string tty = (root / "sys" / "class" / "tty").string();

    const AdapterInfo a = DescribeAdapter(tty, "ttyUSB0");
    EXPECT_EQ(a.vendorId, "1a86");
    EXPECT_EQ(a.productId, "7523");
    EXPECT_EQ(a.chip, "CH340");
    EXPECT_EQ(a.serial, "A50285BI");
    EXPECT_EQ(a.driver, "ch341-uart");
    EXPECT_EQ(AdapterSummary(a), "CH340 \xC2\xB7 USB 1a86:7523 \xC2\xB7 serial A50285BI \xC2\xB7 driver ch341-uart");

    // An ACM modem hangs off the interface itself, whose driver names the class; no serial number.
    const fs::path acm = root / "devices" / "usb1" / "1-3";
    fs::create_directories(acm / "1-3:1.0" / "tty" / "ttyACM0");
    fs::create_directories(root / "drivers" / "cdc_acm");
    fs::create_directory_symlink(root / "drivers" / "cdc_acm", acm / "1-3:1.0" / "driver");
    std::ofstream(acm / "idVendor") << "2e8a\n";
    std::ofstream(acm / "idProduct") << "000a\n";
    fs::create_directories(root / "sys" / "class" / "tty" / "ttyACM0");
    fs::create_directory_symlink(acm / "1-3:1.0", root / "sys" / "class" / "tty" / "ttyACM0" / "device");
    const AdapterInfo m = DescribeAdapter(tty, "ttyACM0");
    EXPECT_EQ(m.chip, "CDC-ACM");
    EXPECT_EQ(m.vendorId, "2e8a");
    EXPECT_TRUE(m.serial.empty());

    // A built-in UART has a driver but no USB ids; a console and names that leave the tree
    // have nothing.
    Tty("ttyS1", "serial8250", true, "4");
    const AdapterInfo u = DescribeAdapter(tty, "ttyS1");
    EXPECT_TRUE(u.vendorId.empty());
    EXPECT_EQ(u.driver, "serial8250");
    EXPECT_TRUE(u.chip.empty());
    Tty("tty0", nullptr);
    EXPECT_TRUE(DescribeAdapter(tty, "tty0").Empty());
    EXPECT_TRUE(DescribeAdapter(tty, "../tty/ttyUSB0").Empty());
    EXPECT_TRUE(DescribeAdapter(tty, "").Empty());
    EXPECT_TRUE(DescribeAdapter(Virt("x")).Empty());
}

// What Windows' device tree stores about a port's device, read into the same record (the registry
// walk itself runs under Wine).
TEST(WindowsDeviceIds, IdsSerialNumberDriverAndDescriptionAreReadAsWindowsStoresThem)
{
    // A CH340 without a serial number of its own: Windows makes up an instance with '&' in it.
    const AdapterInfo ch = AdapterFromWindowsDevice("USB\\VID_1A86&PID_7523\\5&2D6A1C&0&2", "CH341SER_A64",
                                                    "@oem12.inf,%ch340.devicedesc%;USB-SERIAL CH340");
    EXPECT_EQ(AdapterSummary(ch), "CH340 \xC2\xB7 USB 1a86:7523 \xC2\xB7 driver CH341SER_A64");
    EXPECT_EQ(ch.product, "USB-SERIAL CH340");

    const AdapterInfo cp = AdapterFromWindowsDevice("USB\\VID_10C4&PID_EA60\\0001", "silabser",
                                                    "Silicon Labs CP210x USB to UART Bridge (COM7)");
    EXPECT_EQ(cp.serial, "0001");
    EXPECT_EQ(cp.chip, "CP2102/CP2104");
    EXPECT_EQ(cp.product, "Silicon Labs CP210x USB to UART Bridge"); // the list shows the port already

    // The FTDI driver's own bus: the serial number, then the channel letter.
    const AdapterInfo ft = AdapterFromWindowsDevice("FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", "FTSER2K", "");
    EXPECT_EQ(ft.vendorId, "0403");
    EXPECT_EQ(ft.serial, "A50285BI");
    EXPECT_EQ(ft.chip, "FT232R");

    // Unknown ids: the chip comes from the driver service; a built-in port has no USB ids at all;
    // half an id or a malformed one names no device.
    EXPECT_EQ(AdapterFromWindowsDevice("USB\\VID_1234&PID_5678\\x", "Ser2pl64", "").chip, "PL2303 family");
    const AdapterInfo builtIn = AdapterFromWindowsDevice("ACPI\\PNP0501\\1", "Serial", "Communications Port (COM1)");
    EXPECT_TRUE(builtIn.vendorId.empty());
    EXPECT_TRUE(builtIn.serial.empty());
    EXPECT_EQ(builtIn.product, "Communications Port");
    EXPECT_TRUE(AdapterFromWindowsDevice("USB\\VID_1A86\\1", "", "").vendorId.empty());
    EXPECT_TRUE(AdapterFromWindowsDevice("USB\\VID_1A8&PID_7523\\1", "", "").vendorId.empty());
    EXPECT_TRUE(AdapterFromWindowsDevice("", "", "").Empty());
}

TEST(ChipTable, NamesTheFamilyFromTheIdsAndFallsBackToTheDriver)
{
    EXPECT_EQ(ChipFamily("0403", "6001", ""), "FT232R");
    EXPECT_EQ(ChipFamily("0403", "6015", "ftdi_sio"), "FT230X/FT231X");
    EXPECT_EQ(ChipFamily("0403", "beef", ""), "FT232 family");  // another product of the same vendor
    EXPECT_EQ(ChipFamily("10C4", "EA60", ""), "CP2102/CP2104"); // ids as upper-case hex
    EXPECT_EQ(ChipFamily("067b", "2303", ""), "PL2303");
    EXPECT_EQ(ChipFamily("1a86", "5523", ""), "CH341");
    EXPECT_EQ(ChipFamily("1234", "5678", "pl2303"), "PL2303 family"); // ids a maker chose
    EXPECT_EQ(ChipFamily("1234", "5678", "usbser"), "CDC-ACM");
    EXPECT_EQ(ChipFamily("1234", "5678", "some_driver"), "");
    EXPECT_EQ(AdapterSummary({}), "");
}

TEST_F(PortDiscoveryTest, MissingRootsGiveAnEmptyList)
{
    EXPECT_TRUE(ListSerialPorts((root / "none").string(), (root / "none").string(), (root / "none").string()).empty());
}

TEST(NaturalOrder, ComparesEmbeddedNumbersByValue)
{
    EXPECT_TRUE(NaturalLess("ttyACM0", "ttyUSB0"));
    EXPECT_TRUE(NaturalLess("ttyUSB2", "ttyUSB10"));
    EXPECT_FALSE(NaturalLess("ttyUSB10", "ttyUSB2"));
    EXPECT_TRUE(NaturalLess("ttyS", "ttyS0"));
    EXPECT_FALSE(NaturalLess("ttyS1", "ttyS1"));
    EXPECT_TRUE(NaturalLess("x9y", "x10a"));
    EXPECT_NE(NaturalLess("a01", "a1"), NaturalLess("a1", "a01")); // a total order
}

TEST(VirtualFolder, UsesTheRuntimeFolderOnlyWhenItExists)
{
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string keep = saved ? saved : "";
    const std::string dir = testing::TempDir();
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    EXPECT_EQ(VirtualPortFolder(), (fs::path(dir) / "zelbor-ports").string());
    setenv("XDG_RUNTIME_DIR", "/no/such/folder", 1);
    EXPECT_EQ(VirtualPortFolder(), "/tmp/zelbor-ports-" + std::to_string(getuid()));
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(VirtualPortFolder(), "/tmp/zelbor-ports-" + std::to_string(getuid()));
    if (saved)
        setenv("XDG_RUNTIME_DIR", keep.c_str(), 1);
}

} // namespace
} // namespace zelbor
