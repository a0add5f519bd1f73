#include "services/portable.h"

#include "platform/inifile.h"
#include "platform/registry.h"
#include "services/U_Log.h"
#include "services/datafolder.h"
#include "services/settings_store.h"

#include "testenv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using reg::Root;
using testenv::ReadAll;
using testenv::Write;

namespace {

const std::string kProgramKey = std::string(kMakerKey) + "\\Huelet";

class PortableModeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(env_.Path("app"));
        fs::create_directories(env_.Path("home/.local/share"));
    }

    void Install() const {
        Write(env_.Path("machine/huelet.reg"),
              "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\"
              "Uninstall\\Huelet]\n\"DisplayName\"=\"Norwick Softworks Huelet\"\n");
    }

    // The messages of the log, oldest first.
    static std::vector<std::string> Messages(const TKLog& log) {
        std::vector<std::string> messages;
        for (auto it = log.Lines().rbegin(); it != log.Lines().rend(); ++it)
            messages.push_back(it->substr(it->find('\t', it->find('\t') + 1) + 1));
        return messages;
    }

    std::string DataFolder() const { return UserDataFolder(exe_, "Huelet"); }
    std::string MakerFolder() const { return env_.Path("home/.local/share/Norwick Softworks"); }

    testenv::TempHome env_{"portable"};
    std::string exe_ = env_.Path("app/huelet");
    std::string ini_ = env_.Path("app/settings.ini");
    TKLog log_{env_.Path("unused.log"), true, 100, false};
};

TEST_F(PortableModeTest, PortableRunImportsAtStartAndLeavesOnlySettingsIniAtClose) {
    Write(ini_, "[Settings]\nLastFolder=/pictures\n[Settings_DWORD]\nWidth=0x20\n");
    Write(exe_, "program");
    TPortableMode portable(exe_, "Huelet");
    portable.Start();
    std::uint32_t width = 0;
    reg::Key key;
    ASSERT_TRUE(key.Open(Root::CurrentUser, kProgramKey));
    ASSERT_TRUE(key.ReadDword("Width", width));
    EXPECT_EQ(width, 32u);
    ASSERT_TRUE(RegisterProgramPath("Huelet", exe_));
    ASSERT_TRUE(reg::WriteString(Root::CurrentUser, kProgramKey, "Added", "later"));
    ASSERT_EQ(DataFolder(), MakerFolder() + "/Huelet/");
    Write(DataFolder() + "Huelet.jpg", "picture");
    Write(DataFolder() + "Huelet.log", "log");

    portable.Close(&log_);

    EXPECT_EQ(Messages(log_), std::vector<std::string>{"Closing Huelet"});
    EXPECT_FALSE(fs::exists(MakerFolder()));
    EXPECT_FALSE(reg::KeyExists(Root::CurrentUser, kMakerKey));
    EXPECT_EQ(ReadAll(ini_), "[Settings]\nLastFolder=/pictures\nAdded=later\n"
                             "[Settings_DWORD]\nWidth=32\n");
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(env_.Path("app")))
        left.push_back(entry.path().filename());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"huelet", "settings.ini"}));
}

TEST_F(PortableModeTest, FailedExportKeepsTheRegistryButStillClearsTheDataFolder) {
    TPortableMode portable(exe_, "Huelet");
    ASSERT_TRUE(RegisterProgramPath("Huelet", exe_));
    ASSERT_TRUE(reg::WriteString(Root::CurrentUser, kProgramKey, "Kept", "value"));
    Write(DataFolder() + "Huelet.jpg", "picture");
    fs::create_directory(ini_); // a folder where the file should be: no export

    portable.Close(nullptr);

    EXPECT_FALSE(fs::exists(MakerFolder() + "/Huelet"));
    reg::Key key;
    ASSERT_TRUE(key.Open(Root::CurrentUser, kProgramKey));
    EXPECT_TRUE(key.HasValue("Kept"));
    ASSERT_TRUE(key.Open(Root::CurrentUser, kMakerKey));
    EXPECT_TRUE(key.HasValue("Huelet"));
}

TEST_F(PortableModeTest, InstalledRunNeitherImportsNorRemovesAnything) {
    Install();
    Write(ini_, "[Settings]\nLastFolder=/pictures\n");
    TPortableMode portable(exe_, "Huelet");
    portable.Start();
    EXPECT_FALSE(reg::KeyExists(Root::CurrentUser, kProgramKey));
    ASSERT_TRUE(RegisterProgramPath("Huelet", exe_));
    Write(DataFolder() + "Huelet.jpg", "picture");

    portable.Close(&log_);

    EXPECT_EQ(Messages(log_), std::vector<std::string>{"Closing Huelet"});
    EXPECT_TRUE(fs::exists(DataFolder() + "Huelet.jpg"));
    EXPECT_TRUE(reg::KeyExists(Root::CurrentUser, kMakerKey));
    EXPECT_EQ(ReadAll(ini_), "[Settings]\nLastFolder=/pictures\n");
}

TEST_F(PortableModeTest, CloseCleansTheVirtualStoreInBothModesAndLogsItVerbose) {
    for (bool installed : {false, true}) {
        if (installed)
            Install();
        const std::string store =
            env_.Path("home/.local/state/VirtualStore") + ExecutableFolder(exe_);
        fs::create_directories(store);
        Write(store + "a.spk", "x");
        TKLog log(env_.Path("v.log"), true, 100, false);
        TPortableMode(exe_, "Huelet").Close(&log);
        EXPECT_FALSE(fs::exists(store)) << installed;
        EXPECT_EQ(Messages(log),
                  (std::vector<std::string>{"Cleaning VirtualStore : " + store, "Closing Huelet"}))
            << installed;
    }
}

} // namespace
