// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Message catalogue, language globals and the item-splitting rule.
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace zelbor {

inline constexpr const char* kUnknownErrorMessage = "Unkwnow error message";
inline constexpr const char* kNullSentinel = "NULL";

// The folder that holds the executable and the shipped files (Languages/, Profiles/, Help.pdf).
// Defaults to RunningExecutableFolder(); tests set a temporary folder.
std::filesystem::path ExecutableFolder();
void SetExecutableFolder(const std::filesystem::path& folder);
// The folder of the running executable's own file, whatever the working folder.
std::filesystem::path RunningExecutableFolder();

// Globals of the language module (one instance each for the whole run).
extern std::string CurrentLanguage;            // folder name of the selected language, "" until the list is read
extern std::string DefaultLanguage;            // "default" of languages.ini as read at start-up
extern std::vector<std::string> LanguageCodes; // codes parallel to the language list box entries

// <exe>/Languages/<CurrentLanguage>/<relative>, e.g. LanguageFile("soft/errors.ini").
std::filesystem::path LanguageFile(std::string_view relative);
std::filesystem::path LanguagesIniPath(); // <exe>/Languages/languages.ini
// The manual to open: <exe>/Languages/<CurrentLanguage>/Help.pdf when that file exists, else the
// English <exe>/Help.pdf (whether or not it exists: opening a missing one is quietly nothing).
std::filesystem::path ManualPath();

// Splits text into items at `separator`, CR and LF; quoted runs (' or ") protect separators;
// quotes stay in the item; empty items are dropped.
std::vector<std::string> SplitItems(std::string_view text, char separator);

// Catalogue lookups: errors.ini of CurrentLanguage, section "ERRORS", read afresh every call.
// Missing file/section/key or the stored value "NULL" give "Unkwnow error message";
// an entry without a caption item gives "Unkwnow error message" as caption.
std::string GetErrorMessage(std::string_view key);
std::string GetErrorCaption(std::string_view key);
// The same lookups in a catalogue's text (the content of an errors.ini), by the same rules.
std::string CatalogueMessage(std::string_view catalogue, std::string_view key);
std::string CatalogueCaption(std::string_view catalogue, std::string_view key);

// Language list as read from languages.ini.
struct LanguageList {
    std::vector<std::string> names; // shown in the list box
    std::vector<std::string> codes; // parallel codes
    std::string defaultCode;        // "default" key (default "eng")
    int selectedIndex = 0;          // entry whose code equals defaultCode (the last such), else 0
};
// Also sets DefaultLanguage, LanguageCodes and CurrentLanguage (the selected entry's code, or "eng"
// when the list is empty). An entry without a code item takes "eng", one without a name its code;
// "nbLang" is capped at 1000 entries.
LanguageList ReadLanguageList(const std::filesystem::path& languagesIni);
// ReadLanguageList on the text of a languages.ini: the same rules, the same globals set.
LanguageList ParseLanguageList(std::string_view text);

// ReadLanguageList of the shipped list, with the user's own choice on top: in an installed copy the
// "default" of the per-user languages.ini (LanguageChoiceIniPath()) replaces the shipped one when
// that file holds the key.
LanguageList ReadChosenLanguageList(const std::filesystem::path& languagesIni);

// Stores `code` as "default" in section "LANGUAGES" of languages.ini, in place and atomically.
// Throws EFileError naming the file when it cannot be written.
void StoreDefaultLanguage(const std::filesystem::path& languagesIni, std::string_view code);
// Stores the user's language choice where it is kept (LanguageChoiceIniPath()), creating the
// per-user folder of an installed copy. Throws EFileError naming the file or folder.
void StoreLanguageChoice(std::string_view code);

} // namespace zelbor
