// SPDX-License-Identifier: GPL-3.0-or-later
// Files that an editor saved with a UTF-8 byte-order mark in front: the first section is read
// like any other, and a save changes it in place and keeps the mark.
#include "TempDir.h"

#include "common/Catalogue.h"
#include "common/Ini.h"
#include "profile/Profile.h"

#include <gtest/gtest.h>

#include <string>

using namespace zelbor;
using zelbor::test::ReadText;
using zelbor::test::TempDir;
using zelbor::test::WriteText;

namespace {

const std::string kBom = "\xEF\xBB\xBF";

std::size_t Count(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

} // namespace

TEST(ByteOrderMark, TheFirstSectionIsRead)
{
    IniFile ini = IniFile::Parse(kBom + "[Basic]\r\nLBP=41\r\n[Other]\r\nk=v\r\n");
    EXPECT_TRUE(ini.HasSection("Basic"));
    EXPECT_EQ(ini.Value("Basic", "LBP"), "41");
    EXPECT_EQ(ini.Value("Other", "k"), "v");

    // Only at the very start is it a mark; elsewhere the bytes are text.
    EXPECT_FALSE(IniFile::Parse("\r\n" + kBom + "[Basic]\r\nLBP=41\r\n").HasSection("Basic"));
    EXPECT_EQ(IniFile::Parse(kBom + "[S]\r\nk=" + kBom + "\r\n").Value("S", "k"), kBom);

    EXPECT_EQ(ParseProfile(kBom + "[Basic]\r\nLBP=41\r\nLC=18\r\n").basic.cbbBasLowBat, 41);
}

TEST(ByteOrderMark, ASaveReplacesTheValuesInPlaceAndKeepsTheMark)
{
    TempDir dir;
    const auto file = dir / "marked.el";
    WriteText(file, kBom + "[Basic]\r\nLBP=30\r\nLC=5\r\n");
    ProfileValues v = DefaultProfileValues();
    v.basic.cbbBasLowBat = 41;
    WriteProfile(file, v);
    const std::string text = ReadText(file);
    EXPECT_EQ(text.rfind(kBom + "[Basic]\r\nLBP=41\r\nLC=10\r\nALC0=10\r\n", 0), 0u) << text;
    EXPECT_EQ(Count(text, "[Basic]"), 1u) << text;
    EXPECT_EQ(Count(text, "LBP="), 1u) << text;
    EXPECT_EQ(Count(text, kBom), 1u);
    EXPECT_EQ(ReadProfile(file), v);

    // An editor that changes nothing gives the file back byte for byte, a bare mark included.
    for (const std::string& original : {kBom + "[A]\nk=1", kBom, kBom + "\r\n"})
        EXPECT_EQ(IniEditor::FromText(original).Text(), original);
    IniEditor bare = IniEditor::FromText(kBom);
    bare.Set("S", "k", "v");
    EXPECT_EQ(bare.Text(), kBom + "[S]\r\nk=v\r\n");
}

TEST(ByteOrderMark, LanguageListAndCatalogue)
{
    TempDir dir;
    SetExecutableFolder(dir.path());
    const auto ini = LanguagesIniPath();
    WriteText(ini, kBom + "[LANGUAGES]\r\nnbLang=2\r\ndefault=fra\r\nlang1=English,eng\r\nlang2=Francais,fra\r\n");
    LanguageList list = ReadLanguageList(ini);
    EXPECT_EQ(list.codes, (std::vector<std::string>{"eng", "fra"}));
    EXPECT_EQ(CurrentLanguage, "fra");

    StoreDefaultLanguage(ini, "eng");
    EXPECT_EQ(ReadText(ini),
              kBom + "[LANGUAGES]\r\nnbLang=2\r\ndefault=eng\r\nlang1=English,eng\r\nlang2=Francais,fra\r\n");

    WriteText(dir / "Languages/fra/soft/errors.ini", kBom + "[ERRORS]\r\nerr2=Fichier absent|Chargement\r\n");
    EXPECT_EQ(GetErrorMessage("err2"), "Fichier absent");
    EXPECT_EQ(GetErrorCaption("err2"), "Chargement");
    CurrentLanguage.clear();
}
