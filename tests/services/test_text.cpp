#include "services/text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

namespace {

struct ClampCase {
    std::string text;
    long long count;
    std::string left, right;
};

TEST(TextTest, LeftAndRightClampTheirCount) {
    const ClampCase cases[] = {
        {"abc", 5, "abc", "abc"},         {"abc", -1, "", ""}, {"abc", 0, "", ""},
        {"abc", 2, "ab", "bc"},           {"", 3, "", ""},     {"abc", LLONG_MIN, "", ""},
        {"abc", LLONG_MAX, "abc", "abc"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LeftText(c.text, c.count), c.left) << c.text << " " << c.count;
        EXPECT_EQ(RightText(c.text, c.count), c.right) << c.text << " " << c.count;
    }
}

struct AffixCase {
    std::string text, affix;
    bool starts, ends, exact;
};

TEST(TextTest, PrefixAndSuffixTestsFoldOnlyAsciiCase) {
    const AffixCase cases[] = {
        {"anything", "", true, true, true},
        {"", "", true, true, true},
        {"", "a", false, false, false},
        {"Setup.EXE", "setup", true, false, false},
        {"Setup.EXE", ".exe", false, true, false},
        {"Setup.EXE", "Setup", true, false, true},
        {"ab", "abc", false, false, false},
        // Accented letters of the code page are not folded: 0xC9 vs 0xE9.
        {"\xc9t\xe9", "\xe9t\xe9", false, false, false},
        {"\xc9t\xe9", "\xc9T\xc9", false, false, false},
        // '@' and '`' sit next to the letters and must not be folded onto them.
        {"@x", "`x", false, false, false},
        {"[x", "{x", false, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TextStartsWith(c.text, c.affix), c.starts) << c.text << " / " << c.affix;
        EXPECT_EQ(TextEndsWith(c.text, c.affix), c.ends) << c.text << " / " << c.affix;
        EXPECT_EQ(StartsWithExact(c.text, c.affix), c.exact) << c.text << " / " << c.affix;
    }
}

TEST(TextTest, OccursInTextTakesThePartFirst) {
    EXPECT_TRUE(OccursInText("SOFT", "Norwick Softworks"));
    EXPECT_FALSE(OccursInText("Norwick Softworks", "SOFT"));
    EXPECT_FALSE(OccursInText("", "Norwick Softworks"));
    EXPECT_FALSE(OccursInText("", ""));
    EXPECT_FALSE(OccursInText("\xe9", "\xc9"));
    EXPECT_TRUE(OccursInText(std::string("a\0b", 3), std::string("xA\0By", 5)));
}

TEST(TextTest, RemovePrefixAndSuffix) {
    struct Case {
        std::string text, affix, withoutPrefix, withoutSuffix;
    } cases[] = {
        {"Setup.EXE", ".exe", "Setup.EXE", "Setup"},
        {"ab", "abc", "ab", "ab"},
        {"ABC", "abc", "", ""},
        {"abc", "", "abc", "abc"},
        {"", "", "", ""},
        {"Norwick Softworks Huelet", "norwick softworks ", "Huelet", "Norwick Softworks Huelet"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RemovePrefix(c.text, c.affix), c.withoutPrefix) << c.text << " / " << c.affix;
        EXPECT_EQ(RemoveSuffix(c.text, c.affix), c.withoutSuffix) << c.text << " / " << c.affix;
    }
}

TEST(TextTest, TextAfterAndBeforeUseTheFirstExactMarker) {
    struct Case {
        std::string text, marker, after, before;
    } cases[] = {
        {"a=b=c", "=", "b=c", "a"},
        {"a=b=c", ":", "a=b=c", "a=b=c"},
        {"a=b=c", "", "a=b=c", "a=b=c"},
        {"v1.2 Build", "build", "v1.2 Build", "v1.2 Build"},
        {"v1.2 Build 7", "Build ", "7", "v1.2 "},
        {"=", "=", "", ""},
        {"", "=", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TextAfter(c.text, c.marker), c.after) << c.text << " / " << c.marker;
        EXPECT_EQ(TextBefore(c.text, c.marker), c.before) << c.text << " / " << c.marker;
    }
}

TEST(TextTest, FieldCountAndFieldAt) {
    EXPECT_EQ(FieldCount("", " "), 0);
    EXPECT_EQ(FieldCount("one", " "), 1);
    EXPECT_EQ(FieldCount("two words", " "), 2);
    EXPECT_EQ(FieldCount("two  words", " "), 3);
    EXPECT_EQ(FieldCount(" ", " "), 2);
    EXPECT_EQ(FieldCount("1.2-3", ".-"), 3);
    EXPECT_EQ(FieldCount("abc", ""), 1);

    struct Case {
        std::string text;
        int index;
        std::string separators, field;
    } cases[] = {
        {"a,,b", 2, ",", "b"}, {"a,,b", 1, ",", ""}, {"a,,b", 0, ",", "a"}, {",a", 0, ",", ""},
        {",a", 1, ",", "a"},   {"a,b", 5, ",", ""},  {"a,b", -1, ",", ""},  {"1.2-3", 2, ".-", "3"},
        {"abc", 0, "", "abc"}, {"", 0, ",", ""},     {"x y", 1, " ", "y"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FieldAt(c.text, c.index, c.separators), c.field) << c.text << " #" << c.index;

    // The last field is reached through FieldCount - 1, even when it is empty.
    for (const std::string text : {"a b c", "a b ", "single"})
        EXPECT_EQ(FieldAt(text, FieldCount(text, " ") - 1, " "),
                  text.substr(text.rfind(' ') == std::string::npos ? 0 : text.rfind(' ') + 1));
}

TEST(TextTest, StripTrailingUrls) {
    struct Case {
        std::string text, stripped;
    } cases[] = {
        {"Huelet http://a.example https://b.example", "Huelet"},
        {"Huelet https://b.example http://a.example", "Huelet"},
        {"Huelet HTTP://A.EXAMPLE", "Huelet"},
        {"Huelet  \t http://a.example", "Huelet"},
        {"http://only.example", "http://only.example"},
        {"https://a.example http://b.example", "https://a.example"},
        {"Huelet http://a.example ", "Huelet http://a.example "},
        {"Huelet ftp://a.example", "Huelet ftp://a.example"},
        {"Huelet http://a http://b http://c https://d https://e", "Huelet"},
        {"", ""},
        {"Huelet", "Huelet"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StripTrailingUrls(c.text), c.stripped) << c.text;

    // Many addresses must not exhaust anything.
    std::string many = "Product";
    for (int i = 0; i < 1000; ++i)
        many += (i % 2) ? " https://x" : " http://y";
    EXPECT_EQ(StripTrailingUrls(many), "Product");
}

TEST(TextTest, TrimAndCaseFolding) {
    EXPECT_EQ(TrimText(" \t\r\n a b \x01"), "a b");
    EXPECT_EQ(TrimText("   "), "");
    EXPECT_EQ(TrimText("\xa0x\xa0"), "\xa0x\xa0"); // bytes above 127 are not blanks
    EXPECT_EQ(LowerAscii("AbZ@[\xc9"), "abz@[\xc9");
    EXPECT_EQ(UpperAscii("abz`{\xe9"), "ABZ`{\xe9");
    EXPECT_TRUE(SameTextAscii("HUELET", "huelet"));
    EXPECT_FALSE(SameTextAscii("huelet", "huelet "));
}

TEST(TextTest, MaxOf) {
    EXPECT_EQ(MaxOf(-5, -7), -5);
    EXPECT_EQ(MaxOf(3, 3), 3);
    EXPECT_EQ(MaxOf(INT64_MIN, INT64_MAX), INT64_MAX);
}

TEST(TextTest, ProfileTextToIntDefAcceptsDecimalAndHexOnly) {
    struct Case {
        std::string text;
        int expected;
    } cases[] = {
        {"42", 42},
        {"-42", -42},
        {"+7", 7},
        {" 12 ", 12},
        {"0x20", 32},
        {"0X20", 32},
        {"$1f", 31},
        {"$FFFFFFFF", -1},
        {"0x80000000", INT_MIN},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        {"2147483648", 99},
        {"-2147483649", 99},
        {"0x100000000", 99},
        {"abc", 99},
        {"", 99},
        {"   ", 99},
        {"0x", 99},
        {"$", 99},
        {"-", 99},
        {"12abc", 99},
        {"1 2", 99},
        {"-0x10", 99},
        {"0x-1", 99},
        {"1e3", 99},
        {"0xG", 99},
        {"007", 7},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProfileTextToIntDef(c.text, 99), c.expected) << "'" << c.text << "'";

    int untouched = 5;
    EXPECT_FALSE(TryProfileTextToInt("abc", untouched));
    EXPECT_EQ(untouched, 5);
}

} // namespace
