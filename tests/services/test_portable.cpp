#include "services/portable.h"

#include "platform/inifile.h"
#include "platform/registry.h"
#include "services/U_Log.h"
#include "services/datafolder.h"
#include "services/instance.h"
#include "services/settings_store.h"

#include "testenv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
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
    TInstance instance(exe_, "Huelet");
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

    portable.Close(&log_, instance);

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
    TInstance instance(exe_, "Huelet");
    ASSERT_TRUE(RegisterProgramPath("Huelet", exe_));
    ASSERT_TRUE(reg::WriteString(Root::CurrentUser, kProgramKey, "Kept", "value"));
    Write(DataFolder() + "Huelet.jpg", "picture");
    fs::create_directory(ini_); // a folder where the file should be: no export

    portable.Close(nullptr, instance);

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
    TInstance instance(exe_, "Huelet");
    portable.Start();
    EXPECT_FALSE(reg::KeyExists(Root::CurrentUser, kProgramKey));
    ASSERT_TRUE(RegisterProgramPath("Huelet", exe_));
    Write(instance.WorkingCopyPath(), "picture");

    portable.Close(&log_, instance);

    EXPECT_EQ(Messages(log_), std::vector<std::string>{"Closing Huelet"});
    EXPECT_TRUE(fs::exists(DataFolder() + "Huelet.jpg"));
    EXPECT_FALSE(fs::exists(DataFolder() + ".Huelet-1.lock"));
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
        TInstance instance(exe_, "Huelet");
        TPortableMode(exe_, "Huelet").Close(&log, instance);
        EXPECT_FALSE(fs::exists(store)) << installed;
        EXPECT_EQ(Messages(log),
                  (std::vector<std::string>{"Cleaning VirtualStore : " + store, "Closing Huelet"}))
            << installed;
    }
}

// ----- several windows at once -----

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(PortableModeTest, FurtherWindowsGetFilesOfTheirOwnAndTheFirstKeepsThePlainNames) {
    auto first = std::make_unique<TInstance>(exe_, "Huelet");
    EXPECT_EQ(first->Slot(), 1);
    EXPECT_TRUE(first->Locked());
    EXPECT_FALSE(first->OthersRunning());
    EXPECT_EQ(first->WorkingCopyPath(), DataFolder() + "Huelet.jpg");
    EXPECT_EQ(first->ExportTempPath(), DataFolder() + "Huelet_save.jpg");
    EXPECT_EQ(first->LogPath(), DataFolder() + "Huelet.log");

    TInstance second(exe_, "Huelet");
    TInstance third(exe_, "Huelet");
    EXPECT_EQ(second.Slot(), 2);
    EXPECT_EQ(third.Slot(), 3);
    EXPECT_EQ(second.WorkingCopyPath(), DataFolder() + "Huelet-2.jpg");
    EXPECT_EQ(second.ExportTempPath(), DataFolder() + "Huelet-2_save.jpg");
    EXPECT_EQ(second.LogPath(), DataFolder() + "Huelet-2.log");
    EXPECT_TRUE(first->OthersRunning());
    EXPECT_TRUE(third.OthersRunning());

    // The first slot is free again when its window goes; the next window takes it.
    first.reset();
    EXPECT_FALSE(fs::exists(DataFolder() + ".Huelet-1.lock"));
    TInstance fourth(exe_, "Huelet");
    EXPECT_EQ(fourth.Slot(), 1);
    fourth.ReleaseSlot();
    third.ReleaseSlot();
    EXPECT_FALSE(second.OthersRunning());
}

TEST_F(PortableModeTest, ASlotFileNobodyHoldsIsReusedAndCountsForNobody) {
    Write(DataFolder() + ".Huelet-1.lock", ""); // left by a window that crashed
    Write(DataFolder() + ".Huelet-7.lock", "");
    Write(DataFolder() + ".Huelet-x.lock", "");
    fs::create_symlink(env_.Path("elsewhere"), DataFolder() + ".Huelet-2.lock");
    TInstance first(exe_, "Huelet");
    EXPECT_EQ(first.Slot(), 1);
    EXPECT_FALSE(first.OthersRunning());
    TInstance second(exe_, "Huelet");
    EXPECT_EQ(second.Slot(), 3) << "a symbolic link is no slot file";
    EXPECT_FALSE(fs::exists(env_.Path("elsewhere")));
}

TEST_F(PortableModeTest, ReleasingNeverDeletesTheSlotFileOfANewerWindow) {
    TInstance old(exe_, "Huelet");
    // The folder is cleared under it (another window's close), then a new window starts.
    fs::remove(DataFolder() + ".Huelet-1.lock");
    TInstance newer(exe_, "Huelet");
    ASSERT_EQ(newer.Slot(), 1);
    old.ReleaseSlot();
    EXPECT_TRUE(fs::exists(DataFolder() + ".Huelet-1.lock"));
    TInstance third(exe_, "Huelet");
    EXPECT_EQ(third.Slot(), 2);
}

TEST_F(PortableModeTest, OnlyTheLastPortableWindowClearsTheFolderAndExports) {
    for (bool firstClosesFirst : {true, false}) {
        Write(ini_, "[Settings]\nLastFolder=/pictures\n");
        const TPortableMode portable(exe_, "Huelet");
        auto first = std::make_unique<TInstance>(exe_, "Huelet");
        portable.Start();
        auto second = std::make_unique<TInstance>(exe_, "Huelet");
        portable.Start();
        ASSERT_TRUE(RegisterProgramPath("Huelet", exe_));
        for (TInstance* w : {first.get(), second.get()})
            for (const std::string& path :
                 {w->WorkingCopyPath(), w->ExportTempPath(), w->LogPath()})
                Write(path, path);
        TInstance& closing = firstClosesFirst ? *first : *second;
        TInstance& staying = firstClosesFirst ? *second : *first;

        portable.Close(nullptr, closing);

        // The one still running keeps its picture and the settings stay in the registry.
        for (const std::string& path :
             {staying.WorkingCopyPath(), staying.ExportTempPath(), staying.LogPath()})
            EXPECT_EQ(ReadAll(path), path) << firstClosesFirst;
        for (const std::string& path :
             {closing.WorkingCopyPath(), closing.ExportTempPath(), closing.LogPath()})
            EXPECT_FALSE(fs::exists(path)) << path;
        EXPECT_TRUE(reg::KeyExists(Root::CurrentUser, kProgramKey));
        EXPECT_EQ(Names(DataFolder()).size(), 4u) << firstClosesFirst; // three files, one slot

        portable.Close(nullptr, staying);

        EXPECT_FALSE(fs::exists(MakerFolder())) << firstClosesFirst;
        EXPECT_FALSE(reg::KeyExists(Root::CurrentUser, kMakerKey));
        EXPECT_EQ(Names(env_.Path("app")), std::vector<std::string>{"settings.ini"});
        EXPECT_EQ(ReadAll(ini_), "[Settings]\nLastFolder=/pictures\n");
    }
}

TEST_F(PortableModeTest, InTheExecutablesFolderTheCloseRemovesOnlyWhatTheProgramWrote) {
    // No data folder can be made: the files go beside the executable.
    fs::remove_all(env_.Path("home/.local/share"));
    Write(env_.Path("home/.local/share"), "a file where the folder should be");
    Write(exe_, "program");
    Write(ini_, "[Settings]\nLastFolder=/pictures\n");
    Write(env_.Path("app/Huelet-2.jpg"), "another program's look-alike");
    Write(env_.Path("app/notes.txt"), "the user's");
    const TPortableMode portable(exe_, "Huelet");
    TInstance instance(exe_, "Huelet");
    ASSERT_EQ(instance.WorkingCopyPath(), env_.Path("app/Huelet.jpg"));
    for (const std::string& path :
         {instance.WorkingCopyPath(), instance.ExportTempPath(), instance.LogPath()})
        Write(path, "x");
    ASSERT_TRUE(RegisterProgramPath("Huelet", exe_));

    portable.Close(nullptr, instance);

    EXPECT_EQ(Names(env_.Path("app")),
              (std::vector<std::string>{"Huelet-2.jpg", "huelet", "notes.txt", "settings.ini"}));
    EXPECT_FALSE(reg::KeyExists(Root::CurrentUser, kMakerKey));
}

} // namespace
