#include "platform/inifile.h"

#include "testenv.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

using testenv::ReadAll;
using testenv::Write;

class IniFileTest : public ::testing::Test {
  protected:
    void TearDown() override {
        // Give write access back so the folder can be removed.
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    }
    testenv::TempDir temp_{"ini"};
    std::string dir_ = temp_.Root();
    std::string path_ = dir_ + "/settings.ini";
};

TEST_F(IniFileTest, ReadingFollowsTheProfileRules) {
    Write(path_, "\xEF\xBB\xBF"
                 "orphan=before any section\r\n"
                 "; comment=not an entry\r\n"
                 "  [ Settings ]  \r\n"
                 "  Path  =  /a b/c  \r\n"
                 "Empty=\r\n"
                 "Quoted=\" padded \"\r\n"
                 "Half=\"open\r\n"
                 "no equals sign\r\n"
                 "# Hash=comment\r\n"
                 "Eq=a=b\r\n"
                 "path=second of the name is ignored\r\n"
                 "[SETTINGS_dword]\n"
                 "Width=0x20\n"
                 "[settings]\n"
                 "Late=a second section of the name\n");
    TIniFile ini(path_);
    ASSERT_TRUE(ini.Loaded());
    EXPECT_EQ(ini.SectionNames(), (std::vector<std::string>{"Settings", "SETTINGS_dword"}));
    EXPECT_EQ(ini.EntryNames("settings"),
              (std::vector<std::string>{"Path", "Empty", "Quoted", "Half", "Eq", "Late"}));
    struct Case {
        const char* section;
        const char* name;
        std::string value;
    } cases[] = {
        {"Settings", "PATH", "/a b/c"},
        {"Settings", "Empty", ""},
        {"Settings", "Quoted", " padded "},
        {"Settings", "Half", "\"open"},
        {"Settings", "Eq", "a=b"},
        {"Settings_DWORD", "width", "0x20"},
        {"Settings", "Missing", "<default>"},
        {"Settings", "orphan", "<default>"},
        {"Settings", "comment", "<default>"},
        {"Nowhere", "Path", "<default>"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ini.ReadString(c.section, c.name, "<default>"), c.value)
            << c.section << "/" << c.name;

    EXPECT_FALSE(TIniFile(dir_ + "/missing.ini").Loaded());
    EXPECT_FALSE(TIniFile(dir_).Loaded());
}

TEST_F(IniFileTest, WritingReplacesInPlaceAppendsAndCreates) {
    ASSERT_TRUE(IniWriteString(path_, "Settings", "A", "1")); // creates the file
    EXPECT_EQ(ReadAll(path_), "[Settings]\nA=1\n");

    Write(path_, "; keep me\r\n[Settings]\r\nA=1\r\nB=2\r\n\r\n[Other]\r\nX=y");
    ASSERT_TRUE(IniWriteString(path_, "settings", "b", "two")); // in place, same name spelling
    ASSERT_TRUE(IniWriteString(path_, "Settings", "C", "3"));   // after the section's last entry
    ASSERT_TRUE(IniWriteString(path_, "Other", "Z", "z"));      // into a last line without end
    ASSERT_TRUE(IniWriteString(path_, "Settings_DWORD", "W", "-1")); // a new section at the end
    EXPECT_EQ(ReadAll(path_), "; keep me\r\n[Settings]\r\nA=1\r\nb=two\r\nC=3\r\n\r\n"
                              "[Other]\r\nX=y\r\nZ=z\r\n[Settings_DWORD]\r\nW=-1\r\n");
}

TEST_F(IniFileTest, EveryValueReadsBackUnchanged) {
    const std::vector<std::string> values = {
        "",
        " leading",
        "trailing\t",
        "\"quoted\"",
        "\"",
        "\"\"",
        "a \"b\" c",
        "caf\xc3\xa9 \xff",
        "; not a comment",
        "[not a section]",
        "=",
        std::string(100000, 'v'),
    };
    for (std::size_t i = 0; i < values.size(); ++i)
        ASSERT_TRUE(IniWriteString(path_, "Settings", "V" + std::to_string(i), values[i])) << i;
    TIniFile ini(path_);
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(ini.ReadString("Settings", "V" + std::to_string(i), "<none>"), values[i]) << i;
}

TEST_F(IniFileTest, FilesThatAreNotTextAreReadAndKept) {
    const std::string junk("\0\xff\xfe[Set\ntings]\r\r\n=x\n\x01\x02=\x03", 24);
    Write(path_, junk);
    TIniFile ini(path_);
    EXPECT_TRUE(ini.Loaded());
    EXPECT_TRUE(ini.EntryNames("Settings").empty());
    ASSERT_TRUE(IniWriteString(path_, "Settings", "A", "1"));
    // Every byte that was there is still there, in front of the new section.
    const std::string now = ReadAll(path_);
    EXPECT_EQ(now.substr(0, junk.size()), junk);
    EXPECT_EQ(TIniFile(path_).ReadString("Settings", "A", ""), "1");
}

TEST_F(IniFileTest, LongNameListsAreComplete) {
    std::string text = "[Settings]\n";
    for (int i = 0; i < 5000; ++i)
        text += "SomeRatherLongEntryName" + std::to_string(i) + "=x\n";
    Write(path_, text);
    const auto names = TIniFile(path_).EntryNames("Settings");
    ASSERT_EQ(names.size(), 5000u);
    EXPECT_EQ(names.back(), "SomeRatherLongEntryName4999");
}

TEST_F(IniFileTest, WritesThatCannotBeHeldOrStoredFailAndChangeNothing) {
    Write(path_, "[Settings]\nA=1\n");
    struct Case {
        const char* what;
        std::string section, name, value;
    } refused[] = {
        {"line break in value", "Settings", "A", "x\ny"},
        {"zero byte in value", "Settings", "A", std::string("x\0y", 3)},
        {"empty name", "Settings", "", "x"},
        {"name with =", "Settings", "a=b", "x"},
        {"name like a section", "Settings", "[x", "x"},
        {"name like a comment", "Settings", ";x", "x"},
        {"blank around name", "Settings", " x", "x"},
        {"empty section", "", "x", "x"},
        {"] in section", "Set]tings", "x", "x"},
    };
    for (const auto& c : refused)
        EXPECT_FALSE(IniWriteString(path_, c.section, c.name, c.value)) << c.what;
    EXPECT_EQ(ReadAll(path_), "[Settings]\nA=1\n");

    // Read-only file (honoured even for a user allowed to replace it) and a missing folder.
    chmod(path_.c_str(), 0444);
    EXPECT_FALSE(IniWriteString(path_, "Settings", "A", "2"));
    EXPECT_EQ(ReadAll(path_), "[Settings]\nA=1\n");
    EXPECT_FALSE(IniWriteString(dir_ + "/missing/settings.ini", "Settings", "A", "2"));
    EXPECT_FALSE(IniWriteString(dir_, "Settings", "A", "2")); // a folder
    // No temporary file is left behind.
    int entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir_))
        ++entries;
    EXPECT_EQ(entries, 1);
}

} // namespace
