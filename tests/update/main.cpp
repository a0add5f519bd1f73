// The HTTP client runs on the Qt event loop, so the update tests need a QCoreApplication.
// HOME, the XDG folders and the registry folders point into a temporary folder so nothing here
// reaches the real ones.
#include "testenv.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    const testenv::IsolatedRun run("update-tests");
    testing::InitGoogleTest(&argc, argv);
    // Nothing may go through a proxy named in the environment.
    unsetenv("http_proxy");
    unsetenv("https_proxy");
    unsetenv("HTTP_PROXY");
    unsetenv("HTTPS_PROXY");
    unsetenv("HUELET_NO_TLS");
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
