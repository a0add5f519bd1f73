#include "services/datafolder.h"
#include "services/filefunctions.h"

#include "testenv.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Gives each test its own HOME and XDG folders below a temporary folder and restores the
// previous values afterwards.
class DataFolderTest : public ::testing::Test {
  protected:
    static constexpr const char* kVars[] = {"HOME", "XDG_DATA_HOME", "XDG_STATE_HOME",
                                            "XDG_CONFIG_HOME"};
    void SetUp() override {
        for (const char* var : kVars) {
            const char* value = std::getenv(var);
            saved_[var] = value ? std::optional<std::string>(value) : std::nullopt;
        }
        char pattern[] = "/tmp/huelet-data-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        Set("HOME", (root_ / "home").string());
        Set("XDG_DATA_HOME", (root_ / "data").string());
        Set("XDG_STATE_HOME", (root_ / "state").string());
        Set("XDG_CONFIG_HOME", (root_ / "config").string());
        fs::create_directories(root_ / "home");
        fs::create_directories(root_ / "data");
        fs::create_directories(root_ / "state");
        fs::create_directories(root_ / "app");
    }
    void TearDown() override {
        for (const auto& [var, value] : saved_) {
            if (value)
                setenv(var.c_str(), value->c_str(), 1);
            else
                unsetenv(var.c_str());
        }
        fs::remove_all(root_);
    }
    static void Set(const char* var, const std::optional<std::string>& value) {
        if (value)
            setenv(var, value->c_str(), 1);
        else
            unsetenv(var);
    }
    std::string Exe() const { return (root_ / "app" / "huelet").string(); }
    std::string ExeFolder() const { return (root_ / "app").string() + "/"; }
    fs::path Maker() const { return root_ / "data" / "Norwick Softworks"; }

    fs::path root_;
    std::map<std::string, std::optional<std::string>> saved_;
};

TEST_F(DataFolderTest, SpecialFoldersFollowTheXdgVariablesThenHome) {
    // Absolute paths below lie inside the test's folder; HOME "/h" exists, "/gone" does not.
    struct Case {
        std::optional<std::string> home, data, state;
        int csidl;
        std::string expected;
    } cases[] = {
        {"/h", "/x/data", "/x/state", 26, "/x/data"},
        {"/h", "/x/data", "/x/state", 28, "/x/state"},
        {"/h", std::nullopt, std::nullopt, 26, "/h/.local/share"},
        {"/h/", std::nullopt, std::nullopt, 28, "/h/.local/state"},
        {"/h", "", "", 26, "/h/.local/share"},
        {"/h", "relative/data", std::nullopt, 26, "/h/.local/share"},
        {"/h", std::nullopt, "relative/state", 28, "/h/.local/state"},
        {"/h", "/x/data/", std::nullopt, 26, "/x/data"},
        {std::nullopt, std::nullopt, std::nullopt, 26, ""},
        {std::nullopt, std::nullopt, std::nullopt, 28, ""},
        {"relative", std::nullopt, std::nullopt, 26, ""},
        {"relative", "/x/data", std::nullopt, 26, "/x/data"},
        {std::nullopt, "/x/data", std::nullopt, 26, "/x/data"},
        {"/gone", std::nullopt, std::nullopt, 26, ""},
        {"/gone", "/x/deep/data", std::nullopt, 26, "/x/deep/data"},
        {"/h", "/x/data", "/x/state", 37, ""},
        {"/h", "/x/data", "/x/state", 5, ""},
    };
    fs::create_directories(root_ / "h");
    auto inside = [&](const std::optional<std::string>& value) -> std::optional<std::string> {
        if (!value || value->empty() || (*value)[0] != '/')
            return value;
        return root_.string() + *value;
    };
    for (const Case& c : cases) {
        Set("HOME", inside(c.home));
        Set("XDG_DATA_HOME", inside(c.data));
        Set("XDG_STATE_HOME", inside(c.state));
        const std::string path = SpecialFolderPath(c.csidl);
        EXPECT_EQ(path, c.expected.empty() ? "" : root_.string() + c.expected)
            << "HOME=" << c.home.value_or("(unset)") << " data=" << c.data.value_or("(unset)")
            << " csidl=" << c.csidl;
        // A folder it names exists: Windows guarantees its special folders do.
        if (!path.empty()) {
            EXPECT_TRUE(fs::is_directory(path)) << path;
        }
    }
    // HOME itself is never made.
    EXPECT_FALSE(fs::exists(root_ / "gone"));
}

TEST_F(DataFolderTest, FirstRunCreatesTheMakerAndProgramFolders) {
    bool fell_back = true;
    EXPECT_EQ(UserDataFolder(Exe(), "Huelet", &fell_back), (Maker() / "Huelet").string() + "/");
    EXPECT_FALSE(fell_back);
    EXPECT_TRUE(fs::is_directory(Maker() / "Huelet"));
    // A second call finds the folder already there.
    EXPECT_EQ(UserDataFolder(Exe(), "Huelet"), (Maker() / "Huelet").string() + "/");
}

// A new account often has no ~/.local/share: the base folder is made with its parents, each
// private to the user, and the data folder lies below it, not beside the executable.
TEST(FreshAccount, DataFolderLiesBelowTheXdgFolderItMakes) {
    struct Case {
        const char* what;
        std::optional<std::string> data; // XDG_DATA_HOME, below the test's folder when absolute
        std::vector<std::string> made;   // the folders that must be created, outermost first
    } cases[] = {
        {"default below HOME", std::nullopt, {"home/.local", "home/.local/share"}},
        {"relative value counts as unset", "rel/share", {"home/.local", "home/.local/share"}},
        {"variable with missing parents", "/xdg/a/data", {"xdg", "xdg/a", "xdg/a/data"}},
    };
    for (const Case& c : cases) {
        testenv::TempHome env("fresh");
        fs::create_directories(env.Path("app"));
        const auto home_perms = fs::status(env.Path("home")).permissions();
        if (!c.data)
            unsetenv("XDG_DATA_HOME");
        else
            setenv("XDG_DATA_HOME", ((*c.data)[0] == '/' ? env.Root() + *c.data : *c.data).c_str(),
                   1);

        bool fell_back = true;
        const std::string folder = UserDataFolder(env.Path("app/huelet"), "Huelet", &fell_back);
        EXPECT_FALSE(fell_back) << c.what;
        EXPECT_EQ(folder, env.Path(c.made.back()) + "/Norwick Softworks/Huelet/") << c.what;
        EXPECT_TRUE(fs::is_directory(folder)) << c.what;
        for (const std::string& made : c.made)
            EXPECT_EQ(fs::status(env.Path(made)).permissions(), fs::perms::owner_all)
                << c.what << ": " << made;
        EXPECT_TRUE(fs::is_empty(env.Path("app"))) << c.what;
        EXPECT_FALSE(fs::exists(env.Path("rel"))) << c.what;
        // HOME was there already and keeps its own mode.
        EXPECT_EQ(fs::status(env.Path("home")).permissions(), home_perms) << c.what;
    }
}

TEST(FreshAccount, MissingHomeIsNeverMade) {
    testenv::TempHome env("fresh");
    fs::create_directories(env.Path("app"));
    setenv("HOME", env.Path("gone").c_str(), 1);
    unsetenv("XDG_DATA_HOME");
    unsetenv("XDG_STATE_HOME");
    bool fell_back = false;
    EXPECT_EQ(UserDataFolder(env.Path("app/huelet"), "Huelet", &fell_back), env.Path("app/"));
    EXPECT_TRUE(fell_back);
    EXPECT_EQ(SpecialFolderPath(kCsidlLocalAppData), "");
    EXPECT_FALSE(fs::exists(env.Path("gone")));
}

// Looking for folders to remove or clear makes none.
TEST(FreshAccount, CleaningUpMakesNoFolders) {
    testenv::TempHome env("fresh");
    RemoveMakerDataFolderIfEmpty();
    EXPECT_EQ(CleanVirtualStore("/opt/Huelet/"), "");
    EXPECT_TRUE(fs::is_empty(env.Path("home")));
}

TEST_F(DataFolderTest, FallsBackToTheExecutableFolderAndSaysSo) {
    struct Case {
        const char* what;
        std::string title;
        bool unset_data;
        bool data_is_file;
    } cases[] = {
        {"title names no single folder", "a/b", false, false},
        {"empty title", "", false, false},
        {"dot title", ".", false, false},
        {"parent title", "..", false, false},
        {"no data folder can be named", "Huelet", true, false},
        {"data folder cannot be created", "Huelet", false, true},
    };
    for (const Case& c : cases) {
        if (c.unset_data) {
            Set("XDG_DATA_HOME", std::nullopt);
            Set("HOME", std::nullopt);
        }
        if (c.data_is_file) {
            std::ofstream(root_ / "blocker") << "x";
            Set("XDG_DATA_HOME", (root_ / "blocker").string());
        }
        bool fell_back = false;
        EXPECT_EQ(UserDataFolder(Exe(), c.title, &fell_back), ExeFolder()) << c.what;
        EXPECT_TRUE(fell_back) << c.what;
        EXPECT_FALSE(fs::exists(Maker() / "a")) << c.what;
        Set("XDG_DATA_HOME", (root_ / "data").string());
        Set("HOME", (root_ / "home").string());
    }
}

TEST_F(DataFolderTest, ExecutableFolderKeepsItsSlash) {
    EXPECT_EQ(ExecutableFolder("/opt/Huelet/huelet"), "/opt/Huelet/");
    EXPECT_EQ(ExecutableFolder("/huelet"), "/");
    EXPECT_EQ(ExecutableFolder("huelet"), "./");
}

TEST_F(DataFolderTest, MakerFolderIsRemovedOnlyWhenItHoldsNoSubFolder) {
    struct Case {
        const char* what;
        bool sub_folder;
        bool file;
        bool remains;
    } cases[] = {
        {"empty", false, false, false},
        {"another program's folder", true, false, true},
        {"a file", false, true, true},
    };
    for (const Case& c : cases) {
        fs::create_directories(Maker());
        if (c.sub_folder)
            fs::create_directories(Maker() / "Other");
        if (c.file)
            std::ofstream(Maker() / "notes.txt") << "x";
        RemoveMakerDataFolderIfEmpty();
        EXPECT_EQ(fs::exists(Maker()), c.remains) << c.what;
        fs::remove_all(Maker());
    }
}

TEST_F(DataFolderTest, RemovingTheMakerFolderWithoutADataFolderDoesNothing) {
    Set("XDG_DATA_HOME", std::nullopt);
    Set("HOME", std::nullopt);
    fs::create_directories(Maker());
    RemoveMakerDataFolderIfEmpty();
    EXPECT_TRUE(fs::exists(Maker()));
}

TEST_F(DataFolderTest, VirtualStoreIsClearedOfSpkFiles) {
    const fs::path store = root_ / "state" / "VirtualStore" / "opt" / "Huelet";
    fs::create_directories(store / "sub.spk");
    for (const char* name : {"a.spk", "b.SPK", "c.txt", "sub.spk/x.spk"})
        std::ofstream(store / name) << "x";

    EXPECT_EQ(CleanVirtualStore("/opt/Huelet/"), store.string() + "/");
    EXPECT_FALSE(fs::exists(store / "a.spk"));
    EXPECT_FALSE(fs::exists(store / "b.SPK"));
    EXPECT_FALSE(fs::exists(store / "sub.spk"));
    EXPECT_TRUE(fs::exists(store / "c.txt"));

    fs::remove(store / "c.txt");
    std::ofstream(store / "d.spk") << "x";
    EXPECT_EQ(CleanVirtualStore("/opt/Huelet/"), store.string() + "/");
    EXPECT_FALSE(fs::exists(store)); // emptied, so removed
}

TEST_F(DataFolderTest, MissingOrUnsafeVirtualStoreTouchesNothing) {
    EXPECT_EQ(CleanVirtualStore("/opt/Huelet/"), "");
    EXPECT_FALSE(fs::exists(root_ / "state" / "VirtualStore"));

    // A folder reached through ".." would lie outside the store.
    fs::create_directories(root_ / "state" / "outside");
    std::ofstream(root_ / "state" / "outside" / "keep.spk") << "x";
    fs::create_directories(root_ / "state" / "VirtualStore" / "x");
    EXPECT_EQ(CleanVirtualStore("/x/../../outside/"), "");
    EXPECT_TRUE(fs::exists(root_ / "state" / "outside" / "keep.spk"));

    Set("XDG_STATE_HOME", std::nullopt);
    Set("HOME", std::nullopt);
    EXPECT_EQ(CleanVirtualStore("/opt/Huelet/"), "");
}

// The portable close clears the data folder that UserDataFolder names, unless it fell back to
// the executable's folder. Whatever stands where the data folder belongs, that clearing never
// reaches a file outside the data folder.
TEST_F(DataFolderTest, ClearingTheDataFolderNeverReachesBeyondIt) {
    struct Case {
        const char* what;
        std::function<void()> prepare;
    } cases[] = {
        {"a symbolic link to another folder",
         [this] {
             fs::create_directories(Maker());
             fs::create_directory_symlink(root_ / "elsewhere", Maker() / "Huelet");
         }},
        {"a file in its place",
         [this] {
             fs::create_directories(Maker());
             std::ofstream(Maker() / "Huelet") << "a file";
         }},
        {"missing parents", [this] { Set("XDG_DATA_HOME", (root_ / "none/deeper").string()); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(Maker());
        fs::remove_all(root_ / "elsewhere");
        fs::create_directories(root_ / "elsewhere");
        std::ofstream(root_ / "elsewhere" / "precious.jpg") << "p";
        std::ofstream(root_ / "app" / "settings.ini") << "[Settings]\n";
        c.prepare();

        bool fellBack = false;
        const std::string data = UserDataFolder(Exe(), "Huelet", &fellBack);
        if (!fellBack)
            DeleteFilesByExt(data, "*");
        else
            EXPECT_EQ(data, ExeFolder());
        EXPECT_TRUE(fs::exists(root_ / "elsewhere" / "precious.jpg"));
        EXPECT_TRUE(fs::exists(root_ / "app" / "settings.ini"));
        Set("XDG_DATA_HOME", (root_ / "data").string());
    }
}

} // namespace
