// One application object for every window test; the whole program runs with a temporary HOME,
// XDG and registry folders set before anything else, so nothing can reach the real ones.
#include "testenv.h"
#include "ui/application.h"

#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    const testenv::IsolatedRun run("ui-tests");
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Every window starts the quiet update check: keep it on a refused local port.
    setenv("HUELET_UPDATE_URL", "http://127.0.0.1:9", 1);

    THueletApp app(argc, argv);
    THueletApp::setApplicationName(QStringLiteral("Huelet"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
