// SPDX-License-Identifier: GPL-3.0-or-later
// Broken files against the real window: profiles and language files that are truncated, binary,
// huge (10 MB) or unreadable. Unreadable has to hold for root too, since the tests run as root:
// a FIFO without a writer (opening it for reading would block for good), a folder or a device
// where the file should be. A failed save is made to fail half-way with a file-size limit, which
// binds root as well, and the file on disk is checked afterwards.
#include "MainTestSupport.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <mutex>
#ifndef _WIN32
#include <sys/resource.h>
#endif
#include <sys/stat.h>
#include <thread>

namespace zelbor {

using namespace uitest;

namespace {

#ifndef _WIN32 // FIFOs, devices and file-size limits are POSIX: not built for Windows.
// A FIFO in place of a file, removed again at the end. Should the program block opening it, a
// watchdog opens the writing end after a while, which releases the program (it then reads an
// empty file) and marks the test failed instead of leaving it hanging.
class Fifo {
public:
    explicit Fifo(fs::path path) : path_(std::move(path))
    {
        fs::create_directories(path_.parent_path());
        fs::remove(path_);
        ok_ = mkfifo(path_.c_str(), 0644) == 0;
        watchdog_ = std::thread([this] {
            std::unique_lock lock(mutex_);
            auto wait = std::chrono::milliseconds(8000);
            while (!stop_.wait_for(lock, wait, [this] { return stopping_; })) {
                // Succeeds only while a reader is blocked in its open().
                const int fd = open(path_.c_str(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0) {
                    blocked_ = true;
                    close(fd);
                }
                wait = std::chrono::milliseconds(100);
            }
        });
    }
    ~Fifo()
    {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        stop_.notify_all();
        watchdog_.join();
        if (StillAFifo())
            fs::remove(path_);
    }
    bool Ok() const { return ok_; }
    bool ProgramBlocked() const { return blocked_; }
    bool StillAFifo() const { return fs::is_fifo(fs::symlink_status(path_)); }

private:
    fs::path path_;
    bool ok_ = false;
    std::atomic<bool> blocked_{false};
    std::mutex mutex_;
    std::condition_variable stop_;
    bool stopping_ = false;
    std::thread watchdog_;
};

// Writes beyond `bytes` fail with EFBIG while this lives (for root too).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN); // the write fails instead of ending the process
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};
#endif

// About 10 MB of INI text that means nothing to the program: a first section of distinct keys
// and then distinct sections. `keys` is added at the end of the first section.
std::string Junk(const std::string& firstSection, const std::string& keys, const std::string& tail = {})
{
    std::string text = "[" + firstSection + "]\r\n";
    text.reserve(10'500'000);
    char line[64];
    for (int i = 0; text.size() < 5'000'000; ++i) {
        std::snprintf(line, sizeof line, "junk%07d=%d\r\n", i, i);
        text += line;
    }
    text += keys;
    for (int i = 0; text.size() < 10'000'000; ++i) {
        std::snprintf(line, sizeof line, "[junk%07d]\r\nk=%d\r\n", i, i);
        text += line;
    }
    return text + tail;
}

// Bytes of every value, NUL, CR and LF included, without any line that could be a section.
std::string Binary(std::size_t n)
{
    std::string out;
    std::uint32_t x = 12345;
    while (out.size() < n) {
        x = x * 1664525u + 1013904223u;
        const char c = static_cast<char>(x >> 24);
        out.push_back(c == '[' ? '\0' : c);
    }
    return out;
}

// Temporary files that an atomic save leaves behind when it is not cleaned up: ".<name>.XXXXXX".
[[maybe_unused]] int LeftoverTemporaries(const fs::path& folder) // not every build has the tests that use it
{
    int n = 0;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().starts_with("."))
            ++n;
    return n;
}

} // namespace

class BrokenFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = StartedForm();
        messages.SetForm(form.get());
        messages.Clear();
    }
    fs::path P(const std::string& relative) const { return ship.Path() / relative; }
    QString Q(const std::string& relative) const { return ship.Q(relative); }
    // The window state that a failed load or save must leave alone.
    struct State {
        int currLim, keepCurr, wheel;
        QString lowBat, profile, title;
        bool save;
        bool operator==(const State&) const = default;
    };
    State Now() const
    {
        return {form->speBasCurrLim->value(),      form->spePASKeepCurr->value(), form->cbbBasWheelDiam->currentIndex(),
                form->cbbBasLowBat->currentText(), form->ProfileFileName,         form->windowTitle(),
                form->mnSave->isEnabled()};
    }
    void SetSomeValues()
    {
        form->cbbBasLowBat->setEditText("41");
        form->speBasCurrLim->setValue(4);
        form->spePASKeepCurr->setValue(77);
        form->cbbBasWheelDiam->setCurrentIndex(12);
    }
    // One error box whose text names `file`.
    void ExpectOneErrorNaming(const QString& file)
    {
        ASSERT_EQ(messages.messages.size(), 1u);
        EXPECT_EQ(messages.messages[0].flags, zelbor::mbIconError);
        EXPECT_TRUE(messages.messages[0].text.contains(file)) << messages.messages[0].text.toStdString();
        messages.Clear();
    }

    ShipFolder ship;
    HookRecorder hooks;
    MessageRecorder messages;
    std::unique_ptr<TMainForm> form;
};

TEST_F(BrokenFiles, ATruncatedProfileKeepsTheKeysBeforeTheCutAndDefaultsTheRest)
{
    for (int i = 0; i < 10; ++i)
        form->speBasAssistCurrLim[std::size_t(i)]->setValue(50 + i);
    form->spePASKeepCurr->setValue(77);
    form->SaveFileDialogCanClose(Q("full.el"));
    ASSERT_TRUE(messages.messages.empty());
    const std::string full = ReadText(P("full.el"));
    // Cut inside the key ALC5: that line no longer defines a key.
    WriteText(P("cut.el"), full.substr(0, full.find("ALC5=") + 4));
    form->LoadFileDialogCanClose(Q("cut.el"));
    EXPECT_TRUE(messages.messages.empty());
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(form->speBasAssistCurrLim[std::size_t(i)]->value(), 50 + i);
    for (int i = 5; i < 10; ++i)
        EXPECT_EQ(form->speBasAssistCurrLim[std::size_t(i)]->value(), 10);
    EXPECT_EQ(form->spePASKeepCurr->value(), 10);
    EXPECT_EQ(form->ProfileFileName, Q("cut.el"));

    // Binary data holds no key: every control takes its default, as for an empty file.
    SetSomeValues();
    WriteText(P("binary.el"), Binary(64 * 1024));
    form->LoadFileDialogCanClose(Q("binary.el"));
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(form->speBasCurrLim->value(), 10);
    EXPECT_EQ(form->cbbBasLowBat->currentText(), "10");
    EXPECT_EQ(form->cbbBasWheelDiam->currentText(), "26");
    EXPECT_EQ(form->spePASKeepCurr->value(), 10);
}

TEST_F(BrokenFiles, AHugeProfileLoadsAndSavesAndAFailedSaveLeavesItWhole)
{
    const std::string huge = Junk("Basic", "LBP=40\r\nLC=7\r\n", "[Pedal Assist]\r\nKC=33\r\n");
    WriteText(P("huge.el"), huge);
    form->LoadFileDialogCanClose(Q("huge.el"));
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(form->speBasCurrLim->value(), 7);
    EXPECT_EQ(form->cbbBasLowBat->currentText(), "40");
    EXPECT_EQ(form->spePASKeepCurr->value(), 33);

    // Saving rewrites the 42 keys in place and keeps every other line.
    form->speBasCurrLim->setValue(9);
    form->mnSaveClick();
    EXPECT_TRUE(messages.messages.empty());
    const std::string saved = ReadText(P("huge.el"));
    EXPECT_NE(saved.find("\r\nLC=9\r\n"), std::string::npos);
    EXPECT_NE(saved.find("junk0000000=0\r\n"), std::string::npos);
    EXPECT_NE(saved.find("[junk0000000]\r\n"), std::string::npos);
    EXPECT_GT(saved.size(), huge.size());
    EXPECT_LT(saved.size(), huge.size() + 1000);

#ifndef _WIN32
    // A save that fails after the first megabyte: the message names the file, which is unchanged.
    form->speBasCurrLim->setValue(11);
    {
        FileSizeLimit limit(1 << 20);
        form->mnSaveClick();
    }
    ExpectOneErrorNaming(Q("huge.el"));
    EXPECT_TRUE(ReadText(P("huge.el")) == saved);
    EXPECT_EQ(LeftoverTemporaries(ship.Path()), 0);
    EXPECT_EQ(form->ProfileFileName, Q("huge.el"));
#endif
}

#ifndef _WIN32
TEST_F(BrokenFiles, AProfileThatCannotBeReadIsReportedAndChangesNothing)
{
    SetSomeValues();
    const State before = Now();

    // A FIFO without a writer: loading must neither block nor reset the values.
    {
        Fifo fifo(P("pipe.el"));
        ASSERT_TRUE(fifo.Ok());
        form->LoadFileDialogCanClose(Q("pipe.el"));
        EXPECT_FALSE(fifo.ProgramBlocked());
        ASSERT_FALSE(messages.messages.empty());
        EXPECT_TRUE(messages.messages[0].text.contains("not a regular file"));
        ExpectOneErrorNaming(Q("pipe.el"));
        EXPECT_EQ(Now(), before);

        // Saving onto it (after Yes to the overwrite question): reported, not written.
        form->SaveFileDialogCanClose(Q("pipe.el"));
        EXPECT_FALSE(fifo.ProgramBlocked());
        ASSERT_EQ(messages.Keys(), (std::vector<std::string>{"err3", ""}));
        EXPECT_TRUE(messages.messages[1].text.contains(Q("pipe.el")));
        messages.Clear();
        EXPECT_TRUE(fifo.StillAFifo());
        EXPECT_EQ(LeftoverTemporaries(ship.Path()), 0);
        EXPECT_EQ(form->ProfileFileName, Q("pipe.el")); // Save As takes the name before writing
        EXPECT_FALSE(form->mnSave->isEnabled());
        EXPECT_EQ(form->windowTitle(), before.title);
        form->ProfileFileName.clear();
    }

    // A device that never ends.
    form->LoadFileDialogCanClose(QStringLiteral("/dev/zero"));
    ExpectOneErrorNaming(QStringLiteral("/dev/zero"));
    EXPECT_EQ(Now(), before);

    // A folder where the profile should be: it is no file to load, nor one to write.
    fs::create_directories(P("folder.el"));
    form->LoadFileDialogCanClose(Q("folder.el"));
    EXPECT_EQ(messages.Keys(), std::vector<std::string>{"err2"});
    messages.Clear();
    EXPECT_EQ(Now(), before);
    form->SaveFileDialogCanClose(Q("folder"));
    ExpectOneErrorNaming(Q("folder.el"));
    EXPECT_TRUE(fs::is_empty(P("folder.el")));
    EXPECT_EQ(form->speBasCurrLim->value(), before.currLim);
}
#endif

#ifndef _WIN32
TEST(BrokenShippedFiles, UnreadableFilesDoNotHangTheStartAndFallBackAsIfMissing)
{
    {
        ShipFolder ship;
        const fs::path eng = ship.Path() / "Languages" / "eng";
        Fifo profile(ship.Path() / "Profiles" / "DefaultProfile.el");
        Fifo languages(ship.Path() / "Languages" / "languages.ini");
        Fifo mainIni(eng / "soft" / "main.ini");
        Fifo infos(eng / "help" / "Infos.txt");
        HookRecorder hooks;
        MessageRecorder messages;
        auto form = StartedForm();
        for (const Fifo* f : {&profile, &languages, &mainIni, &infos})
            EXPECT_FALSE(f->ProgramBlocked());
        EXPECT_EQ(form->speBasCurrLim->value(), 10); // the reader's defaults
        EXPECT_EQ(form->cbbBasWheelDiam->currentText(), "26");
        EXPECT_EQ(zelbor::CurrentLanguage, "eng");
        // The information page is reported as for a missing file, and the sequence ends there.
        ASSERT_EQ(messages.messages.size(), 1u);
        EXPECT_TRUE(messages.messages[0].text.contains("Infos.txt"));
        EXPECT_EQ(hooks.warnings, 0);
        EXPECT_EQ(form->lbCOMPort->text(), "COM Port:");
    }

    // The catalogue as a FIFO: the message still comes, with the fallback text.
    ShipFolder ship;
    Fifo errors(ship.Path() / "Languages" / "eng" / "soft" / "errors.ini");
    HookRecorder hooks;
    MessageRecorder messages;
    auto form = StartedForm();
    form->LoadFileDialogCanClose(ship.Q("nothing.el"));
    EXPECT_FALSE(errors.ProgramBlocked());
    ASSERT_EQ(messages.Keys(), std::vector<std::string>{"err2"});
    EXPECT_EQ(messages.messages[0].text, "Unkwnow error message");
    EXPECT_EQ(messages.messages[0].caption, "Unkwnow error message");
    EXPECT_EQ(hooks.warnings, 1);
}
#endif

class BrokenLanguage : public BrokenFiles {
protected:
    // A fourth language "tst" whose files each case breaks in its own way.
    void SetUp() override
    {
        WriteText(Lang("help/Infos.txt"), "Test infos\n");
        WriteText(P("Languages/languages.ini"),
                  "[LANGUAGES]\nnbLang=4\ndefault=eng\nlang1=English,eng\nlang2=Fran\xC3\xA7"
                  "ais,fra\n"
                  "lang3=Deutsch,deu\nlang4=Test,tst\n");
        BrokenFiles::SetUp();
    }
    fs::path Lang(const std::string& relative) const { return P("Languages/tst/" + relative); }
    bool SwitchTo(int index)
    {
        form->cbbLanguage->setCurrentIndex(index);
        return form->cbbLanguageChange();
    }
    void BackToEnglish()
    {
        ASSERT_TRUE(SwitchTo(0));
        messages.Clear();
    }
};

TEST_F(BrokenLanguage, TruncatedOrBinaryTextsFallBackToTheBuiltInOnes)
{
    WriteText(Lang("soft/main.ini"), Binary(32 * 1024));
    ASSERT_TRUE(SwitchTo(3));
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(form->windowTitle(), "Zelbor Configuration Tool");
    EXPECT_EQ(form->lbCOMPort->text(), "COM Port:");
    EXPECT_EQ(form->btnReadFlash->text(), "Read Flash");
    EXPECT_EQ(form->memInfos->toPlainText(), "Test infos");
    ASSERT_NO_FATAL_FAILURE(BackToEnglish());

    // Cut in the middle of a value: the keys before the cut, the cut value as it stands.
    WriteText(Lang("soft/main.ini"), "[COMM]\r\ncomPort=Anschluss\r\nbtnConnect=Verbi");
    ASSERT_TRUE(SwitchTo(3));
    EXPECT_EQ(form->lbCOMPort->text(), "Anschluss");
    EXPECT_EQ(form->btnPortConnect->text(), "Verbi");
    EXPECT_EQ(form->btnPortDisconnect->text(), "Disconnect");

    // A catalogue entry cut before its caption, or inside it.
    WriteText(Lang("soft/errors.ini"), "[ERRORS]\r\nerr2=Datei fehlt|Feh\r\nerr1=Nicht ge");
    form->LoadFileDialogCanClose(Q("nothing.el"));
    form->mnSave->setEnabled(true);
    form->ProfileFileName = Q("gone.el");
    form->mnSaveClick();
    ASSERT_EQ(messages.Keys(), (std::vector<std::string>{"err2", "err1"}));
    EXPECT_EQ(messages.messages[0].text, "Datei fehlt");
    EXPECT_EQ(messages.messages[0].caption, "Feh");
    EXPECT_EQ(messages.messages[1].text, "Nicht ge");
}

TEST_F(BrokenLanguage, HugeLanguageFilesAreReadWhole)
{
    WriteText(Lang("soft/main.ini"), Junk("COMM", "comPort=Anschluss\r\n", "[FLASH]\r\nbtnReadFlash=Alles lesen\r\n"));
    WriteText(Lang("soft/errors.ini"), Junk("ERRORS", "err2=Datei fehlt|Fehler\r\n"));
    const std::string line = "Eine Zeile des Informationstexts, lang genug, um zehn Megabyte zu ergeben.\n";
    std::string infos;
    while (infos.size() < 10'000'000)
        infos += line;
    WriteText(Lang("help/Infos.txt"), infos);

    ASSERT_TRUE(SwitchTo(3));
    EXPECT_EQ(form->lbCOMPort->text(), "Anschluss");
    EXPECT_EQ(form->btnReadFlash->text(), "Alles lesen");
    EXPECT_EQ(std::size_t(form->memInfos->blockCount()), infos.size() / line.size());
    form->LoadFileDialogCanClose(Q("nothing.el"));
    ASSERT_EQ(messages.Keys(), std::vector<std::string>{"err2"});
    EXPECT_EQ(messages.messages[0].text, "Datei fehlt");
    EXPECT_EQ(messages.messages[0].caption, "Fehler");
}

#ifndef _WIN32
TEST_F(BrokenLanguage, UnreadableLanguageFilesAreReportedOrFallBackAsIfMissing)
{
    {
        // Texts and catalogue as FIFOs read as missing files: built-in texts, fallback message.
        Fifo mainIni(Lang("soft/main.ini"));
        Fifo errors(Lang("soft/errors.ini"));
        ASSERT_TRUE(SwitchTo(3));
        form->LoadFileDialogCanClose(Q("nothing.el"));
        EXPECT_FALSE(mainIni.ProgramBlocked());
        EXPECT_FALSE(errors.ProgramBlocked());
        EXPECT_EQ(form->lbCOMPort->text(), "COM Port:");
        ASSERT_EQ(messages.Keys(), std::vector<std::string>{"err2"});
        EXPECT_EQ(messages.messages[0].text, "Unkwnow error message");
    }
    ASSERT_NO_FATAL_FAILURE(BackToEnglish());

    // The information page as a FIFO or a folder: reported like a page that cannot be opened,
    // and the switch ends there with the choice stored.
    for (const bool asFolder : {false, true}) {
        fs::remove_all(Lang("help/Infos.txt"));
        std::unique_ptr<Fifo> fifo;
        if (asFolder)
            fs::create_directories(Lang("help/Infos.txt"));
        else
            fifo = std::make_unique<Fifo>(Lang("help/Infos.txt"));
        EXPECT_FALSE(SwitchTo(3));
        if (fifo) {
            EXPECT_FALSE(fifo->ProgramBlocked());
        }
        ExpectOneErrorNaming("Infos.txt");
        EXPECT_EQ(zelbor::CurrentLanguage, "tst");
        EXPECT_NE(ReadText(P("Languages/languages.ini")).find("default=tst"), std::string::npos);
        EXPECT_EQ(form->lbCOMPort->text(), "Serial Port:"); // the English texts stay
        ASSERT_NO_FATAL_FAILURE(BackToEnglish());
    }
}
#endif

#ifndef _WIN32
TEST_F(BrokenLanguage, ALanguageListThatCannotBeStoredStaysWhole)
{
    // A FIFO: the choice cannot be stored, and that is said; the FIFO is left as it is.
    {
        Fifo list(P("Languages/languages.ini"));
        EXPECT_FALSE(SwitchTo(2));
        EXPECT_FALSE(list.ProgramBlocked());
        EXPECT_TRUE(list.StillAFifo());
        ExpectOneErrorNaming("languages.ini");
    }

    // A huge list whose rewrite fails half-way: reported, and the file on disk is unchanged.
    fs::remove(P("Languages/languages.ini"));
    const std::string huge = Junk("LANGUAGES", "nbLang=4\r\ndefault=eng\r\nlang1=English,eng\r\nlang4=Test,tst\r\n");
    WriteText(P("Languages/languages.ini"), huge);
    {
        FileSizeLimit limit(1 << 20);
        EXPECT_FALSE(SwitchTo(3));
    }
    ExpectOneErrorNaming("languages.ini");
    EXPECT_TRUE(ReadText(P("Languages/languages.ini")) == huge);
    EXPECT_EQ(LeftoverTemporaries(P("Languages")), 0);

    // Without the limit the same switch stores the choice and keeps every other line.
    ASSERT_TRUE(SwitchTo(3));
    const std::string stored = ReadText(P("Languages/languages.ini"));
    EXPECT_NE(stored.find("\r\ndefault=tst\r\n"), std::string::npos);
    EXPECT_EQ(stored.size(), huge.size());
}
#endif

} // namespace zelbor
