// Uninstall-registry lookups, against machine .reg files and a user hive in a temporary folder.
#include <gtest/gtest.h>

#include "fixtures.h"
#include "identity/uninstall.h"
#include "platform/registry.h"

namespace {

using Values = std::vector<std::pair<std::string, std::string>>;
struct Entry {
    std::string key;
    Values values; // "name", then data as written after '=' in the .reg file
    std::string view = "";
};

// A .reg string literal: backslashes and quotes escaped.
std::string Quoted(const std::string& Text) {
    std::string out = "\"";
    for (const char c : Text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

// One machine .reg file holding the entries; values given as plain texts become REG_SZ.
void WriteMachine(const fixtures::TempEnvironment& Env, const std::vector<Entry>& Entries,
                  const std::string& File = "entries.reg") {
    std::string text = "REGEDIT4\r\n\r\n";
    for (const Entry& e : Entries) {
        text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\" + e.view +
                "Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + e.key + "]\r\n";
        for (const auto& [name, data] : e.values)
            text +=
                Quoted(name) + "=" + (data.rfind("dword:", 0) == 0 ? data : Quoted(data)) + "\r\n";
        text += "\r\n";
    }
    ASSERT_TRUE(fixtures::WriteTextFile(Env.Root() + "machine/" + File, text));
}

std::string UserUninstallKey(const std::string& Entry) {
    return "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + Entry;
}

class Uninstall : public testing::Test {
  protected:
    void TearDown() override { reg::SetWow64ForTesting(std::nullopt); }
    fixtures::TempEnvironment env;
};

struct NameCase {
    std::vector<std::string> names;
    const char* search;
    const char* version;
};

class VersionFromName : public testing::TestWithParam<NameCase> {};

TEST_P(VersionFromName, TrailingNumberOfTheHighestEntry) {
    fixtures::TempEnvironment env;
    std::vector<Entry> entries;
    for (std::size_t i = 0; i < GetParam().names.size(); ++i)
        entries.push_back({"e" + std::to_string(i), {{"DisplayName", GetParam().names[i]}}});
    WriteMachine(env, entries);
    EXPECT_EQ(UninstallVersionFromName(GetParam().search), GetParam().version);
}

INSTANTIATE_TEST_SUITE_P(Names, VersionFromName,
                         testing::Values(NameCase{{"Foo Tool 2.5 (beta)"}, "foo", "2.5"},
                                         NameCase{{"Foo Tool 2.5 (x64)"}, "foo", "64"},
                                         NameCase{{"Foo Tool"}, "foo", ""},
                                         NameCase{{"Foo 1.2 Beta 3"}, "foo", "3"},
                                         NameCase{{"Foo 1.10", "Foo 1.9"}, "foo", "1.10"},
                                         NameCase{{"Foo 1.9", "Foo 1.10"}, "FOO", "1.10"},
                                         NameCase{{"Bar 9.9"}, "foo", ""}));

TEST_F(Uninstall, Variants) {
    WriteMachine(
        env,
        {
            {"a", {{"DisplayName", "XVid 1.3.2"}, {"DisplayVersion", "1.3.2"}}},
            {"b", {{"DisplayName", "XVid-Codec 1.4"}}},
            {"c", {{"DisplayName", "Launchy 2.5 Portable"}}},
            {"d", {{"DisplayName", "Zed Editor - Nightly"}}},
            {"e", {{"DisplayName", "K-Lite Codec Pack 17.0 Full"}, {"DisplayVersion", "17.0"}}},
            {"f", {{"DisplayName", "K-Lite Codec Pack 64-bit 16.5"}, {"DisplayVersion", "v16.5 "}}},
        });
    EXPECT_EQ(UninstallVersionByFirstWord("xvid"), "1.4");
    EXPECT_EQ(UninstallVersionByFirstWord("XVid-Codec"), ""); // the first word stops at '-'
    EXPECT_EQ(UninstallSecondWord("launchy"), "2.5");
    EXPECT_EQ(UninstallLastWordByPrefix("zed editor"), "Nightly");
    EXPECT_EQ(UninstallVersionWith("K-Lite Codec Pack", "64-bit"), "16.5");
    EXPECT_EQ(UninstallVersionWithout("K-Lite Codec Pack", "64-bit"), "17.0");
    EXPECT_EQ(InstalledVersion("k-lite"), "17.0");
    EXPECT_EQ(XvidVersion(), "1.4");
}

TEST_F(Uninstall, InstalledVersionFallsBackToTheUser) {
    ASSERT_TRUE(reg::WriteValues(reg::Root::CurrentUser, UserUninstallKey("Foo"),
                                 {reg::Value::String("DisplayName", "Foo Player"),
                                  reg::Value::String("DisplayVersion", "V3.1")}));
    EXPECT_EQ(InstalledVersion("foo player"), "3.1");
    WriteMachine(env, {{"Foo", {{"DisplayName", "Foo Player"}, {"DisplayVersion", "2.0"}}}});
    EXPECT_EQ(InstalledVersion("foo player"), "2.0"); // the machine's answer comes first
}

TEST_F(Uninstall, NameStoredAsExpandableTextIsInvisible) {
    ASSERT_TRUE(reg::WriteValues(reg::Root::CurrentUser, UserUninstallKey("Foo"),
                                 {reg::Value::ExpandString("DisplayName", "Foo Player"),
                                  reg::Value::String("DisplayVersion", "3.1")}));
    ASSERT_TRUE(reg::WriteValues(reg::Root::CurrentUser, UserUninstallKey("Bar"),
                                 {reg::Value::String("DisplayName", "Bar Player"),
                                  reg::Value::ExpandString("DisplayVersion", "4.2")}));
    EXPECT_EQ(InstalledVersion("Foo Player"), "");
    // Other values are read as text whichever of the two text types they have.
    EXPECT_EQ(InstalledVersion("Bar Player"), "4.2");
}

TEST_F(Uninstall, FolderTest) {
    WriteMachine(
        env,
        {
            {"a",
             {{"DisplayName", "Foo"},
              {"DisplayVersion", "1.0"},
              {"InstallLocation", "c:\\apps\\foo\\"}}},
            {"b",
             {{"DisplayName", "Foo"},
              {"DisplayVersion", "2.0"},
              {"DisPlayIcon", "C:\\Apps\\Bar\\bar.exe,0"}}},
            {"c",
             {{"DisplayName", "Foo"}, {"DisplayVersion", "3.0"}, {"InstallLocation", "/opt/foo"}}},
            {"d", {{"DisplayName", "Foo"}, {"DisplayVersion", "9.0"}}},
        });
    EXPECT_EQ(InstalledVersionIn("Foo", "", "C:\\Apps\\Foo"), "1.0");
    EXPECT_EQ(InstalledVersionIn("Foo", "", "C:\\Apps\\Bar\\"), "2.0");
    EXPECT_EQ(InstalledVersionIn("Foo", "", "/opt/foo/"), "3.0");
    EXPECT_EQ(InstalledVersionIn("Foo", "", "/opt/other"), "");
    EXPECT_EQ(InstalledVersion("Foo"), "9.0");
}

TEST_F(Uninstall, NewerOfTheTwoViewsUnderWow64) {
    WriteMachine(env,
                 {{"Foo", {{"DisplayName", "Foo 2.0"}, {"DisplayVersion", "2.0"}}},
                  {"Foo", {{"DisplayName", "Foo 2.1"}, {"DisplayVersion", "2.1"}}, kWow6432View},
                  {"Bar", {{"DisplayName", "Bar 5.1"}, {"DisplayVersion", "5.1"}}},
                  {"Bar", {{"DisplayName", "Bar 5.0"}, {"DisplayVersion", "5.0"}}, kWow6432View}});
    reg::SetWow64ForTesting(false);
    EXPECT_EQ(InstalledVersion("Foo"), "2.0");
    EXPECT_EQ(UninstallVersionFromName("Foo"), "2.0");
    reg::SetWow64ForTesting(true);
    EXPECT_EQ(InstalledVersion("Foo"), "2.1");
    EXPECT_EQ(UninstallVersionFromName("Foo"), "2.1");
    EXPECT_EQ(InstalledVersion("Bar"), "5.1");
    // A view given by the caller is scanned alone.
    EXPECT_EQ(InstalledVersion("Bar", kWow6432View), "5.0");
}

TEST_F(Uninstall, ManagerSuite) {
    auto entry = [](const std::string& Key, const std::string& Name, const std::string& Publisher,
                    const std::string& Version) {
        ASSERT_TRUE(reg::WriteValues(reg::Root::CurrentUser, UserUninstallKey(Key),
                                     {reg::Value::String("DisplayName", Name),
                                      reg::Value::String("Publisher", Publisher),
                                      reg::Value::String("DisplayVersion", Version)}));
    };
    EXPECT_EQ(ManagerSuiteVersion(), "");
    entry("a", "Windows 10 Manager", "Yamicsoft", "v3.4.1");
    entry("b", "Windows Cleaner", "Yamicsoft", "9.9");
    entry("c", "Windows 11 Manager", "Other", "8.8");
    EXPECT_EQ(ManagerSuiteVersion(), "3.4.1");
}

TEST_F(Uninstall, StripVersionPrefix) {
    EXPECT_EQ(StripVersionPrefix("v2.3 "), "2.3");
    EXPECT_EQ(StripVersionPrefix("V10"), "10");
    EXPECT_EQ(StripVersionPrefix("vv1"), "v1");
    EXPECT_EQ(StripVersionPrefix(" 1.0"), "1.0");
}

TEST_F(Uninstall, HighestFolderVersion) {
    const std::string app = env.Folder("chrome");
    for (const char* sub : {"120.0.6099.110", "99.0.1", "SwiftShader", "119.0.1.2"})
        env.Folder(std::string("chrome/") + sub);
    // The text after a folder's last dot is dropped, as from a file name.
    EXPECT_EQ(HighestFolderVersion(app + "chrome.exe"), "120.0.6099");
}

TEST_F(Uninstall, FfdshowRevision) {
    struct Case {
        const char* revision;
        const char* version;
    };
    for (const Case c : {Case{"dword:00001194", "1.2.4500"}, Case{"dword:00000dac", "1.1.3500"},
                         Case{"dword:00000064", "1.0.100"}, Case{"dword:00000000", "0"}}) {
        std::string text = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\GNU\\ffdshow]\r\n"
                           "\"revision\"=" +
                           std::string(c.revision) + "\r\n";
        ASSERT_TRUE(fixtures::WriteTextFile(env.Root() + "machine/ffdshow.reg", text));
        EXPECT_EQ(FfdshowVersion(), c.version) << c.revision;
    }
    WriteMachine(env, {{"ffdshow", {{"DisplayName", "ffdshow"}, {"DisplayVersion", "1.3.4531"}}}});
    EXPECT_EQ(FfdshowVersion(), "1.3.4531");
}

TEST_F(Uninstall, ProductHelpers) {
    // Nothing installed, and a changes.txt that names no version: nothing found.
    EXPECT_EQ(OpenOfficeVersion(), "");
    ASSERT_TRUE(fixtures::WriteTextFile(env.Root() + "changes.txt", "Release notes\r\n"));
    EXPECT_EQ(MalwarebytesVersion(false, env.Root()), "");
    WriteMachine(
        env,
        {
            {"a", {{"DisplayName", "OpenOffice 4.1.14"}, {"DisplayVersion", "4.1.14"}}},
            {"b",
             {{"DisplayName", "Malwarebytes version 4.6.2.123"}, {"DisplayVersion", "4.6.2.123 "}}},
        });
    EXPECT_EQ(OpenOfficeVersion(), "4.1.14.14");
    EXPECT_EQ(MalwarebytesVersion(false, env.Root()), "4.6.2.123");
    EXPECT_EQ(MalwarebytesVersion(true, env.Root()), "");
    ASSERT_TRUE(fixtures::WriteTextFile(env.Root() + "changes.txt", "Release 3.2.1\r\nmore\r\n"));
    EXPECT_EQ(MalwarebytesVersion(true, env.Root()), "3.2.1.0");
}

} // namespace
