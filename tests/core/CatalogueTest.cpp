// SPDX-License-Identifier: GPL-3.0-or-later
#include "TempDir.h"

#include "common/Catalogue.h"
#include "common/Errors.h"
#include "common/Ini.h"

#include <gtest/gtest.h>

using namespace zelbor;
using zelbor::test::ReadText;
using zelbor::test::TempDir;
using zelbor::test::WriteText;

using Items = std::vector<std::string>;

TEST(SplitItems, SeparatorsLineEndsAndQuotes)
{
    EXPECT_EQ(SplitItems("", '|'), Items{});
    EXPECT_EQ(SplitItems("Text|Caption|more", '|'), (Items{"Text", "Caption", "more"}));
    EXPECT_EQ(SplitItems("Text | Caption", '|'), (Items{"Text ", " Caption"}));
    EXPECT_EQ(SplitItems("|Caption", '|'), (Items{"Caption"}));
    EXPECT_EQ(SplitItems("a||b|", '|'), (Items{"a", "b"}));
    EXPECT_EQ(SplitItems("'a|b'|c", '|'), (Items{"'a|b'", "c"}));
    EXPECT_EQ(SplitItems("\"it's|x\"|c", '|'), (Items{"\"it's|x\"", "c"}));
    EXPECT_EQ(SplitItems("x'a|b'y|z", '|'), (Items{"x'a|b'y", "z"}));
    EXPECT_EQ(SplitItems("'open|to end", '|'), (Items{"'open|to end"}));
    EXPECT_EQ(SplitItems("\r\nline1\r\nline2|c", '|'), (Items{"line1", "line2", "c"}));
    EXPECT_EQ(SplitItems("'a\nb'", '|'), (Items{"'a\nb'"}));
    EXPECT_EQ(SplitItems("English, eng", ','), (Items{"English", " eng"}));
}

class CatalogueTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetExecutableFolder(dir.path());
        CurrentLanguage = "eng";
    }
    void TearDown() override { CurrentLanguage.clear(); }
    void Catalogue(const std::string& body) { WriteText(dir / "Languages/eng/soft/errors.ini", body); }
    TempDir dir;
};

TEST_F(CatalogueTest, PathsFollowTheLanguage)
{
    EXPECT_EQ(LanguageFile("soft/errors.ini"), dir.path() / "Languages" / "eng" / "soft" / "errors.ini");
    EXPECT_EQ(LanguagesIniPath(), dir.path() / "Languages" / "languages.ini");
}

TEST_F(CatalogueTest, LookupsAndFallbacks)
{
    EXPECT_EQ(GetErrorMessage("err1"), kUnknownErrorMessage); // no file yet
    EXPECT_EQ(GetErrorCaption("err1"), kUnknownErrorMessage);

    Catalogue("[errors]\n"
              "ERR1 = Profile gone | Save\n"
              "err2=NULL\n"
              "err3=Only text\n"
              "err4='Bar | inside'|Caption\n"
              "err5=\n"
              "err6=|Just caption\n");
    EXPECT_EQ(GetErrorMessage("err1"), "Profile gone ");
    EXPECT_EQ(GetErrorCaption("err1"), " Save");
    EXPECT_EQ(GetErrorMessage("err2"), kUnknownErrorMessage);
    EXPECT_EQ(GetErrorCaption("err2"), kUnknownErrorMessage);
    EXPECT_EQ(GetErrorMessage("err3"), "Only text");
    EXPECT_EQ(GetErrorCaption("err3"), kUnknownErrorMessage);
    EXPECT_EQ(GetErrorMessage("err4"), "'Bar | inside'");
    EXPECT_EQ(GetErrorCaption("err4"), "Caption");
    EXPECT_EQ(GetErrorMessage("err5"), kUnknownErrorMessage);
    EXPECT_EQ(GetErrorMessage("err6"), "Just caption");
    EXPECT_EQ(GetErrorCaption("err6"), kUnknownErrorMessage);
    EXPECT_EQ(GetErrorMessage("err99"), kUnknownErrorMessage);
}

TEST_F(CatalogueTest, FileChangesAreSeenByTheNextLookup)
{
    Catalogue("[ERRORS]\r\nerr7=Read done|Info\r\n");
    EXPECT_EQ(GetErrorMessage("err7"), "Read done");
    Catalogue("[ERRORS]\r\nerr7=Lecture finie|Info\r\n");
    EXPECT_EQ(GetErrorMessage("err7"), "Lecture finie");
    CurrentLanguage = "fra"; // no catalogue for this one
    EXPECT_EQ(GetErrorMessage("err7"), kUnknownErrorMessage);
}

TEST_F(CatalogueTest, LanguageListRules)
{
    auto ini = LanguagesIniPath();
    WriteText(ini, "[LANGUAGES]\nnbLang=4\ndefault=fra\nlang1=English,eng\nlang2=Francais,fra\n"
                   "lang3=Copy,fra\n");
    LanguageList l = ReadLanguageList(ini);
    EXPECT_EQ(l.names, (Items{"English", "Francais", "Copy", "English"})); // lang4 missing
    EXPECT_EQ(l.codes, (Items{"eng", "fra", "fra", "eng"}));
    EXPECT_EQ(l.defaultCode, "fra");
    EXPECT_EQ(l.selectedIndex, 2); // the later match wins
    EXPECT_EQ(CurrentLanguage, "fra");
    EXPECT_EQ(DefaultLanguage, "fra");
    EXPECT_EQ(LanguageCodes, l.codes);

    WriteText(ini, "[LANGUAGES]\nnbLang=0x2\ndefault=FRA\nlang1=English,eng\nlang2=Francais, fra\n");
    l = ReadLanguageList(ini);
    EXPECT_EQ(l.codes, (Items{"eng", " fra"})); // the blank stays part of the code
    EXPECT_EQ(l.selectedIndex, 0);              // case matters
    EXPECT_EQ(CurrentLanguage, "eng");

    WriteText(ini, "[LANGUAGES]\nnbLang=3\nlang1=OnlyName\nlang2=\nlang3=\"Deutsch,deu\"\n");
    l = ReadLanguageList(ini);
    EXPECT_EQ(l.names, (Items{"OnlyName", "eng", "Deutsch"}));
    EXPECT_EQ(l.codes, (Items{"eng", "eng", "deu"}));
    EXPECT_EQ(l.defaultCode, "eng");
    EXPECT_EQ(l.selectedIndex, 1);

    std::filesystem::remove(ini);
    l = ReadLanguageList(ini);
    EXPECT_TRUE(l.names.empty());
    EXPECT_EQ(l.selectedIndex, 0);
    EXPECT_EQ(CurrentLanguage, "eng"); // a usable folder name even without a list

    WriteText(ini, "[LANGUAGES]\nnbLang=2147483647\n");
    EXPECT_LE(ReadLanguageList(ini).names.size(), 1000u);
}

TEST_F(CatalogueTest, StoreDefaultLanguage)
{
    auto ini = LanguagesIniPath();
    std::filesystem::create_directories(ini.parent_path());
    StoreDefaultLanguage(ini, "fra"); // creates the file
    EXPECT_EQ(ReadText(ini), "[LANGUAGES]\r\ndefault=fra\r\n");

    WriteText(ini, "; list\n[LANGUAGES]\nnbLang=1\nDEFAULT=eng\nlang1=English,eng\n");
    StoreDefaultLanguage(ini, "deu");
    EXPECT_EQ(ReadText(ini), "; list\n[LANGUAGES]\nnbLang=1\nDEFAULT=deu\nlang1=English,eng\n");

    StoreDefaultLanguage(ini, " fra"); // must read back with its blank
    EXPECT_EQ(ReadLanguageList(ini).defaultCode, " fra");

    EXPECT_THROW(StoreDefaultLanguage(dir / "missing/languages.ini", "eng"), EFileError);
}
