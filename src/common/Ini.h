// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// INI files as the tool reads and writes them: language files, the message
// catalogue, languages.ini and profiles. No Qt.
//
// Reading rules (all readers):
//  - a UTF-8 byte-order mark at the start of the file is skipped;
//  - each line is trimmed of leading/trailing blanks (space, tab); LF and CR LF both end a line;
//  - empty lines and lines beginning with ';' are ignored;
//  - "[name]" opens a section, name trimmed; lines before the first section are ignored;
//  - other lines split at the first '='; key and value trimmed; a line without '=' defines nothing;
//  - section and key names match without regard to ASCII letter case;
//  - the first occurrence of a section or key wins;
//  - a missing or unreadable file reads as empty.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zelbor {

class IniFile {
public:
    IniFile() = default;
    static IniFile Parse(std::string_view text);
    static IniFile Load(const std::filesystem::path& path); // missing file -> empty

    // Raw value as stored (trimmed), or nullopt when the section or key is missing.
    std::optional<std::string> Value(std::string_view section, std::string_view key) const;

    // Catalogue rule: value used as stored, quotes kept.
    std::string ReadRaw(std::string_view section, std::string_view key, std::string_view def) const;
    // Language-file and profile rule: a value enclosed in a matching pair of ' or " is returned without them.
    std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const;
    // Language-file integers: decimal, or hexadecimal after "0x"; anything else gives def.
    int ReadLanguageInt(std::string_view section, std::string_view key, int def) const;
    // Profile integers: decimal with optional sign, or hexadecimal after "0x" or "$"; anything else gives def.
    int ReadProfileInt(std::string_view section, std::string_view key, int def) const;

    bool HasSection(std::string_view section) const;

    // The line (1 for the first) that defines the key, or 0 when the section or key is missing.
    std::size_t Line(std::string_view section, std::string_view key) const;
    // Repeated sections and keys, which the readers ignore because the first occurrence wins: a
    // check of a file can name them. `key` is empty for a repeated section.
    struct Ignored {
        std::string section;
        std::string key;
        std::size_t line = 0;
    };
    const std::vector<Ignored>& IgnoredLines() const { return ignored_; }

private:
    struct Entry {
        std::string key;
        std::string value;
        std::size_t line = 0;
    };
    // Names are indexed by their lower-case form: a file of a million keys must not take a
    // million comparisons per key, neither to find the first occurrence nor to look one up.
    struct Section {
        std::string name;
        std::vector<Entry> entries;
        std::unordered_map<std::string, std::size_t> index;
    };
    std::vector<Section> sections_;
    std::unordered_map<std::string, std::size_t> index_;
    std::vector<Ignored> ignored_;
};

// Told of every Read* call above that falls back to its default because the section or the key is
// missing. Lets a check prove that the shipped language files hold every key the program reads.
// Empty by default; set and cleared on the user-interface thread only.
using IniMissObserver = std::function<void(std::string_view section, std::string_view key)>;
void SetIniMissObserver(IniMissObserver observer);

// Number parsing used by the readers above (exposed for tests and the window's conversions).
std::optional<int> ParseLanguageInt(std::string_view text);
std::optional<int> ParseProfileInt(std::string_view text);
// Whether two section or key names match: without regard to ASCII letter case.
bool SameIniName(std::string_view a, std::string_view b);
// Removes one matching pair of surrounding ' or " quotes, if present.
std::string StripMatchingQuotes(std::string_view text);

// In-place editor: keeps every line of the file as it was and changes only the keys set.
//  - an existing key's value is replaced where it stands (the line keeps its key spelling);
//  - a missing key is added after the last key line of its section;
//  - a missing section is added at the end of the file, followed by the key;
//  - the line-end style of an existing file is kept; a new file gets CR LF;
//  - a UTF-8 byte-order mark at the start is kept there (and is never taken for part of a line).
// Save() replaces the file atomically (temporary file in the same folder, flushed, renamed):
// on failure the old file is left as it was and EFileError is thrown naming the file.
class IniEditor {
public:
    // Missing file -> empty editor; a file that exists but cannot be read throws EFileError
    // (an empty start would drop its other lines on the next save).
    static IniEditor Load(const std::filesystem::path& path);
    static IniEditor FromText(std::string_view text);
    void Set(std::string_view section, std::string_view key, std::string_view value);
    std::string Text() const;
    void Save(const std::filesystem::path& path) const;

private:
    std::vector<std::string> lines_;
    std::string eol_ = "\r\n";
    bool finalEol_ = true;
    bool byteOrderMark_ = false;
};

} // namespace zelbor
