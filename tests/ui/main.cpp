// One application object for every window test; the whole program runs with a temporary HOME
// and XDG folders set before anything else, so nothing can reach the real home folder.
#include "ui/application.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>

int main(int argc, char** argv) {
    char root[] = "/tmp/huelet-ui-tests.XXXXXX";
    if (mkdtemp(root) == nullptr)
        return 2;
    const std::string base = root;
    for (const char* name : {"home", "data", "config", "state", "cache", "runtime"})
        std::filesystem::create_directory(base + "/" + name);
    chmod((base + "/runtime").c_str(), 0700);
    setenv("HOME", (base + "/home").c_str(), 1);
    setenv("XDG_DATA_HOME", (base + "/data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (base + "/config").c_str(), 1);
    setenv("XDG_STATE_HOME", (base + "/state").c_str(), 1);
    setenv("XDG_CACHE_HOME", (base + "/cache").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (base + "/runtime").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Every window starts the quiet update check: keep it on a refused local port.
    setenv("HUELET_UPDATE_URL", "http://127.0.0.1:9", 1);

    int rc = 0;
    {
        THueletApp app(argc, argv);
        THueletApp::setApplicationName(QStringLiteral("Huelet"));
        ::testing::InitGoogleTest(&argc, argv);
        rc = RUN_ALL_TESTS();
    }
    std::error_code ignored;
    std::filesystem::remove_all(base, ignored);
    return rc;
}
