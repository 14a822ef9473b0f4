// SPDX-License-Identifier: GPL-3.0-or-later
// The windows under a dark desktop theme: the colour code stays readable (and exactly as it was on
// a light one), the rescan picture stands out, and the lists show their items whole in the theme's
// font; each follows a change of theme while the program runs.
#include "MainTestSupport.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTabWidget>
#include <cmath>
#include <map>

#include "ui/About.h"
#include "ui/AboutForm.h"
#include "ui/Warning.h"
#include "ui/WarningForm.h"

namespace zelbor {

using namespace uitest;

namespace {

// The application's palette and font come back after the test.
struct AppLook {
    ~AppLook()
    {
        QApplication::setPalette(light);
        QApplication::setFont(font);
    }
    const QPalette light = QApplication::palette();
    const QFont font = QApplication::font();
};

// A dark desktop theme: light grey text on dark grey.
void UseDarkPalette()
{
    QPalette p(QColor(0x35, 0x35, 0x35), QColor(0x35, 0x35, 0x35));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(role, QColor(0xEE, 0xEE, 0xEC));
    QApplication::setPalette(p);
    QCoreApplication::processEvents();
}

// Written out from the accessibility guidelines rather than taken from the program.
double Contrast(const QColor& a, const QColor& b)
{
    auto luminance = [](const QColor& c) {
        auto lin = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * lin(c.redF()) + 0.7152 * lin(c.greenF()) + 0.0722 * lin(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor TextColour(const QLabel* label) { return label->palette().color(QPalette::WindowText); }

// Every visible text label of `shown` (a window, or the tab control with its page) reaches 4.5 : 1
// against what it is drawn on there: the commonest colour of its rectangle.
void ExpectReadable(QWidget& shown)
{
    const QImage image = shown.grab().toImage();
    for (QLabel* label : shown.findChildren<QLabel*>()) {
        if (!label->pixmap().isNull() || !label->isVisible())
            continue;
        std::map<QRgb, int> counts;
        const QRect r(label->mapTo(&shown, QPoint(0, 0)), label->size());
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                ++counts[image.pixel(x, y)];
        const QColor background(std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) {
                                    return a.second < b.second;
                                })->first);
        EXPECT_GE(Contrast(TextColour(label), background), 4.5)
            << label->objectName().toStdString() << " " << TextColour(label).name().toStdString() << " on "
            << background.name().toStdString();
    }
}

// The pages' label colours by name, after checking the dark palette's rules on the main window.
std::map<QString, QColor> ExpectDarkLook(TMainForm& form)
{
    std::map<QString, QColor> colours;
    for (int page = 0; page < 3; ++page) {
        form.pctrlProfile->setCurrentIndex(page);
        QCoreApplication::processEvents();
        ExpectReadable(*form.pctrlProfile);
        for (QLabel* label : form.pctrlProfile->widget(page)->findChildren<QLabel*>())
            colours[label->objectName()] = TextColour(label);
    }
    EXPECT_EQ(colours[QStringLiteral("lblBasLowBat")], QColor(0xEE, 0xEE, 0xEC)); // "black": the text colour

    // Every opaque pixel of the magnifying glass stands out from the window (3 : 1, as a control).
    const QImage glass = form.imgSearchPorts->pixmap().toImage();
    const QColor window = form.pGeneral->palette().color(QPalette::Window);
    int opaque = 0;
    for (int y = 0; y < glass.height(); ++y)
        for (int x = 0; x < glass.width(); ++x)
            if (glass.pixelColor(x, y).alpha() == 255) {
                ++opaque;
                EXPECT_GE(Contrast(glass.pixelColor(x, y), window), 3.0) << x << "," << y;
            }
    EXPECT_GT(opaque, 30);
    return colours;
}

} // namespace

TEST(DarkTheme, TheColourCodeIsReadableOnADarkPaletteExactOnALightOneAndFollowsAThemeChange)
{
    AppLook look;
    ShipFolder ship;
    HookRecorder hooks;
    MessageRecorder messages;
    UseDarkPalette();
    auto form = StartedForm();
    form->show();
    const std::map<QString, QColor> dark = ExpectDarkLook(*form);

    // The warning's legend shows the pages' colours, as readable; so do the About window's black
    // text and blue links.
    ShowHookScope<TfrmWarning> warning([&](TfrmWarning& d) {
        d.show();
        QCoreApplication::processEvents();
        ExpectReadable(d);
        EXPECT_EQ(TextColour(d.lblRedParam), dark.at(QStringLiteral("lblBasCurrLim")));
        EXPECT_EQ(TextColour(d.lblPurplepParam), dark.at(QStringLiteral("lblBasAssist0")));
    });
    ShowStartupWarning(*form);
    ShowHookScope<TAboutForm> about([](TAboutForm& f) {
        f.show();
        QCoreApplication::processEvents();
        ExpectReadable(f);
    });
    ShowAboutWindow();
    EXPECT_EQ(warning.Runs() + about.Runs(), 2);

    // A change to the light theme while the program runs brings back the colours of old exactly.
    QApplication::setPalette(look.light);
    QCoreApplication::processEvents();
    const QColor red(0xFF, 0, 0), purple(0x80, 0, 0x80), text = look.light.color(QPalette::WindowText);
    int reds = 0, purples = 0;
    for (int page = 0; page < 3; ++page)
        for (QLabel* label : form->pctrlProfile->widget(page)->findChildren<QLabel*>()) {
            const QColor colour = TextColour(label);
            reds += colour == red;
            purples += colour == purple;
            EXPECT_TRUE(colour == red || colour == purple || colour == text) << label->objectName().toStdString();
        }
    EXPECT_EQ(reds, 8);
    EXPECT_EQ(purples, 14);

    // And back to the dark one.
    UseDarkPalette();
    EXPECT_EQ(ExpectDarkLook(*form), dark);
    EXPECT_TRUE(messages.messages.empty());
}

TEST(DarkTheme, ListsShowTheirLongestItemWholeInTheThemesFont)
{
    AppLook look;
    ShipFolder ship;
    HookRecorder hooks;
    MessageRecorder messages;
    auto form = StartedForm();
    form->show();
    QCoreApplication::processEvents();
    QList<QComboBox*> lists = {form->cbbLanguage};
    for (int page = 0; page < 3; ++page)
        lists += form->pctrlProfile->widget(page)->findChildren<QComboBox*>();
    ASSERT_EQ(lists.size(), 12);

    // The items its text field cannot hold whole (the style draws the text a pixel in).
    auto cut = [](QComboBox* list) {
        QStyleOptionComboBox option;
        option.initFrom(list);
        const QRect field =
            list->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, list);
        QStringList items;
        for (int i = 0; i < list->count(); ++i)
            if (list->fontMetrics().horizontalAdvance(list->itemText(i)) > field.width() - 2)
                items << list->itemText(i);
        return items.join(QLatin1Char('|')).toStdString();
    };
    for (QComboBox* list : lists)
        EXPECT_EQ(cut(list), "") << list->objectName().toStdString();

    // A dark theme, chosen while the program runs, whose font makes the speed-meter type's longest
    // item wider than the whole list was.
    const int before = form->cbbBasSpdMtrType->width();
    QFont larger = QApplication::font();
    while (QFontMetrics(larger).horizontalAdvance(QStringLiteral("External, Wheel Meter")) <= before)
        larger.setPointSizeF(larger.pointSizeF() + 1);
    QApplication::setFont(larger);
    UseDarkPalette();
    EXPECT_GT(form->cbbBasSpdMtrType->width(), before);
    for (QComboBox* list : lists)
        EXPECT_EQ(cut(list), "") << list->objectName().toStdString();
    EXPECT_TRUE(messages.messages.empty());
}

} // namespace zelbor
