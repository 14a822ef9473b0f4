// SPDX-License-Identifier: GPL-3.0-or-later
// SplitItems, the rule that cuts catalogue entries at '|' and language entries at ','. The first
// input byte is the separator, the rest the text.
//
// Checks besides memory safety: no item is empty, and the items are the text itself, in order,
// with nothing taken away but separators and line ends (no character is lost, doubled or moved).
#include "common/Catalogue.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace zelbor {

namespace {

void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "SplitItems fuzz: %s\n", what);
        std::abort();
    }
}

} // namespace

} // namespace zelbor

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace zelbor;
    if (size == 0)
        return 0;
    const char separator = static_cast<char>(data[0]);
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    const auto items = zelbor::SplitItems(text, separator);

    auto dropped = [&](char c) { return c == separator || c == '\r' || c == '\n'; };
    std::size_t pos = 0;
    for (const auto& item : items) {
        Require(!item.empty(), "empty item");
        while (pos < text.size() && text.compare(pos, item.size(), item) != 0) {
            Require(dropped(text[pos]), "a character other than a separator or line end was dropped");
            ++pos;
        }
        Require(pos < text.size(), "item not found in the text in order");
        // A quote opens a protected run even when it is also the separator.
        Require(!dropped(item.front()) || item.front() == '\'' || item.front() == '"',
                "item starts with a separator or line end");
        pos += item.size();
    }
    for (; pos < text.size(); ++pos)
        Require(dropped(text[pos]), "text after the last item holds more than separators and line ends");
    return 0;
}
