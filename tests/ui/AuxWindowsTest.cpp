// SPDX-License-Identifier: GPL-3.0-or-later
// The auxiliary windows: start-up warning, help topics and About, with real language files in a
// temporary shipping folder.
#include "MainTestSupport.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

#include "common/Version.h"
#include "ui/About.h"
#include "ui/AboutForm.h"
#include "ui/Help.h"
#include "ui/HelpForm.h"
#include "ui/Warning.h"
#include "ui/WarningForm.h"

namespace zelbor {

using namespace uitest;

namespace {

const QString kTitle = QStringLiteral("Zelbor Configuration Tool");

// Every label of `w` is at least as wide as its text needs: nothing is clipped.
void ExpectNoClippedLabels(QWidget& w)
{
    for (QLabel* l : w.findChildren<QLabel*>()) {
        if (!l->isVisible())
            continue;
        if (l->wordWrap()) {
            EXPECT_GE(l->height(), l->heightForWidth(l->width())) << l->objectName().toStdString();
        } else {
            EXPECT_GE(l->width(), l->sizeHint().width()) << l->objectName().toStdString();
            EXPECT_GE(l->height(), l->sizeHint().height()) << l->objectName().toStdString();
        }
        EXPECT_TRUE(w.rect().contains(l->geometry().translated(l->parentWidget()->mapTo(&w, QPoint(0, 0)))))
            << l->objectName().toStdString();
    }
}

std::vector<QString> WarningTexts(TfrmWarning& d)
{
    return {d.windowTitle(),
            d.lblLine1->text(),
            d.memWarning->toPlainText(),
            d.lblRedParam->text(),
            d.lblRedParamText->text(),
            d.lblPurplepParam->text(),
            d.lblPurpleParamText->text(),
            d.lblBlackParam->text(),
            d.lblBlackParamText->text(),
            d.lblLanguage->text(),
            d.btnCloseWarning->text()};
}

} // namespace

// ---------------------------------------------------------------- start-up warning

TEST(StartupWarning, WithoutWarningIniAllElevenPlacesShowTheProgramTitle)
{
    ShipFolder ship(false);
    zelbor::CurrentLanguage = "eng";
    TMainForm main;
    int shown = 0;
    ShowHookScope<TfrmWarning> hook([&](TfrmWarning& d) {
        ++shown;
        for (const QString& text : WarningTexts(d))
            EXPECT_EQ(text, kTitle);
    });
    ShowStartupWarning(main);
    EXPECT_EQ(shown, 1);
}

TEST(StartupWarning, TextsComeFromTheFileOfTheCurrentLanguageWithQuotesStripped)
{
    ShipFolder ship(false);
    zelbor::CurrentLanguage = "tst";
    const std::string longText(40, 'x');
    WriteText(ship.Path() / "Languages/tst/soft/warning.ini",
              "[warning]\r\n"
              "TITLE=Warnung\r\n"
              "line1=\"  Line one  \"\r\n"
              "line2=Word after word after word after word after word after word after word after word "
              "after word after word after word after word after word after word after word after word end\r\n"
              "redParam='Rot :'\r\n"
              "redParamText=red text\r\n"
              "purpleParam=Lila :\r\n"
              "purpleParamText=purple text\r\n"
              "blackParam=Schwarz :\r\n"
              "blackParamText=\"black text\r\n" // unmatched quote: kept
              "language=Sprache :\r\n"
              "btnClose=Einverstanden\r\n");
    TMainForm main;
    ShowHookScope<TfrmWarning> hook([&](TfrmWarning& d) {
        const std::vector<QString> expected = {
            "Warnung",   "  Line one  ", "",          "Rot :",        "red text", "Lila :", "purple text",
            "Schwarz :", "\"black text", "Sprache :", "Einverstanden"};
        std::vector<QString> got = WarningTexts(d);
        got[2].clear(); // checked below
        EXPECT_EQ(got, expected);
        EXPECT_TRUE(d.memWarning->toPlainText().startsWith("Word after"));
        EXPECT_TRUE(d.memWarning->isReadOnly());

        // The long text is one line that the box wraps at word boundaries.
        d.show();
        QCoreApplication::processEvents();
        EXPECT_EQ(d.memWarning->document()->blockCount(), 1);
        QTextLayout* layout = d.memWarning->document()->firstBlock().layout();
        ASSERT_NE(layout, nullptr);
        EXPECT_GT(layout->lineCount(), 1);
        for (int i = 0; i + 1 < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            const QString text = d.memWarning->toPlainText().mid(line.textStart(), line.textLength());
            EXPECT_TRUE(text.endsWith(' ')) << "line " << i << " breaks inside a word: " << text.toStdString();
        }
        d.hide();
    });
    ShowStartupWarning(main);
    EXPECT_EQ(hook.Runs(), 1); // the checks above ran
}

TEST(StartupWarning, LayoutIsAFixedToolWindowWithRightAlignedLegendAndNothingClipped)
{
    ShipFolder ship;
    zelbor::CurrentLanguage = "eng";
    TMainForm main;
    ShowHookScope<TfrmWarning> hook([&](TfrmWarning& d) {
        d.show();
        QCoreApplication::processEvents();
        EXPECT_EQ(d.size(), QSize(480, 214));
        EXPECT_EQ(d.minimumSize(), d.maximumSize());
        EXPECT_TRUE(d.windowFlags().testFlag(Qt::Tool));
        EXPECT_EQ(d.font().pointSize(), 8);
        // One common right edge for the legend and the language label.
        const int edge = d.lblRedParam->geometry().right();
        EXPECT_EQ(d.lblPurplepParam->geometry().right(), edge);
        EXPECT_EQ(d.lblBlackParam->geometry().right(), edge);
        EXPECT_EQ(d.lblLanguage->geometry().right(), edge);
        EXPECT_TRUE(d.lblRedParam->alignment().testFlag(Qt::AlignRight));
        EXPECT_TRUE(d.lblRedParam->font().bold());
        EXPECT_EQ(d.lblRedParam->palette().color(QPalette::WindowText), QColor(Qt::red));
        EXPECT_EQ(d.lblPurplepParam->palette().color(QPalette::WindowText), QColor(128, 0, 128));
        EXPECT_GT(d.lblRedParamText->geometry().left(), edge);
        EXPECT_EQ(d.focusWidget(), d.btnCloseWarning);
        ExpectNoClippedLabels(d);
        d.hide();
    });
    ShowStartupWarning(main);
    EXPECT_EQ(hook.Runs(), 1); // the checks above ran
}

TEST(StartupWarning, EscDoesNotCloseButTheCloseBoxAndTheButtonDo)
{
    ShipFolder ship;
    zelbor::CurrentLanguage = "eng";
    TMainForm main;
    ShowHookScope<TfrmWarning> hook([&](TfrmWarning& d) {
        d.show();
        QTest::keyClick(d.btnCloseWarning, Qt::Key_Escape);
        QTest::keyClick(d.cbbLanguage, Qt::Key_Escape);
        QTest::keyClick(&d, Qt::Key_Escape);
        EXPECT_TRUE(d.isVisible());

        EXPECT_TRUE(d.close()); // the title bar's close box
        EXPECT_FALSE(d.isVisible());

        d.show();
        QTest::mouseClick(d.btnCloseWarning, Qt::LeftButton);
        EXPECT_FALSE(d.isVisible());
        EXPECT_EQ(d.result(), QDialog::Accepted);
    });
    ShowStartupWarning(main);
    EXPECT_EQ(hook.Runs(), 1); // the checks above ran
}

TEST(StartupWarning, PickingALanguageSwitchesTheMainWindowAndTheDialog)
{
    ShipFolder ship;
    WriteText(ship.Path() / "Languages/languages.ini",
              "[LANGUAGES]\r\nnbLang=2\r\ndefault=eng\r\nlang1=English,eng\r\nlang2=Test,tst\r\n");
    WriteText(ship.Path() / "Languages/tst/soft/warning.ini", "[WARNING]\r\ntitle=Test warning\r\nbtnClose=OK tst\r\n");
    WriteText(ship.Path() / "Languages/tst/soft/main.ini", "[MAIN]\r\ntitle=Test main\r\n");
    WriteText(ship.Path() / "Languages/tst/help/Infos.txt", "tst infos\r\n");
    HookRecorder hooks;
    MessageRecorder messages;
    auto main = StartedForm();
    ASSERT_EQ(zelbor::CurrentLanguage, "eng");
    const std::string before = ReadText(ship.Path() / "Languages/languages.ini");

    int shown = 0;
    ShowHookScope<TfrmWarning> hook([&](TfrmWarning& d) {
        ++shown;
        // The entries and the selection are copied; copying switches nothing.
        ASSERT_EQ(d.cbbLanguage->count(), 2);
        EXPECT_EQ(d.cbbLanguage->itemText(0), "English");
        EXPECT_EQ(d.cbbLanguage->itemText(1), "Test");
        EXPECT_EQ(d.cbbLanguage->currentIndex(), 0);
        EXPECT_EQ(d.windowTitle(), kTitle);
        EXPECT_EQ(zelbor::CurrentLanguage, "eng");
        EXPECT_EQ(ReadText(ship.Path() / "Languages/languages.ini"), before);

        d.cbbLanguage->setCurrentIndex(1);
        emit d.cbbLanguage->activated(1); // what a pick by the user raises

        EXPECT_EQ(main->cbbLanguage->currentIndex(), 1);
        EXPECT_EQ(zelbor::CurrentLanguage, "tst");
        EXPECT_NE(ReadText(ship.Path() / "Languages/languages.ini").find("default=tst"), std::string::npos);
        EXPECT_EQ(main->windowTitle(), "Test main");
        EXPECT_EQ(d.windowTitle(), "Test warning");
        EXPECT_EQ(d.btnCloseWarning->text(), "OK tst");
        EXPECT_EQ(d.lblLine1->text(), kTitle); // key missing in the new file
    });
    ShowStartupWarning(*main);
    EXPECT_EQ(shown, 1);
    EXPECT_TRUE(messages.messages.empty());
}

// ---------------------------------------------------------------- help topics

namespace {

struct ShownHelp {
    QString caption, text, close;
    int shown = 0;
};

ShownHelp ShowHelp(const std::string& topic, const std::string& section)
{
    ShownHelp r;
    ShowHookScope<TfrmHelp> hook([&](TfrmHelp& f) {
        ++r.shown;
        r.caption = f.windowTitle();
        r.text = f.memHelp->toPlainText();
        r.close = f.btnHelpClose->text();
    });
    ShowHelpTopic(topic, section);
    return r;
}

} // namespace

TEST(HelpTopic, MissingLinesGiveEmptyLinesAndTheTextBeginsWithALineBreak)
{
    ShipFolder ship(false);
    zelbor::CurrentLanguage = "eng";
    WriteText(ship.Path() / "Languages/eng/help/PedalAssist.ini",
              "[other]\r\nnbLine=1\r\nline1=wrong section\r\n"
              "[BTNHELP_PA_STOPDELAY]\r\ntitle=\"Stop Delay \"\r\nnbLine=3\r\nLINE1=first\r\nline3='  third'\r\n");
    const ShownHelp h = ShowHelp("PedalAssist", "btnHelp_PA_StopDelay"); // section differs in case only
    EXPECT_EQ(h.shown, 1);
    EXPECT_EQ(h.caption, "Stop Delay ");
    EXPECT_EQ(h.text, "\nfirst\n\n  third");
    EXPECT_EQ(h.close, "Close"); // no main.ini
}

TEST(HelpTopic, MissingTopicFileSectionOrCountGiveTheDefaults)
{
    ShipFolder ship(false);
    zelbor::CurrentLanguage = "eng";
    const ShownHelp none = ShowHelp("Throttle", "btnHelp_Throttle_Mode");
    EXPECT_EQ(none.caption, "Help");
    EXPECT_EQ(none.text, "");

    WriteText(ship.Path() / "Languages/eng/help/basic.ini",
              "[btnHelp_Basic_CurrentLimit]\ntitle=Current Limit\nline1=never shown\n"
              "[btnHelp_Basic_WheelDiameter]\ntitle=Wheel\nnbLine=two\nline1=never shown\n"
              "[btnHelp_Basic_SpeedMeterType]\ntitle=Meter\nnbLine=0x2\nline1=a\nline2=b\n");
    EXPECT_EQ(ShowHelp("basic", "btnHelp_Basic_CurrentLimit").text, "");
    EXPECT_EQ(ShowHelp("basic", "btnHelp_Basic_CurrentLimit").caption, "Current Limit");
    EXPECT_EQ(ShowHelp("basic", "btnHelp_Basic_WheelDiameter").text, "");
    EXPECT_EQ(ShowHelp("basic", "btnHelp_Basic_SpeedMeterType").text, "\na\nb");
    EXPECT_EQ(ShowHelp("basic", "btnHelp_Basic_LowBattProtection").caption, "Help");
}

TEST(HelpTopic, ADamagedLineCountIsBounded)
{
    ShipFolder ship(false);
    zelbor::CurrentLanguage = "eng";
    WriteText(ship.Path() / "Languages/eng/help/basic.ini", "[s]\nnbLine=0x7FFFFFFF\nline2=two\n");
    const ShownHelp h = ShowHelp("basic", "s");
    EXPECT_EQ(h.text.count('\n'), 10000);
    EXPECT_TRUE(h.text.startsWith("\n\ntwo\n"));
}

TEST(HelpTopic, CloseCaptionFollowsMainIniAndIsReadAtEveryOpening)
{
    ShipFolder ship(false);
    zelbor::CurrentLanguage = "eng";
    WriteText(ship.Path() / "Languages/eng/soft/main.ini", "[help]\nCLOSE=\"Schliessen \"\n");
    EXPECT_EQ(ShowHelp("basic", "x").close, "Schliessen ");
    WriteText(ship.Path() / "Languages/eng/soft/main.ini", "[HELP]\nclose=Fermer\n");
    EXPECT_EQ(ShowHelp("basic", "x").close, "Fermer");
    WriteText(ship.Path() / "Languages/eng/soft/main.ini", "[HELP]\nother=1\n");
    EXPECT_EQ(ShowHelp("basic", "x").close, "Close");
}

TEST(HelpTopic, EnterInTheBoxMakesANewLineWhileEnterAndEscOnTheButtonClose)
{
    ShipFolder ship(false);
    zelbor::CurrentLanguage = "eng";
    ShowHookScope<TfrmHelp> hook([&](TfrmHelp& f) {
        EXPECT_FALSE(f.memHelp->isReadOnly());
        EXPECT_EQ(f.memHelp->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        f.show();
        EXPECT_EQ(f.focusWidget(), f.btnHelpClose);
        EXPECT_GE(f.memHelp->width(), 300);
        f.memHelp->setFocus();
        QTest::keyClicks(f.memHelp, "ab");
        QTest::keyClick(f.memHelp, Qt::Key_Return);
        EXPECT_TRUE(f.isVisible());
        EXPECT_EQ(f.memHelp->toPlainText(), "ab\n");

        QTest::keyClick(f.btnHelpClose, Qt::Key_Escape);
        EXPECT_FALSE(f.isVisible());
        EXPECT_EQ(f.result(), QDialog::Accepted);

        f.show();
        f.btnHelpClose->setFocus();
        QTest::keyClick(f.btnHelpClose, Qt::Key_Return);
        EXPECT_FALSE(f.isVisible());

        // Resizable: a larger window gives a larger box.
        f.show();
        const QSize box = f.memHelp->size();
        f.resize(f.width() + 100, f.height() + 80);
        QCoreApplication::processEvents();
        EXPECT_GT(f.memHelp->width(), box.width());
        EXPECT_GT(f.memHelp->height(), box.height());
        f.hide();
    });
    ShowHelpTopic("basic", "x");
}

// ---------------------------------------------------------------- About

namespace {

std::vector<QString> AboutTexts()
{
    std::vector<QString> texts;
    ShowHookScope<TAboutForm> hook([&](TAboutForm& f) {
        texts = {f.windowTitle(), f.lblUpgradedBy->text(), f.lblHelpTips->text(), f.lbOriginalInfo->text(),
                 f.btnClose->text()};
    });
    ShowAboutWindow();
    return texts;
}

} // namespace

TEST(AboutWindow, DefaultsWithoutMainIniAndFreshTextsAtEveryOpening)
{
    ShipFolder ship(false);
    zelbor::CurrentLanguage = "eng";
    const std::vector<QString> defaults = {"About", "Upgraded by : ", "Help and tips ",
                                           "Original application designed by ", "Close "};
    EXPECT_EQ(AboutTexts(), defaults);

    WriteText(ship.Path() / "Languages/eng/soft/main.ini",
              "[About]\ntitle=A propos\nupdagred=\"Mis a jour par : \"\nhelptips=Aide\n"
              "originalapp=Concu par\nclose=Fermer\n");
    EXPECT_EQ(AboutTexts(), (std::vector<QString>{"A propos", "Mis a jour par : ", "Aide", "Concu par", "Fermer"}));

    // Another language: its file is read at once, and its missing keys fall back.
    zelbor::CurrentLanguage = "tst";
    WriteText(ship.Path() / "Languages/tst/soft/main.ini", "[ABOUT]\nclose=Zu\n");
    EXPECT_EQ(AboutTexts(), (std::vector<QString>{"About", "Upgraded by : ", "Help and tips ",
                                                  "Original application designed by ", "Zu"}));
}

TEST(AboutWindow, LayoutFontsAndLinks)
{
    ShipFolder ship;
    zelbor::CurrentLanguage = "eng";
    std::vector<QUrl> opened;
    OpenUrlScope urls([&](const QUrl& u) { opened.push_back(u); });
    ShowHookScope<TAboutForm> hook([&](TAboutForm& f) {
        f.show();
        QCoreApplication::processEvents();
        EXPECT_EQ(f.size(), QSize(489, 319));
        EXPECT_EQ(f.minimumSize(), f.maximumSize());
        EXPECT_TRUE(f.windowFlags().testFlag(Qt::Tool));
        EXPECT_EQ(f.lbAppName->text(), "ZelborConfigTool ");
        EXPECT_EQ(f.lblVersion->text(), QString("V") + zelbor::ProgramVersion());
        EXPECT_EQ(f.lbAuthor->font().pointSize(), 12);
        EXPECT_EQ(f.lbAuthor->palette().color(QPalette::WindowText), QColor(Qt::black));
        for (TLinkLabel* link : {f.lblAuthorLink, f.lblUpgraderLink, f.lblTipsLink, f.lblMakerLink}) {
            EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(Qt::blue));
            EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
            EXPECT_EQ(QUrl(link->text()).host(), "zelbor.example") << link->objectName().toStdString();
        }
        EXPECT_EQ(f.Bevel1->height(), 1);
        EXPECT_EQ(f.Bevel2->height(), 1);
        EXPECT_NEAR(f.btnClose->geometry().center().x(), f.width() / 2, 2);
        EXPECT_GT(f.btnClose->geometry().top(), f.Label1->geometry().bottom());
        EXPECT_EQ(f.focusWidget(), f.btnClose);
        ExpectNoClippedLabels(f);

        QTest::mouseClick(f.lblAuthorLink, Qt::LeftButton);
        QTest::mouseClick(f.lblUpgraderLink, Qt::LeftButton);
        QTest::mouseClick(f.lblMakerLink, Qt::LeftButton);
        QTest::mouseClick(f.lblTipsLink, Qt::LeftButton);
        QTest::mouseClick(f.lbAuthor, Qt::LeftButton); // a plain name opens nothing
        ASSERT_EQ(opened.size(), 4u);
        EXPECT_EQ(opened[0], QUrl(f.lblAuthorLink->text()));
        EXPECT_EQ(opened[1], QUrl(f.lblUpgraderLink->text()));
        EXPECT_EQ(opened[2], QUrl(f.lblMakerLink->text()));
        // The tips link shows the site and opens one page on it.
        EXPECT_NE(opened[3], QUrl(f.lblTipsLink->text()));
        EXPECT_TRUE(opened[3].toString().startsWith(f.lblTipsLink->text()));
        EXPECT_TRUE(f.isVisible());
        f.hide();
    });
    ShowAboutWindow();
    EXPECT_EQ(hook.Runs(), 1); // the checks above ran
}

TEST(AboutWindow, EscAndEnterOnTheCloseButtonClose)
{
    ShipFolder ship(false);
    zelbor::CurrentLanguage = "eng";
    ShowHookScope<TAboutForm> hook([&](TAboutForm& f) {
        f.show();
        QTest::keyClick(f.btnClose, Qt::Key_Escape);
        EXPECT_FALSE(f.isVisible());
        EXPECT_EQ(f.result(), QDialog::Accepted);
        f.show();
        f.btnClose->setFocus();
        QTest::keyClick(f.btnClose, Qt::Key_Return);
        EXPECT_FALSE(f.isVisible());
        EXPECT_EQ(f.result(), QDialog::Accepted);
    });
    ShowAboutWindow();
    EXPECT_EQ(hook.Runs(), 1); // the checks above ran
}

} // namespace zelbor
