#include "platform/registry.h"

#include "testenv.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace reg;

namespace {

const std::string kMaker = "SOFTWARE\\Norwick Softworks";

using testenv::ReadAll;
using testenv::Write;

// Every test gets its own HOME, XDG folders and registry folders.
class RegistryTest : public ::testing::Test {
  protected:
    testenv::TempHome env_{"registry"};
    const std::string root_ = env_.Root();
    std::string Hive() const { return root_ + "/user/HKEY_CURRENT_USER.reg"; }
    void WriteHive(const std::string& text) {
        fs::create_directories(root_ + "/user");
        Write(Hive(), text);
    }
};

TEST_F(RegistryTest, EveryValueTypeSurvivesTheFileInCreationOrder) {
    const std::vector<Value> values = {
        Value::String("Zeta", "C:\\path with \"quotes\" and caf\xc3\xa9"),
        Value::Dword("Width", 0x20),
        Value::Dword("AllBits", 0xFFFFFFFF),
        Value::ExpandString("Expand", "$HOME/x"),
        Value::MultiString("Multi", {"one", "two"}),
        Value::Binary("Bin", std::string("\x00\x01\xff", 3)),
        Value::Binary("Empty", ""),
        Value::Qword("Big", 0x0123456789ABCDEFULL),
        Value::String("", "the default value"),
        Value::String("Lines", "first\r\nsecond"),
        Value{"Odd", 0x42, "raw"},
        Value::Binary("Long", std::string(300, '\x5a')),
    };
    ASSERT_TRUE(WriteValues(Root::CurrentUser, kMaker + "\\Huelet", values)) << LastError();

    Key k;
    ASSERT_TRUE(k.Open(Root::CurrentUser, "software\\NORWICK SOFTWORKS\\huelet\\"));
    const std::vector<Value> back = k.Values();
    ASSERT_EQ(back.size(), values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(back[i].Name, values[i].Name) << i;
        EXPECT_EQ(back[i].Type, values[i].Type) << values[i].Name;
        EXPECT_EQ(back[i].Data, values[i].Data) << values[i].Name;
    }
    EXPECT_EQ(k.ReadValue("multi")->AsMultiString(), (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(*k.ReadValue("BIG")->AsQword(), 0x0123456789ABCDEFULL);

    const std::string text = ReadAll(Hive());
    EXPECT_EQ(text.rfind("REGEDIT4\n", 0), 0u);
    for (const char* line :
         {"[HKEY_CURRENT_USER\\SOFTWARE\\Norwick Softworks\\Huelet]", "\"Width\"=dword:00000020",
          "\"AllBits\"=dword:ffffffff", "\"Expand\"=hex(2):24,48,4f,4d,45,2f,78,00",
          "\"Multi\"=hex(7):6f,6e,65,00,74,77,6f,00,00", "\"Bin\"=hex:00,01,ff",
          "\"Big\"=hex(b):ef,cd,ab,89,67,45,23,01", "@=\"the default value\"",
          "\"Zeta\"=\"C:\\\\path with \\\"quotes\\\" and caf\xc3\xa9\""})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
}

TEST_F(RegistryTest, NamesIgnoreAsciiCaseAndKeepTheirPlace) {
    ASSERT_TRUE(WriteString(Root::CurrentUser, kMaker + "\\Huelet", "First", "1"));
    ASSERT_TRUE(WriteString(Root::CurrentUser, kMaker + "\\Huelet", "Second", "2"));
    // Same name in other case: replaced in place, keeping its first spelling.
    ASSERT_TRUE(WriteDword(Root::CurrentUser, kMaker + "\\HUELET", "FIRST", 7));
    for (const char* sub : {"beta", "Alpha", "gamma", "BETA2", "\xc3\x89t\xc3\xa9"})
        ASSERT_TRUE(CreateKey(Root::CurrentUser, kMaker + "\\" + sub));

    Key k;
    ASSERT_TRUE(k.Open(Root::CurrentUser, kMaker + "\\Huelet"));
    EXPECT_EQ(k.ValueNames(), (std::vector<std::string>{"First", "Second"}));
    std::uint32_t n = 0;
    EXPECT_TRUE(k.ReadDword("first", n));
    EXPECT_EQ(n, 7u);
    std::string text;
    EXPECT_FALSE(k.ReadString("first", text)); // no longer a string

    ASSERT_TRUE(k.Open(Root::CurrentUser, kMaker));
    EXPECT_EQ(k.SubKeyNames(), (std::vector<std::string>{"Alpha", "beta", "BETA2", "gamma",
                                                         "Huelet", "\xc3\x89t\xc3\xa9"}));
}

TEST_F(RegistryTest, DeletingKeysAndValues) {
    ASSERT_TRUE(WriteString(Root::CurrentUser, kMaker + "\\Huelet\\Sub", "x", "1"));
    ASSERT_TRUE(WriteString(Root::CurrentUser, kMaker, "Huelet", "/opt/huelet"));

    EXPECT_FALSE(DeleteKey(Root::CurrentUser, kMaker + "\\Huelet")); // has a sub-key
    EXPECT_FALSE(DeleteValue(Root::CurrentUser, kMaker, "missing"));
    EXPECT_FALSE(DeleteKeyTree(Root::CurrentUser, kMaker + "\\Missing"));
    EXPECT_FALSE(DeleteKeyTree(Root::CurrentUser, "SOFTWARE"));
    EXPECT_TRUE(KeyExists(Root::CurrentUser, kMaker + "\\Huelet\\Sub"));

    EXPECT_TRUE(DeleteKeyTree(Root::CurrentUser, kMaker + "\\huelet"));
    EXPECT_FALSE(KeyExists(Root::CurrentUser, kMaker + "\\Huelet"));
    EXPECT_TRUE(fs::exists(Hive()));

    EXPECT_TRUE(DeleteValue(Root::CurrentUser, kMaker, "HUELET"));
    EXPECT_TRUE(DeleteKey(Root::CurrentUser, kMaker));
    // The hive held nothing more: it is gone. SOFTWARE itself still answers.
    EXPECT_FALSE(fs::exists(Hive()));
    EXPECT_TRUE(KeyExists(Root::CurrentUser, "SOFTWARE"));
    EXPECT_FALSE(KeyExists(Root::CurrentUser, kMaker));
}

TEST_F(RegistryTest, DefaultLocationFollowsXdgAndIsRemovedWhenEmpty) {
    unsetenv("HUELET_REGISTRY_DIR");
    struct Case {
        const char* xdg; // nullptr: unset
        std::string folder;
    } cases[] = {
        {"/xdg-config", "/xdg-config/Norwick Softworks"},
        {nullptr, "/home/.config/Norwick Softworks"},
        {"", "/home/.config/Norwick Softworks"},
        {"relative/path", "/home/.config/Norwick Softworks"},
    };
    for (const auto& c : cases) {
        if (c.xdg)
            setenv("XDG_CONFIG_HOME", (c.xdg[0] == '/' ? root_ + c.xdg : c.xdg).c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
        const std::string hive = root_ + c.folder + "/registry/HKEY_CURRENT_USER.reg";
        EXPECT_EQ(UserHivePath(), hive);
        ASSERT_TRUE(WriteString(Root::CurrentUser, kMaker, "Huelet", "x")) << LastError();
        EXPECT_TRUE(fs::exists(hive));
        ASSERT_TRUE(DeleteKeyTree(Root::CurrentUser, kMaker));
        EXPECT_FALSE(fs::exists(root_ + c.folder)) << c.folder;
    }

    // Another file in the maker's folder keeps that folder.
    setenv("XDG_CONFIG_HOME", (root_ + "/xdg-config").c_str(), 1);
    fs::create_directories(root_ + "/xdg-config/Norwick Softworks");
    Write(root_ + "/xdg-config/Norwick Softworks/other.conf", "x");
    ASSERT_TRUE(WriteString(Root::CurrentUser, kMaker, "Huelet", "x"));
    ASSERT_TRUE(DeleteKeyTree(Root::CurrentUser, kMaker));
    EXPECT_FALSE(fs::exists(root_ + "/xdg-config/Norwick Softworks/registry"));
    EXPECT_TRUE(fs::exists(root_ + "/xdg-config/Norwick Softworks/other.conf"));
}

// The hive's base folder follows the XDG rules: made when missing (mode 0700, with parents),
// a relative value counts as unset, and HOME itself is never made.
TEST_F(RegistryTest, DefaultLocationMakesItsXdgFolderButNeverHome) {
    unsetenv("HUELET_REGISTRY_DIR");
    struct Case {
        const char* what;
        const char* home;   // below the test's folder when absolute
        const char* xdg;    // nullptr: unset; below the test's folder when absolute
        std::string config; // the folder named to hold "Norwick Softworks"; "" for none
        bool writable;
        std::vector<std::string> made;
    } cases[] = {
        {"fresh home", "/home", nullptr, "/home/.config", true, {"/home/.config"}},
        {"missing parents",
         "/home",
         "/x/y/config",
         "/x/y/config",
         true,
         {"/x", "/x/y", "/x/y/config"}},
        {"relative variable", "/home", "rel/config", "/home/.config", true, {"/home/.config"}},
        {"relative home", "rel-home", nullptr, "", false, {}},
        {"relative home, absolute variable",
         "rel-home",
         "/x/config",
         "/x/config",
         true,
         {"/x", "/x/config"}},
        {"missing home", "/gone", nullptr, "/gone/.config", false, {}},
    };
    for (const auto& c : cases) {
        fs::remove_all(root_ + "/x");
        fs::remove_all(root_ + "/home/.config");
        setenv("HOME", (c.home[0] == '/' ? root_ + c.home : c.home).c_str(), 1);
        if (c.xdg)
            setenv("XDG_CONFIG_HOME", (c.xdg[0] == '/' ? root_ + c.xdg : c.xdg).c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
        const std::string hive =
            c.config.empty()
                ? ""
                : root_ + c.config + "/Norwick Softworks/registry/HKEY_CURRENT_USER.reg";
        EXPECT_EQ(UserHivePath(), hive) << c.what;
        const bool written = WriteString(Root::CurrentUser, kMaker, "Huelet", "x");
        EXPECT_EQ(written, c.writable) << c.what << ": " << LastError();
        if (written) {
            EXPECT_TRUE(fs::exists(hive)) << c.what;
            for (const std::string& made : c.made)
                EXPECT_EQ(fs::status(root_ + made).permissions(), fs::perms::owner_all)
                    << c.what << ": " << made;
            ASSERT_TRUE(DeleteKeyTree(Root::CurrentUser, kMaker));
        }
        EXPECT_FALSE(fs::exists(root_ + "/gone")) << c.what;
        EXPECT_FALSE(fs::exists("rel-home")) << c.what;
        EXPECT_FALSE(fs::exists("rel")) << c.what;
    }
}

TEST_F(RegistryTest, HandWrittenHivesAreRead) {
    struct Case {
        const char* what;
        std::string text;
        std::string name;
        std::uint32_t type;
        std::string data;
    } cases[] = {
        {"spacing and comments",
         "; a comment\r\nREGEDIT4\r\n\r\n  [HKEY_CURRENT_USER\\Software\\Norwick Softworks\\Huelet]"
         "  \r\n; note\r\n  \"Path\"  =  \"a b\"  \r\n",
         "Path", REG_SZ, "a b"},
        {"continued hex",
         "REGEDIT4\n[HKEY_CURRENT_USER\\SOFTWARE\\Norwick Softworks\\Huelet]\n"
         "\"Bin\"=hex:01,02,\\\n    03,\\\n  04\n",
         "Bin", REG_BINARY, "\x01\x02\x03\x04"},
        {"short dword, upper case", "[HKCU\\SOFTWARE\\Norwick Softworks\\Huelet]\n\"N\"=DWORD:1F\n",
         "N", REG_DWORD, std::string("\x1f\0\0\0", 4)},
        {"default value",
         "REGEDIT4\n[HKEY_CURRENT_USER\\SOFTWARE\\Norwick Softworks\\Huelet]\n@=\"d\"\n", "",
         REG_SZ, "d"},
        {"no final line break",
         "REGEDIT4\n[HKEY_CURRENT_USER\\SOFTWARE\\Norwick Softworks\\Huelet]\n\"E\"=\"\"", "E",
         REG_SZ, ""},
        {"version 5 text with wide strings",
         "Windows Registry Editor Version 5.00\n\n"
         "[HKEY_CURRENT_USER\\SOFTWARE\\Norwick Softworks\\Huelet]\n"
         "\"X\"=hex(2):25,00,41,00,25,00,e9,00,00,00\n",
         "X", REG_EXPAND_SZ, "%A%\xc3\xa9"},
    };
    for (const auto& c : cases) {
        WriteHive(c.text);
        Key k;
        ASSERT_TRUE(k.Open(Root::CurrentUser, kMaker + "\\Huelet")) << c.what;
        const auto v = k.ReadValue(c.name);
        ASSERT_TRUE(v.has_value()) << c.what;
        EXPECT_EQ(v->Type, c.type) << c.what;
        EXPECT_EQ(v->Data, c.data) << c.what;
    }

    // A wide (UTF-16) export with its byte-order mark.
    const std::string narrow = "Windows Registry Editor Version 5.00\r\n\r\n"
                               "[HKEY_CURRENT_USER\\SOFTWARE\\Norwick Softworks\\Huelet]\r\n"
                               "\"W\"=\"wide\"\r\n";
    std::string wide = "\xff\xfe";
    for (char ch : narrow) {
        wide += ch;
        wide += '\0';
    }
    WriteHive(wide);
    Key k;
    std::string text;
    ASSERT_TRUE(k.Open(Root::CurrentUser, kMaker + "\\Huelet"));
    EXPECT_TRUE(k.ReadString("W", text));
    EXPECT_EQ(text, "wide");
}

TEST_F(RegistryTest, DamagedHiveIsReadAsFarAsPossibleAndKeptOnTheFirstWrite) {
    std::string garbage = "REGEDIT4\n[HKEY_CURRENT_USER\\SOFTWARE\\Norwick Softworks\\Huelet]\n"
                          "\"Good\"=\"yes\"\n"
                          "\"Bad\"=dword:xyz\n"
                          "\"Unclosed\"=\"abc\n"
                          "this is not a line of a hive\n"
                          "[HKEY_CURRENT_USER\\SOFTWARE\\Other\n"
                          "[HKEY_CLASSES_ROOT\\Foreign]\n\"F\"=\"f\"\n"
                          "[HKEY_CURRENT_USER\\SOFTWARE\\Norwick Softworks\\Huelet]\n"
                          "\"Later\"=dword:00000002\n";
    garbage += std::string("\0\xff\xfe\x01 binary", 11);
    WriteHive(garbage);

    Key k;
    ASSERT_TRUE(k.Open(Root::CurrentUser, kMaker + "\\Huelet"));
    EXPECT_EQ(k.ValueNames(), (std::vector<std::string>{"Good", "Later"}));

    ASSERT_TRUE(WriteString(Root::CurrentUser, kMaker + "\\Huelet", "New", "1"));
    EXPECT_EQ(ReadAll(Hive() + ".bak"), garbage);
    ASSERT_TRUE(k.Open(Root::CurrentUser, kMaker + "\\Huelet"));
    EXPECT_EQ(k.ValueNames(), (std::vector<std::string>{"Good", "Later", "New"}));

    // The rewritten hive is clean: later writes keep no further copies.
    ASSERT_TRUE(WriteString(Root::CurrentUser, kMaker + "\\Huelet", "New", "2"));
    EXPECT_FALSE(fs::exists(Hive() + ".bak2"));

    // Comments written by hand would be lost by a rewrite: they are kept too.
    ASSERT_TRUE(fs::remove(Hive() + ".bak"));
    WriteHive("REGEDIT4\n; why this is set\n[HKEY_CURRENT_USER\\SOFTWARE\\X]\n\"a\"=\"b\"\n");
    ASSERT_TRUE(WriteString(Root::CurrentUser, "SOFTWARE\\X", "c", "d"));
    EXPECT_NE(ReadAll(Hive() + ".bak").find("; why this is set"), std::string::npos);
    garbage = ReadAll(Hive() + ".bak");

    // A second damaged hive does not overwrite the first kept copy.
    WriteHive("junk\n");
    ASSERT_TRUE(WriteString(Root::CurrentUser, kMaker, "Huelet", "x"));
    EXPECT_EQ(ReadAll(Hive() + ".bak"), garbage);
    EXPECT_EQ(ReadAll(Hive() + ".bak2"), "junk\n");
}

TEST_F(RegistryTest, UnreadableHiveIsNeverReplaced) {
    // Something that is not a readable file stands where the hive belongs.
    fs::create_directories(Hive() + "/inside");
    EXPECT_FALSE(KeyExists(Root::CurrentUser, kMaker));
    EXPECT_FALSE(WriteString(Root::CurrentUser, kMaker, "Huelet", "x"));
    EXPECT_FALSE(LastError().empty());
    EXPECT_TRUE(fs::is_directory(Hive() + "/inside"));
}

TEST_F(RegistryTest, NamesThatCannotBeWrittenAreRefused) {
    EXPECT_FALSE(WriteString(Root::CurrentUser, kMaker, "bad\nname", "x"));
    EXPECT_FALSE(CreateKey(Root::CurrentUser, kMaker + "\\bad\rkey"));
    EXPECT_FALSE(WriteString(Root::CurrentUser, "", "x", "y"));
    EXPECT_FALSE(fs::exists(Hive()));
}

TEST_F(RegistryTest, MachineKeysAreTheReadOnlyUnionOfTheFolder) {
    const std::string uninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    Write(root_ + "/machine/10-huelet.reg",
          "REGEDIT4\n[HKEY_LOCAL_MACHINE\\" + uninstall +
              "\\Huelet]\n\"DisplayName\"=\"Norwick Softworks Huelet\"\n\"Publisher\"=\"A\"\n");
    Write(root_ + "/machine/20-other.reg",
          "REGEDIT4\n[HKEY_LOCAL_MACHINE\\" + uninstall +
              "\\Huelet]\n\"Publisher\"=\"B\"\n[HKEY_LOCAL_MACHINE\\" + uninstall +
              "\\Other]\n\"DisplayName\"=\"Other\"\n"
              "[HKEY_CURRENT_USER\\SOFTWARE\\Ignored]\n\"x\"=\"y\"\n");
    Write(root_ + "/machine/30-notes.txt",
          "REGEDIT4\n[HKEY_LOCAL_MACHINE\\" + uninstall + "\\NotAHive]\n");
    Write(root_ + "/machine/40-wow.reg", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\" +
                                             uninstall.substr(9) + "\\Old32]\n");

    Key k;
    ASSERT_TRUE(k.Open(Root::LocalMachine, uninstall));
    EXPECT_EQ(k.SubKeyNames(), (std::vector<std::string>{"Huelet", "Other"}));
    ASSERT_TRUE(k.Open(Root::LocalMachine, uninstall + "\\Huelet"));
    std::string text;
    EXPECT_TRUE(k.ReadString("Publisher", text));
    EXPECT_EQ(text, "B"); // the later file wins
    EXPECT_EQ(k.ValueNames(), (std::vector<std::string>{"DisplayName", "Publisher"}));

    // Our 64-bit build is never redirected; the 32-bit view is reached by its own name.
    EXPECT_FALSE(ProcessIsWow64());
    EXPECT_FALSE(KeyExists(Root::LocalMachine, uninstall + "\\Old32"));
    EXPECT_TRUE(KeyExists(Root::LocalMachine,
                          "SOFTWARE\\Wow6432Node\\" + uninstall.substr(9) + "\\Old32",
                          View::Key64));
    EXPECT_FALSE(KeyExists(Root::CurrentUser, "SOFTWARE\\Ignored"));

    // As a 32-bit process on a 64-bit kernel: the machine's SOFTWARE keys are the 32-bit view,
    // and the 64-bit one is reached through Key64.
    {
        struct Reset {
            ~Reset() { SetWow64ForTesting(std::nullopt); }
        } reset;
        SetWow64ForTesting(true);
        EXPECT_TRUE(ProcessIsWow64());
        EXPECT_TRUE(KeyExists(Root::LocalMachine, uninstall + "\\Old32"));
        EXPECT_FALSE(KeyExists(Root::LocalMachine, uninstall + "\\Huelet"));
        EXPECT_TRUE(KeyExists(Root::LocalMachine, uninstall + "\\Huelet", View::Key64));
    }
    EXPECT_FALSE(ProcessIsWow64());

    EXPECT_FALSE(WriteString(Root::LocalMachine, uninstall + "\\Huelet", "x", "y"));
    EXPECT_FALSE(DeleteKeyTree(Root::LocalMachine, uninstall + "\\Huelet"));
    EXPECT_FALSE(CreateKey(Root::LocalMachine, "SOFTWARE\\New"));
    EXPECT_TRUE(KeyExists(Root::LocalMachine, uninstall + "\\Huelet"));

    setenv("HUELET_MACHINE_REGISTRY_DIR", (root_ + "/missing").c_str(), 1);
    EXPECT_FALSE(KeyExists(Root::LocalMachine, uninstall));
}

TEST_F(RegistryTest, TwoProcessesChangingTheHiveLoseNothing) {
    constexpr int kEach = 60;
    ASSERT_TRUE(WriteString(Root::CurrentUser, kMaker, "Start", "x"));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    const std::string who = child == 0 ? "child" : "parent";
    bool allWritten = true;
    for (int i = 0; i < kEach; ++i) {
        allWritten &= WriteDword(Root::CurrentUser, kMaker + "\\" + who, "v" + std::to_string(i),
                                 static_cast<std::uint32_t>(i));
        if (i % 10 == 0) // deletions race too: the other side's keys must survive them
            allWritten &= WriteString(Root::CurrentUser, kMaker + "\\" + who, "temp", "t") &&
                          DeleteValue(Root::CurrentUser, kMaker + "\\" + who, "temp");
    }
    if (child == 0)
        _exit(allWritten ? 0 : 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(allWritten);

    for (const std::string side : {"child", "parent"}) {
        Key k;
        ASSERT_TRUE(k.Open(Root::CurrentUser, kMaker + "\\" + side));
        EXPECT_EQ(k.ValueNames().size(), static_cast<std::size_t>(kEach)) << side;
        std::uint32_t n = 0;
        EXPECT_TRUE(k.ReadDword("v" + std::to_string(kEach - 1), n));
        EXPECT_EQ(n, static_cast<std::uint32_t>(kEach - 1));
    }
    // No temporary files are left behind.
    int files = 0;
    for (const auto& e : fs::directory_iterator(root_ + "/user")) {
        ++files;
        EXPECT_EQ(e.path().filename(), "HKEY_CURRENT_USER.reg");
    }
    EXPECT_EQ(files, 1);
}

// A hive written by hand, with values under the root key itself, an empty top-level key,
// comments and lines that cannot be understood: a rewrite keeps every key and value it read.
TEST_F(RegistryTest, HandWrittenHiveKeepsRootValuesAndEmptyTopLevelKeysThroughARewrite) {
    const std::string text = "REGEDIT4\n"
                             "; written by hand\n"
                             "[HKEY_CURRENT_USER]\n"
                             "\"AtRoot\"=\"r\"\n"
                             "\"RootNumber\"=dword:00000007\n"
                             "[HKEY_CURRENT_USER\\Environment]\n"
                             "[HKEY_CURRENT_USER\\AppEvents]\n"
                             "this line means nothing\n"
                             "\"Broken\"=dword:zz\n"
                             "[HKEY_CURRENT_USER\\SOFTWARE\\Norwick Softworks]\n"
                             "\"Huelet\"=\"/exe\"\n";
    WriteHive(text);
    ASSERT_TRUE(WriteString(Root::CurrentUser, kMaker + "\\Huelet", "New", "1"));
    EXPECT_EQ(ReadAll(Hive() + ".bak"), text); // the comment and the damaged lines are kept there

    Key k;
    ASSERT_TRUE(k.Open(Root::CurrentUser, ""));
    EXPECT_EQ(k.ValueNames(), (std::vector<std::string>{"AtRoot", "RootNumber"}));
    EXPECT_EQ(k.SubKeyNames(), (std::vector<std::string>{"AppEvents", "Environment", "SOFTWARE"}));
    std::uint32_t n = 0;
    EXPECT_TRUE(k.ReadDword("RootNumber", n));
    EXPECT_EQ(n, 7u);
    EXPECT_TRUE(KeyExists(Root::CurrentUser, "Environment"));
    ASSERT_TRUE(k.Open(Root::CurrentUser, kMaker));
    EXPECT_TRUE(k.HasValue("Huelet"));

    // Removing every key of ours leaves the hand-written ones in place.
    ASSERT_TRUE(DeleteKeyTree(Root::CurrentUser, kMaker));
    ASSERT_TRUE(fs::exists(Hive()));
    ASSERT_TRUE(k.Open(Root::CurrentUser, ""));
    EXPECT_EQ(k.ValueNames().size(), 2u);
    EXPECT_TRUE(KeyExists(Root::CurrentUser, "AppEvents"));
}

// Each opened key is read from one parse of the hive, kept while the file is unchanged; a
// change by hand (replaced, or rewritten in place with the same size) is seen at the next
// opening, and a key opened before keeps what it saw.
TEST_F(RegistryTest, TheKeptParseFollowsEveryChangeOfTheFile) {
    const auto hive = [](const char* value) {
        return std::string("REGEDIT4\n[HKEY_CURRENT_USER\\SOFTWARE\\X]\n\"v\"=\"") + value + "\"\n";
    };
    const auto read = [] {
        Key k;
        std::string text;
        return k.Open(Root::CurrentUser, "SOFTWARE\\X") && k.ReadString("v", text) ? text : "-";
    };
    const auto setMtime = [this](long seconds) {
        const timespec times[2] = {{seconds, 0}, {seconds, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, Hive().c_str(), times, 0), 0);
    };
    WriteHive(hive("one"));
    setMtime(1000000000);
    EXPECT_EQ(read(), "one");
    Key before;
    ASSERT_TRUE(before.Open(Root::CurrentUser, "SOFTWARE\\X"));

    // In place, same size, another modification time.
    {
        std::fstream f(Hive(), std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(static_cast<std::streamoff>(hive("one").size() - 5));
        f << "two";
    }
    setMtime(1000000001);
    EXPECT_EQ(read(), "two");
    // Replaced by another file.
    Write(root_ + "/other.reg", hive("three"));
    fs::rename(root_ + "/other.reg", Hive());
    EXPECT_EQ(read(), "three");
    // Our own change, then gone.
    ASSERT_TRUE(WriteString(Root::CurrentUser, "SOFTWARE\\X", "v", "four"));
    EXPECT_EQ(read(), "four");
    fs::remove(Hive());
    EXPECT_EQ(read(), "-");

    std::string text;
    EXPECT_TRUE(before.ReadString("v", text));
    EXPECT_EQ(text, "one");
}

// Something other than a regular file where a hive or a machine .reg file belongs is skipped
// without waiting, said once, and never replaced; a symbolic link to a hive is read and
// written through, the link kept.
TEST_F(RegistryTest, HivesThatAreNotRegularFilesAreSkippedAndSaidOnce) {
    TakeSkippedFileMessages();
    fs::create_directories(root_ + "/user");
    ASSERT_EQ(::mkfifo(Hive().c_str(), 0600), 0);
    EXPECT_FALSE(KeyExists(Root::CurrentUser, kMaker));
    EXPECT_FALSE(KeyExists(Root::CurrentUser, kMaker)); // asked again: not said again
    EXPECT_FALSE(WriteString(Root::CurrentUser, kMaker, "Huelet", "x"));
    EXPECT_NE(LastError().find("not a regular file"), std::string::npos) << LastError();
    auto said = TakeSkippedFileMessages();
    ASSERT_EQ(said.size(), 1u);
    EXPECT_NE(said[0].find(Hive()), std::string::npos) << said[0];
    EXPECT_NE(said[0].find("not a regular file"), std::string::npos) << said[0];
    EXPECT_TRUE(fs::is_fifo(Hive()));

    // A symbolic link to a real hive elsewhere.
    fs::remove(Hive());
    Write(root_ + "/elsewhere.reg", "REGEDIT4\n[HKEY_CURRENT_USER\\SOFTWARE\\X]\n\"a\"=\"1\"\n");
    fs::create_symlink(root_ + "/elsewhere.reg", Hive());
    EXPECT_TRUE(KeyExists(Root::CurrentUser, "SOFTWARE\\X"));
    ASSERT_TRUE(WriteString(Root::CurrentUser, "SOFTWARE\\X", "b", "2"));
    EXPECT_TRUE(fs::is_symlink(Hive()));
    EXPECT_NE(ReadAll(root_ + "/elsewhere.reg").find("\"b\"=\"2\""), std::string::npos);
    // A link to a FIFO is a FIFO.
    fs::remove(Hive());
    ASSERT_EQ(::mkfifo((root_ + "/pipe").c_str(), 0600), 0);
    fs::create_symlink(root_ + "/pipe", Hive());
    EXPECT_FALSE(KeyExists(Root::CurrentUser, "SOFTWARE\\X"));
    EXPECT_EQ(TakeSkippedFileMessages().size(), 1u);

    // Machine files: a FIFO and a folder among them are skipped, the others read.
    const std::string uninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    Write(root_ + "/machine/a.reg",
          "REGEDIT4\n[HKEY_LOCAL_MACHINE\\" + uninstall + "\\A]\n\"DisplayName\"=\"A\"\n");
    ASSERT_EQ(::mkfifo((root_ + "/machine/b.reg").c_str(), 0600), 0);
    fs::create_directories(root_ + "/machine/c.reg");
    EXPECT_TRUE(KeyExists(Root::LocalMachine, uninstall + "\\A"));
    EXPECT_TRUE(KeyExists(Root::LocalMachine, uninstall + "\\A"));
    said = TakeSkippedFileMessages();
    ASSERT_EQ(said.size(), 2u);
    EXPECT_NE(said[0].find("b.reg"), std::string::npos) << said[0];
    EXPECT_NE(said[1].find("c.reg"), std::string::npos) << said[1];
}

// Setting many values of one key, and reading a hive of many keys, take time in proportion
// to their number (the speed itself is measured in bench/): this checks that they all arrive.
TEST_F(RegistryTest, TwentyThousandValuesInOneChange) {
    std::vector<Value> values;
    for (int i = 0; i < 20000; ++i)
        values.push_back(Value::String("Name" + std::to_string(i), std::to_string(i)));
    values.push_back(Value::String("name5", "again")); // the same name, other case
    ASSERT_TRUE(WriteValues(Root::CurrentUser, kMaker + "\\Huelet", values));
    ASSERT_TRUE(DeleteValue(Root::CurrentUser, kMaker + "\\Huelet", "Name7"));
    ASSERT_TRUE(WriteString(Root::CurrentUser, kMaker + "\\Huelet", "NAME19999", "last"));
    Key k;
    ASSERT_TRUE(k.Open(Root::CurrentUser, kMaker + "\\Huelet"));
    const auto names = k.ValueNames();
    ASSERT_EQ(names.size(), 19999u);
    EXPECT_EQ(names[5], "Name5");
    EXPECT_EQ(names[7], "Name8");
    std::string text;
    EXPECT_TRUE(k.ReadString("NAME5", text));
    EXPECT_EQ(text, "again");
    EXPECT_TRUE(k.ReadString("name19999", text));
    EXPECT_EQ(text, "last");
    EXPECT_FALSE(k.HasValue("Name7"));
}

} // namespace
