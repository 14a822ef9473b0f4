// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/Ini.h"

#include "common/AtomicFile.h"
#include "common/Errors.h"
#include "common/PathText.h"

#include <climits>
#include <cstdint>
#include <system_error>

namespace zelbor {
namespace fs = std::filesystem;

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// The form under which names are indexed: matching ignores ASCII letter case.
std::string Folded(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = Lower(c);
    return out;
}

// A line's content without its line end, trimmed.
std::string_view LineContent(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return Trim(line);
}

bool IsSectionLine(std::string_view t) { return t.size() >= 2 && t.front() == '[' && t.back() == ']'; }
std::string_view SectionName(std::string_view t) { return Trim(t.substr(1, t.size() - 2)); }
bool IsIgnoredLine(std::string_view t) { return t.empty() || t.front() == ';'; }

// Key of a key line, or nullopt for lines that define no key.
std::optional<std::string_view> KeyOf(std::string_view t)
{
    if (IsIgnoredLine(t) || IsSectionLine(t))
        return std::nullopt;
    auto eq = t.find('=');
    if (eq == std::string_view::npos)
        return std::nullopt;
    return Trim(t.substr(0, eq));
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Digits only (no sign, no prefix) in the given base; nullopt when empty, on a stray
// character, or when the magnitude exceeds `limit`.
std::optional<std::int64_t> Magnitude(std::string_view digits, int base, std::int64_t limit)
{
    if (digits.empty())
        return std::nullopt;
    std::int64_t v = 0;
    for (char c : digits) {
        int d = HexDigit(c);
        if (d < 0 || d >= base)
            return std::nullopt;
        v = v * base + d;
        if (v > limit)
            return std::nullopt;
    }
    return v;
}

// A UTF-8 byte-order mark, which some editors put at the start of every file they save. It is
// no part of the first line: left in, it would hide the first section header.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool SkipByteOrderMark(std::string_view& text)
{
    if (text.substr(0, kByteOrderMark.size()) != kByteOrderMark)
        return false;
    text.remove_prefix(kByteOrderMark.size());
    return true;
}

bool HasHexPrefix(std::string_view s) { return s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X'); }

} // namespace

// ---------------------------------------------------------------- numbers and quotes

std::optional<int> ParseLanguageInt(std::string_view text)
{
    std::string_view s = Trim(text);
    if (HasHexPrefix(s)) {
        auto m = Magnitude(s.substr(2), 16, INT_MAX);
        if (!m)
            return std::nullopt;
        return static_cast<int>(*m);
    }
    bool negative = !s.empty() && s.front() == '-';
    if (negative)
        s.remove_prefix(1);
    auto m = Magnitude(s, 10, negative ? -static_cast<std::int64_t>(INT_MIN) : INT_MAX);
    if (!m)
        return std::nullopt;
    return static_cast<int>(negative ? -*m : *m);
}

std::optional<int> ParseProfileInt(std::string_view text)
{
    std::string_view s = Trim(text);
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    const std::int64_t limit = negative ? -static_cast<std::int64_t>(INT_MIN) : INT_MAX;
    std::optional<std::int64_t> m;
    if (HasHexPrefix(s))
        m = Magnitude(s.substr(2), 16, limit);
    else if (!s.empty() && s.front() == '$')
        m = Magnitude(s.substr(1), 16, limit);
    else
        m = Magnitude(s, 10, limit);
    if (!m)
        return std::nullopt;
    return static_cast<int>(negative ? -*m : *m);
}

std::string StripMatchingQuotes(std::string_view text)
{
    if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front())
        return std::string(text.substr(1, text.size() - 2));
    return std::string(text);
}

bool SameIniName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

// ---------------------------------------------------------------- reader

IniFile IniFile::Parse(std::string_view text)
{
    IniFile ini;
    Section* current = nullptr;
    SkipByteOrderMark(text);
    std::size_t pos = 0;
    std::size_t lineNumber = 0;
    while (pos <= text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view t = LineContent(text.substr(pos, end - pos));
        pos = end + 1;
        ++lineNumber;

        if (IsIgnoredLine(t))
            continue;
        if (IsSectionLine(t)) {
            std::string_view name = SectionName(t);
            current = nullptr;
            // A repeated section is ignored as a whole: the first occurrence wins.
            if (ini.index_.emplace(Folded(name), ini.sections_.size()).second) {
                ini.sections_.push_back({std::string(name), {}, {}});
                current = &ini.sections_.back();
            } else {
                ini.ignored_.push_back({std::string(name), {}, lineNumber});
            }
            continue;
        }
        if (!current)
            continue;
        auto eq = t.find('=');
        if (eq == std::string_view::npos)
            continue;
        std::string_view key = Trim(t.substr(0, eq));
        if (current->index.emplace(Folded(key), current->entries.size()).second)
            current->entries.push_back({std::string(key), std::string(Trim(t.substr(eq + 1))), lineNumber});
        else
            ini.ignored_.push_back({current->name, std::string(key), lineNumber});
    }
    return ini;
}

IniFile IniFile::Load(const fs::path& path)
{
    std::string text;
    if (!ReadWholeFile(path, text))
        return IniFile();
    return Parse(text);
}

std::optional<std::string> IniFile::Value(std::string_view section, std::string_view key) const
{
    const auto s = index_.find(Folded(section));
    if (s == index_.end())
        return std::nullopt;
    const Section& found = sections_[s->second];
    const auto e = found.index.find(Folded(key));
    if (e == found.index.end())
        return std::nullopt;
    return found.entries[e->second].value;
}

std::size_t IniFile::Line(std::string_view section, std::string_view key) const
{
    const auto s = index_.find(Folded(section));
    if (s == index_.end())
        return 0;
    const Section& found = sections_[s->second];
    const auto e = found.index.find(Folded(key));
    return e == found.index.end() ? 0 : found.entries[e->second].line;
}

namespace {
IniMissObserver& MissObserver()
{
    static IniMissObserver observer;
    return observer;
}

void ReportMiss(std::string_view section, std::string_view key)
{
    if (const auto& observer = MissObserver())
        observer(section, key);
}
} // namespace

void SetIniMissObserver(IniMissObserver observer) { MissObserver() = std::move(observer); }

std::string IniFile::ReadRaw(std::string_view section, std::string_view key, std::string_view def) const
{
    if (auto v = Value(section, key))
        return *v;
    ReportMiss(section, key);
    return std::string(def);
}

std::string IniFile::ReadString(std::string_view section, std::string_view key, std::string_view def) const
{
    if (auto v = Value(section, key))
        return StripMatchingQuotes(*v);
    ReportMiss(section, key);
    return std::string(def);
}

int IniFile::ReadLanguageInt(std::string_view section, std::string_view key, int def) const
{
    const auto v = Value(section, key);
    if (!v) {
        ReportMiss(section, key);
        return def;
    }
    return ParseLanguageInt(StripMatchingQuotes(*v)).value_or(def);
}

int IniFile::ReadProfileInt(std::string_view section, std::string_view key, int def) const
{
    const auto v = Value(section, key);
    if (!v) {
        ReportMiss(section, key);
        return def;
    }
    return ParseProfileInt(StripMatchingQuotes(*v)).value_or(def);
}

bool IniFile::HasSection(std::string_view section) const { return index_.count(Folded(section)) != 0; }

// ---------------------------------------------------------------- editor
//
// Lines are kept as read, each without its '\n' but with any '\r' it had, so that lines the
// editor does not touch come out byte for byte as they went in.

IniEditor IniEditor::FromText(std::string_view text)
{
    IniEditor ed;
    ed.byteOrderMark_ = SkipByteOrderMark(text); // kept, and written back in front of the lines
    if (text.empty())
        return ed; // new file: CR LF, and every line ends with one
    std::size_t firstEnd = text.find('\n');
    ed.eol_ = (firstEnd != std::string_view::npos && firstEnd > 0 && text[firstEnd - 1] == '\r') ? "\r\n" : "\n";
    ed.finalEol_ = text.back() == '\n';
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        ed.lines_.emplace_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    return ed;
}

IniEditor IniEditor::Load(const fs::path& path)
{
    std::error_code ec;
    if (!fs::exists(path, ec))
        return IniEditor();
    std::string text;
    // Starting from an empty editor here would drop the file's other lines on the next save.
    if (!ReadWholeFile(path, text))
        throw EFileError(
            "Cannot write file \"" + PathText(path) + "\": " +
            (fs::is_regular_file(path, ec) ? "its present content cannot be read" : "it is not a regular file"));
    return FromText(text);
}

void IniEditor::Set(std::string_view section, std::string_view key, std::string_view value)
{
    const std::string cr = eol_ == "\r\n" ? "\r" : "";
    auto newLine = [&](std::string s) { return s + cr; };

    std::size_t header = lines_.size();
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        std::string_view t = LineContent(lines_[i]);
        if (IsSectionLine(t) && SameIniName(SectionName(t), section)) {
            header = i;
            break;
        }
    }

    if (header == lines_.size()) {
        // The last line may lack its line end; it needs one before anything is appended.
        if (!lines_.empty() && !finalEol_ && !cr.empty() && (lines_.back().empty() || lines_.back().back() != '\r'))
            lines_.back() += cr;
        finalEol_ = true;
        lines_.push_back(newLine("[" + std::string(section) + "]"));
        lines_.push_back(newLine(std::string(key) + "=" + std::string(value)));
        return;
    }

    std::size_t insertAfter = header;
    for (std::size_t i = header + 1; i < lines_.size(); ++i) {
        std::string& line = lines_[i];
        std::string_view t = LineContent(line);
        if (IsSectionLine(t))
            break;
        auto k = KeyOf(t);
        if (!k)
            continue;
        if (SameIniName(*k, key)) {
            // Keep everything up to the '=' and the blanks after it, and the line's own ending.
            std::size_t eq = line.find('=');
            std::size_t start = eq + 1;
            while (start < line.size() && IsBlank(line[start]))
                ++start;
            bool hadCr = !line.empty() && line.back() == '\r';
            line = line.substr(0, start) + std::string(value) + (hadCr ? "\r" : "");
            return;
        }
        insertAfter = i;
    }

    if (insertAfter + 1 == lines_.size() && !finalEol_) {
        if (!cr.empty() && (lines_.back().empty() || lines_.back().back() != '\r'))
            lines_.back() += cr;
        finalEol_ = true;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAfter + 1),
                  newLine(std::string(key) + "=" + std::string(value)));
}

std::string IniEditor::Text() const
{
    std::string out(byteOrderMark_ ? kByteOrderMark : std::string_view());
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        out += lines_[i];
        if (i + 1 < lines_.size() || finalEol_)
            out += '\n';
    }
    return out;
}

void IniEditor::Save(const fs::path& path) const { WriteFileAtomically(path, Text()); }

} // namespace zelbor
