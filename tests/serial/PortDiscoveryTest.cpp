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
