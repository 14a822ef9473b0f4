// SPDX-License-Identifier: GPL-3.0-or-later
// What assistive tools read beyond a control's name: the items and the current item of the lists,
// the text of the controller details, and the port list's items, which must tell virtual ports
// with a long folder apart. (Qt sends change announcements only while a screen reader listens:
// they are checked on the accessibility bus, in tests/atspi.)
#include "MainTestSupport.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <memory>

#include "serial/Comm.h"
#include "ui/Access.h"

namespace zelbor {

using namespace uitest;

namespace {

QAccessibleInterface* Iface(QObject* o) { return QAccessible::queryAccessibleInterface(o); }

QString ShownText(QObject* o)
{
    QAccessibleInterface* i = Iface(o);
    QAccessibleTextInterface* t = i ? i->textInterface() : nullptr;
    return t ? t->text(0, t->characterCount()) : QStringLiteral("<no text>");
}

class TextAccess : public ::testing::Test {
protected:
    void SetUp() override { form = StartedForm(); }

    ShipFolder ship;
    HookRecorder hooks;
    MessageRecorder messages;
    std::unique_ptr<TMainForm> form;
};

} // namespace

TEST_F(TextAccess, EveryNamedListOffersItsItemsAndTheItemItShows)
{
    const auto boxes = form->centralWidget()->findChildren<QComboBox*>();
    ASSERT_GT(boxes.size(), 10);
    for (QComboBox* box : boxes) {
        SCOPED_TRACE(box->objectName().toStdString());
        QAccessibleInterface* i = Iface(box);
        ASSERT_NE(i, nullptr);
        EXPECT_EQ(i->role(), QAccessible::ComboBox);
        EXPECT_EQ(i->text(QAccessible::Name), box->accessibleName()); // still its label
        EXPECT_EQ(ShownText(box), box->currentText());

        ASSERT_EQ(i->childCount(), box->isEditable() ? 2 : 1);
        QAccessibleInterface* list = i->child(0);
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list->role(), QAccessible::List);
        EXPECT_EQ(list->parent(), i);
        EXPECT_EQ(i->indexOfChild(list), 0);
        ASSERT_EQ(list->childCount(), box->count());
        for (int item = 0; item < box->count(); ++item)
            EXPECT_EQ(list->child(item)->text(QAccessible::Name), box->itemText(item));
        EXPECT_EQ(i->child(i->childCount()), nullptr);
        if (box->isEditable()) {
            // The text field is where typing goes, though the list holds the focus.
            EXPECT_EQ(i->child(1)->object(), box->lineEdit());
            EXPECT_EQ(i->indexOfChild(i->child(1)), 1);
            EXPECT_EQ(i->focusChild(), i->child(1));
        }
    }
}

TEST_F(TextAccess, TheShownItemIsReadInPartsAsTextFields)
{
    form->cbbBasWheelDiam->setCurrentIndex(form->cbbBasWheelDiam->findText(QStringLiteral("700C")));
    QAccessibleTextInterface* t = Iface(form->cbbBasWheelDiam)->textInterface();
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->characterCount(), 4);
    EXPECT_EQ(t->text(1, 3), "00");
    EXPECT_EQ(t->text(2, -1), "0C"); // -1: to the end
    EXPECT_EQ(t->text(-3, 99), "700C");
    EXPECT_EQ(t->text(3, 1), "");
    EXPECT_EQ(t->selectionCount(), 0);
    // An empty list shows nothing.
    form->cbbBasSpdMtrType->setCurrentIndex(-1);
    EXPECT_EQ(ShownText(form->cbbBasSpdMtrType), "");
}

TEST_F(TextAccess, ControllerDetailsOfferTheirTextUnderTheirTitle)
{
    QLabel* manuf = form->lbManuf;
    EXPECT_EQ(ShownText(manuf), ""); // nothing before Connect
    manuf->setText(QStringLiteral("ACME"));
    EXPECT_EQ(ShownText(manuf), "ACME");
    QAccessibleInterface* i = Iface(manuf);
    EXPECT_EQ(i->text(QAccessible::Name), "Manufacturer");
    EXPECT_EQ(i->text(QAccessible::Value), "ACME");
    EXPECT_EQ(i->role(), QAccessible::StaticText);

    // A language switch renames the detail; its text stays.
    form->cbbLanguage->setCurrentIndex(form->cbbLanguage->findText(QStringLiteral("Deutsch")));
    ASSERT_TRUE(form->cbbLanguageChange());
    EXPECT_EQ(i->text(QAccessible::Name), LabelName(form->lbManufTitle->text()));
    EXPECT_NE(i->text(QAccessible::Name), "Manufacturer");
    EXPECT_EQ(ShownText(manuf), "ACME");
}

#ifndef _WIN32 // ports announced as links in a per-user folder: on Windows the registry lists them
TEST_F(TextAccess, VirtualPortsShowTheirLinkNameAndConnectOpensTheFullPath)
{
    // A folder long enough that every virtual port's path begins the same for many characters.
    QTemporaryDir runtime(QDir::tempPath() + QStringLiteral("/a-rather-long-runtime-folder-name-XXXXXX"));
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    const fs::path folder(zelbor::VirtualPortFolder());
    fs::create_directories(folder);
    FakeLine first, second;
    ASSERT_TRUE(first.Ok() && second.Ok());
    fs::create_symlink(first.Path(), folder / "bike-front");
    fs::create_symlink(second.Path(), folder / "bike-rear");
    form->imgSearchPortsClick();

    QComboBox* port = form->cbbPort;
    const int rear = port->findText(QStringLiteral("bike-rear"));
    ASSERT_GE(rear, 0);
    ASSERT_GE(port->findText(QStringLiteral("bike-front")), 0);
    const QString rearPath = QString::fromStdString((folder / "bike-rear").string());
    EXPECT_EQ(port->itemData(rear).toString(), rearPath);
    EXPECT_EQ(port->itemData(rear, Qt::ToolTipRole).toString(), rearPath);
    QAccessibleInterface* list = Iface(port)->child(0);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->child(rear)->text(QAccessible::Name), "bike-rear");
    EXPECT_EQ(list->child(rear)->text(QAccessible::Description), rearPath);
    // The ports the kernel reports keep their device path, which is short and what users know.
    for (int i = 0; i < port->count(); ++i) {
        if (!port->itemData(i).toString().startsWith(QString::fromStdString(folder.string()))) {
            EXPECT_EQ(port->itemText(i), port->itemData(i).toString());
        }
    }

    // The list itself tells the whole path of the port chosen.
    port->setCurrentIndex(rear);
    EXPECT_EQ(port->toolTip(), rearPath);
    EXPECT_EQ(Iface(port)->text(QAccessible::Description), rearPath);

    form->btnPortConnectClick();
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(form->CommPort.CommName(), rearPath.toStdString());
    EXPECT_FALSE(second.TakeAtLeast(2).empty()); // the identification request went out on that line
    EXPECT_TRUE(first.Take().empty());
    form->btnPortDisconnectClick();
    qputenv("XDG_RUNTIME_DIR", savedRuntime);
}
#endif // !_WIN32

} // namespace zelbor
