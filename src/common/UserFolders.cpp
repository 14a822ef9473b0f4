// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/UserFolders.h"

#include "common/Catalogue.h"
#include "common/Errors.h"
#include "common/PathText.h"

#include <cstdlib>
#include <optional>
#include <string>
#include <system_error>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>
#else
#include <pwd.h>
#include <unistd.h>
#endif

namespace zelbor {
namespace fs = std::filesystem;

namespace {

struct FolderOverride {
    fs::path settings;
    fs::path data;
};

FolderOverride& Override()
{
    static FolderOverride folders;
    return folders;
}

#ifdef _WIN32
fs::path KnownFolder(REFKNOWNFOLDERID id, const char* what)
{
    PWSTR path = nullptr;
    const HRESULT result = SHGetKnownFolderPath(id, 0, nullptr, &path);
    fs::path folder;
    if (SUCCEEDED(result) && path)
        folder = fs::path(path);
    CoTaskMemFree(path);
    if (folder.empty())
        throw EFileError(std::string("Windows names no ") + what + " folder for this user");
    return folder / kUserFolderName;
}
#else
// HOME first, as every program of the desktop does; the password database when it is unset.
std::string HomeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir)
        return entry->pw_dir;
    return {};
}

fs::path XdgFolder(const char* variable, std::string_view fallback)
{
    const std::string home = HomeFolder();
    fs::path base = XdgBaseFolder(std::getenv(variable), home.c_str(), fallback);
    if (base.empty())
        throw EFileError(std::string("There is no folder for this user's files: neither ") + variable +
                         " nor HOME names an absolute path");
    return base / kUserFolderName;
}
#endif

fs::path ShippedProfilesFolder() { return ExecutableFolder() / "Profiles"; }

std::optional<fs::path> UserProfilesFolder()
{
    try {
        return UserDataFolder() / "Profiles";
    } catch (const EFileError&) {
        return std::nullopt; // the program's own folder still serves for reading
    }
}

} // namespace

bool IsInstalledCopy()
{
    std::error_code ec;
    return fs::is_regular_file(ExecutableFolder() / kInstalledCopyMarker, ec);
}

fs::path XdgBaseFolder(const char* value, const char* home, std::string_view fallback)
{
    if (value && *value && fs::path(value).is_absolute())
        return fs::path(value);
    if (home && *home && fs::path(home).is_absolute())
        return fs::path(home) / fs::path(fallback);
    return {};
}

fs::path UserSettingsFolder()
{
    if (!Override().settings.empty())
        return Override().settings;
#ifdef _WIN32
    return KnownFolder(FOLDERID_RoamingAppData, "application data");
#else
    return XdgFolder("XDG_CONFIG_HOME", ".config");
#endif
}

fs::path UserDataFolder()
{
    if (!Override().data.empty())
        return Override().data;
#ifdef _WIN32
    return KnownFolder(FOLDERID_LocalAppData, "local application data");
#else
    return XdgFolder("XDG_DATA_HOME", ".local/share");
#endif
}

void SetUserFolders(const fs::path& settings, const fs::path& data) { Override() = {settings, data}; }

void CreateUserFolder(const fs::path& folder)
{
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec)
        throw EFileError("Cannot create the folder \"" + PathText(folder) + "\": " + ec.message());
    if (!fs::is_directory(folder, ec))
        throw EFileError("Cannot create the folder \"" + PathText(folder) + "\": a file of that name is in the way");
}

fs::path LanguageChoiceIniPath()
{
    if (!IsInstalledCopy())
        return LanguagesIniPath();
    return UserSettingsFolder() / "languages.ini";
}

fs::path ProfileDialogFolder()
{
    if (!IsInstalledCopy())
        return ShippedProfilesFolder();
    const std::optional<fs::path> own = UserProfilesFolder();
    if (!own)
        return ShippedProfilesFolder();
    try {
        CreateUserFolder(*own);
    } catch (const EFileError&) {
        return ShippedProfilesFolder();
    }
    return *own;
}

fs::path StartupProfilePath()
{
    const fs::path shipped = ShippedProfilesFolder() / "DefaultProfile.el";
    if (!IsInstalledCopy())
        return shipped;
    const std::optional<fs::path> own = UserProfilesFolder();
    std::error_code ec;
    // Anything of that name counts, a file the loader cannot read too: starting quietly with the
    // shipped values would hide that the user's own could not be used.
    if (own && fs::exists(*own / "DefaultProfile.el", ec))
        return *own / "DefaultProfile.el";
    return shipped;
}

} // namespace zelbor
