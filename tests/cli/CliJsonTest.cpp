// SPDX-License-Identifier: GPL-3.0-or-later
// The JSON the command line prints must parse whatever a controller sends as its names: bytes
// that are no UTF-8 (its names are single-byte characters), control characters, quotes.
#include "cli/Json.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace zelbor {

using zelbor::cli::Json;

TEST(CliJson, AnyBytesBecomeAStringThatParsesBackToTheirCharacters)
{
    Json j = Json::Object();
    j.Set("latin1", std::string("\xE9"
                                "AB"));     // a lone byte 0xE9: no UTF-8
    j.Set("utf8", std::string("\xC3\xA9")); // valid UTF-8 stays as it is
    j.Set("control", std::string("M\x01\n\"\\\x7F", 7));
    j.Set("cut", std::string("\xE2\x82", 2)); // a sequence cut short
    j.Set("latin1", std::string("\xFF"));     // setting again replaces, in place
    const auto parsed = nlohmann::json::parse(j.Dump());
    EXPECT_EQ(parsed["latin1"], "\xC3\xBF");
    EXPECT_EQ(parsed["utf8"], "\xC3\xA9");
    EXPECT_EQ(parsed["control"], std::string("M\x01\n\"\\\x7F", 7));
    EXPECT_EQ(parsed["cut"], "\xC3\xA2\xC2\x82");
    EXPECT_EQ(j.Dump().rfind("{\"latin1\":", 0), 0u) << "members keep the order they were added in";
}

TEST(CliJson, ArraysNumbersAndNestingKeepTheirShape)
{
    Json list = Json::Array{};
    list.Push(1).Push(-130).Push(true).Push(nullptr).Push(Json::Object());
    Json j = Json::Object();
    j.Set("list", list);
    j.Set("empty", Json::Array{});
    EXPECT_EQ(j.Dump(), R"({"list":[1,-130,true,null,{}],"empty":[]})");
}

} // namespace zelbor
