// The HTTP client runs on the Qt event loop, so its tests need a QCoreApplication.
// HOME and the XDG folders point into a temporary folder so nothing here reaches the real
// home folder.
#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    const QByteArray root = home.path().toLocal8Bit();
    setenv("HOME", root.constData(), 1);
    setenv("XDG_CONFIG_HOME", (root + "/config").constData(), 1);
    setenv("XDG_DATA_HOME", (root + "/data").constData(), 1);
    setenv("XDG_STATE_HOME", (root + "/state").constData(), 1);
    setenv("XDG_CACHE_HOME", (root + "/cache").constData(), 1);
    // Nothing may go through a proxy named in the environment.
    unsetenv("http_proxy");
    unsetenv("https_proxy");
    unsetenv("HTTP_PROXY");
    unsetenv("HTTPS_PROXY");
    unsetenv("HUELET_NO_TLS");
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
