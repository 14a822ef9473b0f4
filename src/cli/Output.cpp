// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Output.h"

#include "cli/Texts.h"

namespace zelbor::cli {

void Report::Error(int status, const std::string& message)
{
    Json error = Json::Object();
    error.Set("status", status);
    error.Set("message", message);
    json_.Set("error", error);
}

void Report::Print(std::ostream& out, bool json) const
{
    if (json)
        out << json_.Dump() << "\n";
    else
        out << text_;
    out.flush();
}

const char* BlockName(std::uint8_t code)
{
    return code == bcBasic ? "basic" : code == bcPedalAssist ? "pedal-assist" : "throttle";
}

Json FieldJson(const ParameterField& f)
{
    Json j = Json::Object();
    j.Set("block", BlockName(f.block));
    j.Set("key", f.profileKey);
    j.Set("control", f.control);
    j.Set("field", f.label);
    return j;
}

std::string FieldName(const Texts& texts, const ParameterField& f)
{
    return "[" + texts.Block(f.block) + "] " + f.label;
}

std::string Latin1ToUtf8(const std::string& bytes)
{
    std::string out;
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string Printable(const std::string& text)
{
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F) {
            static const char digits[] = "0123456789ABCDEF";
            out += "\\x";
            out += digits[c >> 4];
            out += digits[c & 0xF];
        } else {
            out += ch;
        }
    }
    return out;
}

} // namespace zelbor::cli
