// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/Doctor.h"
#include "common/Catalogue.h"
#include "common/Ini.h"
#include "serial/Adapter.h"
#include "serial/PortDiscovery.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zelbor {

namespace fs = std::filesystem;

std::string DoctorText(std::string_view key, std::string_view english, const std::vector<std::string>& args)
{
    std::string text(english);
    if (!CurrentLanguage.empty()) {
        const IniFile ini = IniFile::Load(LanguageFile("soft/errors.ini"));
        if (const auto stored = ini.Value("DOCTOR", key); stored && !stored->empty())
            text = StripMatchingQuotes(*stored);
    }
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
            const std::size_t n = static_cast<std::size_t>(text[i + 1] - '1');
            if (n < args.size())
                out += args[n];
            ++i;
            continue;
        }
        out += text[i];
    }
    return out;
}

std::string FindingText(const LineWatch& watch)
{
    switch (watch.Finding()) {
    case LineFinding::Answered:
        return {};
    case LineFinding::Silent:
        return DoctorText("silent", "Nothing came back: the controller is off, the cable or its plug is wrong, or "
                                    "receive and transmit are swapped. Switch the controller on, check the plug and "
                                    "the cable.");
    case LineFinding::Echo:
        return DoctorText("echo", "Only the tool's own request came back: the adapter or the cable loops the line "
                                  "back. Use the programming cable made for this controller.");
    case LineFinding::Garbage:
        return DoctorText("garbage",
                          "Bytes came back that are no reply (%1): another device answers, the speed is wrong, or "
                          "the ground or the signal level is bad. Check that the cable goes to the controller and "
                          "that its ground wire is connected.",
                          {HexBytes(watch.ReceivedBytes(), 16)});
    case LineFinding::Short:
        return DoctorText("short",
                          "A reply came back too short to use (%1 bytes): the line drops bytes, or the controller is "
                          "of another kind. Check the plug and the cable, then try again.",
                          {std::to_string(watch.LastChunkLength())});
    }
    return {};
}

#ifndef _WIN32

std::string VirtualFolderText(const std::string& folder)
{
    std::string reason;
    switch (CheckVirtualFolder(folder)) {
    case FolderTrust::Trusted:
    case FolderTrust::Missing:
        return {};
    case FolderTrust::NotAFolder:
        reason = DoctorText("folder_link", "it is a link");
        break;
    case FolderTrust::ForeignOwner:
        reason = DoctorText("folder_owner", "it belongs to another user");
        break;
    case FolderTrust::WritableByOthers:
        reason = DoctorText("folder_writable", "other users may write to it");
        break;
    }
    return DoctorText("folder",
                      "The folder %1 is not a private folder of this user (%2), so the virtual ports in it are not "
                      "listed: another user could have placed them there. Remove it (rm -r %1) and start the "
                      "virtual controller again.",
                      {folder, reason});
}

namespace {

std::string FirstLine(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

bool IsNumber(const std::string& s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](unsigned char c) { return c >= '0' && c <= '9'; });
}

// The program's name: comm is cut to 15 characters, so the first word of its command line is
// preferred where it can be read.
std::string ProgramName(const fs::path& process)
{
    std::ifstream in(process / "cmdline", std::ios::binary);
    std::string first;
    std::getline(in, first, '\0');
    if (!first.empty())
        return fs::path(first).filename().string();
    return FirstLine(process / "comm");
}

// Whether the process holds the master side of a pseudo-terminal: the far end of a virtual port
// keeps its slave open too, and is no program that stands in the way.
bool HoldsTerminalMaster(const fs::path& process)
{
    std::error_code ec;
    for (fs::directory_iterator f(process / "fd", ec), end; !ec && f != end; f.increment(ec)) {
        std::error_code e2;
        const std::string target = fs::read_symlink(f->path(), e2).string();
        if (!e2 && (target == "/dev/ptmx" || target == "/dev/pts/ptmx"))
            return true;
    }
    return false;
}

} // namespace

std::vector<PortHolder> FindPortHolders(const std::string& device, const std::string& procRoot)
{
    std::vector<PortHolder> holders;
    struct stat dev {};
    if (stat(device.c_str(), &dev) != 0 || !S_ISCHR(dev.st_mode))
        return holders;
    const std::string self = std::to_string(getpid());
    std::error_code pe;
    const bool pty = fs::canonical(device, pe).string().rfind("/dev/pts/", 0) == 0;
    std::error_code ec;
    for (fs::directory_iterator p(procRoot, ec), end; !ec && p != end; p.increment(ec)) {
        const std::string pid = p->path().filename().string();
        if (!IsNumber(pid) || pid == self)
            continue;
        // Another user's descriptors are hidden from us: what we cannot see we do not claim.
        std::error_code e2;
        for (fs::directory_iterator f(p->path() / "fd", e2), fend; !e2 && f != fend; f.increment(e2)) {
            struct stat st {};
            if (stat(f->path().c_str(), &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == dev.st_rdev) {
                if (!(pty && HoldsTerminalMaster(p->path())))
                    holders.push_back({std::stol(pid), ProgramName(p->path())});
                break;
            }
        }
    }
    std::sort(holders.begin(), holders.end(), [](const PortHolder& a, const PortHolder& b) { return a.pid < b.pid; });
    return holders;
}

std::vector<std::string> RunningGrabbers(const std::string& procRoot)
{
    static const char* const kKnown[] = {"brltty", "ModemManager"};
    std::vector<std::string> found;
    std::error_code ec;
    for (fs::directory_iterator p(procRoot, ec), end; !ec && p != end; p.increment(ec)) {
        if (!IsNumber(p->path().filename().string()))
            continue;
        const std::string comm = FirstLine(p->path() / "comm");
        for (const char* known : kKnown)
            if (comm == known && std::find(found.begin(), found.end(), comm) == found.end())
                found.push_back(comm);
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::string OpenFailureFindings(const std::string& port, const std::string& procRoot)
{
    if (port.empty())
        return {};
    std::error_code ec;
    if (!fs::exists(port, ec))
        return DoctorText("vanished",
                          "%1 is not there (any more): the adapter was unplugged, lost its power or its "
                          "driver let it go. Plug it in again, rescan the ports and choose it again.",
                          {port});
    std::string text;
    const auto add = [&text](const std::string& line) { text += (text.empty() ? "" : "\n") + line; };
    for (const PortHolder& h : FindPortHolders(port, procRoot))
        add(DoctorText("holder", "%1 is held by the program \"%2\" (process %3). Close it, then connect again.",
                       {port, h.name, std::to_string(h.pid)}));
    // These services only take USB adapters; a built-in port or a virtual one is no business of theirs.
    const AdapterInfo adapter = DescribeAdapter(port);
    if (!adapter.vendorId.empty()) {
        const std::string chip = adapter.chip.empty() ? adapter.vendorId + ":" + adapter.productId : adapter.chip;
        for (const std::string& g : RunningGrabbers(procRoot)) {
            if (g == "brltty")
                add(DoctorText("brltty",
                               "The braille service \"brltty\" runs on this computer and takes %1 adapters for "
                               "itself. If nobody here uses a braille display, remove it (sudo apt remove brltty), "
                               "then unplug the adapter and plug it in again.",
                               {chip}));
            else
                add(DoctorText("modemmanager",
                               "The modem service \"ModemManager\" runs on this computer and probes new %1 "
                               "adapters as modems for a few seconds after they are plugged in. Wait a moment and "
                               "connect again, or stop it (sudo systemctl stop ModemManager).",
                               {chip}));
        }
    }
    return text;
}

#else

std::vector<PortHolder> FindPortHolders(const std::string&, const std::string&) { return {}; }
std::vector<std::string> RunningGrabbers(const std::string&) { return {}; }

std::string VirtualFolderText(const std::string&) { return {}; }

// Windows tells nothing more about a port that does not open than its own error.
std::string OpenFailureFindings(const std::string&, const std::string&) { return {}; }

#endif

} // namespace zelbor
