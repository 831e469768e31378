// The windows' tests run headless: one QApplication on the offscreen platform,
// the main thread set, the standard error display captured per test.
#include <gtest/gtest.h>

#include <QApplication>

#include "platform/MainThread.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    elo::SetMainThread();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
