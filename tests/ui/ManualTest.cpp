// SPDX-License-Identifier: GPL-3.0-or-later
// The manuals this build made: one per language with a source, each with every chapter of the
// English one and every menu command named as the window names it in that language. Their text
// is read from the PDFs as a reader's viewer would give it (pdftotext).
#include "MainTestSupport.h"

#include <gtest/gtest.h>

#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTextDocumentFragment>

#include <algorithm>
#include <map>

namespace zelbor::uitest {
namespace {

// The manuals are made on the build machine (a cross build ships a native build's).
#ifndef _WIN32

struct Chapter {
    QString id, heading;
};

fs::path ManualSource(const std::string& code) { return ResourcesDir() / "manual" / code / "Help.html"; }

fs::path ShippedManual(const std::string& code)
{
    return code == "eng" ? fs::path(ZELBOR_SHIP_DIR) / "Help.pdf"
                         : fs::path(ZELBOR_SHIP_DIR) / "Languages" / code / "Help.pdf";
}

// Runs of white space (line ends, the non-breaking space) as one space and ligatures as their
// letters, as a reader sees words.
QString Words(QString text)
{
    text = text.normalized(QString::NormalizationForm_KC);
    static const QRegularExpression space(QStringLiteral("\\s+"));
    return text.replace(space, QStringLiteral(" ")).trimmed();
}

std::vector<Chapter> Chapters(const fs::path& source)
{
    static const QRegularExpression h1(QStringLiteral("<h1\\b([^>]*)>(.*?)</h1>"),
                                       QRegularExpression::DotMatchesEverythingOption |
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression id(QStringLiteral("\\bid\\s*=\\s*\"([^\"]*)\""));
    std::vector<Chapter> chapters;
    const QString html = QString::fromUtf8(ReadText(source));
    for (auto it = h1.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        const auto named = id.match(m.captured(1));
        if (named.hasMatch())
            chapters.push_back(
                {named.captured(1), Words(QTextDocumentFragment::fromHtml(m.captured(2)).toPlainText())});
    }
    return chapters;
}

// The text of each page of a PDF.
QStringList PdfPages(const fs::path& pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"),
                                          QString::fromStdString(pdf.string()), QStringLiteral("-")});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    QStringList pages = QString::fromUtf8(p.readAllStandardOutput()).split(QChar('\f'));
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

// Every command of the window's menus, as it shows it: without its access letter and without the
// dots that say a dialog follows, which the manual's prose leaves out.
QStringList MenuCaptions(const TMainForm& form)
{
    QStringList captions;
    std::function<void(const QList<QAction*>&)> walk = [&](const QList<QAction*>& actions) {
        for (QAction* a : actions) {
            if (a->isSeparator())
                continue;
            if (a->menu()) {
                walk(a->menu()->actions());
                continue;
            }
            QString caption = a->text();
            caption.replace(QStringLiteral("&&"), QStringLiteral("\x01")).remove(QLatin1Char('&'));
            caption.replace(QChar(1), QLatin1Char('&'));
            caption = Words(caption);
            while (caption.endsWith(QLatin1Char('.')) || caption.endsWith(QChar(0x2026)))
                caption.chop(1);
            captions << caption;
        }
    };
    walk(form.menuBar()->actions());
    return captions;
}

// The languages of the shipped list that have a manual's source.
std::vector<std::string> ManualLanguages()
{
    std::vector<std::string> codes;
    for (const std::string& code : ReadLanguageList(ResourcesDir() / "Languages" / "languages.ini").codes)
        if (fs::exists(ManualSource(code)) && std::find(codes.begin(), codes.end(), code) == codes.end())
            codes.push_back(code);
    return codes;
}

TEST(Manual, EachLanguageHasItsManualWithEveryChapterAndMenuCommand)
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        GTEST_FAIL() << "pdftotext (poppler-utils) is not installed: scripts/install-deps.sh installs it";
    const std::vector<Chapter> english = Chapters(ManualSource("eng"));
    ASSERT_FALSE(english.empty()) << "no <h1 id> in " << ManualSource("eng");

    ShipFolder ship;
    HookRecorder hooks;
    MessageRecorder messages;
    auto form = StartedForm();
    for (const std::string& code : ManualLanguages()) {
        SCOPED_TRACE(code);
        const fs::path pdf = ShippedManual(code);
        ASSERT_TRUE(fs::exists(pdf)) << pdf;
        const QStringList pages = PdfPages(pdf);
        ASSERT_FALSE(pages.isEmpty()) << pdf << " has no pages pdftotext can read";
        const QString text = Words(pages.join(QLatin1Char(' ')));

        std::map<QString, QString> headings;
        for (const Chapter& c : Chapters(ManualSource(code)))
            headings.emplace(c.id, c.heading);
        for (const Chapter& c : english) {
            const auto it = headings.find(c.id);
            if (it == headings.end()) {
                ADD_FAILURE() << "no chapter <h1 id=\"" << c.id.toStdString() << "\">";
                continue;
            }
            EXPECT_FALSE(it->second.isEmpty()) << "chapter " << c.id.toStdString() << " has no heading";
            EXPECT_TRUE(text.contains(it->second)) << "heading not in the PDF: " << it->second.toStdString();
        }

        const int index =
            static_cast<int>(std::find(LanguageCodes.begin(), LanguageCodes.end(), code) - LanguageCodes.begin());
        ASSERT_LT(index, form->cbbLanguage->count());
        form->cbbLanguage->setCurrentIndex(index);
        ASSERT_TRUE(form->cbbLanguageChange());
        const QStringList captions = MenuCaptions(*form);
        EXPECT_GE(captions.size(), 8);
        for (const QString& caption : captions)
            EXPECT_TRUE(text.contains(caption)) << "menu command not named in the PDF: " << caption.toStdString();
    }
    EXPECT_TRUE(messages.messages.empty());
}

TEST(Manual, EveryShippedLanguageHasItsManual)
{
    // The test above checks the manuals there are; a shipped language without one would leave its
    // users with the English manual and no test would say so.
    for (const std::string& code : ReadLanguageList(ResourcesDir() / "Languages" / "languages.ini").codes) {
        EXPECT_TRUE(fs::exists(ManualSource(code))) << "no manual's source for " << code;
        EXPECT_TRUE(fs::exists(ShippedManual(code))) << "no manual made for " << code;
    }
    const std::vector<std::string> languages = ManualLanguages();
    for (const char* code : {"eng", "fra", "deu"})
        EXPECT_NE(std::find(languages.begin(), languages.end(), code), languages.end()) << code;
}

#endif

} // namespace
} // namespace zelbor::uitest
