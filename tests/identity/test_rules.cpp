// The company normaliser, the copyright stripper, the rule evaluator, and rows that consult the
// registry only when their texts match.
#include <gtest/gtest.h>

#include "fixtures.h"
#include "identity/U_TallyFct.h"
#include "identity/rules.h"

using fixtures::Strings;

namespace {

struct CompanyCase {
    const char* name;
    Strings strings;
    const char* file;
    const char* company;
};

void PrintTo(const CompanyCase& c, std::ostream* os) {
    *os << c.name;
}

class CompanyName : public testing::TestWithParam<CompanyCase> {};

TEST_P(CompanyName, FromVersionStrings) {
    const CompanyCase& c = GetParam();
    fixtures::TempEnvironment env;
    const std::string exe = env.Folder("app") + c.file;
    ASSERT_TRUE(fixtures::WritePeFile(exe, fixtures::MakeVersionInfo(c.strings, "1.0.0.0")));
    EXPECT_EQ(GetDisplayedFileInfo(exe).Company, c.company);
}

const char kFreeware[] = "Creative Commons License \"by-nc-sa 3.0\", this program is freeware "
                         "under Creative Commons License \"by";
static_assert(sizeof kFreeware - 1 == 100);

INSTANTIATE_TEST_SUITE_P(
    Cases, CompanyName,
    testing::Values(
        CompanyCase{"CopyrightWhenNoCompany",
                    {{"FileDescription", "Foo"}, {"LegalCopyright", "Copyright (C) 2005 Foo Inc."}},
                    "x.exe",
                    "Foo Inc."},
        CompanyCase{"RightsSentence",
                    {{"FileDescription", "Foo"}, {"CompanyName", "Foo Ltd. All Rights Reserved."}},
                    "x.exe",
                    "Foo Ltd"},
        CompanyCase{"TrailingComma",
                    {{"FileDescription", "Foo"}, {"CompanyName", "Foo Corp, "}},
                    "x.exe",
                    "Foo Corp"},
        CompanyCase{
            "TrailingAddress",
            {{"FileDescription", "Foo"}, {"CompanyName", "Foo Software http://www.foo.example/"}},
            "x.exe",
            "Foo Software"},
        CompanyCase{"OnlyAnAddress",
                    {{"FileDescription", "Foo"}, {"CompanyName", "http://www.foo.example/"}},
                    "x.exe",
                    "http://www.foo.example/"},
        CompanyCase{"SecondLine",
                    {{"FileDescription", "Foo"}, {"CompanyName", "Foo Inc.\r\nMore text"}},
                    "x.exe",
                    "Foo Inc."},
        CompanyCase{"Dash", {{"FileDescription", "Foo"}, {"CompanyName", "-"}}, "x.exe", ""},
        CompanyCase{"None", {{"FileDescription", "Foo"}, {"CompanyName", "none"}}, "x.exe", ""},
        CompanyCase{
            "Placeholder", {{"FileDescription", "Foo"}, {"CompanyName", "Company"}}, "x.exe", ""},
        CompanyCase{"LlcAloneIgnored",
                    {{"FileDescription", "Foo"},
                     {"CompanyName", ", LLC"},
                     {"LegalCopyright", "Copyright 2010 Bar LLC"}},
                    "x.exe",
                    "Bar LLC"},
        CompanyCase{"DottedLlc",
                    {{"FileDescription", "Foo"}, {"CompanyName", "Foo L.L.C."}},
                    "x.exe",
                    "Foo LLC"},
        CompanyCase{"OpenParenthesis",
                    {{"FileDescription", "Foo"}, {"CompanyName", "Foo ("}},
                    "x.exe",
                    "Foo"},
        CompanyCase{
            "QuestionMark", {{"FileDescription", "Foo"}, {"CompanyName", "?"}}, "x.exe", ""},
        CompanyCase{"DoubleQuestionMark",
                    {{"FileDescription", "Foo"}, {"CompanyName", "Foo ?? Bar"}},
                    "x.exe",
                    ""},
        CompanyCase{"RegisteredSign",
                    {{"FileDescription", "Foo"}, {"CompanyName", "Foo\xAE"}},
                    "x.exe",
                    "Foo"},
        CompanyCase{"Licence",
                    {{"FileDescription", "Foo"}, {"CompanyName", "GNU General Public License"}},
                    "x.exe",
                    ""},
        CompanyCase{"MailAddress",
                    {{"FileDescription", "Foo"}, {"CompanyName", "Jane Doe <jane@example.org>"}},
                    "x.exe",
                    "Jane Doe"},
        CompanyCase{"AuthorPrefix",
                    {{"FileDescription", "Foo"}, {"CompanyName", "Author: Jane Doe"}},
                    "x.exe",
                    "Jane Doe"},
        // These two generic rows test the beginning ignoring case, as the other rows do.
        CompanyCase{"FreeSoftwareFoundationAnyCase",
                    {{"FileDescription", "Foo"}, {"CompanyName", "free software foundation, Inc."}},
                    "x.exe",
                    ""},
        CompanyCase{"TemplatePlaceholderAnyCase",
                    {{"FileDescription", "Foo"}, {"CompanyName", "Todo: your company name"}},
                    "x.exe",
                    ""},
        CompanyCase{"FreewareNotice",
                    {{"FileDescription", "Foo"}, {"CompanyName", kFreeware}},
                    "x.exe",
                    ""},
        CompanyCase{"VendorRow",
                    {{"FileDescription", "Foo"}, {"CompanyName", "Microsoft Corporation"}},
                    "x.exe",
                    "Microsoft"},
        CompanyCase{"ExactVendorRow",
                    {{"FileDescription", "Foo"}, {"CompanyName", "HP"}},
                    "x.exe",
                    "Hewlett-Packard"},
        CompanyCase{"ExactVendorRowOtherCase",
                    {{"FileDescription", "Foo"}, {"CompanyName", "hp"}},
                    "x.exe",
                    "hp"},
        CompanyCase{"ProductRow", {{"FileDescription", "Nsis"}}, "nsis.exe", "NSIS Team"}),
    [](const testing::TestParamInfo<CompanyCase>& i) { return std::string(i.param.name); });

struct StripCase {
    const char* in;
    const char* out;
};

class StripCopyright : public testing::TestWithParam<StripCase> {};

TEST_P(StripCopyright, Phrases) {
    EXPECT_EQ(StripCopyrightPhrases(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(Texts, StripCopyright,
                         testing::Values(StripCase{"Copyright (C) 2005 Foo Inc.", "Foo Inc."},
                                         StripCase{"Foo Ltd. All Rights Reserved.", "Foo Ltd"},
                                         StripCase{"\xA9 2001-2019 Foo GmbH", "Foo GmbH"},
                                         StripCase{"Foo Corp 2019", "Foo Corp"},
                                         StripCase{"2003/2004 Foo", "Foo"},
                                         StripCase{"Foo, All Rights Reserved", "Foo"},
                                         StripCase{"Copyright\xC2\xA9 Foo", "Foo"},
                                         StripCase{"Foo Software 2012.", "Foo Software"},
                                         StripCase{"Foo released under the GPL", "Foo released"},
                                         StripCase{"Norwick Softworks", "Norwick Softworks"},
                                         StripCase{"By Jane Doe", "Jane Doe"}, StripCase{"", ""}));

// The evaluator: rows in order, each seeing the earlier rows' result, final rows ending.
TEST(RuleEvaluator, OrderAndFinalRows) {
    using namespace rules;
    using namespace rules::in;
    const Table rows = {
        {P.Is("foo"), Set("Foo Tool")},
        {P.Begins("Foo"), Append(" Pro")},
        {P.IsExactly("Foo Tool Pro"), Set("done"), Final::IfNonEmpty},
        {Always(), Set("not reached")},
    };
    RuleContext ctx(Target::Product, "/nowhere/foo.exe");
    ctx.P = "FOO";
    EXPECT_TRUE(RunRules(rows, ctx));
    EXPECT_EQ(ctx.P, "done");

    ctx.P = "bar";
    EXPECT_FALSE(RunRules(rows, ctx));
    EXPECT_EQ(ctx.P, "not reached");

    // A final row that leaves an empty value lets the list go on unless it always ends.
    const Table empties = {{Always(), Clear(), Final::IfNonEmpty},
                           {Always(), Set("x")},
                           {Always(), Clear(), Final::Yes},
                           {Always(), Set("y")}};
    EXPECT_TRUE(RunRules(empties, ctx));
    EXPECT_EQ(ctx.P, "");
}

TEST(RuleEvaluator, Predicates) {
    using namespace rules;
    using namespace rules::in;
    RuleContext ctx(Target::Company, "/nowhere/Tool.exe");
    ctx.C = "Foo Bar Software";
    ctx.P = "Thing 2019";
    EXPECT_TRUE(C.Like("foo*soft?are").Test(ctx));
    EXPECT_FALSE(C.Like("foo*soft").Test(ctx));
    EXPECT_TRUE(C.WordsAtLeast(3).Test(ctx));
    EXPECT_TRUE((E.Is("tool") && !C.HasExactly("bar")).Test(ctx));
    EXPECT_TRUE(Major(V).Between(0, 0).Test(ctx));
    EXPECT_TRUE(N.IsExactly("Tool.exe").Test(ctx));
    EXPECT_TRUE(F.Ends("/nowhere/").Test(ctx));
    Action a = Then({ReplaceIgnoringCase("BAR ", ""), Prepend("The "), DropSuffix(" software")});
    a.Run(ctx);
    EXPECT_EQ(ctx.C, "The Foo");
}

// Rows look at files and the registry only after their texts match.
class RegistryRows : public testing::Test {
  protected:
    std::string Exe(const std::string& File, const Strings& S,
                    const std::string& Fixed = "1.0.0.0") {
        const std::string path = env.Folder("app") + File;
        EXPECT_TRUE(fixtures::WritePeFile(path, fixtures::MakeVersionInfo(S, Fixed)));
        return path;
    }
    void Machine(const std::string& Key, const std::string& Name, const std::string& Version) {
        const std::string text =
            "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\"
            "CurrentVersion\\Uninstall\\" +
            Key + "]\r\n\"DisplayName\"=\"" + Name + "\"\r\n\"DisplayVersion\"=\"" + Version +
            "\"\r\n";
        ASSERT_TRUE(fixtures::WriteTextFile(env.Root() + "machine/" + Key + ".reg", text));
    }
    fixtures::TempEnvironment env;
};

TEST_F(RegistryRows, NoRegistryAccessForAnExecutableNoRowIsAbout) {
    Machine("m", "Macrium Reflect Free Edition", "8.0");
    const std::string exe = Exe("plain.exe",
                                {{"FileDescription", "Plain Tool"},
                                 {"CompanyName", "Acme Ltd"},
                                 {"FileVersion", "2.0.0.0"},
                                 {"ProductVersion", "2.1"}},
                                "2.0.0.0");
    const std::uint64_t before = uninstall_testing::KeysOpened();
    const TDisplayedFileInfo info = GetDisplayedFileInfo(exe);
    EXPECT_EQ(info.Product, "Plain Tool");
    EXPECT_EQ(info.Company, "Acme Ltd");
    EXPECT_EQ(DisplayedVersionText(exe, "", ""), "2.1.0.0");
    EXPECT_EQ(uninstall_testing::KeysOpened(), before);

    // The same machinery asks the registry once a row's texts match.
    const std::string mb = Exe("mbam.exe", {{"FileDescription", "Malwarebytes"}});
    EXPECT_EQ(DisplayedProductName(mb), "Malwarebytes");
    Machine("mb", "Malwarebytes Anti-Malware version 2.2.1.1043", "2.2.1.1043");
    EXPECT_EQ(DisplayedProductName(mb), "Malwarebytes Anti-Malware");
    EXPECT_EQ(DisplayedVersionText(mb, "", ""), "2.2.1.1043");
    const std::string macrium = Exe("reflect.exe", {{"FileDescription", "Macrium Reflect"}});
    EXPECT_EQ(DisplayedProductName(macrium), "Macrium Reflect Free");
    EXPECT_GT(uninstall_testing::KeysOpened(), before);
}

// A lookup helper that finds nothing answers "", so its final row does not fire and the
// executable's own version stands.
TEST_F(RegistryRows, HelpersThatFindNothingLeaveTheFixedVersion) {
    const std::string office =
        Exe("soffice.exe", {{"FileDescription", "OpenOffice Writer"}}, "4.1.0.0");
    EXPECT_EQ(DisplayedVersionText(office, "", ""), "4.1.0.0");

    const std::string mb = Exe("mbam.exe", {{"FileDescription", "Malwarebytes"}}, "4.0.0.0");
    ASSERT_TRUE(fixtures::WriteTextFile(env.Folder("app") + "changes.txt", "Release notes\r\n"));
    EXPECT_EQ(DisplayedVersionText(mb, "", ""), "4.0.0.0");

    // Once the registry knows the product, the row's answer wins over the fixed version.
    Machine("oo", "OpenOffice 4.1.14", "4.1.14");
    EXPECT_EQ(DisplayedVersionText(office, "", ""), "4.1.14.14");
}

TEST_F(RegistryRows, VersionRowsFromTheRegistry) {
    Machine("j", "JDownloader 2", "2.0.1");
    Machine("n", "Nullsoft Install System", "v3.08");
    Machine("g", "GIMP 2.10.34", "2.10.34");
    EXPECT_EQ(
        DisplayedVersionText(Exe("JDownloader2.exe", {{"FileDescription", "JDownloader"}}), "", ""),
        "2.0.1.0");
    // No version resource at all: the fixed version is empty, and a row fills it in.
    ASSERT_TRUE(fixtures::WriteTextFile(env.Folder("nsis") + "nsis.exe", "stub"));
    EXPECT_EQ(DisplayedVersionText(env.Root() + "nsis/nsis.exe", "", ""), "3.8.0.0");
    EXPECT_EQ(
        DisplayedVersionText(Exe("gimp-2.10.exe", {{"FileDescription", "GNU Image"}}), "", ""),
        "2.10.34.0");
}

} // namespace
