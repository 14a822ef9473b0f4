// SPDX-License-Identifier: GPL-3.0-or-later
// TMainForm: keyboard and screen-reader access. The tab chain follows the rows of each page; the
// accessible names and access letters are derived from the texts the window shows, so they follow
// the language wherever those texts do.
#include "ui/Main.h"

#include <QAction>
#include <QComboBox>
#include <QHash>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <array>
#include <utility>

#include "ui/Access.h"

namespace zelbor {

namespace {

constexpr int kPageCount = 3; // the parameter pages; Infos has no fields

} // namespace

void TMainForm::BuildTabChain()
{
    const std::array<std::pair<QPushButton*, QPushButton*>, kPageCount> transfer{
        {{btnBasRead, btnBasWrite}, {btnPASRead, btnPASWrite}, {btnThrRead, btnThrWrite}}};
    // Only the visible page's widgets take the focus, so the pages can follow one another in one
    // chain: Tab goes from the page tabs through the rows of the page shown, its READ and WRITE
    // buttons, then the right panel, and back to the page tabs.
    std::vector<QWidget*> chain{pctrlProfile->tabBar()};
    for (int page = 0; page < kPageCount; ++page) {
        for (const AccessRow& r : accessRows_) {
            if (r.page != page)
                continue;
            if (r.help)
                chain.push_back(r.help);
            chain.insert(chain.end(), r.fields.begin(), r.fields.end());
        }
        chain.push_back(transfer[static_cast<std::size_t>(page)].first);
        chain.push_back(transfer[static_cast<std::size_t>(page)].second);
    }
    chain.push_back(memInfos);
    chain.insert(chain.end(), {imgInfo, cbbLanguage, cbbPort, imgSearchPorts, btnPortConnect, btnPortDisconnect,
                               btnReadFlash, btnWriteFlash});
    SetTabChain(chain);
}

void TMainForm::UpdateAccessibility()
{
    // Access letters of the parameter labels. The menu titles' letters, Alt+X (Exit) and any letter
    // a translation gives the right panel's labels hold in the whole window (the panel is on screen
    // beside every page), so each page chooses among what those leave.
    QSet<QChar> windowKeys{QLatin1Char('X')};
    for (const QString& caption : {mnFile->text(), mnHelp->text(), lblLanguage->text(), lbCOMPort->text()})
        if (const QChar key = AccessKeyOf(caption); !key.isNull())
            windowKeys.insert(key);
    for (int page = 0; page < kPageCount; ++page) {
        QSet<QChar> used = windowKeys;
        std::vector<QLabel*> labels;
        for (const AccessRow& r : accessRows_) {
            if (r.page != page || r.fields.empty())
                continue;
            if (!r.fieldNames.empty()) {
                // An assist level takes its own digit: Alt+3 reaches level 3.
                const QString plain = StripAccessMark(r.label->text());
                const qsizetype digit = plain.indexOf(QRegularExpression(QStringLiteral("[0-9]")));
                if (digit >= 0 && !used.contains(plain[digit])) {
                    used.insert(plain[digit]);
                    r.label->setText(QString(plain).insert(digit, QLatin1Char('&')));
                    continue;
                }
            }
            labels.push_back(r.label);
        }
        AssignAccessKeys(labels, used);
    }

    // Names. Several pages hold a label of the same text, and every page has its READ and WRITE
    // buttons: such names are told apart by the caption of their page.
    struct Named {
        QWidget* control;
        QString name;
        int page; // -1: the right panel
    };
    std::vector<Named> names;
    for (const AccessRow& r : accessRows_) {
        QString rowName = LabelName(r.label->text());
        if (r.note)
            rowName += QLatin1Char(' ') + LabelName(r.note->text());
        if (r.help)
            names.push_back({r.help, QStringLiteral("Help: ") + rowName, r.page});
        for (std::size_t i = 0; i < r.fields.size(); ++i)
            names.push_back({r.fields[i], i < r.fieldNames.size() ? r.fieldNames[i] : rowName, r.page});
    }
    const std::array<std::pair<QPushButton*, int>, 6> transfer{
        {{btnBasRead, 0}, {btnBasWrite, 0}, {btnPASRead, 1}, {btnPASWrite, 1}, {btnThrRead, 2}, {btnThrWrite, 2}}};
    for (const auto& [button, page] : transfer)
        names.push_back({button, LabelName(button->text()), page});
    names.push_back({imgPAS, QStringLiteral("Pedal assist diagram"), 1});
    names.push_back({memInfos, LabelName(pctrlProfile->tabText(3)), 3});
    names.push_back({pctrlProfile->tabBar(), QStringLiteral("Pages"), -1});
    names.push_back({imgInfo, LabelName(mnAbout->text()), -1}); // it opens the About window
    names.push_back({cbbLanguage, LabelName(lblLanguage->text()), -1});
    names.push_back({cbbPort, LabelName(lbCOMPort->text()), -1});
    names.push_back({imgSearchPorts, QStringLiteral("Rescan ports"), -1});
    for (QPushButton* button : {btnPortConnect, btnPortDisconnect, btnReadFlash, btnWriteFlash})
        names.push_back({button, LabelName(button->text()), -1});

    QHash<QString, int> uses;
    for (const Named& n : names)
        ++uses[n.name];
    for (const Named& n : names) {
        const bool ambiguous = uses.value(n.name) > 1 && n.page >= 0;
        SetAccessibleName(n.control, ambiguous ? n.name + QStringLiteral(" (") +
                                                     LabelName(pctrlProfile->tabText(n.page)) + QLatin1Char(')')
                                               : n.name);
    }

    // The controller details: named by their titles, their text is the value.
    const std::array<std::pair<QLabel*, QLabel*>, 6> details{{{lbManuf, lbManufTitle},
                                                              {lbModel, lbModelTitle},
                                                              {lbHWVer, lbHWVerTitle},
                                                              {lbFWVer, lbFWVerTitle},
                                                              {lbNomVolt, lbNomVoltTitle},
                                                              {lbMaxCurr, lbMaxCurrTitle}}};
    for (const auto& [value, title] : details)
        MarkValueLabel(value, LabelName(title->text()));
}

} // namespace zelbor
