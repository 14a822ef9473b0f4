// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/Catalogue.h"

#include "common/Errors.h"
#include "common/Ini.h"
#include "common/UserFolders.h"

#include <optional>
#include <system_error>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace zelbor {
namespace fs = std::filesystem;

std::string CurrentLanguage;
std::string DefaultLanguage;
std::vector<std::string> LanguageCodes;

namespace {

std::optional<fs::path>& FolderSetting()
{
    static std::optional<fs::path> folder;
    return folder;
}

// A corrupt "nbLang" must not make the start-up allocate without bound.
constexpr int kMaxLanguages = 1000;

// Read afresh for every lookup: a catalogue edited while the program runs is seen at once.
IniFile CurrentCatalogue() { return IniFile::Load(LanguageFile("soft/errors.ini")); }

std::string Lookup(const IniFile& ini, std::string_view key, std::size_t index)
{
    std::string value = ini.ReadRaw("ERRORS", key, kNullSentinel);
    if (value == kNullSentinel)
        return kUnknownErrorMessage;
    std::vector<std::string> items = SplitItems(value, '|');
    if (index < items.size())
        return items[index];
    return kUnknownErrorMessage;
}

bool NeedsQuotes(std::string_view v)
{
    if (v.empty())
        return false;
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    if (blank(v.front()) || blank(v.back()))
        return true;
    return v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front();
}

} // namespace

fs::path RunningExecutableFolder()
{
#ifdef _WIN32
    // A program started from a shortcut or from another folder has some other working folder.
    std::wstring name(MAX_PATH, L'\0');
    while (name.size() <= 32768) { // the longest path Windows knows
        const DWORD n = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (n == 0)
            break;
        if (n < name.size()) {
            name.resize(n);
            return fs::path(name).parent_path();
        }
        name.resize(name.size() * 2); // truncated: try again with more room
    }
#else
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec)
        return exe.parent_path();
#endif
    std::error_code cwd;
    return fs::current_path(cwd); // no way to know: the best remaining guess
}

fs::path ExecutableFolder()
{
    auto& folder = FolderSetting();
    if (!folder)
        folder = RunningExecutableFolder();
    return *folder;
}

void SetExecutableFolder(const fs::path& folder) { FolderSetting() = folder; }

fs::path LanguageFile(std::string_view relative)
{
    return ExecutableFolder() / "Languages" / CurrentLanguage / fs::path(relative);
}

fs::path LanguagesIniPath() { return ExecutableFolder() / "Languages" / "languages.ini"; }

fs::path ManualPath()
{
    // The code comes from an editable languages.ini: only a plain folder name may lead into
    // Languages/, never a path that climbs out of it.
    const fs::path code(CurrentLanguage);
    if (!CurrentLanguage.empty() && code == code.filename() && code != "." && code != "..") {
        const fs::path own = LanguageFile("Help.pdf");
        std::error_code ec;
        if (fs::is_regular_file(own, ec))
            return own;
    }
    return ExecutableFolder() / "Help.pdf";
}

std::vector<std::string> SplitItems(std::string_view text, char separator)
{
    std::vector<std::string> items;
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        while (i < n && (text[i] == '\r' || text[i] == '\n'))
            ++i;
        std::size_t start = i;
        char quote = 0;
        while (i < n) {
            char c = text[i];
            if (quote) {
                if (c == quote)
                    quote = 0;
            } else if (c == '\'' || c == '"') {
                quote = c;
            } else if (c == separator || c == '\r' || c == '\n') {
                break;
            }
            ++i;
        }
        if (i > start)
            items.emplace_back(text.substr(start, i - start));
        if (i < n && text[i] == separator)
            ++i;
    }
    return items;
}

std::string GetErrorMessage(std::string_view key) { return Lookup(CurrentCatalogue(), key, 0); }
std::string GetErrorCaption(std::string_view key) { return Lookup(CurrentCatalogue(), key, 1); }

std::string CatalogueMessage(std::string_view catalogue, std::string_view key)
{
    return Lookup(IniFile::Parse(catalogue), key, 0);
}
std::string CatalogueCaption(std::string_view catalogue, std::string_view key)
{
    return Lookup(IniFile::Parse(catalogue), key, 1);
}

namespace {

LanguageList ReadList(const IniFile& ini, const std::optional<std::string>& chosen)
{
    LanguageList list;
    int count = ini.ReadLanguageInt("LANGUAGES", "nbLang", 0);
    if (count > kMaxLanguages)
        count = kMaxLanguages;
    list.defaultCode = chosen ? *chosen : ini.ReadString("LANGUAGES", "default", "eng");
    for (int i = 1; i <= count; ++i) {
        std::string entry = ini.ReadString("LANGUAGES", "lang" + std::to_string(i), "English,eng");
        std::vector<std::string> items = SplitItems(entry, ',');
        // Every entry needs a code to build file paths from, and a name to show.
        std::string code = items.size() > 1 ? items[1] : "eng";
        std::string name = items.empty() ? code : items[0];
        if (code == list.defaultCode)
            list.selectedIndex = i - 1;
        list.names.push_back(std::move(name));
        list.codes.push_back(std::move(code));
    }

    DefaultLanguage = list.defaultCode;
    LanguageCodes = list.codes;
    CurrentLanguage =
        list.codes.empty() ? std::string("eng") : list.codes[static_cast<std::size_t>(list.selectedIndex)];
    return list;
}

} // namespace

LanguageList ReadLanguageList(const fs::path& languagesIni)
{
    return ReadList(IniFile::Load(languagesIni), std::nullopt);
}

LanguageList ParseLanguageList(std::string_view text) { return ReadList(IniFile::Parse(text), std::nullopt); }

LanguageList ReadChosenLanguageList(const fs::path& languagesIni)
{
    std::optional<std::string> chosen;
    if (IsInstalledCopy()) {
        try {
            const IniFile own = IniFile::Load(LanguageChoiceIniPath());
            if (own.Value("LANGUAGES", "default"))
                chosen = own.ReadString("LANGUAGES", "default", "eng");
        } catch (const EFileError&) {
            // No per-user folder at all: the shipped choice stands.
        }
    }
    return ReadList(IniFile::Load(languagesIni), chosen);
}

void StoreDefaultLanguage(const fs::path& languagesIni, std::string_view code)
{
    IniEditor editor = IniEditor::Load(languagesIni);
    // Surrounding blanks would be trimmed away on reading; quotes keep the code exact.
    std::string value = NeedsQuotes(code) ? "\"" + std::string(code) + "\"" : std::string(code);
    editor.Set("LANGUAGES", "default", value);
    editor.Save(languagesIni);
}

void StoreLanguageChoice(std::string_view code)
{
    const fs::path ini = LanguageChoiceIniPath();
    if (IsInstalledCopy())
        CreateUserFolder(ini.parent_path());
    StoreDefaultLanguage(ini, code);
}

} // namespace zelbor
