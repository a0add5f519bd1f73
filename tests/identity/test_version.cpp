#include "identity/U_Version.h"

#include "services/text.h"

#include <gtest/gtest.h>

namespace {

struct ParseCase {
    const char* text;
    int major, minor, release, build;
    bool valid;
};

class VersionParse : public testing::TestWithParam<ParseCase> {};

TEST_P(VersionParse, FieldsAndValidity) {
    const ParseCase& c = GetParam();
    TTallyVersion v(c.text);
    EXPECT_EQ(v.Major, c.major);
    EXPECT_EQ(v.Minor, c.minor);
    EXPECT_EQ(v.Release, c.release);
    EXPECT_EQ(v.Build, c.build);
    EXPECT_EQ(v.IsValid(), c.valid);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, VersionParse,
    testing::Values(
        ParseCase{"", 0, 0, 0, 0, false}, ParseCase{".", 0, 0, 0, 0, false},
        ParseCase{"1.2", 1, 2, 0, 0, true}, ParseCase{"1", 1, 0, 0, 0, true},
        ParseCase{"1..3", 1, 0, 3, 0, true}, ParseCase{"1.2.3.4", 1, 2, 3, 4, true},
        // The fourth field runs to the end, further dots included.
        ParseCase{"1.2.3.4.5", 1, 2, 3, 0, true},
        // No trimming: a line break spoils the last field.
        ParseCase{"1.2.3.4\n", 1, 2, 3, 0, true}, ParseCase{"1.2.3.4\r\n", 1, 2, 3, 0, true},
        ParseCase{"1. 2.3.4", 1, 2, 3, 4, true}, ParseCase{"1 .2.3.4", 0, 2, 3, 4, true},
        ParseCase{"\t1.2.3.4", 0, 2, 3, 4, true}, ParseCase{"70000.1.2.3", 0, 1, 2, 3, true},
        ParseCase{"65536.65535.0.0", 0, 65535, 0, 0, true},
        ParseCase{"65535.65535.65535.65535", 65535, 65535, 65535, 65535, true},
        ParseCase{"a.b.c.d", 0, 0, 0, 0, false}, ParseCase{"$10.0.0.0", 16, 0, 0, 0, true},
        ParseCase{"0x10.X1f.+3.-0", 16, 31, 3, 0, true}, ParseCase{"-1.0.0.0", -1, 0, 0, 0, false},
        ParseCase{"-1.2.0.0", -1, 2, 0, 0, true},
        // $FFFFFFFF is -1 and stays (the 65535 rule compares signed).
        ParseCase{"$FFFFFFFF.1.0.0", -1, 1, 0, 0, false},
        ParseCase{"2147483648.1.0.0", 0, 1, 0, 0, true}, ParseCase{"0.0.0.0", 0, 0, 0, 0, false},
        ParseCase{"<html>404</html>", 0, 0, 0, 0, false}));

TEST(Version, ToTextPrintsSignedFields) {
    EXPECT_EQ(TTallyVersion("-1.2.0.0").ToText(), "-1.2.0.0");
    EXPECT_EQ(TTallyVersion("007.1").ToText(), "7.1.0.0");
    EXPECT_EQ(TTallyVersion("").ToText(), "0.0.0.0");
}

TEST(Version, HalvesAndTheirTexts) {
    TTallyVersion v("1.10.4.23");
    EXPECT_EQ(v.HighPart(), 1u * 65536 + 10);
    EXPECT_EQ(v.LowPart(), 4u * 65536 + 23);
    EXPECT_EQ(v.HighText(), "65546");
    EXPECT_EQ(v.LowText(), "262167");

    TTallyVersion max("65535.65535.65535.65535");
    EXPECT_EQ(max.HighText(), "4294967295");
    EXPECT_EQ(max.LowText(), "4294967295");

    // A negative major wraps to a high half above any real version.
    EXPECT_EQ(TTallyVersion("-1.0.0.0").HighPart(), 0xFFFF0000u);

    TTallyVersion fromHalves(1u * 65536 + 10, 4u * 65536 + 23);
    EXPECT_EQ(fromHalves.ToText(), "1.10.4.23");
    EXPECT_EQ(TTallyVersion(0xFFFFFFFFu, 0u).ToText(), "65535.65535.0.0");
}

struct NewerCase {
    const char* mine;
    const char* other;
    bool newer;
};

TEST(Version, IsNewerThanComparesFieldByField) {
    const NewerCase cases[] = {
        {"1.2.3.4", "1.2.3.4", false},  {"1.2.3.5", "1.2.3.4", true},
        {"1.2.3.4", "1.2.3.5", false},  {"1.3.0.0", "1.2.9.9", true},
        {"1.2.9.9", "1.3.0.0", false},  {"2.0.0.0", "1.65535.65535.65535", true},
        {"-1.0.0.0", "0.0.0.0", false}, // signed fields
    };
    for (const NewerCase& c : cases)
        EXPECT_EQ(TTallyVersion(c.mine).IsNewerThan(TTallyVersion(c.other)), c.newer)
            << c.mine << " vs " << c.other;
}

TEST(Version, IsNewerThanPartsComparesUnsignedHalves) {
    const TTallyVersion running("1.10.4.23");
    const NewerCase cases[] = {
        {"1.10.4.24", "", true}, {"1.11.0.0", "", true}, {"1.10.4.23", "", false},
        {"1.9.9.9", "", false},  {"-1.0.0.0", "", true}, // high half 0xFFFF0000
        {"0.0.0.0", "", false},
    };
    for (const NewerCase& c : cases)
        EXPECT_EQ(TTallyVersion(c.mine).IsNewerThanParts(running.HighPart(), running.LowPart()),
                  c.newer)
            << c.mine;
}

} // namespace

namespace {

TEST(Version, StrictFieldConversion) {
    struct Case {
        const char* text;
        int expected; // with default 77
    } const cases[] = {
        {"12", 12},          {"  12", 12},
        {"12 ", 77},         {"\t12", 77},
        {"12\n", 77},        {"+7", 7},
        {"-7", -7},          {"", 77},
        {"-", 77},           {"$", 77},
        {"0x", 77},          {"$1f", 31},
        {"x1F", 31},         {"0X10", 16},
        {"-$10", -16},       {"$FFFFFFFF", -1},
        {"$100000000", 77},  {"2147483647", 2147483647},
        {"2147483648", 77},  {"-2147483648", -2147483647 - 1},
        {"-2147483649", 77}, {"1.5", 77},
        {"1e3", 77},         {"0012", 12},
        {"- 1", 77},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TextToIntDef(c.text, 77), c.expected) << '"' << c.text << '"';
}

} // namespace
