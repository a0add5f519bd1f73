// One QApplication for every platform test (message boxes, dialogs, drop events), and a
// temporary HOME and XDG folders for the whole run so nothing reaches the real home folder.
#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>

int main(int argc, char** argv) {
    char pattern[] = "/tmp/huelet-platform-tests-XXXXXX";
    if (!mkdtemp(pattern))
        return 1;
    const std::string root = pattern;
    for (const auto& [var, sub] : {std::pair{"HOME", "/home"},
                                   {"XDG_DATA_HOME", "/data"},
                                   {"XDG_STATE_HOME", "/state"},
                                   {"XDG_CONFIG_HOME", "/config"},
                                   {"XDG_CACHE_HOME", "/cache"},
                                   {"XDG_RUNTIME_DIR", "/run"}}) {
        const std::string path = root + sub;
        mkdir(path.c_str(), 0700);
        setenv(var, path.c_str(), 1);
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);

    int result = 0;
    {
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    return result;
}
