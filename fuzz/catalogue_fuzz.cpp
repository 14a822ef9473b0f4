// SPDX-License-Identifier: GPL-3.0-or-later
// The catalogue lookups and the language list, on the text of the file each reads (the file
// readers parse what they read by the same functions).
//
// Input: the first line is the key to look up, the rest is the content of soft/errors.ini; the
// same content is also read as languages.ini.
// Checks besides memory safety: a lookup always gives a text to show (never an empty message or
// caption), and the language list always yields a language to build file paths from, with one
// code per name and a selected entry inside the list.
#include "common/Catalogue.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace zelbor {

namespace {

void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "catalogue fuzz: %s\n", what);
        std::abort();
    }
}

} // namespace

} // namespace zelbor

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace zelbor;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t eol = input.find('\n');
    const std::string_view key = input.substr(0, eol);
    const std::string_view file = eol == std::string_view::npos ? std::string_view() : input.substr(eol + 1);

    Require(!CatalogueMessage(file, key).empty(), "empty message");
    Require(!CatalogueCaption(file, key).empty(), "empty caption");

    const LanguageList list = ParseLanguageList(file);
    Require(list.names.size() == list.codes.size(), "names and codes differ in number");
    Require(list.codes.empty() ||
                (list.selectedIndex >= 0 && static_cast<std::size_t>(list.selectedIndex) < list.codes.size()),
            "selected entry outside the list");
    for (const std::string& code : list.codes)
        Require(!code.empty(), "a language without a code");
    Require(!CurrentLanguage.empty(), "no current language");
    Require(LanguageCodes == list.codes, "language codes not published");
    return 0;
}
