// SPDX-License-Identifier: GPL-3.0-or-later
// Test runner of the window tests: real widgets on Qt's offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen"); // the test command sets it too
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zelbor Configuration Tool"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
