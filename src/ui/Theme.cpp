// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Theme.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QStyleOptionTabWidgetFrame>
#include <algorithm>
#include <cmath>
#include <limits>

namespace zelbor {

namespace {

// The label colours of the code as they have always been on a light window.
const QColor kRed(0xFF, 0x00, 0x00);
const QColor kPurple(0x80, 0x00, 0x80);

// What the accessibility guidelines ask of text.
constexpr double kTextContrast = 4.5;

double Linear(double channel)
{
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

double RelativeLuminance(const QColor& colour)
{
    const QColor rgb = colour.toRgb();
    return 0.2126 * Linear(rgb.redF()) + 0.7152 * Linear(rgb.greenF()) + 0.0722 * Linear(rgb.blueF());
}

double ContrastRatio(const QColor& a, const QColor& b)
{
    const double la = RelativeLuminance(a);
    const double lb = RelativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Light text on a dark background.
bool IsDarkPalette(const QPalette& palette)
{
    return RelativeLuminance(palette.color(QPalette::Window)) < RelativeLuminance(palette.color(QPalette::WindowText));
}

double WorstContrast(const QColor& colour, std::span<const QColor> backgrounds)
{
    double worst = std::numeric_limits<double>::infinity();
    for (const QColor& background : backgrounds)
        worst = std::min(worst, ContrastRatio(colour, background));
    return worst;
}

// The colour the style fills the pane behind a tab page with (some styles a little lighter than
// the window); the window's colour where it fills nothing.
QColor TabPaneColour(const QPalette& palette, const QStyle& style)
{
    QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
    image.fill(palette.color(QPalette::Window));
    QPainter painter(&image);
    QStyleOptionTabWidgetFrame option;
    option.palette = palette;
    option.rect = image.rect();
    option.state = QStyle::State_Enabled;
    style.drawPrimitive(QStyle::PE_FrameTabWidget, &option, &painter);
    painter.end();
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

// Runs its action on every change that can alter what the widget looks like.
class ThemeFollower : public QObject {
public:
    ThemeFollower(QWidget* widget, std::function<void()> apply) : QObject(widget), apply_(std::move(apply))
    {
        widget->installEventFilter(this);
        Apply();
    }

    void Apply()
    {
        if (busy_) // the action's own change of the palette
            return;
        busy_ = true;
        apply_();
        busy_ = false;
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        // Not the application's palette and font changes: they reach a widget before its own
        // palette and font are renewed; the PaletteChange and FontChange that follow come after.
        switch (event->type()) {
        case QEvent::PaletteChange:
        case QEvent::FontChange:
        case QEvent::StyleChange:
        case QEvent::ParentChange:
        case QEvent::ThemeChange:
            Apply();
            break;
        default:
            break;
        }
        return false;
    }

private:
    std::function<void()> apply_;
    bool busy_ = false;
};

// The palette a widget's own settings are made on: its parent's, or the application's.
QPalette InheritedPalette(const QWidget* widget)
{
    const QWidget* parent = widget->parentWidget();
    return parent ? parent->palette() : QApplication::palette(widget);
}

// A text colour designed for a light window, as UseTextColour shows it.
QColor ReadableTextColour(const QColor& designed, const QPalette& palette, const QStyle& style)
{
    if (!IsDarkPalette(palette))
        return designed;
    if (designed == QColor(Qt::black))
        return palette.color(QPalette::WindowText);
    const QColor backgrounds[] = {palette.color(QPalette::Window), TabPaneColour(palette, style)};
    return WithContrast(designed, backgrounds, kTextContrast);
}

} // namespace

QColor WithContrast(const QColor& colour, std::span<const QColor> backgrounds, double ratio)
{
    if (backgrounds.empty() || WorstContrast(colour, backgrounds) >= ratio)
        return colour;
    // Black and white are equally far from a background of this luminance.
    constexpr double kMiddle = 0.1791;
    double brightest = 0;
    for (const QColor& background : backgrounds)
        brightest = std::max(brightest, RelativeLuminance(background));
    const bool lighten = brightest < kMiddle;

    // Mixed with white or black, a colour keeps its hue: a light purple stays a purple rather than
    // turning into the bright magenta that raising its lightness alone would give on the way.
    const int target = lighten ? 255 : 0;
    const QColor rgb = colour.toRgb();
    QColor best = rgb;
    for (int step = 1; step <= 100; ++step) {
        const auto mix = [step, target](int from) {
            return from + static_cast<int>(std::lround((target - from) * step / 100.0));
        };
        const QColor candidate(mix(rgb.red()), mix(rgb.green()), mix(rgb.blue()), rgb.alpha());
        if (WorstContrast(candidate, backgrounds) >= ratio)
            return candidate;
        if (WorstContrast(candidate, backgrounds) > WorstContrast(best, backgrounds))
            best = candidate;
    }
    return best;
}

void FollowTheme(QWidget* widget, std::function<void()> apply) { new ThemeFollower(widget, std::move(apply)); }

void UseTextColour(QLabel* label, const QColor& designed)
{
    FollowTheme(label, [label, designed] {
        const QColor colour = ReadableTextColour(designed, InheritedPalette(label), *label->style());
        if (label->palette().color(QPalette::WindowText) == colour)
            return;
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, colour);
        label->setPalette(p);
    });
}

void UseShade(QLabel* label, Shade shade)
{
    if (shade == Shade::Red)
        UseTextColour(label, kRed);
    else if (shade == Shade::Purple)
        UseTextColour(label, kPurple);
}

void FitListWidth(QComboBox* list, int designWidth)
{
    auto* follower = new ThemeFollower(list, [list, designWidth] {
        // The item is drawn into the edit field less a pixel at each side.
        QStyleOptionComboBox option;
        option.initFrom(list);
        option.rect.setWidth(designWidth);
        option.editable = list->isEditable();
        option.frame = list->hasFrame();
        const QRect field =
            list->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, list);
        int longest = 0;
        for (int i = 0; i < list->count(); ++i)
            longest = std::max(longest, list->fontMetrics().horizontalAdvance(list->itemText(i)));
        list->setFixedWidth(designWidth + std::max(0, longest - (field.width() - 2)));
    });
    QAbstractItemModel* model = list->model();
    const auto refit = [follower] { follower->Apply(); };
    QObject::connect(model, &QAbstractItemModel::rowsInserted, follower, refit);
    QObject::connect(model, &QAbstractItemModel::rowsRemoved, follower, refit);
    QObject::connect(model, &QAbstractItemModel::modelReset, follower, refit);
    QObject::connect(model, &QAbstractItemModel::dataChanged, follower, refit);
}

} // namespace zelbor
