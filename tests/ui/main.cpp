// Test runner of the window tests: real widgets on Qt's offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0); // the test command sets it too
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zelbor Configuration Tool"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
