// SPDX-License-Identifier: GPL-3.0-or-later
// Keyboard and screen-reader access: accessible names through Qt's accessibility interface, access
// letters, the tab chain in the order the rows are seen, and closing the windows by keyboard.
#include "MainTestSupport.h"

#include <gtest/gtest.h>

#include <QAbstractSpinBox>
#include <QAccessible>
#include <QAction>
#include <QLabel>
#include <QMap>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <algorithm>

#include "ui/About.h"
#include "ui/AboutForm.h"
#include "ui/Access.h"
#include "ui/Help.h"
#include "ui/HelpForm.h"
#include "ui/Warning.h"
#include "ui/WarningForm.h"

namespace zelbor {

using namespace uitest;

namespace {

QString Name(QWidget* w)
{
    QAccessibleInterface* i = QAccessible::queryAccessibleInterface(w);
    return i ? i->text(QAccessible::Name) : QString();
}

QString Value(QWidget* w)
{
    QAccessibleInterface* i = QAccessible::queryAccessibleInterface(w);
    return i ? i->text(QAccessible::Value) : QString();
}

QAccessible::Role Role(QWidget* w)
{
    QAccessibleInterface* i = QAccessible::queryAccessibleInterface(w);
    return i ? i->role() : QAccessible::NoRole;
}

// Parts that Qt builds inside a control (the text field of a spin box, the scroll buttons of the
// tab bar) belong to that control.
bool IsInnerPart(const QWidget* w)
{
    const QWidget* p = w->parentWidget();
    return p && (qobject_cast<const QAbstractSpinBox*>(p) || qobject_cast<const QComboBox*>(p) ||
                 qobject_cast<const QTabBar*>(p));
}

QWidget* Owner(QWidget* w)
{
    while (w && IsInnerPart(w))
        w = w->parentWidget();
    return w;
}

// The controls a user meets: everything one can operate, the pictures, and the labels that show
// the controller's details. Caption labels are the names of controls, not controls of their own.
std::vector<QWidget*> Controls(QWidget* root)
{
    static const QList<QAccessible::Role> roles{QAccessible::Button,       QAccessible::ComboBox, QAccessible::SpinBox,
                                                QAccessible::EditableText, QAccessible::Link,     QAccessible::Graphic,
                                                QAccessible::PageTabList};
    static const QStringList valueLabels{"lbManuf", "lbModel", "lbHWVer", "lbFWVer", "lbNomVolt", "lbMaxCurr"};
    std::vector<QWidget*> out;
    for (QWidget* w : root->findChildren<QWidget*>()) {
        if (IsInnerPart(w) || w->isWindow())
            continue;
        if (roles.contains(Role(w)) || valueLabels.contains(w->objectName()))
            out.push_back(w);
    }
    return out;
}

// Every control has a name, and no two controls of the window share one.
void ExpectNamedAndUnique(const std::vector<QWidget*>& controls)
{
    QMap<QString, QStringList> byName;
    for (QWidget* w : controls) {
        EXPECT_FALSE(Name(w).trimmed().isEmpty()) << w->objectName().toStdString() << " has no accessible name";
        byName[Name(w)] << w->objectName();
    }
    for (auto it = byName.cbegin(); it != byName.cend(); ++it)
        EXPECT_EQ(it.value().size(), 1) << "\"" << it.key().toStdString() << "\" names "
                                        << it.value().join(", ").toStdString();
}

// The widgets that Tab can reach inside `area`, in the order a reader sees them: rows from top to
// bottom (widgets whose vertical centre lies within the first widget of a row belong to it), and
// within a row from left to right.
std::vector<QWidget*> ReadingOrder(QWidget* area)
{
    std::vector<QWidget*> stops;
    for (QWidget* w : area->findChildren<QWidget*>())
        if (!IsInnerPart(w) && (w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && w->isVisible())
            stops.push_back(w);
    auto rect = [area](QWidget* w) { return QRect(w->mapTo(area, QPoint(0, 0)), w->size()); };
    std::sort(stops.begin(), stops.end(),
              [&](QWidget* a, QWidget* b) { return rect(a).center().y() < rect(b).center().y(); });
    std::vector<std::vector<QWidget*>> rows;
    for (QWidget* w : stops) {
        if (rows.empty() || rect(w).center().y() > rect(rows.back().front()).bottom())
            rows.emplace_back();
        rows.back().push_back(w);
    }
    std::vector<QWidget*> order;
    for (auto& row : rows) {
        std::sort(row.begin(), row.end(), [&](QWidget* a, QWidget* b) { return rect(a).x() < rect(b).x(); });
        order.insert(order.end(), row.begin(), row.end());
    }
    return order;
}

QStringList Names(const std::vector<QWidget*>& widgets)
{
    QStringList out;
    for (QWidget* w : widgets)
        out << w->objectName();
    return out;
}

// Presses Tab until the focus comes back to where it started; the controls it visited.
std::vector<QWidget*> TabCycle(QWidget* start, int limit = 120)
{
    start->setFocus(Qt::TabFocusReason);
    std::vector<QWidget*> visited;
    for (int i = 0; i < limit; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* now = Owner(QApplication::focusWidget());
        if (!now || now == start)
            break;
        visited.push_back(now);
    }
    return visited;
}

void Activate(QWidget* w)
{
    w->show();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w));
}

// Runs `body` once the message box that `show` opens is on screen; the box's answer.
int AnswerMessageBox(int flags, const std::function<void(QWidget*)>& body)
{
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (QWidget* box = QApplication::activeModalWidget(); box && box->isVisible()) {
            poll.stop();
            body(box);
        }
    });
    poll.start();
    MessageRequest request;
    request.caption = QStringLiteral("Caption");
    request.text = QStringLiteral("Text");
    request.flags = flags;
    return ShowRealMessageBox(request);
}

class Access : public ::testing::Test {
protected:
    void SetUp() override { form = StartedForm(); }

    ShipFolder ship;
    HookRecorder hooks;
    MessageRecorder messages;
    std::unique_ptr<TMainForm> form;
};

} // namespace

TEST_F(Access, EveryControlOfTheMainWindowHasItsOwnName)
{
    ExpectNamedAndUnique(Controls(form->centralWidget()));

    // Fields take their label's text, without the colon.
    EXPECT_EQ(Name(form->speBasCurrLim), "Current Limit [A]");
    EXPECT_EQ(Name(form->cbbBasWheelDiam), "Wheel Diameler [Inch]");
    EXPECT_EQ(Value(form->cbbBasWheelDiam), "26"); // the list's name is its label, its value the item
    EXPECT_EQ(Name(form->cbbBasLowBat), "Low Battery Protection [V]");
    EXPECT_EQ(Name(form->spePASStartCurr), "Start Current [%] (max 60%)");
    EXPECT_EQ(Name(form->speThrStartCurr), "Start Current [%]");
    // Fields without a label of their own.
    EXPECT_EQ(Name(form->speBasAssistCurrLim[3]), "Assist 3 current limit [%]");
    EXPECT_EQ(Name(form->speBasAssistSpdLim[9]), "Assist 9 speed limit [%]");
    EXPECT_EQ(Name(form->findChild<QWidget*>("btnHelp_Basic_CurrentLimit")), "Help: Current Limit [A]");
    EXPECT_EQ(Name(form->findChild<QWidget*>("btnHelp_Basic_LvlCurrentLimit")), "Help: Current Limit [%]");
    EXPECT_EQ(Name(form->imgSearchPorts), "Rescan ports");
    EXPECT_EQ(Role(form->imgSearchPorts), QAccessible::Button);
    EXPECT_EQ(Name(form->imgInfo), "About");
    EXPECT_EQ(Name(form->imgPAS), "Pedal assist diagram");
    // The same label on two pages, and the READ and WRITE buttons, carry their page.
    EXPECT_EQ(Name(form->cbbPASSpdLim), "Speed Limit (Pedal Assist)");
    EXPECT_EQ(Name(form->edThrSpeedLim), "Speed Limit (Throttle Handle)");
    EXPECT_EQ(Name(form->findChild<QWidget*>("btnHelp_Throttle_SpeedLimit")), "Help: Speed Limit (Throttle Handle)");
    EXPECT_EQ(Name(form->btnPASRead), "READ (Pedal Assist)");
    EXPECT_EQ(Name(form->btnBasWrite), "WRITE (Basic)");
    // A controller detail: named by its title, its text is the value.
    form->lbFWVer->setText(QStringLiteral("2.15"));
    EXPECT_EQ(Name(form->lbFWVer), "Firmware Ver.");
    EXPECT_EQ(Value(form->lbFWVer), "2.15");

    // The label is also reported as the field's label.
    QAccessibleInterface* field = QAccessible::queryAccessibleInterface(form->speBasCurrLim);
    const auto labels = field->relations(QAccessible::Label);
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels.front().first->object()->objectName(), "lblBasCurrLim");
}

TEST_F(Access, NamesFollowTheLanguage)
{
    form->cbbLanguage->setCurrentIndex(form->cbbLanguage->findText(QStringLiteral("Deutsch")));
    ASSERT_TRUE(form->cbbLanguageChange());
    ExpectNamedAndUnique(Controls(form->centralWidget()));
    EXPECT_EQ(Name(form->cbbPort), "Serieller Port");
    EXPECT_EQ(Name(form->cbbLanguage), "Sprache");
    EXPECT_EQ(Name(form->btnThrRead), QString::fromUtf8("LESEN (Gasgriff)"));
    EXPECT_EQ(Name(form->cbbPASSpdLim), QString::fromUtf8("Speed Limit (Tretunterst\xC3\xBCtzung)"));
    EXPECT_EQ(Name(form->imgInfo), QString::fromUtf8("\xC3\x9C"
                                                     "ber"));
    EXPECT_EQ(Name(form->btnReadFlash), "Alles lesen");
    // The captions themselves are the translation's, unchanged.
    EXPECT_EQ(form->lbCOMPort->text(), "Serieller Port:");
    EXPECT_EQ(form->btnThrRead->text(), "LESEN");
}

TEST_F(Access, AltAndTheAccessLetterReachEveryParameterField)
{
    Activate(form.get());
    QSet<QChar> window{QLatin1Char('X')};
    for (QAction* menu : {form->mnFile, form->mnHelp})
        window.insert(AccessKeyOf(menu->text()));
    for (int page = 0; page < 3; ++page) {
        form->pctrlProfile->setCurrentIndex(page);
        QSet<QChar> used = window;
        int reached = 0;
        for (QLabel* label : form->pctrlProfile->widget(page)->findChildren<QLabel*>()) {
            if (!label->buddy())
                continue;
            const QChar key = AccessKeyOf(label->text());
            ASSERT_FALSE(key.isNull()) << label->objectName().toStdString() << " has no access letter";
            EXPECT_FALSE(used.contains(key)) << label->objectName().toStdString() << " repeats " << key.toLatin1();
            used.insert(key);
            form->btnPortConnect->setFocus();
            QTest::keyClick(form.get(), Qt::Key(key.unicode()), Qt::AltModifier);
            EXPECT_EQ(Owner(QApplication::focusWidget()), label->buddy())
                << "Alt+" << key.toLatin1() << " from " << label->objectName().toStdString();
            ++reached;
        }
        EXPECT_GT(reached, 5);
    }
    // An assist level answers to its digit.
    form->pctrlProfile->setCurrentIndex(0);
    QTest::keyClick(form.get(), Qt::Key_3, Qt::AltModifier);
    EXPECT_EQ(Owner(QApplication::focusWidget()), form->speBasAssistCurrLim[3]);
}

TEST_F(Access, TabVisitsEveryEnabledFieldInRowOrder)
{
    Activate(form.get());
    QTabBar* tabs = form->pctrlProfile->tabBar();
    for (bool connected : {false, true}) {
        for (QPushButton* b : {form->btnBasRead, form->btnBasWrite, form->btnPASRead, form->btnPASWrite,
                               form->btnThrRead, form->btnThrWrite, form->btnReadFlash, form->btnWriteFlash})
            b->setEnabled(connected);
        for (int page = 0; page < 4; ++page) {
            form->pctrlProfile->setCurrentIndex(page);
            std::vector<QWidget*> expected = ReadingOrder(form->pctrlProfile->widget(page));
            const std::vector<QWidget*> panel = ReadingOrder(form->pGeneral);
            expected.insert(expected.end(), panel.begin(), panel.end());
            EXPECT_EQ(Names(TabCycle(tabs)), Names(expected)) << "page " << page << (connected ? ", connected" : "");
        }
    }
    // The READ and WRITE buttons follow their page's last field.
    form->pctrlProfile->setCurrentIndex(2);
    const std::vector<QWidget*> cycle = TabCycle(tabs);
    const auto read = std::find(cycle.begin(), cycle.end(), form->btnThrRead);
    ASSERT_NE(read, cycle.end());
    ASSERT_NE(read, cycle.begin());
    EXPECT_EQ(*(read - 1), form->speThrStartCurr);
    EXPECT_EQ(*(read + 1), form->btnThrWrite);
}

TEST_F(Access, ThePicturesWorkFromTheKeyboard)
{
    Activate(form.get());
    form->imgInfo->setFocus(Qt::TabFocusReason);
    QTest::keyClick(form->imgInfo, Qt::Key_Return);
    QTest::keyClick(form->imgInfo, Qt::Key_Space);
    EXPECT_EQ(hooks.abouts, 2);

#ifndef _WIN32 // ports announced in a folder: on Windows the registry lists them
    // A port that appears after start-up is found by Space on the magnifier, or by its press action.
    QTemporaryDir runtime;
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    FakeLine line;
    ASSERT_TRUE(line.Ok());
    fs::create_directories(zelbor::VirtualPortFolder());
    const fs::path link = fs::path(zelbor::VirtualPortFolder()) / "zelbor-test";
    fs::create_symlink(line.Path(), link);
    const QString port = QString::fromStdString(link.string());
    EXPECT_EQ(form->cbbPort->findData(port), -1);
    form->imgSearchPorts->setFocus(Qt::TabFocusReason);
    QTest::keyClick(form->imgSearchPorts, Qt::Key_Space);
    EXPECT_NE(form->cbbPort->findData(port), -1);
    form->cbbPort->clear();
    auto* action = QAccessible::queryAccessibleInterface(form->imgSearchPorts)->actionInterface();
    ASSERT_NE(action, nullptr);
    action->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_NE(form->cbbPort->findData(port), -1);
    fs::remove(link);
    qputenv("XDG_RUNTIME_DIR", savedRuntime);
#endif
}

TEST_F(Access, TheWarningIsReadAndClosedByKeyboard)
{
    bool checked = false;
    ShowHookScope<TfrmWarning> hook([&](TfrmWarning& d) {
        Activate(&d);
        ExpectNamedAndUnique(Controls(&d));
        EXPECT_EQ(Name(d.memWarning), LabelName(d.lblLine1->text()));
        EXPECT_EQ(Owner(QApplication::focusWidget()), d.btnCloseWarning); // first in the tab order
        EXPECT_EQ(Names(TabCycle(d.btnCloseWarning)), QStringList({"memWarning", "cbbLanguage"}));
        d.btnCloseWarning->setFocus();
        QTest::keyClick(d.btnCloseWarning, Qt::Key_Escape);
        EXPECT_TRUE(d.isVisible()); // no cancel role
        d.memWarning->setFocus();
        QTest::keyClick(d.memWarning, Qt::Key_Return); // the read-only text passes Enter to the button
        EXPECT_FALSE(d.isVisible());
        EXPECT_EQ(d.result(), QDialog::Accepted);
        checked = true;
    });
    ShowStartupWarning(*form);
    EXPECT_TRUE(checked);
}

TEST_F(Access, TheHelpWindowLetsTabOutOfItsTextAndClosesWithEsc)
{
    bool checked = false;
    ShowHookScope<TfrmHelp> hook([&](TfrmHelp& d) {
        Activate(&d);
        ExpectNamedAndUnique(Controls(&d));
        EXPECT_EQ(Name(d.memHelp), d.windowTitle());
        EXPECT_EQ(Owner(QApplication::focusWidget()), d.btnHelpClose);
        EXPECT_EQ(Names(TabCycle(d.btnHelpClose)), QStringList({"memHelp"}));
        d.memHelp->setFocus();
        QTest::keyClick(d.memHelp, Qt::Key_Escape);
        EXPECT_FALSE(d.isVisible());
        EXPECT_EQ(d.result(), QDialog::Accepted);
        checked = true;
    });
    ShowHelpTopic("basic", "btnHelp_Basic_CurrentLimit");
    EXPECT_TRUE(checked);
}

TEST_F(Access, TheAboutLinksAreReachedAndOpenedByKeyboard)
{
    std::vector<QUrl> opened;
    OpenUrlScope urls([&](const QUrl& url) { opened.push_back(url); });
    bool checked = false;
    ShowHookScope<TAboutForm> hook([&](TAboutForm& d) {
        Activate(&d);
        ExpectNamedAndUnique(Controls(&d));
        EXPECT_EQ(Role(d.lblTipsLink), QAccessible::Link);
        EXPECT_EQ(Name(d.lblTipsLink), d.lblTipsLink->text());
        EXPECT_EQ(Owner(QApplication::focusWidget()), d.btnClose);
        EXPECT_EQ(Names(TabCycle(d.btnClose)),
                  QStringList({"lblAuthorLink", "lblUpgraderLink", "lblTipsLink", "lblMakerLink"}));
        d.lblTipsLink->setFocus();
        QTest::keyClick(d.lblTipsLink, Qt::Key_Space);
        d.lblMakerLink->setFocus();
        QTest::keyClick(d.lblMakerLink, Qt::Key_Return); // opens the link; the window stays
        EXPECT_TRUE(d.isVisible());
        ASSERT_EQ(opened.size(), 2u);
        EXPECT_EQ(opened[0], d.lblTipsLink->Target());
        EXPECT_EQ(opened[1], d.lblMakerLink->Target());
        d.btnClose->setFocus();
        QTest::keyClick(d.btnClose, Qt::Key_Return);
        EXPECT_FALSE(d.isVisible());
        checked = true;
    });
    ShowAboutWindow();
    EXPECT_TRUE(checked);
}

TEST_F(Access, MessageBoxesCloseWithEnterAndEsc)
{
    auto press = [](Qt::Key key) { return [key](QWidget* box) { QTest::keyClick(box, key); }; };
    EXPECT_EQ(AnswerMessageBox(zelbor::mbIconError, press(Qt::Key_Return)), zelbor::idOk);
    EXPECT_EQ(AnswerMessageBox(zelbor::mbIconInformation, press(Qt::Key_Escape)), zelbor::idOk);
    // A question: Enter takes the default answer, Esc the one that changes nothing.
    EXPECT_EQ(AnswerMessageBox(zelbor::mbYesNo, press(Qt::Key_Return)), zelbor::idYes);
    EXPECT_EQ(AnswerMessageBox(zelbor::mbYesNo, press(Qt::Key_Escape)), zelbor::idNo);
    // The box's buttons are named for a screen reader.
    AnswerMessageBox(zelbor::mbYesNo, [](QWidget* box) {
        std::vector<QWidget*> buttons;
        for (auto* b : box->findChildren<QPushButton*>())
            buttons.push_back(b);
        EXPECT_EQ(buttons.size(), 2u);
        ExpectNamedAndUnique(buttons);
        QTest::keyClick(box, Qt::Key_Escape);
    });
}

} // namespace zelbor
