// The HTTP client runs on the Qt event loop, so its tests need a QCoreApplication. HOME,
// the XDG folders and the registry folders point into a temporary folder.
#include "testenv.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    const testenv::IsolatedRun run("http-tests");
    testing::InitGoogleTest(&argc, argv);
    testenv::ClearNetworkEnvironment();
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
