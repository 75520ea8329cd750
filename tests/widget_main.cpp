#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

// Widget tests run as real widgets; without a display they use Qt's
// offscreen platform.
int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
