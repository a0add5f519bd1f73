// Displayed product names of executables, from fixture PE files with chosen version strings.
#include <gtest/gtest.h>

#include "fixtures.h"
#include "huelet_config.h"
#include "identity/U_TallyFct.h"
#include "services/filefunctions.h"

using fixtures::Strings;

namespace {

struct ProductCase {
    const char* name; // test label
    Strings strings;
    const char* file; // executable's file name
    bool pe64;
    const char* product;
};

void PrintTo(const ProductCase& c, std::ostream* os) {
    *os << c.name;
}

class ProductName : public testing::TestWithParam<ProductCase> {};

TEST_P(ProductName, FromVersionStrings) {
    const ProductCase& c = GetParam();
    fixtures::TempEnvironment env;
    const std::string exe = env.Folder("app") + c.file;
    ASSERT_TRUE(
        fixtures::WritePeFile(exe, fixtures::MakeVersionInfo(c.strings, "1.0.0.0"), c.pe64));
    EXPECT_EQ(DisplayedProductName(exe), c.product);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProductName,
    testing::Values(
        // Base choice.
        ProductCase{
            "FiveWordDescriptionNotPreferred",
            {{"ProductName", "Foo Suite"}, {"FileDescription", "Foo Suite Helper Tool Kit"}},
            "foo.exe",
            false,
            "Foo Suite"},
        ProductCase{"InstallerDescriptionReplacesName",
                    {{"ProductName", "Foo Suite"}, {"FileDescription", "Foo Suite Installer"}},
                    "foo.exe",
                    false,
                    "Foo Suite Installer"},
        ProductCase{"DescriptionBeginningWithNameKeepsName",
                    {{"ProductName", "Foo"}, {"FileDescription", "Foo - Bar"}},
                    "foo.exe",
                    false,
                    "Foo"},
        ProductCase{"DescriptionPreferredOverOtherName",
                    {{"ProductName", "Acme"}, {"FileDescription", "Bar Tool"}},
                    "foo.exe",
                    false,
                    "Bar Tool"},
        ProductCase{"DescriptionWithParenthesisNotPreferred",
                    {{"ProductName", "Acme"}, {"FileDescription", "Bar (Tool)"}},
                    "foo.exe",
                    false,
                    "Acme"},
        ProductCase{"LongTextFallsBackToInternalName",
                    {{"FileDescription", "A tool with a very long description text here"},
                     {"InternalName", "tool"}},
                    "foo.exe",
                    false,
                    "tool"},
        ProductCase{"FourWordsEqualToBaseNameNotPreferred",
                    {{"ProductName", "foo"}, {"FileDescription", "Bar Tool For Things"}},
                    "foo.exe",
                    false,
                    "foo"},
        // Generic clean-up.
        ProductCase{
            "TrailingDottedVersion", {{"FileDescription", "Foo 1.2.3"}}, "x.exe", false, "Foo"},
        ProductCase{"TrailingShortNumber", {{"FileDescription", "Foo 64"}}, "x.exe", false, "Foo"},
        ProductCase{
            "TrailingYearStays", {{"FileDescription", "Foo 2010"}}, "x.exe", false, "Foo 2010"},
        ProductCase{"TrailingVWord", {{"FileDescription", "Foo v3"}}, "x.exe", false, "Foo"},
        ProductCase{"TrailingBareV", {{"FileDescription", "Foo V"}}, "x.exe", false, "Foo"},
        ProductCase{"DvdFlickKeepsItsV",
                    {{"FileDescription", "DVD Flick v2"}},
                    "x.exe",
                    false,
                    "DVD Flick v2"},
        ProductCase{
            "BitnessInParentheses", {{"FileDescription", "Foo (32-bit)"}}, "x.exe", false, "Foo"},
        ProductCase{"BitnessNotLastStays",
                    {{"FileDescription", "Foo (64-bit) (beta)"}},
                    "x.exe",
                    false,
                    "Foo (64-bit) (beta)"},
        ProductCase{"TrademarkWord",
                    {{"FileDescription", "Foo Viewer (TM)"}},
                    "x.exe",
                    false,
                    "Foo Viewer"},
        ProductCase{
            "TrademarkSign", {{"FileDescription", "Foo\x99 Viewer"}}, "x.exe", false, "Foo Viewer"},
        ProductCase{
            "ForWindowsSuffix", {{"FileDescription", "Foo for Windows"}}, "x.exe", false, "Foo"},
        ProductCase{"ExeSuffix", {{"FileDescription", "footool.exe"}}, "x.exe", false, "footool"},
        ProductCase{"Quoted", {{"FileDescription", "\"Foo\""}}, "x.exe", false, "Foo"},
        ProductCase{"TrailingDot", {{"FileDescription", "Foo Tool."}}, "x.exe", false, "Foo Tool"},
        ProductCase{"TrailingAddresses",
                    {{"FileDescription", "Foo Tool http://foo.example https://foo.example"}},
                    "x.exe",
                    false,
                    "Foo Tool"},
        ProductCase{"WebAddressInsteadOfName",
                    {{"ProductName", "Foo"}, {"FileDescription", "http://foo.example"}},
                    "x.exe",
                    false,
                    "Foo"},
        ProductCase{"TemplateDescription",
                    {{"ProductName", "Foo"}, {"FileDescription", "File Description"}},
                    "x.exe",
                    false,
                    "Foo"},
        ProductCase{
            "EmptyStringsGiveBaseName", {{"Comments", "nothing else"}}, "bar.exe", false, "bar"},
        // Installers.
        ProductCase{"InstallPrefix",
                    {{"FileDescription", "Install Foo"}},
                    "x.exe",
                    false,
                    "Install Foo installer"},
        ProductCase{"SetupOriginalName",
                    {{"FileDescription", "Foo"}, {"OriginalFilename", "setup.exe"}},
                    "x.exe",
                    false,
                    "Foo installer"},
        ProductCase{"TwoInstallerMarks",
                    {{"FileDescription", "Install Foo"}, {"OriginalFilename", "bootstrapper.exe"}},
                    "x.exe",
                    false,
                    "Install Foo installer installer"},
        // Bitness of the image.
        ProductCase{"Pe64MarkerReplacesX64",
                    {{"FileDescription", "Foo x64"}},
                    "x.exe",
                    true,
                    "Foo (64 bits)"},
        ProductCase{"Pe64MarkerNotDoubled",
                    {{"FileDescription", "Foo (64 bits)"}},
                    "x.exe",
                    true,
                    "Foo (64 bits)"},
        ProductCase{"Pe32KeepsX64", {{"FileDescription", "Foo x64"}}, "x.exe", false, "Foo x64"},
        // Question marks and dollar signs.
        ProductCase{
            "DoubleQuestionMarkEmpties", {{"FileDescription", "Foo ??"}}, "x.exe", false, ""},
        ProductCase{"DollarEmpties", {{"FileDescription", "$Tool"}}, "x.exe", false, ""},
        ProductCase{
            "LeadingQuestionMarksRemoved", {{"FileDescription", "??Tool"}}, "x.exe", false, "Tool"},
        ProductCase{"QuestionMarksOfOneVendorRemoved",
                    {{"FileDescription", "Disk?Tool ??"}, {"CompanyName", "Aus?logics"}},
                    "x.exe",
                    false,
                    "DiskTool"},
        // Rows of the product tables.
        ProductCase{"OldSkype",
                    {{"FileDescription", "Skype"}, {"ProductVersion", "7.40.0.151"}},
                    "x.exe",
                    false,
                    "Skype Classic"},
        ProductCase{"NewSkype",
                    {{"FileDescription", "Skype"}, {"ProductVersion", "8.1"}},
                    "x.exe",
                    false,
                    "Skype"},
        ProductCase{"YearEdition",
                    {{"FileDescription", "WISO steuer:Start"}, {"ProductVersion", "2019.1"}},
                    "x.exe",
                    false,
                    "WISO steuer:Start 2019"},
        ProductCase{
            "PrefixRowAlways", {{"FileDescription", "Sysinternals Foo"}}, "x.exe", false, "Foo"},
        ProductCase{"BaseNameRow",
                    {{"FileDescription", "Launcher"}},
                    "EpicGamesLauncher.exe",
                    false,
                    "Epic Games Launcher"},
        ProductCase{
            "ExactCaseRow", {{"FileDescription", "java"}}, "x.exe", false, "Java(TM) Platform SE"},
        ProductCase{"ExactCaseRowOtherCase", {{"FileDescription", "Java"}}, "x.exe", false, "Java"},
        ProductCase{"ReplaceRow",
                    {{"FileDescription", "MPC-BE x64"}},
                    "x.exe",
                    false,
                    "Media Player Classic - Black Edition x64"},
        ProductCase{"GroupCRow",
                    {{"FileDescription", "AsrXTU Service"}},
                    "x.exe",
                    false,
                    "ASRock Extreme Tuning Utility"}),
    [](const testing::TestParamInfo<ProductCase>& i) { return std::string(i.param.name); });

TEST(ProductName, FileWithoutVersionResource) {
    fixtures::TempEnvironment env;
    const std::string folder = env.Folder("plain");
    ASSERT_TRUE(fixtures::WriteTextFile(folder + "notes.exe", "not an image"));
    EXPECT_EQ(DisplayedProductName(folder + "notes.exe"), "notes");
    EXPECT_EQ(DisplayedProductName(folder + "missing.exe"), "missing");

    // Names that only the file's location gives.
    ASSERT_TRUE(fixtures::WriteTextFile(folder + "nsis.exe", "x"));
    EXPECT_EQ(DisplayedProductName(folder + "nsis.exe"), "NSIS");
    const std::string eac = env.Folder("Exact Audio Copy");
    ASSERT_TRUE(fixtures::WriteTextFile(eac + "EAC.exe", "x"));
    EXPECT_EQ(DisplayedProductName(eac + "EAC.exe"), "Exact Audio Copy");
    EXPECT_EQ(DisplayedProductName(folder + "EAC.exe"), "EAC");
}

TEST(ProductName, AirDescriptor) {
    fixtures::TempEnvironment env;
    const std::string app = env.Folder("airapp");
    ASSERT_TRUE(fixtures::WriteTextFile(app + "runner.exe", "no resource"));
    ASSERT_TRUE(fixtures::WriteTextFile(
        app + "META-INF/AIR/application.xml",
        "<application>\r\n  <filename>air-runner</filename>\r\n"
        "  <name>Air Runner</name>\r\n  <copyright>Air Works</copyright>\r\n"
        "  <versionNumber>3.1.4</versionNumber>\r\n</application>\r\n"));
    const TDisplayedFileInfo info = GetDisplayedFileInfo(app + "runner.exe");
    EXPECT_EQ(info.Product, "Air Runner");
    EXPECT_EQ(info.Company, "Air Works");
    EXPECT_EQ(DisplayedVersionText(app + "runner.exe", "", ""), "3.1.4.0");
}

TEST(DisplayedFileInfo, EmptyProductWithCompanyGivesBaseName) {
    fixtures::TempEnvironment env;
    const std::string exe = env.Folder("app") + "odd.exe";
    ASSERT_TRUE(fixtures::WritePeFile(
        exe, fixtures::MakeVersionInfo({{"FileDescription", "Foo ??"}, {"CompanyName", "Acme"}})));
    const TDisplayedFileInfo info = GetDisplayedFileInfo(exe);
    EXPECT_EQ(info.Product, "odd");
    EXPECT_EQ(info.Company, "Acme");
}

TEST(DisplayedFileInfo, ProductCodesNeverReachTheFileSystem) {
    fixtures::TempEnvironment env;
    const TDisplayedFileInfo info = GetDisplayedFileInfo("KLITE64");
    EXPECT_EQ(info.Product, "K-Lite Codec Pack (64-Bits)");
    EXPECT_EQ(info.Company, "K-Lite Codec Pack Team");
    EXPECT_EQ(GetDisplayedFileInfo("HASHTAB").Company, "Implbits Software");
    // The comparison is exact: another case is a path like any other.
    EXPECT_EQ(GetDisplayedFileInfo("klite").Product, "klite");
}

TEST(ReadFileVersionInfo, CommaSeparatedVersionsAndFirstTable) {
    fixtures::TempEnvironment env;
    const std::string exe = env.Folder("app") + "v.exe";
    TVersionInfo info = fixtures::MakeVersionInfo(
        {{"FileDescription", "Outil"}, {"FileVersion", "1, 2, 3, 4"}, {"ProductVersion", "2, 0"}},
        "1.2.3.4", "040C04E4");
    // An English table after the French one, listed first in the translation table.
    TStringTable english;
    english.Name = u"040904B0";
    english.Strings = {{u"FileDescription", u"Tool"}, {u"CompanyName", u"Acme"}};
    info.StringTables.push_back(english);
    info.Translations = {0x04B00409, 0x04E4040C};
    ASSERT_TRUE(fixtures::WritePeFile(exe, info));

    const FileVersionInfoRec r = ReadFileVersionInfo(exe);
    EXPECT_EQ(r.FileDescription, "Outil");
    EXPECT_EQ(r.CompanyName, "");
    EXPECT_EQ(r.FileVersion, "1.2.3.4");
    EXPECT_EQ(r.ProductVersion, "2.0");

    // The fallback reader goes through the first translation entry.
    std::vector<std::string> lines;
    QueryVersionStrings(exe, lines);
    EXPECT_EQ(lines, (std::vector<std::string>{"FileDescription=Tool", "CompanyName=Acme"}));
}

TEST(ReadFileVersionInfo, FallbackWhenFirstTableLacksTheMainStrings) {
    fixtures::TempEnvironment env;
    const std::string exe = env.Folder("app") + "v.exe";
    TVersionInfo info = fixtures::MakeVersionInfo({{"InternalName", "first"}});
    TStringTable second;
    second.Name = u"040704B0";
    second.Strings = {{u"FileDescription", u"Werkzeug"}, {u"LegalCopyright", u"(C) Firma"}};
    info.StringTables.push_back(second);
    info.Translations = {0x04B00407};
    ASSERT_TRUE(fixtures::WritePeFile(exe, info));

    const FileVersionInfoRec r = ReadFileVersionInfo(exe);
    EXPECT_EQ(r.FileDescription, "Werkzeug");
    EXPECT_EQ(r.LegalCopyright, "(C) Firma");
    EXPECT_EQ(r.InternalName, ""); // replaced with the fallback's (missing) value
}

TEST(ReadFileVersionInfo, TextsAreWindows1252) {
    fixtures::TempEnvironment env;
    const std::string exe = env.Folder("app") + "v.exe";
    TVersionInfo info = fixtures::MakeVersionInfo({});
    info.StringTables[0].Strings = {{u"FileDescription", u"Caf\u00e9\u2122 \u4e2d"}};
    ASSERT_TRUE(fixtures::WritePeFile(exe, info));
    EXPECT_EQ(ReadFileVersionInfo(exe).FileDescription, "Caf\xE9\x99 ?");
}

TEST(NativeSystemPath, OnlyTheExactSystemFolderUnderWow64) {
    const std::string system = "C:\\Windows\\system32";
    EXPECT_EQ(NativeSystemPathFor("C:\\Windows\\system32\\notepad.exe", true, system),
              "C:\\Windows\\sysnative\\notepad.exe");
    EXPECT_EQ(NativeSystemPathFor("c:\\windows\\system32\\notepad.exe", true, system),
              "c:\\windows\\system32\\notepad.exe");
    EXPECT_EQ(NativeSystemPathFor("C:\\Windows\\system32\\notepad.exe", false, system),
              "C:\\Windows\\system32\\notepad.exe");
    EXPECT_EQ(NativeSystemPathFor("C:\\Windows\\System32\\a\\System32\\b.dll", true,
                                  "C:\\Windows\\System32"),
              "C:\\Windows\\sysnative\\a\\System32\\b.dll");
    EXPECT_EQ(NativeSystemPathFor("/usr/bin/x", true, ""), "/usr/bin/x");
}

TEST(CleanDisplayText, Passes) {
    EXPECT_EQ(CleanDisplayText("??Tool"), "Tool");
    EXPECT_EQ(CleanDisplayText("Foo - "), "Foo");
    EXPECT_EQ(CleanDisplayText("Foo -  -"), "Foo");
    EXPECT_EQ(CleanDisplayText("@"), "");
    EXPECT_EQ(CleanDisplayText("Foo https://a.example http://b.example"), "Foo");
    EXPECT_EQ(CleanDisplayText("http://only.example"), "http://only.example");
}

TEST(XmlTagValue, LastMatchingLineAndComments) {
    const std::vector<std::string> lines = {"<name>First</name>", "  <NAME>Upper</NAME>  ",
                                            "<!-- <name>Commented</name> -->",
                                            "<filename>f</filename>"};
    // The last line holding the tag (in any case) decides; the cut itself is exact-case.
    EXPECT_EQ(XmlTagValue("name", lines), "Commented");
    EXPECT_EQ(XmlTagValue("filename", lines), "f");
    EXPECT_EQ(XmlTagValue("version", lines), "");
    EXPECT_EQ(XmlTagValue("name", {"<name> Spaced </name>", "<NAME>Other</NAME>"}),
              "<NAME>Other</NAME>");
    EXPECT_EQ(XmlTagValue("name", {"<name> Spaced </name>"}), "Spaced");
}

// The program's own executable, as the update check sees it.
TEST(OwnExecutable, WorkedExample) {
    const std::string exe = HUELET_BUILD_DIR "/huelet";
    if (!WideFileExists(exe))
        GTEST_SKIP() << exe << " is not built";
    fixtures::TempEnvironment env;
    const std::uint64_t keys = uninstall_testing::KeysOpened();
    const FileVersionInfoRec r = ReadFileVersionInfo(exe);
    EXPECT_EQ(r.FileDescription, "Huelet");
    EXPECT_EQ(r.CompanyName, "Norwick Softworks");
    EXPECT_EQ(r.FileVersion, HUELET_VERSION);
    const TDisplayedFileInfo info = GetDisplayedFileInfo(exe);
    EXPECT_EQ(info.Product, "Huelet");
    EXPECT_EQ(info.Company, "Norwick Softworks");
    EXPECT_EQ(DisplayedVersionText(exe, "", ""), HUELET_VERSION);
    // No row is about this program, so the registry is never asked.
    EXPECT_EQ(uninstall_testing::KeysOpened(), keys);
}

} // namespace
