// SPDX-License-Identifier: GPL-3.0-or-later
// Texts that Qt itself puts on screen: the titles the window manager shows, the buttons of the
// message boxes and the file dialogs in the chosen language, and the file dialog's completion list.
#include "MainTestSupport.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "ui/Application.h"

namespace zelbor {

using namespace uitest;

namespace {

// Runs `inspect` on the message box the program shows, as soon as it is on screen, then answers No.
void WhileTheBoxIsOpen(const std::function<void(QMessageBox&)>& inspect)
{
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, inspect] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        poll->stop();
        poll->deleteLater();
        inspect(*box);
        if (QAbstractButton* no = box->button(QMessageBox::No))
            no->click();
        else
            box->reject();
    });
    poll->start();
}

// The texts of the Yes and No buttons of the program's own question box, read while it is open.
std::pair<QString, QString> QuestionButtons()
{
    std::pair<QString, QString> texts;
    WhileTheBoxIsOpen([&texts](QMessageBox& box) {
        texts = {box.button(QMessageBox::Yes)->text(), box.button(QMessageBox::No)->text()};
    });
    MessageRequest question;
    question.text = QStringLiteral("Overwrite?");
    question.caption = QStringLiteral("Question");
    question.flags = zelbor::mbYesNo;
    EXPECT_EQ(ShowRealMessageBox(question), zelbor::idNo);
    return texts;
}

// The accept and cancel buttons and the folder label of a file dialog, as it shows them now.
QStringList DialogTexts(QFileDialog& dialog)
{
    QCoreApplication::processEvents(); // a change of translation reaches the dialog as a posted event
    auto* box = dialog.findChild<QDialogButtonBox*>();
    auto* lookIn = dialog.findChild<QLabel*>(QStringLiteral("lookInLabel"));
    if (!box || !lookIn)
        return {};
    return {box->button(QDialogButtonBox::Open) ? box->button(QDialogButtonBox::Open)->text()
                                                : box->button(QDialogButtonBox::Save)->text(),
            box->button(QDialogButtonBox::Cancel)->text(), lookIn->text()};
}

class QtTexts : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Qt's translations as the build puts them into the shipping folder.
        fs::copy(fs::path(ZELBOR_SHIP_DIR) / "translations", ship.Path() / "translations");
        WriteText(ship.Path() / "Languages" / "tst" / "help" / "Infos.txt", "tst\n");
        WriteText(ship.Path() / "Languages" / "languages.ini",
                  "[LANGUAGES]\nnbLang=4\ndefault=fra\nlang1=English,eng\nlang2=Fran\xC3\xA7"
                  "ais,fra\n"
                  "lang3=Deutsch,deu\nlang4=Test,tst\n");
    }
    void TearDown() override { UseQtTranslations(""); } // no translation left for later tests
    void Pick(int index)
    {
        form->cbbLanguage->setCurrentIndex(index);
        ASSERT_TRUE(form->cbbLanguageChange());
    }

    ShipFolder ship;
    HookRecorder hooks;
    MessageRecorder messages;
    std::unique_ptr<TMainForm> form;
};

} // namespace

TEST(ApplicationTitles, QtAddsNothingToTheCaptionsOfTheWindows)
{
    SetUpApplication();
    EXPECT_EQ(QApplication::applicationName(), "Zelbor Configuration Tool");
    // With no display name of its own the display name follows the application name, and Qt
    // hands every window's caption to the window manager as it is instead of appending
    // " — <display name>" to it.
    const QString name = QApplication::applicationName();
    QApplication::setApplicationName(QStringLiteral("probe"));
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), "probe");
    QApplication::setApplicationName(name);
}

TEST_F(QtTexts, MessageBoxesAndFileDialogsFollowTheLanguageAndBackToEnglish)
{
    const std::pair<QString, QString> english{QStringLiteral("&Yes"), QStringLiteral("&No")};
    const QStringList englishLoad{QStringLiteral("Open"), QStringLiteral("Cancel"), QStringLiteral("Look in:")};
    ASSERT_EQ(QuestionButtons(), english); // before any language is chosen

    // The stored language is French: Qt's texts are French from the start.
    form = StartedForm();
    ASSERT_EQ(zelbor::CurrentLanguage, "fra");
    EXPECT_EQ(QuestionButtons(), std::make_pair(QStringLiteral("&Oui"), QStringLiteral("&Non")));
    EXPECT_EQ(DialogTexts(*form->LoadFileDialog),
              (QStringList{QStringLiteral("Ouvrir"), QStringLiteral("Annuler"), QStringLiteral("Voir dans :")}));

    Pick(2);
    EXPECT_EQ(QuestionButtons(), std::make_pair(QStringLiteral("&Ja"), QStringLiteral("&Nein")));
    EXPECT_EQ(DialogTexts(*form->SaveFileDialog).value(1), "Abbrechen");

    Pick(0);
    EXPECT_EQ(QuestionButtons(), english);
    EXPECT_EQ(DialogTexts(*form->LoadFileDialog), englishLoad);

    // A language that Qt has no translation for keeps Qt's English texts, also after French.
    Pick(1);
    Pick(3);
    EXPECT_EQ(QuestionButtons(), english);
    EXPECT_EQ(DialogTexts(*form->LoadFileDialog), englishLoad);
    // The program's own texts of the dialogs stay as they are in every language.
    EXPECT_EQ(form->LoadFileDialog->windowTitle(), "Select profile to load");
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(QtTexts, WithoutTheTranslationsFolderEveryLanguageKeepsEnglishButtons)
{
    fs::remove_all(ship.Path() / "translations");
    form = StartedForm();
    ASSERT_EQ(zelbor::CurrentLanguage, "fra");
    EXPECT_EQ(QuestionButtons(), std::make_pair(QStringLiteral("&Yes"), QStringLiteral("&No")));
    EXPECT_TRUE(messages.messages.empty());
}

TEST(FileDialogCompletion, TheCompletionListClosesWithTheDialog)
{
    ShipFolder ship;
    WriteText(ship.Path() / "Profiles" / "touring.el", "[Basic]\nLC=5\n");
    WriteText(ship.Path() / "Profiles" / "tour2.el", "[Basic]\nLC=6\n");
    HookRecorder hooks;
    MessageRecorder messages;
    auto form = StartedForm();
    RealFileDialogs realDialogs; // the real, modal dialog
    form->show();

    QAbstractItemView* popup = nullptr;
    bool listShown = false;
    QTimer::singleShot(0, form.get(), [&] {
        QFileDialog* dialog = form->LoadFileDialog;
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (!name || !name->completer()) {
            dialog->reject();
            return;
        }
        popup = name->completer()->popup();
        // The folder is read in the background: completion starts once its names are known.
        auto* files = dialog->findChild<QFileSystemModel*>();
        const QString folder = ship.Q("Profiles");
        PumpUntil([files, folder] { return files && files->rowCount(files->index(folder)) >= 2; });
        name->setFocus();
        QTest::keyClicks(name, QStringLiteral("tour"));
        listShown = PumpUntil([popup] { return popup->isVisible(); });
        QTest::keyClicks(name, QStringLiteral("ing.el"));
        listShown = listShown && popup->isVisible(); // still open when Enter accepts the name
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        if (dialog->isVisible())
            dialog->reject();
    });
    form->mnLoadClick();

    ASSERT_TRUE(popup);
    EXPECT_TRUE(listShown);
    EXPECT_EQ(form->windowTitle(), "Zelbor Configuration Tool - touring.el");
    EXPECT_FALSE(popup->isVisible());
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr); // nothing left to take the next click
    EXPECT_TRUE(messages.messages.empty());
}

} // namespace zelbor
