#include "platform/inifile.h"

#include "testenv.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

using testenv::ReadAll;
using testenv::Write;

// A string literal with the zero bytes inside it.
template <std::size_t N> std::string Bytes(const char (&Literal)[N]) {
    return std::string(Literal, N - 1);
}

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

TEST_F(IniFileTest, AValueWhollyInMatchingQuotesLosesThem) {
    struct Case {
        const char* line;
        const char* value;
    } cases[] = {
        {"'single'", "single"},
        {"\"double\"", "double"},
        {"' padded '", " padded "},
        {"''", ""},
        {"'", "'"},
        {"'mixed\"", "'mixed\""},
        {"'a' and 'b'", "a' and 'b"},
        {"\"'both'\"", "'both'"},
        {"it's", "it's"},
    };
    std::string text = "[Settings]\n";
    for (std::size_t i = 0; i < std::size(cases); ++i)
        text += "V" + std::to_string(i) + "=" + cases[i].line + "\n";
    Write(path_, text);
    const TIniFile ini(path_);
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(ini.ReadString("Settings", "V" + std::to_string(i), "<none>"), cases[i].value)
            << cases[i].line;

    // Values that would lose quotes are written so that they keep them.
    for (const std::string v : {"'single'", "\"double\"", "'", "'x\""})
        ASSERT_TRUE(IniWriteString(path_, "Quoted", "V", v));
    for (const std::string v : {"'single'", "\"double\""}) {
        ASSERT_TRUE(IniWriteString(path_, "Quoted", "V", v));
        EXPECT_EQ(TIniFile(path_).ReadString("Quoted", "V", ""), v);
    }
}

// Entries whose name or value holds a zero byte or a carriage return could not be written
// back: they are left out, each with its line, and the entries around them still count.
TEST_F(IniFileTest, EntriesThatCannotBeWrittenBackAreSkippedWithTheirLine) {
    Write(path_, Bytes("[Settings]\n"
                       "Before=1\n"
                       "Zero\0Name=2\n"
                       "ZeroValue=a\0b\n"
                       "Carriage\rReturn=3\n"
                       "CrValue=x\ry\n"
                       "After=4\n"
                       "CrAtTheEnd=5\r\n"));
    const TIniFile ini(path_);
    EXPECT_EQ(ini.EntryNames("Settings"),
              (std::vector<std::string>{"Before", "After", "CrAtTheEnd"}));
    const auto& skipped = ini.SkippedEntries();
    ASSERT_EQ(skipped.size(), 4u);
    const std::pair<int, const char*> expected[] = {{3, "the name holds a zero byte"},
                                                    {4, "the value holds a zero byte"},
                                                    {5, "the name holds a carriage return"},
                                                    {6, "the value holds a carriage return"}};
    for (std::size_t i = 0; i < skipped.size(); ++i) {
        EXPECT_EQ(skipped[i].Line, expected[i].first);
        EXPECT_EQ(skipped[i].Reason, expected[i].second);
        EXPECT_EQ(skipped[i].Section, "Settings");
    }
}

// Files no editor would write, and files no one should: read as far as they make sense,
// without waiting, and a write into them keeps what was readable.
TEST_F(IniFileTest, HostileFilesAreReadWithoutBlockingAndKeepTheirEntries) {
    std::mt19937 random(13);
    std::string garbage(64 << 10, '\0');
    for (char& c : garbage)
        c = static_cast<char>(random());
    std::string many = "[Settings]\n";
    for (int i = 0; i < 20000; ++i)
        many += "Entry" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    std::string le = "\xff\xfe", be = "\xfe\xff";
    for (char16_t c : std::u16string(u"[Settings]\r\nWide=caf\u00e9\r\n")) {
        le += static_cast<char>(c & 0xff);
        le += static_cast<char>(c >> 8);
        be += static_cast<char>(c >> 8);
        be += static_cast<char>(c & 0xff);
    }
    struct Case {
        const char* what;
        std::function<void(const std::string&)> make;
        bool loaded;
        std::size_t entries; // of [Settings]
        const char* probe;   // an entry that must read back, or ""
        std::string value;
    } cases[] = {
        {"binary garbage", [&](const std::string& p) { Write(p, garbage); }, true, 0, "", ""},
        {"garbage after a section",
         [&](const std::string& p) { Write(p, "[Settings]\nKeep=1\n" + garbage); }, true,
         std::size_t(-1), "Keep", "1"},
        {"zero bytes",
         [](const std::string& p) { Write(p, Bytes("[Settings]\nA=1\n\0\0\0\nB=2\n")); }, true, 2,
         "B", "2"},
        {"a 3 MB line",
         [](const std::string& p) {
             Write(p, "[Settings]\nLong=" + std::string(3 << 20, 'x') + "\nShort=s\n");
         },
         true, 2, "Short", "s"},
        {"20,000 entries", [&](const std::string& p) { Write(p, many); }, true, 20000, "entry19999",
         "19999"},
        {"UTF-16 LE", [&](const std::string& p) { Write(p, le); }, true, 1, "Wide", "caf\xc3\xa9"},
        {"UTF-16 BE", [&](const std::string& p) { Write(p, be); }, true, 1, "Wide", "caf\xc3\xa9"},
        {"a FIFO", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }, false, 0,
         "", ""},
        {"a folder", [](const std::string& p) { fs::create_directories(p); }, false, 0, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::error_code ec;
        fs::remove_all(path_, ec);
        c.make(path_);
        const TIniFile ini(path_);
        EXPECT_EQ(ini.Loaded(), c.loaded);
        EXPECT_EQ(ini.LoadError().empty(), c.loaded) << ini.LoadError();
        const auto names = ini.EntryNames("Settings");
        if (c.entries != std::size_t(-1)) {
            EXPECT_EQ(names.size(), c.entries);
        }
        if (*c.probe) {
            EXPECT_EQ(ini.ReadString("Settings", c.probe, "<none>"), c.value);
        }

        // A write keeps every entry that was readable, and the file's encoding.
        const bool written = IniWriteString(path_, "Settings", "Added", "yes");
        EXPECT_EQ(written, c.loaded);
        if (!c.loaded)
            continue;
        const TIniFile after(path_);
        EXPECT_EQ(after.ReadString("Settings", "Added", ""), "yes");
        EXPECT_EQ(after.EntryNames("Settings").size(), names.size() + 1);
        if (*c.probe) {
            EXPECT_EQ(after.ReadString("Settings", c.probe, "<none>"), c.value);
        }
        if (std::string(c.what).rfind("UTF-16", 0) == 0) {
            EXPECT_EQ(ReadAll(path_).substr(0, 2),
                      std::string(c.what) == "UTF-16 LE" ? "\xff\xfe" : "\xfe\xff");
        }
    }
}

TEST_F(IniFileTest, ManyEntriesGoInOneWriteAndRefusedOnesAreNamed) {
    Write(path_, "[Settings]\nA=old\n[Other]\nX=1\n");
    std::string error;
    EXPECT_FALSE(IniWriteStrings(path_,
                                 {{"Settings", "A", "new"},
                                  {"Settings", "Bad", Bytes("x\0y")},
                                  {"Settings", "B", "first"},
                                  {"Settings_DWORD", "N", "1"},
                                  {"settings", "b", "second"}},
                                 &error));
    EXPECT_NE(error.find(path_), std::string::npos) << error;
    EXPECT_NE(error.find("Bad"), std::string::npos) << error;
    EXPECT_EQ(ReadAll(path_), "[Settings]\nA=new\nb=second\n[Other]\nX=1\n[Settings_DWORD]\nN=1\n");
    error.clear();
    EXPECT_TRUE(IniWriteStrings(path_, {}, &error));
    EXPECT_TRUE(error.empty());

    // A read-only file is said as such, and stays as it was.
    ::chmod(path_.c_str(), 0444);
    EXPECT_FALSE(IniWriteStrings(path_, {{"Settings", "A", "x"}}, &error));
    EXPECT_EQ(error, "cannot write " + path_ + ": the file is read-only");
}

// Two processes writing the same file at once, entry by entry: each write re-reads the file
// under the lock, so neither loses the other's entries.
TEST_F(IniFileTest, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kEach = 40;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    const std::string who = child == 0 ? "child" : "parent";
    bool all = true;
    for (int i = 0; i < kEach; ++i)
        all &= IniWriteString(path_, "Settings", who + std::to_string(i), std::to_string(i));
    if (child == 0)
        ::_exit(all ? 0 : 1);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(all);
    EXPECT_EQ(TIniFile(path_).EntryNames("Settings").size(), 2u * kEach);
}

// A folder that refuses new files (a write-protected program folder) with a settings.ini its
// user may write: the file is written in place. Root passes every permission check, so as
// root the case runs in a child under an unprivileged user id.
TEST_F(IniFileTest, AFolderThatRefusesNewFilesGetsTheFileWrittenInPlace) {
    const uid_t nobody = testenv::kNobody;
    const std::string folder = dir_ + "/locked", file = folder + "/settings.ini";
    fs::create_directory(folder);
    Write(file, "[Settings]\nA=1\n");
    ::chmod(file.c_str(), 0644);
    ::chmod(folder.c_str(), 0555);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chmod(dir_.c_str(), 0755), 0);
        ASSERT_EQ(::chown(folder.c_str(), nobody, nobody), 0);
        ASSERT_EQ(::chown(file.c_str(), nobody, nobody), 0);
    }
    // 0: both written as asked; 1: the existing file refused; 2: a new file was created.
    auto attempt = [&]() -> int {
        if (!IniWriteStrings(file, {{"Settings", "A", "2"}, {"Settings", "B", "3"}}))
            return 1;
        return IniWriteString(folder + "/new.ini", "Settings", "A", "1") ? 2 : 0;
    };
    const std::optional<int> result = testenv::RunUnprivileged(attempt);
    ::chmod(folder.c_str(), 0755);
    if (!result)
        GTEST_SKIP() << "running as root without the right to change user";
    EXPECT_EQ(*result, 0);
    EXPECT_EQ(ReadAll(file), "[Settings]\nA=2\nB=3\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

} // namespace
