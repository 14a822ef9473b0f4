// SPDX-License-Identifier: GPL-3.0-or-later
// Portable and installed copies: where the language choice, the profile dialogs and the start-up
// profile live, and how the per-user folders are found.
#include "TempDir.h"

#include "common/Catalogue.h"
#include "common/Errors.h"
#include "common/UserFolders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

using namespace zelbor;
using zelbor::test::ReadText;
using zelbor::test::TempDir;
using zelbor::test::WriteText;
namespace fs = std::filesystem;

namespace {

const char* const kShippedList = "[LANGUAGES]\nnbLang=3\ndefault=eng\nlang1=English,eng\nlang2=Francais,fra\n"
                                 "lang3=Deutsch,deu\n";

class CopyModes : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetExecutableFolder(program.path());
        SetUserFolders(user / "config", user / "data");
        WriteText(LanguagesIniPath(), kShippedList);
        WriteText(program / "Profiles/DefaultProfile.el", "[Basic]\nLC=10\n");
    }
    void TearDown() override
    {
        SetUserFolders({}, {});
        CurrentLanguage.clear();
    }
    void Install() { WriteText(program / kInstalledCopyMarker, "installed\n"); }
    bool Exists(const fs::path& p) const { return fs::exists(p); }

    TempDir program;
    TempDir user;
};

TEST_F(CopyModes, APortableCopyKeepsEverythingInItsOwnFolderAsBefore)
{
    EXPECT_FALSE(IsInstalledCopy());
    // Not even a folder of the marker's name makes a copy installed.
    fs::create_directories(program / kInstalledCopyMarker);
    EXPECT_FALSE(IsInstalledCopy());

    EXPECT_EQ(LanguageChoiceIniPath(), LanguagesIniPath());
    EXPECT_EQ(ProfileDialogFolder(), program.path() / "Profiles");
    // A per-user default profile (left by an installed copy of the same user) is not the portable
    // copy's business.
    WriteText(user / "data/Profiles/DefaultProfile.el", "[Basic]\nLC=20\n");
    EXPECT_EQ(StartupProfilePath(), program.path() / "Profiles" / "DefaultProfile.el");

    WriteText(user / "config/languages.ini", "[LANGUAGES]\ndefault=deu\n");
    EXPECT_EQ(ReadChosenLanguageList(LanguagesIniPath()).defaultCode, "eng");
    StoreLanguageChoice("fra");
    EXPECT_EQ(ReadText(LanguagesIniPath()),
              "[LANGUAGES]\nnbLang=3\ndefault=fra\nlang1=English,eng\nlang2=Francais,fra\nlang3=Deutsch,deu\n");
    EXPECT_EQ(ReadText(user / "config/languages.ini"), "[LANGUAGES]\ndefault=deu\n");
}

TEST_F(CopyModes, AnInstalledCopyKeepsTheLanguageChoiceInTheUsersOwnFile)
{
    Install();
    ASSERT_TRUE(IsInstalledCopy());
    const fs::path own = user / "config/languages.ini";
    EXPECT_EQ(LanguageChoiceIniPath(), own);

    // Nothing of the user's yet: the shipped choice.
    LanguageList list = ReadChosenLanguageList(LanguagesIniPath());
    EXPECT_EQ(list.selectedIndex, 0);
    EXPECT_EQ(CurrentLanguage, "eng");

    StoreLanguageChoice("deu"); // creates the folder and a file holding the key alone
    EXPECT_EQ(ReadText(own), "[LANGUAGES]\r\ndefault=deu\r\n");
    EXPECT_EQ(ReadText(LanguagesIniPath()), kShippedList);
    list = ReadChosenLanguageList(LanguagesIniPath());
    EXPECT_EQ(list.defaultCode, "deu");
    EXPECT_EQ(list.selectedIndex, 2);
    EXPECT_EQ(CurrentLanguage, "deu");
    EXPECT_EQ(list.names.size(), 3u); // the list itself is the shipped one
    // The plain reader still gives the shipped file as it stands.
    EXPECT_EQ(ReadLanguageList(LanguagesIniPath()).defaultCode, "eng");

    // The key is replaced where it stands; the user's other lines stay.
    WriteText(own, "; mine\n[languages]\nDefault=fra\n[other]\nx=1\n");
    EXPECT_EQ(ReadChosenLanguageList(LanguagesIniPath()).selectedIndex, 1);
    StoreLanguageChoice("eng");
    EXPECT_EQ(ReadText(own), "; mine\n[languages]\nDefault=eng\n[other]\nx=1\n");

    // A file without the key leaves the shipped choice; a code the list lacks picks the first
    // entry, as a shipped one would.
    WriteText(LanguagesIniPath(), "[LANGUAGES]\nnbLang=2\ndefault=fra\nlang1=English,eng\nlang2=Francais,fra\n");
    WriteText(own, "[OTHER]\ndefault=deu\n");
    EXPECT_EQ(ReadChosenLanguageList(LanguagesIniPath()).defaultCode, "fra");
    WriteText(own, "[LANGUAGES]\ndefault=xx\n");
    EXPECT_EQ(ReadChosenLanguageList(LanguagesIniPath()).selectedIndex, 0);
    EXPECT_EQ(CurrentLanguage, "eng");
}

TEST_F(CopyModes, AnInstalledCopysUnwritableUserFolderIsReportedAndTheShippedFileKept)
{
    Install();
    WriteText(user / "config", "a file where the folder belongs");
    try {
        StoreLanguageChoice("fra");
        FAIL() << "stored";
    } catch (const EFileError& e) {
        EXPECT_NE(std::string(e.what()).find("config"), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadText(LanguagesIniPath()), kShippedList);
    EXPECT_EQ(ReadChosenLanguageList(LanguagesIniPath()).defaultCode, "eng");

    // The dialogs still open, in the program's folder, when the data folder cannot be made.
    WriteText(user / "data", "in the way too");
    EXPECT_EQ(ProfileDialogFolder(), program.path() / "Profiles");
    EXPECT_EQ(StartupProfilePath(), program.path() / "Profiles" / "DefaultProfile.el");
}

TEST_F(CopyModes, AnInstalledCopysProfilesAreTheUsersOnceSaved)
{
    Install();
    const fs::path own = user / "data" / "Profiles";
    EXPECT_EQ(StartupProfilePath(), program.path() / "Profiles" / "DefaultProfile.el");
    EXPECT_FALSE(Exists(own)); // only made when the dialogs need it
    EXPECT_EQ(ProfileDialogFolder(), own);
    EXPECT_TRUE(fs::is_directory(own));
    EXPECT_EQ(StartupProfilePath(), program.path() / "Profiles" / "DefaultProfile.el");

    WriteText(own / "DefaultProfile.el", "[Basic]\nLC=20\n");
    EXPECT_EQ(StartupProfilePath(), own / "DefaultProfile.el");
    EXPECT_EQ(ReadText(program / "Profiles/DefaultProfile.el"), "[Basic]\nLC=10\n");
}

TEST(UserFolderRules, XdgBaseFolders)
{
#ifdef _WIN32
    const char* home = "C:\\Users\\rider";
    const char* config = "D:\\cfg";
#else
    const char* home = "/home/rider";
    const char* config = "/cfg";
#endif
    EXPECT_EQ(XdgBaseFolder(config, home, ".config"), fs::path(config));
    EXPECT_EQ(XdgBaseFolder(nullptr, home, ".config"), fs::path(home) / ".config");
    EXPECT_EQ(XdgBaseFolder("", home, ".local/share"), fs::path(home) / ".local/share");
    EXPECT_EQ(XdgBaseFolder("relative/cfg", home, ".config"), fs::path(home) / ".config"); // ignored
    EXPECT_EQ(XdgBaseFolder(nullptr, "", ".config"), fs::path());
    EXPECT_EQ(XdgBaseFolder(nullptr, "rider", ".config"), fs::path());
    EXPECT_EQ(XdgBaseFolder("relative", nullptr, ".config"), fs::path());
}

#ifndef _WIN32
// Sets an environment variable for the lifetime of the object.
class EnvScope {
public:
    EnvScope(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~EnvScope()
    {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(UserFolderRules, TheEnvironmentNamesThePerUserFolders)
{
    EnvScope home("HOME", "/home/rider");
    {
        EnvScope config("XDG_CONFIG_HOME", "/srv/cfg");
        EnvScope data("XDG_DATA_HOME", "relative/data");
        EXPECT_EQ(UserSettingsFolder(), fs::path("/srv/cfg/ZelborConfigTool"));
        EXPECT_EQ(UserDataFolder(), fs::path("/home/rider/.local/share/ZelborConfigTool"));
    }
    EnvScope config("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(UserSettingsFolder(), fs::path("/home/rider/.config/ZelborConfigTool"));
    EnvScope relative("HOME", "rider");
    EXPECT_THROW(UserSettingsFolder(), EFileError);
}
#else
TEST(UserFolderRules, WindowsNamesThePerUserFolders)
{
    const fs::path settings = UserSettingsFolder();
    const fs::path data = UserDataFolder();
    EXPECT_TRUE(settings.is_absolute()) << settings;
    EXPECT_EQ(settings.filename(), "ZelborConfigTool");
    EXPECT_EQ(data.filename(), "ZelborConfigTool");
    EXPECT_NE(settings, data); // the roaming and the local application data
}
#endif

} // namespace
