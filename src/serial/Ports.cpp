// SPDX-License-Identifier: GPL-3.0-or-later
// Serial ports present on Linux.
//
// Hardware ports come from sysfs: every /sys/class/tty/X with a "device" link is a tty with
// hardware behind it (virtual consoles and pseudo-terminals have none). UART drivers register
// their ports whether or not a UART answers at the port's address; such a port reports the UART
// type its driver detected in /sys/class/tty/X/type, and type 0 (no UART found) is left out. The
// port itself decides, not the name of the driver it hangs off: that is serial8250 on older
// kernels and the serial core's own "port" driver on current ones. Nothing is opened, so a scan
// never blocks on a device.
//
// Virtual ports announce themselves as links in a per-user folder; a link whose target is
// gone (a virtual controller that died) is left out. The folder's links are believed only when
// the folder is this user's own and nobody else may write to it: under /tmp another local user
// could create the folder first and plant links to a pseudo-terminal of their own, which the
// user would then take for a controller.
#include "serial/Comm.h"
#include "serial/PortDiscovery.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>

#include <sys/stat.h>
#include <unistd.h>

namespace zelbor {

namespace fs = std::filesystem;

bool NaturalLess(const std::string& a, const std::string& b)
{
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool da = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
        const bool db = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
        if (da && db) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei])))
                ++ei;
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej])))
                ++ej;
            // Compare by value: strip leading zeros, then length, then digits.
            std::size_t si = i, sj = j;
            while (si + 1 < ei && a[si] == '0')
                ++si;
            while (sj + 1 < ej && b[sj] == '0')
                ++sj;
            if (ei - si != ej - sj)
                return ei - si < ej - sj;
            const int c = a.compare(si, ei - si, b, sj, ej - sj);
            if (c != 0)
                return c < 0;
            if (ei - i != ej - j)
                return ei - i < ej - j; // fewer leading zeros first, for a stable total order
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

namespace {

// The UART type a serial-core port reports, or nullopt when the tty has no such attribute (USB
// adapters, ACM modems and other drivers outside the serial core).
std::optional<long> UartType(const fs::path& ttyDir)
{
    std::ifstream in(ttyDir / "type");
    long type = -1;
    if (!(in >> type))
        return std::nullopt;
    return type;
}

bool IsEmptyUartSlot(const fs::path& ttyDir)
{
    if (const auto type = UartType(ttyDir))
        return *type == 0;
    // Kernels without the type attribute: a legacy 8250 port cannot show that a UART is there
    // without being opened, and most of them are empty slots, so it is left out.
    std::error_code ec;
    const fs::path driver = fs::read_symlink(ttyDir / "device" / "driver", ec);
    return !ec && driver.filename() == "serial8250";
}

// The first line of a sysfs attribute, without its line end; empty when there is none.
std::string Attribute(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

std::string DriverOf(const fs::path& dir)
{
    std::error_code ec;
    const fs::path driver = fs::read_symlink(dir / "driver", ec);
    return ec ? std::string() : driver.filename().string();
}

} // namespace

AdapterInfo DescribeAdapter(const std::string& sysClassTty, const std::string& ttyName)
{
    AdapterInfo info;
    if (ttyName.empty() || ttyName.find('/') != std::string::npos || ttyName == "." || ttyName == "..")
        return info;
    std::error_code ec;
    const fs::path device = fs::canonical(fs::path(sysClassTty) / ttyName / "device", ec);
    if (ec)
        return info;
    info.driver = DriverOf(device);
    // A USB adapter's tty hangs off an interface (ACM) or off the USB-serial port below an
    // interface; the ids are on the USB device a few levels up.
    fs::path dir = device;
    for (int level = 0; level < 4 && !dir.empty() && dir != dir.root_path(); ++level) {
        if (fs::exists(dir / "idVendor", ec)) {
            info.vendorId = Attribute(dir / "idVendor");
            info.productId = Attribute(dir / "idProduct");
            info.serial = Attribute(dir / "serial");
            info.product = Attribute(dir / "product");
            break;
        }
        if (info.driver.empty())
            info.driver = DriverOf(dir);
        dir = dir.parent_path();
    }
    info.chip = ChipFamily(info.vendorId, info.productId, info.driver);
    return info;
}

FolderTrust CheckVirtualFolder(const std::string& folder)
{
    struct stat st {};
    if (lstat(folder.c_str(), &st) != 0)
        return FolderTrust::Missing;
    if (!S_ISDIR(st.st_mode)) // a link to a folder elsewhere counts as foreign too
        return FolderTrust::NotAFolder;
    if (st.st_uid != getuid())
        return FolderTrust::ForeignOwner;
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return FolderTrust::WritableByOthers;
    return FolderTrust::Trusted;
}

std::vector<std::string> ListSerialPorts(const std::string& sysClassTty, const std::string& devRoot,
                                         const std::string& virtualFolder)
{
    std::vector<std::string> hardware;
    std::error_code ec;
    for (fs::directory_iterator it(sysClassTty, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path dir = it->path();
        const std::string name = dir.filename().string();
        std::error_code e2;
        if (!fs::exists(dir / "device", e2))
            continue;
        if (IsEmptyUartSlot(dir))
            continue;
        const fs::path node = fs::path(devRoot) / name;
        if (!fs::exists(node, e2))
            continue;
        hardware.push_back(name);
    }
    std::sort(hardware.begin(), hardware.end(), NaturalLess);

    std::vector<std::string> links;
    ec.clear();
    const bool trusted = CheckVirtualFolder(virtualFolder) == FolderTrust::Trusted;
    for (fs::directory_iterator it = trusted ? fs::directory_iterator(virtualFolder, ec) : fs::directory_iterator(),
                                end;
         !ec && it != end; it.increment(ec)) {
        std::error_code e2;
        if (!it->is_symlink(e2))
            continue;
        if (!fs::exists(it->path(), e2)) // follows the link: dangling ones are left out
            continue;
        links.push_back(it->path().filename().string());
    }
    std::sort(links.begin(), links.end(), NaturalLess);

    std::vector<std::string> result;
    for (const auto& n : hardware)
        result.push_back((fs::path(devRoot) / n).string());
    for (const auto& n : links)
        result.push_back((fs::path(virtualFolder) / n).string());
    return result;
}

std::string VirtualPortFolder()
{
    if (const char* xdg = std::getenv("XDG_RUNTIME_DIR"); xdg && *xdg) {
        std::error_code ec;
        if (fs::is_directory(xdg, ec))
            return (fs::path(xdg) / "zelbor-ports").string();
    }
    return "/tmp/zelbor-ports-" + std::to_string(static_cast<unsigned long>(getuid()));
}

std::string PortShownName(const std::string& port)
{
    const fs::path path(port);
    return path.parent_path() == fs::path(VirtualPortFolder()) ? path.filename().string() : port;
}

AdapterInfo DescribeAdapter(const std::string& port)
{
    const fs::path path(port);
    if (path.parent_path() != fs::path("/dev"))
        return {}; // a virtual port, or a name that no scan gave
    return DescribeAdapter("/sys/class/tty", path.filename().string());
}

std::vector<std::string> ListSerialPorts() { return ListSerialPorts("/sys/class/tty", "/dev", VirtualPortFolder()); }

} // namespace zelbor
