// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The windows under any desktop theme, light or dark: the colour code of the parameter labels,
// the colours of the pictures the program draws, and lists as wide as their items in the theme's
// font. Each follows a change of palette, font, style or theme while the program runs.
#include <QColor>
#include <functional>
#include <span>

class QComboBox;
class QLabel;
class QWidget;

namespace zelbor {

// The colours of the parameter labels, which the start-up warning explains.
enum class Shade { Normal, Red, Purple };

// `colour` itself when it reaches `ratio` against every one of `backgrounds`; otherwise the same hue
// mixed with white (on dark backgrounds) or black (on light ones) until it does, or as far as that
// goes.
QColor WithContrast(const QColor& colour, std::span<const QColor> backgrounds, double ratio);

// Calls `apply` now, and again whenever `widget`'s palette, font, style or parent or the desktop
// theme changes. `apply` may change the widget's palette itself.
void FollowTheme(QWidget* widget, std::function<void()> apply);

// Draws the label's text in `designed`, a colour chosen for a light window, following the theme: on
// a light palette `designed` itself; on a dark one black becomes the palette's text colour and any
// other colour a lighter one of its hue that reaches 4.5 : 1 on the window and on a tab page.
void UseTextColour(QLabel* label, const QColor& designed);
// The same with red #FF0000 or purple #800080; a label of the normal shade keeps the palette's text
// colour.
void UseShade(QLabel* label, Shade shade);

// Gives `list` the fixed width `designWidth`, or more where its longest item would not show whole
// in the theme's font and style; follows changes of its items and of the theme.
void FitListWidth(QComboBox* list, int designWidth);

} // namespace zelbor
