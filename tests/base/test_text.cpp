// ASCII folding, the text conversions and the scope guard.
#include "base/ascii.h"
#include "base/encoding.h"
#include "base/scope_guard.h"

#include <gtest/gtest.h>

namespace {

TEST(Ascii, FoldsOnlyAsciiLetters) {
    // UTF-8 and Windows-1252 letters, digits and punctuation pass unchanged.
    const std::string mixed = "AbZz@[`{09 \xc3\x89\xe9\xc9\xff";
    EXPECT_EQ(base::LowerAscii(mixed), "abzz@[`{09 \xc3\x89\xe9\xc9\xff");
    EXPECT_EQ(base::UpperAscii(mixed), "ABZZ@[`{09 \xc3\x89\xe9\xc9\xff");
    EXPECT_EQ(base::LowerAsciiChar(u'\u00c9'), u'\u00c9');
    EXPECT_EQ(base::LowerAsciiChar(u'Q'), u'q');

    const struct {
        std::string a, b;
        int order; // sign of the comparison
    } cases[] = {
        {"Software", "SOFTWARE", 0},
        {"", "", 0},
        {"a", "B", -1},      // folded before comparing: 'a' < 'b'
        {"_", "a", -1},      // '_' (0x5F) sorts before 'a', though after 'A'
        {"ab", "AB c", -1},  // a prefix sorts first
        {"\xe9", "\xc9", 1}, // Windows-1252 letters are not folded; bytes compare unsigned
        {"\xc3\xa9", "e", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.a + " / " + c.b);
        EXPECT_EQ(base::EqualsIgnoringAsciiCase(c.a, c.b), c.order == 0);
        const int order = base::CompareIgnoringAsciiCase(c.a, c.b);
        EXPECT_EQ((order > 0) - (order < 0), c.order);
        const int reverse = base::CompareIgnoringAsciiCase(c.b, c.a);
        EXPECT_EQ((reverse > 0) - (reverse < 0), -c.order);
    }
    EXPECT_TRUE(base::EqualsIgnoringAsciiCase(u"FileVersion", u"fileversion"));
    EXPECT_FALSE(base::EqualsIgnoringAsciiCase(u"\u00e9", u"\u00c9"));
    EXPECT_TRUE(base::StartsWithIgnoringAsciiCase("HKEY_Current_User", "hkey_"));
    EXPECT_FALSE(base::StartsWithIgnoringAsciiCase("HK", "hkey_"));
    EXPECT_TRUE(base::EndsWithIgnoringAsciiCase("hive.REG", ".reg"));
    EXPECT_FALSE(base::EndsWithIgnoringAsciiCase("reg", ".reg"));
}

TEST(Encoding, Windows1252WithQuestionMarks) {
    struct Case {
        std::u16string In;
        std::string Out;
    } cases[] = {
        {u"Plain ASCII", "Plain ASCII"},
        {u"\u00e9\u00a9\u00ae\u00ff\u00a0", "\xe9\xa9\xae\xff\xa0"},
        {u"\u20ac\u2122\u0152\u0178\u201c\u201d", "\x80\x99\x8c\x9f\x93\x94"},
        {u"\u0081\u008d\u008f\u0090\u009d", "\x81\x8d\x8f\x90\x9d"}, // kept as Windows does
        {u"\u0080\u0100\u4e2d", "???"},
        {u"a\U0001F600b", "a?b"}, // one character, one "?"
        {u"a\xd800"
         u"b",
         "a?b"}, // lone surrogate
        {std::u16string(u"a\0b", 3), std::string("a\0b", 3)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(base::Utf16ToWindows1252(c.In), c.Out);
    // Every byte comes back as itself, the undefined slots included.
    std::string every;
    for (int b = 0; b < 256; ++b)
        every.push_back(static_cast<char>(b));
    EXPECT_EQ(base::Utf16ToWindows1252(base::Windows1252ToUtf16(every)), every);
    EXPECT_EQ(base::Windows1252ToUtf8("Caf\xe9\x99\x80\x81"),
              "Caf\xc3\xa9\xe2\x84\xa2\xe2\x82\xac\xc2\x81");
}

TEST(Encoding, Utf16AndUtf8) {
    EXPECT_EQ(base::Utf8ToUtf16("Soci\xc3\xa9t\xc3\xa9 \xf0\x9f\x98\x80"),
              u"Soci\u00e9t\u00e9 \U0001F600");
    EXPECT_EQ(base::Utf16ToUtf8(u"Soci\u00e9t\u00e9 \U0001F600"),
              "Soci\xc3\xa9t\xc3\xa9 \xf0\x9f\x98\x80");
    EXPECT_EQ(base::Utf8ToUtf16("a\xff"
                                "b\xc3"),
              u"a\ufffdb\ufffd");
    EXPECT_EQ(base::Utf8ToUtf16("\xc0\xaf\xed\xa0\x80\xf4\x90\x80\x80"), // overlong, surrogate,
              u"\ufffd\ufffd\ufffd");                                    // beyond U+10FFFF
    EXPECT_EQ(base::Utf16ToUtf8(u"x\xdc00y\xd800"), "x\xef\xbf\xbdy\xef\xbf\xbd");
    // Little-endian bytes, as the hive's hex(2) and hex(7) values hold them.
    EXPECT_EQ(base::Utf16LeBytesToUtf8(std::string("A\0\xe9\0\x3d\xd8\x00\xde!", 9)),
              "A\xc3\xa9\xf0\x9f\x98\x80");
}

TEST(ScopeGuard, RunsOnEveryExitUnlessDismissed) {
    int runs = 0;
    {
        base::ScopeGuard guard([&] { ++runs; });
    }
    try {
        base::ScopeGuard guard([&] { ++runs; });
        throw 1;
    } catch (int) {
    }
    {
        base::ScopeGuard guard([&] { ++runs; });
        guard.Dismiss();
    }
    EXPECT_EQ(runs, 2);
}

} // namespace
