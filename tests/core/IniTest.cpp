// SPDX-License-Identifier: GPL-3.0-or-later
#include "TempDir.h"

#include "common/AtomicFile.h"
#include "common/Errors.h"
#include "common/Ini.h"

#include <gtest/gtest.h>

using namespace zelbor;
using zelbor::test::ReadText;
using zelbor::test::TempDir;
using zelbor::test::WriteText;

TEST(Numbers, LanguageAndProfileRules)
{
    EXPECT_EQ(ParseLanguageInt("12"), 12);
    EXPECT_EQ(ParseLanguageInt("-3"), -3);
    EXPECT_EQ(ParseLanguageInt("0x1F"), 31);
    EXPECT_FALSE(ParseLanguageInt("$14"));
    EXPECT_FALSE(ParseLanguageInt("+4"));
    EXPECT_FALSE(ParseLanguageInt(""));
    EXPECT_FALSE(ParseLanguageInt("0x"));
    EXPECT_FALSE(ParseLanguageInt("3a"));

    EXPECT_EQ(ParseProfileInt("0x14"), 20);
    EXPECT_EQ(ParseProfileInt("$14"), 20);
    EXPECT_EQ(ParseProfileInt("+7"), 7);
    EXPECT_EQ(ParseProfileInt("-1"), -1);
    EXPECT_EQ(ParseProfileInt("2147483647"), 2147483647);
    EXPECT_EQ(ParseProfileInt("-2147483648"), -2147483647 - 1);
    EXPECT_FALSE(ParseProfileInt("2147483648"));
    EXPECT_FALSE(ParseProfileInt("0xFFFFFFFF"));
    EXPECT_FALSE(ParseProfileInt("abc"));
    EXPECT_FALSE(ParseProfileInt("-"));
    EXPECT_FALSE(ParseProfileInt("1 2"));
}

TEST(Numbers, StrToIntMessageNamesTheText)
{
    EXPECT_EQ(StrToInt(" 42 "), 42);
    EXPECT_EQ(StrToInt("$FF"), 255);
    try {
        StrToInt("4x");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'4x' is not a valid integer value");
    }
    EXPECT_THROW(StrToInt(""), EConvertError);
}

TEST(IniReader, LinesSectionsAndKeys)
{
    const char* text = "orphan=before any section\r\n"
                       "  [ Main ]  \r\n"
                       "; comment=ignored\r\n"
                       "Title = Hello World \r\n"
                       "title=second wins not\r\n"
                       "no equals sign here\r\n"
                       "expr=a=b=c\r\n"
                       "\r\n"
                       "[OTHER]\n"
                       "quoted=\" padded \"\n"
                       "single='x'\n"
                       "mismatch='x\"\n"
                       "lonequote=\"\n"
                       "[main]\n"
                       "late=from a repeated section\n";
    IniFile ini = IniFile::Parse(text);
    EXPECT_FALSE(ini.Value("", "orphan"));
    EXPECT_EQ(ini.Value("MAIN", "TITLE"), "Hello World");
    EXPECT_FALSE(ini.Value("main", "; comment"));
    EXPECT_FALSE(ini.Value("main", "no equals sign here"));
    EXPECT_EQ(ini.Value("main", "expr"), "a=b=c");
    EXPECT_FALSE(ini.Value("main", "late")); // the first occurrence of a section wins

    EXPECT_EQ(ini.ReadRaw("other", "quoted", "d"), "\" padded \"");
    EXPECT_EQ(ini.ReadString("other", "quoted", "d"), " padded ");
    EXPECT_EQ(ini.ReadString("other", "single", "d"), "x");
    EXPECT_EQ(ini.ReadString("other", "mismatch", "d"), "'x\"");
    EXPECT_EQ(ini.ReadString("other", "lonequote", "d"), "\"");
    EXPECT_EQ(ini.ReadString("other", "missing", "d"), "d");
    EXPECT_EQ(ini.ReadString("nosection", "quoted", "d"), "d");
    EXPECT_TRUE(ini.HasSection("Other"));
    EXPECT_FALSE(ini.HasSection("absent"));
}

TEST(IniReader, IntegersAndMissingFile)
{
    IniFile ini = IniFile::Parse("[S]\nn=0x10\nq=\"7\"\nbad=seven\nd=$10\n");
    EXPECT_EQ(ini.ReadLanguageInt("s", "n", 0), 16);
    EXPECT_EQ(ini.ReadLanguageInt("s", "q", 0), 7);
    EXPECT_EQ(ini.ReadLanguageInt("s", "bad", 5), 5);
    EXPECT_EQ(ini.ReadLanguageInt("s", "d", 5), 5);
    EXPECT_EQ(ini.ReadProfileInt("s", "d", 5), 16);

    TempDir dir;
    IniFile none = IniFile::Load(dir / "nothing.ini");
    EXPECT_FALSE(none.HasSection("S"));
    EXPECT_FALSE(IniFile::Load(dir.path()).HasSection("S")); // a folder reads as empty
}

TEST(IniEditor, UpdatesInPlaceKeepingForeignLines)
{
    const std::string before = "; my notes\r\n"
                               "[LANGUAGES]\r\n"
                               "nbLang=2\r\n"
                               "Default = fra\r\n"
                               "lang1=English,eng\r\n"
                               "\r\n"
                               "[Other]\r\n"
                               "x=1\r\n";
    IniEditor ed = IniEditor::FromText(before);
    ed.Set("languages", "DEFAULT", "deu");
    EXPECT_EQ(ed.Text(), "; my notes\r\n"
                         "[LANGUAGES]\r\n"
                         "nbLang=2\r\n"
                         "Default = deu\r\n"
                         "lang1=English,eng\r\n"
                         "\r\n"
                         "[Other]\r\n"
                         "x=1\r\n");

    ed.Set("LANGUAGES", "lang2", "Deutsch,deu"); // after the last key, before the blank line
    ed.Set("New", "k", "v");                     // a new section at the end
    EXPECT_EQ(ed.Text(), "; my notes\r\n"
                         "[LANGUAGES]\r\n"
                         "nbLang=2\r\n"
                         "Default = deu\r\n"
                         "lang1=English,eng\r\n"
                         "lang2=Deutsch,deu\r\n"
                         "\r\n"
                         "[Other]\r\n"
                         "x=1\r\n"
                         "[New]\r\n"
                         "k=v\r\n");
    // What the editor wrote reads back.
    IniFile ini = IniFile::Parse(ed.Text());
    EXPECT_EQ(ini.Value("languages", "lang2"), "Deutsch,deu");
    EXPECT_EQ(ini.Value("new", "k"), "v");
}

TEST(IniEditor, LineEndsAndUnterminatedLastLine)
{
    IniEditor lf = IniEditor::FromText("[A]\nk=1");
    lf.Set("A", "j", "2");
    lf.Set("B", "m", "3");
    EXPECT_EQ(lf.Text(), "[A]\nk=1\nj=2\n[B]\nm=3\n");

    IniEditor crlf = IniEditor::FromText("[A]\r\nk=1");
    crlf.Set("Z", "z", "9");
    EXPECT_EQ(crlf.Text(), "[A]\r\nk=1\r\n[Z]\r\nz=9\r\n");

    IniEditor fresh = IniEditor::FromText("");
    fresh.Set("S", "a", "1");
    fresh.Set("S", "b", "2");
    EXPECT_EQ(fresh.Text(), "[S]\r\na=1\r\nb=2\r\n");

    // A key only in a comment or in a repeated section is not the key; the first section is.
    IniEditor dup = IniEditor::FromText("[S]\n;a=0\n[T]\n[s]\na=5\n");
    dup.Set("S", "a", "1");
    EXPECT_EQ(dup.Text(), "[S]\na=1\n;a=0\n[T]\n[s]\na=5\n");
    EXPECT_EQ(IniFile::Parse(dup.Text()).Value("s", "a"), "1");
}

TEST(AtomicWrite, ReplacesAndKeepsMode)
{
    TempDir dir;
    auto file = dir / "p.el";
    WriteText(file, "old");
    std::filesystem::permissions(file, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    WriteFileAtomically(file, "new content");
    EXPECT_EQ(ReadText(file), "new content");
#ifndef _WIN32 // Windows has no mode bits: every writable file reports rw-rw-rw- (tests/win32 checks its attributes)
    EXPECT_EQ(std::filesystem::status(file).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
#endif
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(AtomicWrite, FailureKeepsOldFileAndLeavesNoTemporary)
{
    TempDir dir;
    auto blocker = dir / "plain";
    WriteText(blocker, "I am a file");
    auto impossible = blocker / "x.ini"; // parent is a regular file
    try {
        WriteFileAtomically(impossible, "data");
        FAIL() << "no error";
    } catch (const EFileError& e) {
        EXPECT_NE(std::string(e.what()).find(impossible.string()), std::string::npos);
    }
    EXPECT_THROW(WriteFileAtomically(dir / "missing/folder/x.ini", "data"), EFileError);

    // The rename fails when the target is a non-empty folder; the old content stays.
    auto target = dir / "target";
    std::filesystem::create_directories(target / "inside");
    EXPECT_THROW(WriteFileAtomically(target, "data"), EFileError);
    EXPECT_TRUE(std::filesystem::is_directory(target / "inside"));
    EXPECT_EQ(ReadText(blocker), "I am a file");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);

    IniEditor ed = IniEditor::FromText("[S]\r\n");
    ed.Set("S", "k", "v");
    EXPECT_THROW(ed.Save(impossible), EFileError);
}
