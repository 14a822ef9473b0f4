// SPDX-License-Identifier: GPL-3.0-or-later
// The shipped information page and help texts fit their boxes: no line of a shipped language is
// wrapped in the middle of a table or a sentence when the boxes have their designed sizes.
#include "MainTestSupport.h"

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTextBlock>
#include <QToolButton>

#include "ui/Help.h"
#include "ui/HelpForm.h"

namespace zelbor {

using namespace uitest;

namespace {

// A little room is kept, so that a fixed-pitch or dialog font a few per cent wider than the one
// measured here still shows every line whole.
constexpr double kHeadroom = 0.95;

// The lines of the box that would not fit its text area with that headroom.
QStringList LinesTooWide(const QPlainTextEdit& box)
{
    const double width = (box.viewport()->width() - 2 * box.document()->documentMargin()) * kHeadroom;
    QStringList tooWide;
    for (QTextBlock b = box.document()->begin(); b.isValid(); b = b.next())
        if (box.fontMetrics().horizontalAdvance(b.text()) > width)
            tooWide << b.text();
    return tooWide;
}

std::string Listed(const QStringList& lines) { return lines.join(QLatin1Char('\n')).toStdString(); }

const std::vector<std::string>& ShippedCodes()
{
    static const std::vector<std::string> codes =
        zelbor::ReadLanguageList(ResourcesDir() / "Languages" / "languages.ini").codes;
    return codes;
}

} // namespace

TEST(ShippedTextsFit, EveryLineOfTheInformationPageFitsItsBox)
{
    ASSERT_EQ(ShippedCodes().size(), 3u);
    ShipFolder ship;
    HookRecorder hooks;
    MessageRecorder messages;
    auto form = StartedForm();
    form->show();
    form->pctrlProfile->setCurrentIndex(3);
    QCoreApplication::processEvents();
    // The box keeps the page's designed width: 417 pixels less the margins and frames.
    EXPECT_GE(form->memInfos->viewport()->width(), 360);
    for (int lang = 0; lang < form->cbbLanguage->count(); ++lang) {
        SCOPED_TRACE(ShippedCodes()[static_cast<std::size_t>(lang)]);
        form->cbbLanguage->setCurrentIndex(lang);
        ASSERT_TRUE(form->cbbLanguageChange());
        ASSERT_GT(form->memInfos->document()->blockCount(), 50);
        EXPECT_EQ(LinesTooWide(*form->memInfos), QStringList()) << Listed(LinesTooWide(*form->memInfos));
    }
    EXPECT_TRUE(messages.messages.empty());
}

TEST(ShippedTextsFit, EveryHelpTopicLineFitsTheHelpBox)
{
    ShipFolder ship;
    HookRecorder hooks;
    MessageRecorder messages;
    auto form = StartedForm();
    for (QToolButton* b : form->findChildren<QToolButton*>(QRegularExpression(QStringLiteral("^btnHelp_"))))
        b->click();
    ASSERT_EQ(hooks.help.size(), 25u);

    int shown = 0;
    ShowHookScope<TfrmHelp> hook([&shown](TfrmHelp& f) {
        f.show();
        QCoreApplication::processEvents();
        EXPECT_EQ(f.size(), QSize(447, 259));
        EXPECT_GT(f.memHelp->document()->blockCount(), 3) << f.windowTitle().toStdString();
        EXPECT_EQ(LinesTooWide(*f.memHelp), QStringList()) << f.windowTitle().toStdString() << "\n"
                                                           << Listed(LinesTooWide(*f.memHelp));
        ++shown;
    });
    for (const std::string& code : ShippedCodes()) {
        SCOPED_TRACE(code);
        zelbor::CurrentLanguage = code;
        for (const auto& [topic, section] : hooks.help)
            ShowHelpTopic(topic, section);
    }
    EXPECT_EQ(shown, 75);
}

} // namespace zelbor
