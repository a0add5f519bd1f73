// Version texts of executables: the fixed version reconciled with the version strings, and the
// version rows.
#include <gtest/gtest.h>

#include "fixtures.h"
#include "identity/U_TallyFct.h"

using fixtures::Strings;

namespace {

struct VersionCase {
    const char* name;
    const char* fixed;
    Strings strings;
    const char* file;
    const char* derived; // DeriveVersionText
    const char* shown;   // DisplayedVersionText
};

void PrintTo(const VersionCase& c, std::ostream* os) {
    *os << c.name;
}

class VersionText : public testing::TestWithParam<VersionCase> {};

TEST_P(VersionText, FromResource) {
    const VersionCase& c = GetParam();
    fixtures::TempEnvironment env;
    const std::string exe = env.Folder("app") + c.file;
    ASSERT_TRUE(fixtures::WritePeFile(exe, fixtures::MakeVersionInfo(c.strings, c.fixed)));
    EXPECT_EQ(DeriveVersionText(exe, "", ""), c.derived);
    EXPECT_EQ(DisplayedVersionText(exe, "", ""), c.shown);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VersionText,
    testing::Values(
        VersionCase{"FileVersionRefinesBuild",
                    "2.0.0.0",
                    {{"FileDescription", "Foo"}, {"FileVersion", "2.0.0.17"}},
                    "x.exe",
                    "2.0.0.17",
                    "2.0.0.17"},
        VersionCase{"FileVersionOfOtherMinorIgnored",
                    "2.0.0.0",
                    {{"FileDescription", "Foo"}, {"FileVersion", "2.1.0.0"}},
                    "x.exe",
                    "2.0.0.0",
                    "2.0.0.0"},
        VersionCase{"PlaceholderFromFileVersion",
                    "1.0.0.0",
                    {{"FileDescription", "Foo"}, {"FileVersion", "3, 2, 1"}},
                    "x.exe",
                    "3.2.1.0",
                    "3.2.1.0"},
        VersionCase{"ZeroFromProductVersion",
                    "0.0.0.0",
                    {{"FileDescription", "Foo"}, {"ProductVersion", "4.5"}},
                    "x.exe",
                    "4.5",
                    "4.5.0.0"},
        VersionCase{
            "SameVersionWrittenTwoWays",
            "5.1.0.0",
            {{"FileDescription", "Foo"}, {"ProductVersion", "5.10"}, {"FileVersion", "5.1.0.0"}},
            "x.exe",
            "5.1.0.0",
            "5.1.0.0"},
        VersionCase{"ProductVersionWithLargerMinor",
                    "1.2.0.0",
                    {{"FileDescription", "Foo"}, {"ProductVersion", "1.3 beta"}},
                    "x.exe",
                    "1.3",
                    "1.3.0.0"},
        VersionCase{
            "NotepadPlusPlusKeepsFixed",
            "1.2.0.0",
            {{"FileDescription", "Foo"}, {"ProductName", "NotePad++"}, {"ProductVersion", "1.3"}},
            "x.exe",
            "1.2.0.0",
            "1.2.0.0"},
        VersionCase{"VersionStringsAgree",
                    "2.0.0.0",
                    {{"FileDescription", "Foo"},
                     {"ProductVersion", "2.0.7"},
                     {"FileVersion", "2.0 build 7"}},
                    "x.exe",
                    "2.0.7",
                    "2.0.7.0"},
        VersionCase{"NotepadPlusPlusIgnoresAgreement",
                    "2.0.0.0",
                    {{"FileDescription", "Foo"},
                     {"ProductName", "notepad++"},
                     {"ProductVersion", "2.0.7"},
                     {"FileVersion", "2.0 build 7"}},
                    "x.exe",
                    "2.0.0.0",
                    "2.0.0.0"},
        VersionCase{"PlaceholderFromProductVersion",
                    "1.0.0.1",
                    {{"FileDescription", "Foo"}, {"ProductVersion", "3.1"}},
                    "x.exe",
                    "3.1",
                    "3.1.0.0"},
        VersionCase{"LeadingZerosNormalised",
                    "1.2.3.4",
                    {{"FileDescription", "Foo"}, {"FileVersion", "01.02.003.4"}},
                    "x.exe",
                    "1.2.3.4",
                    "1.2.3.4"},
        VersionCase{
            "NothingUsable", "", {{"FileDescription", "Foo"}}, "x.exe", "0.0.0.0", "0.0.0.0"},
        // Version rows.
        VersionCase{"FinalRowTakesProductVersion",
                    "1.2.3.4",
                    {{"FileDescription", "Grammarly"},
                     {"FileVersion", "1.2.3.4"},
                     {"ProductVersion", "1.2.3.9"}},
                    "x.exe",
                    "1.2.3.9",
                    "1.2.3.9"},
        VersionCase{"WithoutThatRow",
                    "1.2.3.4",
                    {{"FileDescription", "Grammar"},
                     {"FileVersion", "1.2.3.4"},
                     {"ProductVersion", "1.2.3.9"}},
                    "x.exe",
                    "1.2.3.4",
                    "1.2.3.4"},
        VersionCase{"FinalRowClears",
                    "5.0.0.0",
                    {{"FileDescription", "Advanced SystemCare"}},
                    "x.exe",
                    "",
                    ""},
        VersionCase{"RowNotForThatFile",
                    "5.0.0.0",
                    {{"FileDescription", "Advanced SystemCare"}},
                    "ASC.exe",
                    "5.0.0.0",
                    "5.0.0.0"},
        VersionCase{"FieldsMoveLeft",
                    "120.1.61.109",
                    {{"FileDescription", "Brave Browser"}},
                    "x.exe",
                    "1.61.109.0",
                    "1.61.109.0"},
        VersionCase{"ReleaseCleared",
                    "8.1.3.5",
                    {{"FileDescription", "Skype"}, {"CompanyName", "Skype Technologies S.A."}},
                    "x.exe",
                    "8.1.0.5",
                    "8.1.0.5"},
        VersionCase{"BuildDropped",
                    "6.41.2.5",
                    {{"FileDescription", "Internet Download Manager"}},
                    "x.exe",
                    "6.41.2",
                    "6.41.2.0"}),
    [](const testing::TestParamInfo<VersionCase>& i) { return std::string(i.param.name); });

TEST(VersionText, WithoutResource) {
    fixtures::TempEnvironment env;
    const std::string folder = env.Folder("app");
    ASSERT_TRUE(fixtures::WriteTextFile(folder + "tool.exe", "no resource"));
    EXPECT_EQ(DisplayedVersionText(folder + "tool.exe", "", ""), "");
    EXPECT_EQ(DisplayedVersionText(folder + "missing.exe", "", ""), "");
}

TEST(VersionText, OtherFileOfTheSameProduct) {
    fixtures::TempEnvironment env;
    const std::string folder = env.Folder("glyph");
    ASSERT_TRUE(fixtures::WritePeFile(
        folder + "GlyphClientApp.exe",
        fixtures::MakeVersionInfo({{"FileDescription", "Glyph"}}, "4.3.2.1")));
    ASSERT_TRUE(fixtures::WritePeFile(
        folder + "GlyphClient.exe",
        fixtures::MakeVersionInfo({{"FileDescription", "Glyph Client"}}, "1.0.0.0")));
    EXPECT_EQ(DisplayedVersionText(folder + "GlyphClient.exe", "", ""), "4.3.2.1");
}

TEST(VersionText, ChromeTakesTheNewestVersionFolder) {
    fixtures::TempEnvironment env;
    const std::string folder = env.Folder("chrome");
    env.Folder("chrome/120.0.6099.110");
    env.Folder("chrome/119.0.6045.200");
    ASSERT_TRUE(fixtures::WritePeFile(
        folder + "chrome.exe", fixtures::MakeVersionInfo({{"FileDescription", "Google Chrome"}})));
    EXPECT_EQ(DisplayedVersionText(folder + "chrome.exe", "", ""), "120.0.6099.0");
}

// Product codes stand for packs without one executable; the registry names their version.
TEST(VersionText, ProductCodes) {
    fixtures::TempEnvironment env;
    auto machine = [&](const std::string& File, const std::string& Name,
                       const std::string& Version) {
        ASSERT_TRUE(fixtures::WriteTextFile(
            env.Root() + "machine/" + File,
            "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\"
            "CurrentVersion\\Uninstall\\" +
                File + "]\r\n\"DisplayName\"=\"" + Name + "\"\r\n\"DisplayVersion\"=\"" + Version +
                "\"\r\n"));
    };
    machine("a.reg", "K-Lite Codec Pack 17.0 Full", "17.0");
    machine("b.reg", "K-Lite Codec Pack 64-bit 16.5", "v16.5");
    machine("c.reg", "HashTab 6.0", "6.0.0.34");
    EXPECT_EQ(DisplayedVersionText("KLITE", "", ""), "17.0.0.0");
    EXPECT_EQ(DisplayedVersionText("KLITE64", "", ""), "16.5.0.0");
    EXPECT_EQ(DisplayedVersionText("HASHTAB", "", ""), "6.0.0.34");
    EXPECT_EQ(DisplayedVersionText("KLITEMEGA", "", ""), "");
    machine("d.reg", "OpenHashTab", "3.0.4");
    // "HashTab" also finds OpenHashTab, which means HashTab itself is not there.
    EXPECT_EQ(DisplayedVersionText("HASHTAB", "", ""), "");
    EXPECT_EQ(DisplayedVersionText("OPENHASHTAB", "", ""), "3.0.4.0");
}

struct HelperCase {
    const char* text;
    const char* prefix;
    bool digitsAndDots;
    bool usable;
};

TEST(VersionText, Helpers) {
    for (const HelperCase c :
         {HelperCase{"2, 1, 0, 5", "2.1.0.5", false, false},
          HelperCase{"1.4 beta", "1.4", false, true}, HelperCase{"v1.4", "", false, true},
          HelperCase{"1.2.3", "1.2.3", true, true}, HelperCase{"0.0.0.0", "0.0.0.0", true, false},
          HelperCase{"", "", true, false}}) {
        EXPECT_EQ(VersionPrefixText(c.text), c.prefix) << c.text;
        EXPECT_EQ(IsDigitsAndDots(c.text), c.digitsAndDots) << c.text;
        EXPECT_EQ(IsUsableVersionText(c.text), c.usable) << c.text;
    }
}

} // namespace
