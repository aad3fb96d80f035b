// The GUI tests: GoogleTest in a Qt application on the offscreen platform
// (unless QT_QPA_PLATFORM says otherwise).
#include <gtest/gtest.h>

#include <QApplication>

#include "harness.h"
#include "platform/memory.h"

int main(int argc, char** argv) {
    InitBlockHeap();
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    gui::StartAnswering();
    return RUN_ALL_TESTS();
}
