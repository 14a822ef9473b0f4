// SPDX-License-Identifier: GPL-3.0-or-later
#include "profile/Snapshot.h"

#include "common/AtomicFile.h"
#include "common/Errors.h"
#include "common/Ini.h"
#include "common/PathText.h"
#include "common/UserFolders.h"

#include <algorithm>
#include <ctime>
#include <random>
#include <system_error>

namespace zelbor {
namespace fs = std::filesystem;

namespace {

// The controller's names are single-byte characters; the file holds UTF-8.
std::string Latin1ToUtf8(const std::string& bytes)
{
    std::string out;
    for (unsigned char c : bytes) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// A value on one INI line: a control character would end the line or hide what follows, and
// surrounding blanks or quotes would be taken off by the reader.
std::string LineValue(const std::string& text)
{
    std::string out;
    for (char c : text)
        out += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
    const auto blank = out.find_first_not_of(" \t");
    if (blank == std::string::npos)
        return {};
    out.erase(0, blank);
    out.erase(out.find_last_not_of(" \t") + 1);
    if (!out.empty() && (out.front() == '"' || out.front() == '\''))
        out.front() = '?';
    return out;
}

// A piece of a file name: letters, digits, '.', '-' kept, everything else '-', at most 24 characters.
std::string NamePiece(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        if (out.size() >= 24)
            break;
        const bool plain =
            (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '.' || c == '-';
        out += plain ? static_cast<char>(c) : '-';
    }
    while (!out.empty() && (out.front() == '.' || out.front() == '-'))
        out.erase(0, 1);
    while (!out.empty() && (out.back() == '.' || out.back() == '-'))
        out.pop_back();
    return out.empty() ? "unknown" : out;
}

std::tm UtcTime(std::chrono::system_clock::time_point when)
{
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm tm{};
#ifdef _WIN32
    gmtime_s(&tm, &t);
#else
    gmtime_r(&t, &tm);
#endif
    return tm;
}

std::string Format(const std::tm& tm, const char* format)
{
    char buffer[64];
    const std::size_t n = std::strftime(buffer, sizeof buffer, format, &tm);
    return std::string(buffer, n);
}

// "2026-12-09T01:42:05Z" -> "2026-12-09_014205"; the text itself when it is no such time.
std::string NameTime(const std::string& time)
{
    if (time.size() != 20 || time[10] != 'T')
        return NamePiece(time);
    return time.substr(0, 10) + "_" + time.substr(11, 2) + time.substr(14, 2) + time.substr(17, 2);
}

struct HeaderKey {
    const char* key;
    std::string SnapshotHeader::*member;
};
constexpr HeaderKey kHeaderKeys[] = {
    {"Time", &SnapshotHeader::time},
    {"Manufacturer", &SnapshotHeader::manufacturer},
    {"Model", &SnapshotHeader::model},
    {"HardwareVersion", &SnapshotHeader::hardwareVersion},
    {"FirmwareVersion", &SnapshotHeader::firmwareVersion},
    {"NominalVoltage", &SnapshotHeader::nominalVoltage},
    {"MaxCurrent", &SnapshotHeader::maxCurrent},
    {"Source", &SnapshotHeader::source},
};

[[noreturn]] void Refuse(const fs::path& folder, const std::string& reason)
{
    throw EFileError("Cannot store a snapshot in the folder \"" + PathText(folder) + "\": " + reason);
}

std::string TemporaryName()
{
    static std::mt19937_64 random{std::random_device{}()};
    static const char digits[] = "0123456789abcdef";
    std::string name = ".snapshot-";
    std::uint64_t n = random();
    for (int i = 0; i < 12; ++i, n >>= 4)
        name += digits[n & 15];
    return name + ".tmp";
}

// Gives the complete file `temporary` the name `target` unless that name is taken. A hard link
// never replaces a file; where the file system has none, a rename after a look serves.
bool PlaceWithoutReplacing(const fs::path& temporary, const fs::path& target, std::error_code& ec)
{
    ec.clear();
    if (fs::exists(target, ec))
        return false;
    fs::create_hard_link(temporary, target, ec);
    if (!ec)
        return true;
    std::error_code taken;
    if (fs::exists(target, taken))
        return false; // taken meanwhile
    ec.clear();
    fs::rename(temporary, target, ec);
    return !ec;
}

} // namespace

fs::path SnapshotsFolder() { return UserDataFolder() / "Snapshots"; }

SnapshotHeader MakeSnapshotHeader(const ControllerInfo& info, std::chrono::system_clock::time_point when,
                                  std::string source)
{
    SnapshotHeader h;
    h.time = Format(UtcTime(when), "%Y-%m-%dT%H:%M:%SZ");
    h.manufacturer = Latin1ToUtf8(ManufacturerText(info));
    h.model = Latin1ToUtf8(ModelText(info));
    h.hardwareVersion = Latin1ToUtf8(HardwareVersionText(info));
    h.firmwareVersion = Latin1ToUtf8(FirmwareVersionText(info));
    h.nominalVoltage = Latin1ToUtf8(NominalVoltageText(info));
    h.maxCurrent = Latin1ToUtf8(MaxCurrentText(info));
    h.source = std::move(source);
    return h;
}

std::string SnapshotText(const SnapshotHeader& header, const ProfileValues& values)
{
    IniEditor editor = IniEditor::FromText("");
    for (const ParameterField* field : ProfileOrder())
        editor.Set(field->Block().section, field->profileKey, std::to_string(field->Value(values)));
    for (const HeaderKey& k : kHeaderKeys)
        editor.Set(kSnapshotSection, k.key, LineValue(header.*k.member));
    return editor.Text();
}

fs::path WriteSnapshot(const fs::path& folder, const SnapshotHeader& header, const ProfileValues& values)
{
    try {
        CreateUserFolder(folder);
    } catch (const EFileError& e) {
        Refuse(folder, e.what());
    }
    const std::string text = SnapshotText(header, values);
    const fs::path temporary = folder / TemporaryName();
    try {
        WriteFileAtomically(temporary, text);
    } catch (const EFileError& e) {
        Refuse(folder, e.what());
    }
    const std::string stem =
        NameTime(header.time) + "_" + NamePiece(header.model) + "_" + NamePiece(header.firmwareVersion);
    std::error_code ec;
    for (int n = 1; n <= 1000; ++n) {
        const fs::path target = folder / PathFromText(stem + (n == 1 ? "" : "_" + std::to_string(n)) + ".el");
        if (PlaceWithoutReplacing(temporary, target, ec)) {
            std::error_code ignored;
            fs::remove(temporary, ignored); // gone already after a rename
            return target;
        }
        if (ec)
            break;
    }
    std::error_code ignored;
    fs::remove(temporary, ignored);
    Refuse(folder, ec ? ec.message() : "every name for it is taken");
}

std::optional<Snapshot> ReadSnapshot(const fs::path& path)
{
    std::string text;
    if (!ReadWholeFile(path, text))
        return std::nullopt;
    const IniFile ini = IniFile::Parse(text);
    if (!ini.HasSection(kSnapshotSection))
        return std::nullopt;
    Snapshot s;
    s.path = path;
    for (const HeaderKey& k : kHeaderKeys)
        s.header.*k.member = ini.ReadString(kSnapshotSection, k.key, "");
    s.values = ParseProfile(text);
    return s;
}

std::vector<Snapshot> ListSnapshots(const fs::path& folder)
{
    std::vector<Snapshot> list;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& p = it->path();
        if (p.extension() != ".el" || p.filename().string().starts_with("."))
            continue;
        if (std::optional<Snapshot> s = ReadSnapshot(p))
            list.push_back(std::move(*s));
    }
    std::sort(list.begin(), list.end(), [](const Snapshot& a, const Snapshot& b) {
        if (a.header.time != b.header.time)
            return a.header.time > b.header.time;
        return a.path.filename() > b.path.filename();
    });
    return list;
}

} // namespace zelbor
