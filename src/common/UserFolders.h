// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the program keeps what a user writes.
//
// A portable copy (unpacked from an archive anywhere, or the build folder) keeps everything in its
// own folder, as it always has. An installed copy lives where its users may not write (Program
// Files, /usr), so it keeps each user's choices in that user's own folders. Its installer marks it
// with a file beside the executable: write permission would tell nothing, since an administrator
// may write anywhere and would then change every user's settings at once.
//
//                        portable copy                  installed copy
//   language choice      <exe>/Languages/languages.ini  <settings>/languages.ini ("default" only)
//   profile dialogs      <exe>/Profiles                 <data>/Profiles (created on first use)
//   start-up profile     <exe>/Profiles/DefaultProfile.el, in an installed copy the user's own
//                        <data>/Profiles/DefaultProfile.el when there is one
//
// <settings> is $XDG_CONFIG_HOME/ZelborConfigTool (~/.config/ZelborConfigTool) or
// %APPDATA%\ZelborConfigTool; <data> is $XDG_DATA_HOME/ZelborConfigTool
// (~/.local/share/ZelborConfigTool) or %LOCALAPPDATA%\ZelborConfigTool.
#include <filesystem>
#include <string_view>

namespace zelbor {

// The marker an installer puts beside the executable.
inline constexpr const char* kInstalledCopyMarker = "InstalledCopy.txt";
// The name of the program's folder in each per-user base folder.
inline constexpr const char* kUserFolderName = "ZelborConfigTool";

// Whether the marker lies beside ExecutableFolder(). Looked at afresh on every call.
bool IsInstalledCopy();

// The per-user folders, whatever the mode (not created here). Throw EFileError when the system
// names no such folder for this user (no HOME, no profile folder).
std::filesystem::path UserSettingsFolder();
std::filesystem::path UserDataFolder();
// Tests put the per-user folders elsewhere; empty paths give the system's back.
void SetUserFolders(const std::filesystem::path& settings, const std::filesystem::path& data);

// The XDG base-folder rule: the variable's `value` when it is an absolute path (a relative one is
// to be ignored), else `home`/`fallback` when `home` is absolute; empty when neither holds.
std::filesystem::path XdgBaseFolder(const char* value, const char* home, std::string_view fallback);

// Creates `folder` with its parents; throws EFileError naming it and the system's reason.
void CreateUserFolder(const std::filesystem::path& folder);

// The languages.ini whose "default" key keeps the user's language choice.
std::filesystem::path LanguageChoiceIniPath();
// The folder the profile dialogs start in. An installed copy creates its per-user folder here
// when it can; when it cannot (or no per-user folder exists) the program's own folder is used.
std::filesystem::path ProfileDialogFolder();
// The profile loaded at every start.
std::filesystem::path StartupProfilePath();

} // namespace zelbor
