// Test entry point. A binary whose tests make widgets or message boxes links
// WidgetTests.cpp and gets a QApplication on the offscreen platform, so that
// they run without a display; the others get a QCoreApplication, which
// starts in two thirds of the time (a test process is started for each test).

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

extern "C" bool svnscc_tests_make_widgets() __attribute__((weak));

int main(int argc, char** argv)
{
    std::unique_ptr<QCoreApplication> app;
    if (svnscc_tests_make_widgets && svnscc_tests_make_widgets()) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
        app = std::make_unique<QApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
