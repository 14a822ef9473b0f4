// SPDX-License-Identifier: GPL-3.0-or-later
// Every shipped language holds every text the program reads: no window, message or help topic of
// a shipped language falls back to a built-in default.
#include "MainTestSupport.h"

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QToolButton>
#include <set>

#include "common/Ini.h"
#include "ui/About.h"
#include "ui/AboutForm.h"
#include "ui/Help.h"
#include "ui/HelpForm.h"
#include "ui/Warning.h"
#include "ui/WarningForm.h"

namespace zelbor {

using namespace uitest;

namespace {

// Collects the section/key pairs whose reads fell back to their defaults.
class MissRecorder {
public:
    MissRecorder()
    {
        zelbor::SetIniMissObserver([this](std::string_view section, std::string_view key) {
            misses.insert(std::string(section) + "/" + std::string(key));
        });
    }
    ~MissRecorder() { zelbor::SetIniMissObserver({}); }
    std::set<std::string> misses;
};

// Runs the auxiliary windows without showing them.
class SilentWindows : public ForwardingSeam {
public:
    int RunDialog(QDialog& d) override { return d.result(); }
};

std::string Joined(const std::set<std::string>& items)
{
    std::string out;
    for (const auto& i : items)
        out += i + "\n";
    return out;
}

} // namespace

TEST(ShippedTexts, EveryShippedLanguageHoldsEveryKeyTheProgramReads)
{
    const zelbor::LanguageList shipped = zelbor::ReadLanguageList(ResourcesDir() / "Languages" / "languages.ini");
    ASSERT_EQ(shipped.codes, (std::vector<std::string>{"eng", "fra", "deu"}));

    for (std::size_t lang = 0; lang < shipped.codes.size(); ++lang) {
        SCOPED_TRACE(shipped.codes[lang]);
        ShipFolder ship;
        MessageRecorder messages;
        std::vector<std::pair<std::string, std::string>> topics;
        std::unique_ptr<TMainForm> form;
        {
            HookRecorder hooks;
            form = StartedForm();
            ASSERT_EQ(form->cbbLanguage->count(), 3);

            // The switch reads main.ini and the information page; the help buttons name their topics.
            MissRecorder recorder;
            form->cbbLanguage->setCurrentIndex(static_cast<int>(lang));
            ASSERT_TRUE(form->cbbLanguageChange());
            EXPECT_EQ(zelbor::CurrentLanguage, shipped.codes[lang]);
            EXPECT_FALSE(form->memInfos->toPlainText().isEmpty());
            const auto buttons = form->findChildren<QToolButton*>(QRegularExpression(QStringLiteral("^btnHelp_")));
            EXPECT_EQ(buttons.size(), 25);
            for (QToolButton* b : buttons)
                b->click();
            topics = hooks.help;
            EXPECT_EQ(topics.size(), 25u);
            EXPECT_TRUE(recorder.misses.empty()) << Joined(recorder.misses);
        }

        MissRecorder recorder;
        SilentWindows silent;
        for (const auto& [topic, section] : topics)
            ShowHelpTopic(topic, section);
        ShowAboutWindow();
        ShowStartupWarning(*form);
        for (int i = 1; i <= 55; ++i) {
            const std::string key = "err" + std::to_string(i);
            EXPECT_NE(zelbor::GetErrorMessage(key), zelbor::kUnknownErrorMessage) << key;
            EXPECT_NE(zelbor::GetErrorCaption(key), zelbor::kUnknownErrorMessage) << key;
        }
        EXPECT_TRUE(recorder.misses.empty()) << Joined(recorder.misses);
        EXPECT_TRUE(messages.messages.empty());
    }
}

} // namespace zelbor

namespace zelbor {

// The connection checks read their texts by key with English built in, so a key missing from a
// translation would silently show English: every key of the English section is in every shipped
// language, with the same placeholders.
TEST(ShippedTexts, EveryLanguageHoldsEveryConnectionCheckText)
{
    const std::filesystem::path languages = uitest::ResourcesDir() / "Languages";
    std::ifstream english(languages / "eng" / "soft" / "errors.ini");
    std::vector<std::string> keys;
    bool inSection = false;
    for (std::string line; std::getline(english, line);) {
        if (line.starts_with('['))
            inSection = line.starts_with("[DOCTOR]");
        else if (const auto eq = line.find('='); inSection && eq != std::string::npos)
            keys.push_back(line.substr(0, eq));
    }
    ASSERT_GT(keys.size(), 20u);
    const auto placeholders = [](const std::string& text) {
        std::set<std::string> found;
        for (std::size_t i = 0; i + 1 < text.size(); ++i)
            if (text[i] == '%' && text[i + 1] >= '1' && text[i + 1] <= '9')
                found.insert(text.substr(i, 2));
        return found;
    };
    const IniFile eng = IniFile::Load(languages / "eng" / "soft" / "errors.ini");
    for (const char* code : {"fra", "deu"}) {
        const IniFile other = IniFile::Load(languages / code / "soft" / "errors.ini");
        for (const auto& key : keys) {
            const auto text = other.Value("DOCTOR", key);
            ASSERT_TRUE(text && !text->empty()) << code << " lacks DOCTOR/" << key;
            EXPECT_EQ(placeholders(*text), placeholders(*eng.Value("DOCTOR", key))) << code << " DOCTOR/" << key;
        }
    }
}

} // namespace zelbor
