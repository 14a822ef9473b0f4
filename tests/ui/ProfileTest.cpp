// SPDX-License-Identifier: GPL-3.0-or-later
// Profiles: the controls round trip through a file, the Save / Save As / Load rules and clamping.
#include "MainTestSupport.h"

#include "common/PathText.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QFileDialog>
#include <QLineEdit>
#include <QSpinBox>

namespace zelbor {

using namespace uitest;

namespace {

// Every control's value, as text, in a fixed order.
std::vector<QString> Snapshot(const TMainForm& form)
{
    std::vector<QString> out{form.cbbBasLowBat->currentText()};
    for (QSpinBox* s : form.findChildren<QSpinBox*>())
        out.push_back(s->objectName() + "=" + QString::number(s->value()));
    for (QComboBox* c : form.findChildren<QComboBox*>())
        if (c != form.cbbLanguage && c != form.cbbPort && c != form.cbbBasLowBat)
            out.push_back(c->objectName() + "=" + QString::number(c->currentIndex()));
    return out;
}

} // namespace

class Profiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = StartedForm();
        messages.SetForm(form.get());
    }
    QString Q(const std::string& relative) const { return ship.Q(relative); }

    ShipFolder ship;
    HookRecorder hooks;
    MessageRecorder messages;
    std::unique_ptr<TMainForm> form;
};

TEST_F(Profiles, EveryControlSurvivesASaveAndALoad)
{
    int n = 0;
    for (QSpinBox* s : form->findChildren<QSpinBox*>())
        s->setValue(s->minimum() + (n++ % (s->maximum() - s->minimum() + 1)));
    form->cbbBasLowBat->setEditText("41");
    form->cbbBasWheelDiam->setCurrentIndex(12);
    form->cbbBasSpdMtrType->setCurrentIndex(-1); // no selection: -1 in the file, none again
    form->cbbPASPedalSensType->setCurrentIndex(3);
    form->cbbPASDesigAssist->setCurrentIndex(10);
    form->cbbPASSpdLim->setCurrentIndex(26);
    form->cbbPASSlowStartMode->setCurrentIndex(7);
    form->cbbPASWorkMode->setCurrentIndex(-1);
    form->cbbThrMode->setCurrentIndex(1);
    form->cbbThrAssistLvl->setCurrentIndex(5);
    form->edThrSpeedLim->setCurrentIndex(-1);
    const auto saved = Snapshot(*form);

    form->SaveProfile(Q("round.el"));
    form->LoadProfile(Q("missing.el")); // every default
    EXPECT_NE(Snapshot(*form), saved);
    form->LoadProfile(Q("round.el"));
    EXPECT_EQ(Snapshot(*form), saved);
    const std::string text = ReadText(ship.Path() / "round.el");
    EXPECT_EQ(text.rfind("[Basic]", 0), 0u);
    EXPECT_NE(text.find("SMM=-1"), std::string::npos);
    EXPECT_NE(text.find("WD=12"), std::string::npos);
}

TEST_F(Profiles, LoadedValuesAreLimitedByTheControls)
{
    WriteText(ship.Path() / "limits.el",
              "[Basic]\nLBP=10\nLC=40\nALC3=150\nWD=16\n[Pedal Assist]\nCD=10\nSC=0x14\nSDN=$14\n"
              "[Throttle Handle]\nSV=-5\nMODE=2\nSL=abc\n");
    form->LoadProfile(Q("limits.el"));
    EXPECT_EQ(form->cbbBasLowBat->currentText(), "10"); // outside the list, not adjusted
    EXPECT_EQ(form->speBasCurrLim->value(), 25);
    EXPECT_EQ(form->speBasAssistCurrLim[3]->value(), 100);
    EXPECT_EQ(form->cbbBasWheelDiam->currentIndex(), -1);
    EXPECT_EQ(form->spePASCurrDecay->value(), 8);
    EXPECT_EQ(form->spePASStartCurr->value(), 20);
    EXPECT_EQ(form->spePASStartDeg->value(), 20);
    EXPECT_EQ(form->speThrStartVolt->value(), 0);
    EXPECT_EQ(form->cbbThrMode->currentIndex(), -1);
    EXPECT_EQ(form->edThrSpeedLim->currentIndex(), 0);
    EXPECT_TRUE(messages.messages.empty());

    // The controller's maximum current bounds the loaded limit too.
    ControllerInfo info;
    info.maxCurrent = 15;
    form->EditingState().Identify(info);
    ASSERT_EQ(form->speBasCurrLim->maximum(), 15);
    WriteText(ship.Path() / "lc.el", "[Basic]\nLC=20\n");
    form->LoadProfile(Q("lc.el"));
    EXPECT_EQ(form->speBasCurrLim->value(), 15);
}

TEST_F(Profiles, SaveAsAppendsTheExtensionUnlessItIsExactlyDotEl)
{
    const std::pair<const char*, const char*> cases[] = {{"touring", "touring.el"},
                                                         {"touring.EL", "touring.EL.el"},
                                                         {"touring.el", "touring.el"},
                                                         {"my.folder.el/touring", "my.folder.el/touring.el"}};
    fs::create_directories(ship.Path() / "my.folder.el");
    for (const auto& [chosen, written] : cases) {
        form->SaveFileDialogCanClose(Q(chosen));
        EXPECT_TRUE(fs::exists(ship.Path() / written)) << written;
        EXPECT_EQ(form->ProfileFileName, Q(written));
        EXPECT_TRUE(form->mnSave->isEnabled());
        EXPECT_EQ(form->windowTitle(), "Zelbor Configuration Tool - " + QFileInfo(Q(written)).fileName());
    }
    EXPECT_FALSE(fs::exists(ship.Path() / "touring")); // never the bare name
#ifdef _WIN32
    // Names differing in case only are one file there: "touring.EL" is the touring.el of the
    // first case, so the question comes for the second case as well.
    EXPECT_EQ(messages.Keys(), (std::vector<std::string>{"err3", "err3"}));
#else
    EXPECT_EQ(messages.Keys(), std::vector<std::string>{"err3"}); // touring.el existed the third time
#endif
}

TEST_F(Profiles, AnExistingFileIsOverwrittenOnlyWhenTheUserSaysYes)
{
    WriteText(ship.Path() / "touring.el", "; mine\n[Basic]\nLC=3\n");
    messages.answer = [](const MessageRequest&) { return zelbor::idNo; };
    form->SaveFileDialogCanClose(Q("touring.el"));
    ASSERT_EQ(messages.Keys(), std::vector<std::string>{"err3"});
    EXPECT_EQ(messages.messages[0].flags, zelbor::mbYesNo);
    EXPECT_EQ(ReadText(ship.Path() / "touring.el"), "; mine\n[Basic]\nLC=3\n");
    EXPECT_TRUE(form->ProfileFileName.isEmpty());
    EXPECT_FALSE(form->mnSave->isEnabled());
    EXPECT_EQ(form->windowTitle(), "Zelbor Configuration Tool");

    // The name without extension would write touring.el as well: asked about too.
    messages.Clear();
    form->SaveFileDialogCanClose(Q("touring"));
    EXPECT_EQ(messages.Keys(), std::vector<std::string>{"err3"});
    EXPECT_EQ(ReadText(ship.Path() / "touring.el"), "; mine\n[Basic]\nLC=3\n");

    messages.answer = nullptr; // Yes
    messages.Clear();
    form->speBasCurrLim->setValue(7);
    form->SaveFileDialogCanClose(Q("touring.el"));
    EXPECT_EQ(messages.Keys(), std::vector<std::string>{"err3"});
    const std::string text = ReadText(ship.Path() / "touring.el");
    EXPECT_EQ(text.rfind("; mine\n", 0), 0u); // other lines stay
    EXPECT_NE(text.find("LC=7"), std::string::npos);
}

TEST_F(Profiles, SaveWritesToTheKnownFileOrSaysItIsGone)
{
    form->mnSave->setEnabled(true);
    form->mnSaveClick(); // no name known yet
    EXPECT_FALSE(form->mnSave->isEnabled());

    WriteText(ship.Path() / "touring.el", "[Basic]\nLC=3\n");
    form->LoadFileDialogCanClose(Q("touring.el"));
    EXPECT_EQ(form->speBasCurrLim->value(), 3);
    EXPECT_EQ(form->windowTitle(), "Zelbor Configuration Tool - touring.el");
    form->speBasCurrLim->setValue(9);
    form->mnSave->trigger();
    EXPECT_NE(ReadText(ship.Path() / "touring.el").find("LC=9"), std::string::npos);
    EXPECT_TRUE(messages.messages.empty());

    fs::remove(ship.Path() / "touring.el");
    form->mnSaveClick();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].key, "err1");
    EXPECT_EQ(messages.messages[0].caption, "File load error");
    EXPECT_EQ(messages.messages[0].flags, zelbor::mbIconError);
    EXPECT_FALSE(messages.messages[0].text.isEmpty());
    EXPECT_FALSE(fs::exists(ship.Path() / "touring.el"));
    EXPECT_EQ(form->ProfileFileName, Q("touring.el"));
}

TEST_F(Profiles, AFailedSaveKeepsTheOldFile)
{
    const std::string old = "[Basic]\nLBP=41\nLC=3\n";
    WriteText(ship.Path() / "keep.el", old);
    form->LoadFileDialogCanClose(Q("keep.el"));
    form->cbbBasLowBat->setEditText(""); // no number: nothing may be written
    form->mnSaveClick();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_TRUE(messages.messages[0].key.empty());
    EXPECT_EQ(ReadText(ship.Path() / "keep.el"), old);

    // A file that cannot be replaced: the message names it, the file stays whole.
    messages.Clear();
    form->cbbBasLowBat->setEditText("40");
#ifdef _WIN32
    // Windows does not replace a read-only file.
    const fs::path unreplaceable = ship.Path() / "read-only.el";
    WriteText(unreplaceable, "[Basic]\r\n");
    fs::permissions(unreplaceable, fs::perms::all, fs::perm_options::remove);
    fs::permissions(unreplaceable, fs::perms::owner_read, fs::perm_options::add);
#else
    const fs::path unreplaceable = "/proc/version";
#endif
    const QString unreplaceableName = QString::fromStdString(zelbor::PathText(unreplaceable));
    const std::string before = ReadText(unreplaceable);
    form->ProfileFileName = unreplaceableName;
    form->mnSaveClick();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_TRUE(messages.messages[0].text.contains(unreplaceableName));
    EXPECT_EQ(ReadText(unreplaceable), before);

    // Save As to a place that cannot be written: the name is taken, Save and caption are not.
    messages.Clear();
    const QString title = form->windowTitle();
    form->mnSave->setEnabled(false);
    form->SaveFileDialogCanClose(Q("keep.el/inside"));
    EXPECT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(form->ProfileFileName, Q("keep.el/inside.el"));
    EXPECT_FALSE(form->mnSave->isEnabled());
    EXPECT_EQ(form->windowTitle(), title);
}

TEST_F(Profiles, LoadingATypedNameThatDoesNotExistChangesNothing)
{
    form->speBasCurrLim->setValue(4);
    form->LoadFileDialogCanClose(Q("nothing.el"));
    ASSERT_EQ(messages.Keys(), std::vector<std::string>{"err2"});
    EXPECT_EQ(messages.messages[0].flags, zelbor::mbIconError);
    EXPECT_EQ(form->speBasCurrLim->value(), 4);
    EXPECT_TRUE(form->ProfileFileName.isEmpty());
    EXPECT_FALSE(form->mnSave->isEnabled());
    EXPECT_EQ(form->windowTitle(), "Zelbor Configuration Tool");
}

TEST_F(Profiles, TheDialogsStartInProfilesAndCancelChangesNothing)
{
    WriteText(ship.Path() / "Profiles" / "a.el", "[Basic]\nLC=5\n");
    form->speBasCurrLim->setValue(4);
    form->mnLoadClick();
    form->mnSaveAsClick();
    ASSERT_EQ(hooks.dialogs.size(), 2u);
    EXPECT_EQ(hooks.dialogs[0]->windowTitle(), "Select profile to load");
    EXPECT_EQ(hooks.dialogs[1]->windowTitle(), "Save profile");
    for (QFileDialog* d : hooks.dialogs) {
        EXPECT_EQ(d->directory().absolutePath(), QDir(Q("Profiles")).absolutePath());
        EXPECT_EQ(d->nameFilters(), QStringList{"Zelbor Configuration Tool Profile (*.el)"});
        EXPECT_TRUE(d->testOption(QFileDialog::DontUseNativeDialog));
    }
    EXPECT_TRUE(hooks.dialogs[1]->testOption(QFileDialog::DontConfirmOverwrite));
    EXPECT_EQ(form->speBasCurrLim->value(), 4);
    EXPECT_TRUE(form->ProfileFileName.isEmpty());
    EXPECT_EQ(fs::directory_iterator(ship.Path() / "Profiles")->path().filename(), "a.el");

    hooks.dialogAnswer = Q("Profiles/a.el");
    form->mnLoadClick();
    EXPECT_EQ(form->speBasCurrLim->value(), 5);
    EXPECT_EQ(form->ProfileFileName, Q("Profiles/a.el"));
    EXPECT_TRUE(messages.messages.empty());
}

} // namespace zelbor
