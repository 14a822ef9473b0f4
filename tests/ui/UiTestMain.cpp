// SPDX-License-Identifier: GPL-3.0-or-later
// Test runner of the window tests: real widgets on Qt's offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen"); // the test command sets it too
    // What the window keeps per user (its snapshots) goes to a folder of this run, never into the
    // home folder of whoever runs the tests.
    QTemporaryDir userData;
    if (!userData.isValid())
        return 1;
    qputenv("XDG_DATA_HOME", QFile::encodeName(userData.path()));
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zelbor Configuration Tool"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
