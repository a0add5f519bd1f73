#include "services/settings_store.h"

#include "platform/inifile.h"
#include "platform/registry.h"

#include "testenv.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using reg::Root;

namespace {

const std::string kProgramKey = std::string(kMakerKey) + "\\Huelet";

using testenv::ReadAll;
using testenv::Write;

class SettingsStoreTest : public ::testing::Test {
  protected:
    void SetUp() override { fs::create_directories(root_ + "/exe"); }
    void TearDown() override {
        // Give write access back so the folder can be removed.
        std::error_code ec;
        fs::permissions(ini_, fs::perms::owner_all, fs::perm_options::add, ec);
    }
    std::vector<reg::Value> ProgramValues() {
        reg::Key k;
        return k.Open(Root::CurrentUser, kProgramKey) ? k.Values() : std::vector<reg::Value>();
    }
    std::string Hive() const { return root_ + "/user/HKEY_CURRENT_USER.reg"; }
    testenv::TempHome env_{"settings"};
    std::string root_ = env_.Root();
    std::string ini_ = root_ + "/exe/settings.ini";
};

TEST_F(SettingsStoreTest, ImportReadsTextsAndIntegers) {
    ASSERT_TRUE(reg::WriteString(Root::CurrentUser, kProgramKey, "Kept", "from before"));
    Write(ini_, "[Settings]\nPath=\nName=Huelet picture\n"
                "[Settings_DWORD]\n"
                "Width=0x20\nMode=abc\nHex=$1F\nUpper=0X10\nNeg=-1\nTrailing=12abc\n"
                "TooBig=4294967296\nEmpty=\nHexOnly=0x\n");
    ImportSettingsIni("Huelet", ini_);

    struct Case {
        const char* name;
        std::uint32_t type;
        std::string data;
    } cases[] = {
        {"Kept", reg::REG_SZ, "from before"},
        {"Path", reg::REG_SZ, ""},
        {"Name", reg::REG_SZ, "Huelet picture"},
        {"Width", reg::REG_DWORD, reg::Value::Dword("", 32).Data},
        {"Mode", reg::REG_DWORD, reg::Value::Dword("", 0).Data},
        {"Hex", reg::REG_DWORD, reg::Value::Dword("", 31).Data},
        {"Upper", reg::REG_DWORD, reg::Value::Dword("", 16).Data},
        {"Neg", reg::REG_DWORD, reg::Value::Dword("", 0xFFFFFFFF).Data},
        {"Trailing", reg::REG_DWORD, reg::Value::Dword("", 0).Data},
        {"TooBig", reg::REG_DWORD, reg::Value::Dword("", 0).Data},
        {"Empty", reg::REG_DWORD, reg::Value::Dword("", 0).Data},
        {"HexOnly", reg::REG_DWORD, reg::Value::Dword("", 0).Data},
    };
    const auto values = ProgramValues();
    ASSERT_EQ(values.size(), std::size(cases));
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(values[i].Name, cases[i].name);
        EXPECT_EQ(values[i].Type, cases[i].type) << cases[i].name;
        EXPECT_EQ(values[i].Data, cases[i].data) << cases[i].name;
    }
}

TEST_F(SettingsStoreTest, ImportOfAMissingFileOnlyCreatesTheKey) {
    ImportSettingsIni("Huelet", ini_);
    EXPECT_TRUE(reg::KeyExists(Root::CurrentUser, kProgramKey));
    EXPECT_TRUE(ProgramValues().empty());
    EXPECT_FALSE(fs::exists(ini_));
}

TEST_F(SettingsStoreTest, ExportWritesTextsAndIntegersOnlyAndRoundTrips) {
    ASSERT_TRUE(reg::WriteValues(
        Root::CurrentUser, kProgramKey,
        {reg::Value::String("Path", "/pictures/a b.jpg"), reg::Value::Binary("Blob", "\x01\x02"),
         reg::Value::Dword("AllBits", 0xFFFFFFFF), reg::Value::ExpandString("Expand", "$HOME"),
         reg::Value::MultiString("Multi", {"a"}), reg::Value::Qword("Q", 5),
         reg::Value::Dword("Width", 32), reg::Value::String("Padded", " x ")}));
    Write(ini_, "[Settings]\nStale=kept\nPath=old\n");
    ASSERT_TRUE(ExportSettingsIni("Huelet", ini_));
    EXPECT_EQ(ReadAll(ini_), "[Settings]\nStale=kept\nPath=/pictures/a b.jpg\nPadded=\" x \"\n"
                             "[Settings_DWORD]\nAllBits=-1\nWidth=32\n");

    // Back into an empty registry: the same texts and numbers.
    ASSERT_TRUE(reg::DeleteKeyTree(Root::CurrentUser, kProgramKey));
    ImportSettingsIni("Huelet", ini_);
    reg::Key k;
    ASSERT_TRUE(k.Open(Root::CurrentUser, kProgramKey));
    std::string text;
    std::uint32_t number = 0;
    EXPECT_TRUE(k.ReadString("Padded", text));
    EXPECT_EQ(text, " x ");
    EXPECT_TRUE(k.ReadDword("AllBits", number));
    EXPECT_EQ(number, 0xFFFFFFFFu);
}

TEST_F(SettingsStoreTest, ExportOfAnEmptyKeyWritesNothing) {
    EXPECT_TRUE(ExportSettingsIni("Huelet", ini_));
    EXPECT_FALSE(fs::exists(ini_));
    // Types that are never exported leave nothing to write either.
    ASSERT_TRUE(reg::WriteValue(Root::CurrentUser, kProgramKey, reg::Value::Binary("B", "x")));
    EXPECT_TRUE(ExportSettingsIni("Huelet", ini_));
    EXPECT_FALSE(fs::exists(ini_));
}

TEST_F(SettingsStoreTest, FailedExportKeepsEveryRegistrySetting) {
    struct Case {
        const char* what;
        std::function<std::string(const std::string&)> prepare; // returns the ini path
    } cases[] = {
        {"read-only settings.ini",
         [](const std::string& ini) {
             Write(ini, "[Settings]\nPath=old\n");
             chmod(ini.c_str(), 0444);
             return ini;
         }},
        {"missing folder", [this](const std::string&) { return root_ + "/gone/settings.ini"; }},
        {"a folder in its place",
         [](const std::string& ini) {
             fs::create_directories(ini);
             return ini;
         }},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(RegisterProgramPath("Huelet", "/exe/huelet"));
        ASSERT_TRUE(reg::WriteString(Root::CurrentUser, kProgramKey, "Path", "new"));
        const std::string ini = c.prepare(ini_);
        const std::string before = fs::is_regular_file(ini) ? ReadAll(ini) : "";

        // The portable shutdown: clean only after a complete export.
        const bool exported = ExportSettingsIni("Huelet", ini);
        EXPECT_FALSE(exported) << c.what;
        if (exported) {
            DeleteProgramKey("Huelet");
            DeleteMakerValue("Huelet");
            DeleteMakerKeyIfEmpty();
        }
        reg::Key k;
        std::string text;
        ASSERT_TRUE(k.Open(Root::CurrentUser, kProgramKey)) << c.what;
        EXPECT_TRUE(k.ReadString("Path", text)) << c.what;
        ASSERT_TRUE(k.Open(Root::CurrentUser, kMakerKey));
        EXPECT_TRUE(k.HasValue("Huelet")) << c.what;
        if (fs::is_regular_file(ini)) {
            EXPECT_EQ(ReadAll(ini), before) << c.what;
        }

        std::error_code ec;
        fs::permissions(ini_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(ini_, ec);
    }
}

TEST_F(SettingsStoreTest, PortableCleanUpRemovesTheMakerKeyOnlyWhenNothingElseUsesIt) {
    struct Case {
        const char* what;
        std::function<void()> other;
        bool makerKeyStays;
    } cases[] = {
        {"nothing else", [] {}, false},
        {"another program's key",
         [] {
             ASSERT_TRUE(
                 reg::WriteString(Root::CurrentUser, kMakerKey + std::string("\\Other"), "x", "y"));
         },
         true},
        {"another program's path", [] { ASSERT_TRUE(RegisterProgramPath("Other", "/opt/other")); },
         true},
        {"an empty sub-key",
         [] { ASSERT_TRUE(reg::CreateKey(Root::CurrentUser, kMakerKey + std::string("\\E"))); },
         true},
    };
    for (const auto& c : cases) {
        c.other();
        ASSERT_TRUE(RegisterProgramPath("Huelet", "/exe/huelet"));
        Write(ini_, "[Settings]\nPath=/a.jpg\n");
        ImportSettingsIni("Huelet", ini_);

        ASSERT_TRUE(ExportSettingsIni("Huelet", ini_)) << c.what;
        DeleteProgramKey("Huelet");
        DeleteMakerValue("Huelet");
        DeleteMakerKeyIfEmpty();

        EXPECT_EQ(reg::KeyExists(Root::CurrentUser, kMakerKey), c.makerKeyStays) << c.what;
        EXPECT_FALSE(reg::KeyExists(Root::CurrentUser, kProgramKey)) << c.what;
        reg::Key k;
        EXPECT_FALSE(k.Open(Root::CurrentUser, kMakerKey) && k.HasValue("Huelet")) << c.what;
        EXPECT_EQ(fs::exists(Hive()), c.makerKeyStays) << c.what;
        EXPECT_EQ(TIniFile(ini_).ReadString("Settings", "Path", ""), "/a.jpg");

        reg::DeleteKeyTree(Root::CurrentUser, kMakerKey);
    }
}

TEST_F(SettingsStoreTest, RegisterProgramPathWritesTheMakerValue) {
    ASSERT_TRUE(RegisterProgramPath("Huelet", "/opt/huelet/bin/huelet"));
    ASSERT_TRUE(RegisterProgramPath("huelet", "/new/place/huelet")); // same value, any case
    reg::Key k;
    ASSERT_TRUE(k.Open(Root::CurrentUser, kMakerKey));
    EXPECT_EQ(k.ValueNames(), (std::vector<std::string>{"Huelet"}));
    std::string text;
    EXPECT_TRUE(k.ReadString("Huelet", text));
    EXPECT_EQ(text, "/new/place/huelet");
}

// Entries the file cannot give back unchanged are skipped, the others imported, and every
// problem is one text naming the file and the line: the caller shows them once.
TEST_F(SettingsStoreTest, ImportSkipsEntriesThatCannotRoundTripAndSaysWhere) {
    const std::string text("[Settings]\n"
                           "Good=1\n"
                           "Zero=a\0b\n"
                           "Bad\rName=x\n"
                           "Also=2\n"
                           "[Settings_DWORD]\n"
                           "N=5\n"
                           "M\0=6\n"
                           "[Elsewhere]\n"
                           "Z=\0\n",
                           87);
    Write(ini_, text);
    const auto problems = ImportSettingsIni("Huelet", ini_);
    const auto values = ProgramValues();
    std::vector<std::string> names;
    for (const auto& v : values)
        names.push_back(v.Name);
    EXPECT_EQ(names, (std::vector<std::string>{"Good", "Also", "N"}));
    ASSERT_EQ(problems.size(), 3u);
    const char* expected[] = {", line 3: the value holds a zero byte; the entry was skipped",
                              ", line 4: the name holds a carriage return; the entry was skipped",
                              ", line 8: the name holds a zero byte; the entry was skipped"};
    for (std::size_t i = 0; i < problems.size(); ++i)
        EXPECT_EQ(problems[i], ini_ + expected[i]);
    const std::string message = SettingsProblemsText(problems);
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 2);

    // What was imported exports again, so a portable close can clean up.
    ASSERT_TRUE(ExportSettingsIni("Huelet", root_ + "/exe/out.ini"));

    // Many problems make one message of bounded length.
    EXPECT_EQ(SettingsProblemsText(std::vector<std::string>(25, "p")),
              "p\np\np\np\np\np\np\np\np\np\n... and 15 more");
}

TEST_F(SettingsStoreTest, ImportOfSomethingThatIsNotAFileIsOneProblemAndDoesNotWait) {
    struct Case {
        const char* what;
        std::function<void()> make;
    } cases[] = {
        {"a FIFO", [this] { ASSERT_EQ(::mkfifo(ini_.c_str(), 0600), 0); }},
        {"a folder", [this] { fs::create_directories(ini_); }},
        {"a link to a FIFO",
         [this] {
             ASSERT_EQ(::mkfifo((root_ + "/pipe").c_str(), 0600), 0);
             fs::create_symlink(root_ + "/pipe", ini_);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::error_code ec;
        fs::remove_all(ini_, ec);
        fs::remove(root_ + "/pipe", ec);
        c.make();
        const auto problems = ImportSettingsIni("Huelet", ini_);
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_NE(problems[0].find(ini_), std::string::npos) << problems[0];
        EXPECT_TRUE(reg::KeyExists(Root::CurrentUser, kProgramKey));
        ASSERT_TRUE(reg::WriteString(Root::CurrentUser, kProgramKey, "Path", "p"));
        std::string problem;
        EXPECT_FALSE(ExportSettingsIni("Huelet", ini_, &problem));
        EXPECT_NE(problem.find(ini_), std::string::npos) << problem;
    }
}

TEST_F(SettingsStoreTest, AFailedExportSaysWhichFileAndWhy) {
    ASSERT_TRUE(reg::WriteString(Root::CurrentUser, kProgramKey, "Path", "new"));
    Write(ini_, "[Settings]\nPath=old\n");
    chmod(ini_.c_str(), 0444);
    std::string problem;
    EXPECT_FALSE(ExportSettingsIni("Huelet", ini_, &problem));
    EXPECT_EQ(problem, "cannot write " + ini_ + ": the file is read-only");
    EXPECT_EQ(ReadAll(ini_), "[Settings]\nPath=old\n");

    // A value the file cannot hold (written by another program) is named; the others are
    // exported, and the export says it was not complete, so the registry is kept.
    chmod(ini_.c_str(), 0644);
    ASSERT_TRUE(reg::WriteValue(Root::CurrentUser, kProgramKey,
                                reg::Value::String("Nul", std::string("a\0b", 3))));
    EXPECT_FALSE(ExportSettingsIni("Huelet", ini_, &problem));
    EXPECT_NE(problem.find("\"Nul\""), std::string::npos) << problem;
    EXPECT_EQ(ReadAll(ini_), "[Settings]\nPath=new\n");
}

// 20,000 settings go out and come back in whole (the time it takes is in bench/).
TEST_F(SettingsStoreTest, TwentyThousandSettingsRoundTrip) {
    std::vector<reg::Value> values;
    for (int i = 0; i < 10000; ++i) {
        values.push_back(
            reg::Value::String("Text" + std::to_string(i), "value " + std::to_string(i)));
        values.push_back(
            reg::Value::Dword("Number" + std::to_string(i), static_cast<std::uint32_t>(i)));
    }
    ASSERT_TRUE(reg::WriteValues(Root::CurrentUser, kProgramKey, values));
    ASSERT_TRUE(ExportSettingsIni("Huelet", ini_));
    ASSERT_TRUE(reg::DeleteKeyTree(Root::CurrentUser, kProgramKey));
    EXPECT_TRUE(ImportSettingsIni("Huelet", ini_).empty());
    const auto back = ProgramValues();
    ASSERT_EQ(back.size(), 20000u);
    EXPECT_EQ(back.front().Name, "Text0");
    EXPECT_EQ(back.back().Data, reg::Value::Dword("", 9999).Data);
}

// Two instances closing at once, each exporting its own settings into the same file: the
// exports take turns, and the file ends with all of them.
TEST_F(SettingsStoreTest, TwoInstancesExportingAtOnceLoseNothing) {
    constexpr int kEach = 20;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    const std::string who = child == 0 ? "child" : "parent";
    // Each its own registry, as two users' instances would have.
    fs::create_directories(root_ + "/" + who);
    setenv("HUELET_REGISTRY_DIR", (root_ + "/" + who).c_str(), 1);
    bool ok = true;
    for (int round = 0; round < kEach; ++round) {
        ok &= reg::WriteString(Root::CurrentUser, kProgramKey, who + std::to_string(round), "v");
        ok &= ExportSettingsIni("Huelet", ini_);
    }
    if (child == 0)
        ::_exit(ok ? 0 : 1);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(ok);
    EXPECT_EQ(TIniFile(ini_).EntryNames(kSettingsSection).size(), 2u * kEach);
}

} // namespace
