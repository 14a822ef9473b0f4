// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The small widgets the main window's pages and its right panel are made of. Only for the
// window's own sources (MainPages.cpp, MainPanel.cpp).
#include <QFont>
#include <QString>

#include "ui/Theme.h"

class QGroupBox;
class QLabel;
class QPushButton;
class QWidget;

namespace zelbor {

namespace mainwidgets {

QLabel* MakeLabel(const char* name, const QString& text, Shade shade = Shade::Normal);
QPushButton* MakeButton(const char* name, const char* text, const char* hint);
QFont BoldFont(int pointSize = -1);
// A group whose caption is bold while its contents keep the normal font.
QGroupBox* MakeGroup(const char* name, const char* caption);
// An explicit weight, so that the bold caption of the group does not pass on to its contents.
void UseNormalFont(QWidget* w);

} // namespace mainwidgets

} // namespace zelbor
