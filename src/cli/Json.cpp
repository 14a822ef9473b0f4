// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Json.h"

#include <cstdio>

namespace zelbor::cli {

namespace {

// Length of the valid UTF-8 sequence at s[i], or 0.
std::size_t Utf8Length(const std::string& s, std::size_t i)
{
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 0;
    if (n == 0 || i + n > s.size())
        return 0;
    for (std::size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
            return 0;
    return n;
}

} // namespace

std::string Quote(const std::string& text)
{
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        char buf[8];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else if (c >= 0x80) {
            if (const std::size_t n = Utf8Length(text, i)) {
                out.append(text, i, n);
                i += n;
                continue;
            }
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
        ++i;
    }
    return out + "\"";
}

Json& Json::Set(const std::string& name, Json value)
{
    if (!IsObject())
        v_ = Members{};
    auto& members = std::get<Members>(v_);
    for (auto& m : members)
        if (m.first == name) {
            m.second = std::move(value);
            return *this;
        }
    members.emplace_back(name, std::move(value));
    return *this;
}

Json& Json::Push(Json value)
{
    if (!std::holds_alternative<Array>(v_))
        v_ = Array{};
    std::get<Array>(v_).push_back(std::move(value));
    return *this;
}

std::string Json::Dump() const
{
    std::string out;
    DumpTo(out);
    return out;
}

void Json::DumpTo(std::string& out) const
{
    if (std::holds_alternative<std::nullptr_t>(v_)) {
        out += "null";
    } else if (const bool* b = std::get_if<bool>(&v_)) {
        out += *b ? "true" : "false";
    } else if (const long long* n = std::get_if<long long>(&v_)) {
        out += std::to_string(*n);
    } else if (const std::string* s = std::get_if<std::string>(&v_)) {
        out += Quote(*s);
    } else if (const Array* a = std::get_if<Array>(&v_)) {
        out += '[';
        for (std::size_t i = 0; i < a->size(); ++i) {
            if (i)
                out += ',';
            (*a)[i].DumpTo(out);
        }
        out += ']';
    } else {
        const auto& members = std::get<Members>(v_);
        out += '{';
        for (std::size_t i = 0; i < members.size(); ++i) {
            if (i)
                out += ',';
            out += Quote(members[i].first);
            out += ':';
            members[i].second.DumpTo(out);
        }
        out += '}';
    }
}

} // namespace zelbor::cli
