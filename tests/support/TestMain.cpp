#include "ui/Appearance.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Window tests run without a display unless a test script chose one (Xvfb).
    // A test that asks for the X server (xcb) without one runs offscreen and skips.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
        (qgetenv("QT_QPA_PLATFORM") == "xcb" && qEnvironmentVariableIsEmpty("DISPLAY")))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The program's own start-up, so its order is what the tests run under.
    const std::unique_ptr<QApplication> app = Appearance::start(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
