// SPDX-License-Identifier: GPL-3.0-or-later
// The window and the profile files against the parameter table: nothing here states a range, an
// item, a key or a name of its own; each check reads the table and looks at what its consumer does.
#include "MainTestSupport.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QComboBox>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <algorithm>
#include <set>
#include <sstream>

#include "protocol/Parameters.h"

namespace zelbor {

using namespace uitest;

namespace {

QStringList Items(const QComboBox* list)
{
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items << list->itemText(i);
    return items;
}

QStringList Items(const zelbor::ParameterField& f)
{
    QStringList items;
    for (const std::string& s : *f.items)
        items << QString::fromStdString(s);
    return items;
}

QString Name(const std::string& s) { return QString::fromStdString(s); }

} // namespace

class ParameterTable : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = StartedForm();
        messages.SetForm(form.get());
    }
    QWidget* Control(const zelbor::ParameterField& f) { return form->findChild<QWidget*>(Name(f.control)); }
    QWidget* Page(int page) { return form->pctrlProfile->widget(page); }

    ShipFolder ship;
    HookRecorder hooks;
    MessageRecorder messages;
    std::unique_ptr<TMainForm> form;
};

TEST_F(ParameterTable, EveryControlHasTheTablesNamePageRangeItemsAndHelpButton)
{
    std::set<QString> tableNames;
    for (const zelbor::ParameterField& f : zelbor::ParameterTable()) {
        SCOPED_TRACE(f.control);
        tableNames.insert(Name(f.control));
        QWidget* control = Control(f);
        ASSERT_NE(control, nullptr);
        EXPECT_TRUE(Page(f.Page())->isAncestorOf(control));
        switch (f.kind) {
        case zelbor::ControlKind::Spin: {
            auto* spin = qobject_cast<QSpinBox*>(control);
            ASSERT_NE(spin, nullptr);
            EXPECT_EQ(spin->minimum(), f.minimum);
            EXPECT_EQ(spin->maximum(), f.maximum); // no identification yet
            break;
        }
        case zelbor::ControlKind::List: {
            auto* list = qobject_cast<QComboBox*>(control);
            ASSERT_NE(list, nullptr);
            EXPECT_FALSE(list->isEditable());
            EXPECT_EQ(Items(list), Items(f));
            break;
        }
        case zelbor::ControlKind::VoltsText: {
            auto* box = qobject_cast<QComboBox*>(control);
            ASSERT_NE(box, nullptr);
            EXPECT_TRUE(box->isEditable());
            QStringList volts;
            for (int v = f.minimum; v <= f.maximum; ++v)
                volts << QString::number(v);
            EXPECT_EQ(Items(box), volts);
            break;
        }
        }
        // Its help button stands on the same page.
        auto* help = form->findChild<QToolButton*>(Name(f.helpButton));
        ASSERT_NE(help, nullptr) << f.helpButton;
        EXPECT_TRUE(Page(f.Page())->isAncestorOf(help));
    }

    // No parameter control of the pages is missing from the table.
    std::set<QString> windowNames;
    for (int page = 0; page < 3; ++page) {
        for (QSpinBox* s : Page(page)->findChildren<QSpinBox*>())
            windowNames.insert(s->objectName());
        for (QComboBox* c : Page(page)->findChildren<QComboBox*>())
            windowNames.insert(c->objectName());
    }
    EXPECT_EQ(windowNames, tableNames);
}

// Front ends without the window name a field by the table's label: it must be what a screen
// reader hears for the control, where repeated names carry their page.
TEST_F(ParameterTable, EveryControlIsNamedByTheTablesLabel)
{
    for (const zelbor::ParameterField& f : zelbor::ParameterTable()) {
        SCOPED_TRACE(f.control);
        QAccessibleInterface* access = QAccessible::queryAccessibleInterface(Control(f));
        ASSERT_NE(access, nullptr);
        const QString name = access->text(QAccessible::Name);
        const QString label = Name(f.label);
        ASSERT_FALSE(label.isEmpty());
        const QString withPage =
            label + QStringLiteral(" (") + form->pctrlProfile->tabText(f.Page()) + QLatin1Char(')');
        EXPECT_TRUE(name == label || name == withPage) << name.toStdString();
    }
}

TEST_F(ParameterTable, TheHelpButtonsAreTheTablesAndOpenTheirBlocksTopic)
{
    std::vector<std::pair<std::string, std::string>> expected;
    std::set<QString> names;
    for (const zelbor::HelpButtonInfo& b : zelbor::HelpButtons()) {
        SCOPED_TRACE(b.name);
        auto* button = form->findChild<QToolButton*>(QString::fromLatin1(b.name));
        ASSERT_NE(button, nullptr);
        EXPECT_TRUE(Page(zelbor::FindBlock(b.block)->page)->isAncestorOf(button));
        button->click();
        expected.emplace_back(zelbor::FindBlock(b.block)->helpTopic, b.name);
        names.insert(QString::fromLatin1(b.name));
    }
    EXPECT_EQ(hooks.help, expected);

    std::set<QString> shown;
    for (QToolButton* b : form->findChildren<QToolButton*>(QRegularExpression(QStringLiteral("^btnHelp_"))))
        shown.insert(b->objectName());
    EXPECT_EQ(shown, names);
    // Every field's button is one of them.
    for (const zelbor::ParameterField& f : zelbor::ParameterTable())
        EXPECT_EQ(names.count(Name(f.helpButton)), 1u) << f.control;
}

TEST_F(ParameterTable, TheProfileWriterKeepsTheTablesSectionsKeysOrderAndValues)
{
    // A value of its own for every control, within its range or list.
    std::vector<int> written;
    int n = 0;
    for (const zelbor::ParameterField& f : zelbor::ParameterTable()) {
        QWidget* control = Control(f);
        ++n;
        if (auto* spin = qobject_cast<QSpinBox*>(control)) {
            spin->setValue(f.minimum + n % (f.maximum - f.minimum + 1));
            written.push_back(spin->value());
        } else if (f.kind == zelbor::ControlKind::List) {
            auto* list = qobject_cast<QComboBox*>(control);
            list->setCurrentIndex(n % list->count());
            written.push_back(list->currentIndex());
        } else {
            qobject_cast<QComboBox*>(control)->setEditText(QString::number(30 + n));
            written.push_back(30 + n);
        }
    }
    const fs::path file = ship.Path() / "table.el";
    form->SaveProfile(QString::fromStdString(file.string()));

    // The file, line by line: each block's section, then its keys in the table's profile order.
    std::vector<std::string> lines;
    std::istringstream text(ReadText(file));
    for (std::string line; std::getline(text, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines.push_back(line);
    }
    std::vector<std::string> expected;
    const char* section = nullptr;
    for (const zelbor::ParameterField* f : zelbor::ProfileOrder()) {
        if (section != f->Block().section) {
            section = f->Block().section;
            expected.push_back("[" + std::string(section) + "]");
        }
        const auto at = static_cast<std::size_t>(f - zelbor::ParameterTable().data());
        expected.push_back(f->profileKey + "=" + std::to_string(written[at]));
    }
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(zelbor::ProfileOrder().size(), 42u);
}

TEST_F(ParameterTable, AProfileWithoutKeysGivesEveryControlTheTablesDefault)
{
    const fs::path file = ship.Path() / "Profiles" / "empty.el";
    WriteText(file, "[Basic]\n[Pedal Assist]\n[Throttle Handle]\n");
    form->LoadProfile(QString::fromStdString(file.string()));
    for (const zelbor::ParameterField& f : zelbor::ParameterTable()) {
        SCOPED_TRACE(f.control);
        QWidget* control = Control(f);
        if (auto* spin = qobject_cast<QSpinBox*>(control))
            EXPECT_EQ(spin->value(), std::clamp(f.profileDefault, f.minimum, f.maximum));
        else if (f.kind == zelbor::ControlKind::List)
            EXPECT_EQ(qobject_cast<QComboBox*>(control)->currentIndex(), f.profileDefault);
        else
            EXPECT_EQ(qobject_cast<QComboBox*>(control)->currentText(), QString::number(f.profileDefault));
    }
}

TEST_F(ParameterTable, EveryRefusingResultShowsTheTablesMessagePageAndControl)
{
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    std::map<std::uint8_t, std::set<int>> results;
    for (const zelbor::ParameterField& f : zelbor::ParameterTable()) {
        if (f.ackIndex < 0)
            continue;
        SCOPED_TRACE(f.control);
        results[f.block].insert(f.ackIndex);
        messages.Clear();
        form->pctrlProfile->setCurrentIndex(3);
        form->TransferMode = TMainForm::tmWriteAll; // a refusal in Write Flash changes nothing else
        const zelbor::Bytes ack = {f.block, static_cast<std::uint8_t>(f.ackIndex)};
        form->CommPortReceiveData(form->CommPort, ack.data(), static_cast<std::uint16_t>(ack.size()));
        ASSERT_EQ(messages.Keys(), std::vector<std::string>{f.ackKey});
        EXPECT_EQ(messages.messages[0].flags, zelbor::mbIconWarning);
        EXPECT_EQ(form->pctrlProfile->currentIndex(), f.Page());
        QWidget* focus = QApplication::focusWidget();
        EXPECT_TRUE(focus && (focus == Control(f) || Control(f)->isAncestorOf(focus)));
    }
    // One result per data byte, numbered from 0; the field count is the result that accepts.
    for (const zelbor::BlockInfo& b : zelbor::Blocks()) {
        std::set<int> all;
        for (int i = 0; i < static_cast<int>(b.dataBytes); ++i)
            all.insert(i);
        EXPECT_EQ(results[b.code], all) << int(b.code);
    }
}

} // namespace zelbor
