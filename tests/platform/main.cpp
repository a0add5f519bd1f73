// One QApplication for every platform test (message boxes, dialogs, drop events), and a
// temporary HOME, XDG and registry folders for the whole run so nothing reaches the real ones.
#include "testenv.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    const testenv::IsolatedRun run("platform-tests");
    setenv("QT_QPA_PLATFORM", "offscreen", 0);

    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
