// SPDX-License-Identifier: GPL-3.0-or-later
// The INI reader and the in-place editor on arbitrary file contents.
//
// Checks besides memory safety:
//  - every value the reader finds is trimmed and single-line, and the typed readers agree with it;
//  - a number the readers accept reads back the same after it is written in decimal;
//  - the editor gives back a file it did not change byte for byte;
//  - after the editor sets a key, the reader finds exactly that value (a saved setting is never
//    lost or read from another line).
#include "common/Ini.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using namespace zelbor;

namespace {

void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "ini fuzz: %s\n", what);
        std::abort();
    }
}

std::string_view Trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// Section and key names as the file spells them, gathered without the reader's rules: the
// reader's answers for them are what is checked. Each key is asked of the section it stands in, of
// the first section and of no section at all, which is where a wrong match would show; asking
// every key of every section cost more than the reading itself.
struct Query {
    std::string section;
    std::string key;
};

std::vector<Query> Names(std::string_view text)
{
    std::vector<Query> queries;
    std::vector<std::string> keys;
    std::string first, current;
    bool seen = false;
    std::size_t pos = 0;
    while (pos < text.size() && keys.size() < 64) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = Trimmed(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.size() >= 2 && line.front() == '[') {
            const std::size_t close = line.find(']');
            if (close != std::string_view::npos) {
                current = Trimmed(line.substr(1, close - 1));
                if (!std::exchange(seen, true))
                    first = current;
            }
        } else if (const std::size_t eq = line.find('='); eq != std::string_view::npos) {
            keys.emplace_back(Trimmed(line.substr(0, eq)));
            queries.push_back({current, keys.back()});
        }
    }
    keys.emplace_back("");
    for (const std::string& key : keys) {
        queries.push_back({first, key});
        queries.push_back({"", key});
    }
    return queries;
}

void CheckNumber(std::string_view value)
{
    if (const auto v = ParseLanguageInt(value))
        Require(ParseLanguageInt(std::to_string(*v)) == v, "language number does not read back");
    if (const auto v = ParseProfileInt(value))
        Require(ParseProfileInt(std::to_string(*v)) == v, "profile number does not read back");
}

void CheckReader(std::string_view text)
{
    const IniFile ini = IniFile::Parse(text);
    for (const auto& [s, k] : Names(text)) {
        (void)ini.HasSection(s);
        const auto value = ini.Value(s, k);
        if (!value) {
            Require(ini.ReadRaw(s, k, "#") == "#", "missing key does not give the default");
            continue;
        }
        Require(value->find('\n') == std::string::npos, "value spans lines");
        Require(Trimmed(*value).size() == value->size(), "value not trimmed");
        Require(ini.HasSection(s), "value found in a section that is not there");
        Require(ini.ReadRaw(s, k, "") == *value, "raw read differs from the value");
        Require(ini.ReadString(s, k, "") == StripMatchingQuotes(*value), "string read");
        CheckNumber(*value);
        const int def = -12345;
        const auto parsed = ParseProfileInt(StripMatchingQuotes(*value));
        Require(ini.ReadProfileInt(s, k, def) == parsed.value_or(def), "profile integer read");
    }
}

// A name or value the editor can store and the reader can find: letters and digits only.
std::string Word(const std::uint8_t* data, std::size_t size, std::size_t& pos, char first)
{
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string word(1, first);
    const std::size_t length = pos < size ? data[pos++] % 4 : 0;
    for (std::size_t i = 0; i < length && pos < size; ++i)
        word += alphabet[data[pos++] % (sizeof alphabet - 1)];
    return word;
}

void CheckEditor(const std::uint8_t* data, std::size_t size, std::string_view text)
{
    IniEditor editor = IniEditor::FromText(text);
    Require(editor.Text() == text, "editor changes a file it did not edit");

    // The last bytes of the input choose the keys to set, so the file's own names can be hit.
    std::size_t pos = size > 24 ? size - 24 : 0;
    for (int round = 0; round < 3 && pos < size; ++round) {
        const std::string section = Word(data, size, pos, 's');
        const std::string key = Word(data, size, pos, 'k');
        const std::string value = Word(data, size, pos, 'v');
        editor.Set(section, key, value);
        const IniFile ini = IniFile::Parse(editor.Text());
        Require(ini.Value(section, key) == value, "value set by the editor does not read back");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CheckNumber(text);
    CheckReader(text);
    CheckEditor(data, size, text);
    return 0;
}
