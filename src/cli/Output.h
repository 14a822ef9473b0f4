// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the command line prints: the results of a command as one JSON object or as lines of text,
// and the fields, blocks and controller texts in the forms both show.
#include "cli/Json.h"
#include "editing/Differences.h" // FieldBits, FieldText, Differences
#include "protocol/Parameters.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace zelbor::cli {

class Texts;

// A command's results: the members of its JSON object, and the same for a reader in lines of
// text. Both are kept up to the end, so that a failure still prints what was done before it.
class Report {
public:
    void Set(const std::string& name, Json value) { json_.Set(name, std::move(value)); }
    void Line(const std::string& line) { text_ += line + "\n"; }
    void Text(const std::string& text) { text_ += text; }
    // The error of a command that failed, in the JSON object (the message itself goes to
    // standard error whatever the form).
    void Error(int status, const std::string& message);
    void Print(std::ostream& out, bool json) const;

private:
    Json json_ = Json::Object();
    std::string text_;
};

// The name a block has in options and JSON: "basic", "pedal-assist", "throttle".
const char* BlockName(std::uint8_t code);

// A field in JSON: its block, profile key, control and label.
Json FieldJson(const ParameterField& f);
// A field for a reader: "[Pedal Assist] Speed Limit", the block named in the chosen language.
std::string FieldName(const Texts& texts, const ParameterField& f);

// The controller's names are single-byte characters, as the window shows them.
std::string Latin1ToUtf8(const std::string& bytes);
// A controller's text on a line of its own: control characters (a newline would start a line
// that reads like another result) are shown as \xNN.
std::string Printable(const std::string& text);

} // namespace zelbor::cli
