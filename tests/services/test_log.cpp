#include "platform/shell.h"
#include "services/U_Log.h"

#include "testenv.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using testenv::ReadAll;
using testenv::Write;

// 9 March 2024 14:05:31 UTC.
constexpr std::time_t kSample = 1709993131;

// Own temporary folder and a fixed UTC clock; restores the environment afterwards.
class LogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        had_tz_ = tz != nullptr;
        old_tz_ = tz ? tz : "";
        setenv("TZ", "UTC0", 1);
        tzset();
    }
    void TearDown() override {
        SetShellLauncherForTests(nullptr);
        if (had_tz_)
            setenv("TZ", old_tz_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    std::string LogPath() const { return (dir_ / "Huelet.log").string(); }
    static void FixClock(TKLog& log) {
        log.SetClock([] { return kSample; });
    }

    testenv::TempDir temp_{"log"};
    fs::path dir_ = temp_.Root();
    bool had_tz_ = false;
    std::string old_tz_;
};

TEST_F(LogTest, LineFormatPerLevel) {
    struct Case {
        int level;
        std::string text;
        std::string expected;
    } cases[] = {
        {1, "Starting", "Info\t[24-03-09 14:05:31]\tStarting"},
        {0, "detail", "Verbose\t[24-03-09 14:05:31]\tdetail"},
        {2, "server down", "Error\t[24-03-09 14:05:31]\tserver down"},
        {7, "clamped", "Error\t[24-03-09 14:05:31]\tclamped"},
        {1, "", "Info\t[24-03-09 14:05:31]\t"},
        {1, "tab\tand caf\xc3\xa9", "Info\t[24-03-09 14:05:31]\ttab\tand caf\xc3\xa9"},
    };
    for (const Case& c : cases) {
        TKLog log(LogPath(), true, 10000, false);
        FixClock(log);
        log.AddLine(c.text, c.level);
        ASSERT_EQ(log.Lines().size(), 1u) << c.level;
        EXPECT_EQ(log.Lines()[0], c.expected);
    }
}

TEST_F(LogTest, TimeTextPadsEveryField) {
    // 5 January 2009 03:04:05 UTC.
    EXPECT_EQ(TKLog::TimeText(1231124645), "[09-01-05 03:04:05]");
}

TEST_F(LogTest, NonVerboseLogDropsLevelZeroAndWritesNothingUntilSaved) {
    TKLog log(LogPath(), false, 10000, false);
    FixClock(log);
    log.AddLine("kept", 1);
    log.AddLine("dropped", 0);
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_EQ(log.Lines()[0], "Info\t[24-03-09 14:05:31]\tkept");
    EXPECT_FALSE(fs::exists(LogPath()));
}

TEST_F(LogTest, VerboseLogSavesAfterEveryLine) {
    TKLog log(LogPath(), true, 10000, false);
    FixClock(log);
    log.AddLine("one", 0);
    EXPECT_EQ(ReadAll(LogPath()), "Verbose\t[24-03-09 14:05:31]\tone\r\n");
    log.AddLine("two", 1);
    EXPECT_EQ(ReadAll(LogPath()), "Info\t[24-03-09 14:05:31]\ttwo\r\n"
                                  "Verbose\t[24-03-09 14:05:31]\tone\r\n");
}

TEST_F(LogTest, FileIsNewestFirstWithCrLfAndLeavesNoTemporaryFile) {
    TKLog log(LogPath(), false, 10000, false);
    FixClock(log);
    log.AddLine("first", 1);
    log.AddLine("second", 2);
    log.AddLine("two\nlines", 1);
    ASSERT_TRUE(log.Save());
    EXPECT_EQ(ReadAll(LogPath()), "Info\t[24-03-09 14:05:31]\ttwo\nlines\r\n"
                                  "Error\t[24-03-09 14:05:31]\tsecond\r\n"
                                  "Info\t[24-03-09 14:05:31]\tfirst\r\n");
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"Huelet.log"});
}

TEST_F(LogTest, LineLimitRemovesTheOldestLine) {
    TKLog log(LogPath(), false, 10000, false);
    FixClock(log);
    for (int i = 1; i <= 10001; ++i)
        log.AddLine(std::to_string(i), 1);
    ASSERT_EQ(log.Lines().size(), 10000u);
    EXPECT_EQ(log.Lines().front(), "Info\t[24-03-09 14:05:31]\t10001");
    EXPECT_EQ(log.Lines().back(), "Info\t[24-03-09 14:05:31]\t2");
}

TEST_F(LogTest, LoadedListAboveTheLimitShrinksByOneLinePerAddedLine) {
    Write(LogPath(), "e\r\nd\r\nc\r\nb\r\na\r\n");
    TKLog log(LogPath(), false, 3, true);
    FixClock(log);
    ASSERT_EQ(log.Lines(), (std::deque<std::string>{"e", "d", "c", "b", "a"}));
    log.AddLine("new", 1);
    EXPECT_EQ(log.Lines(),
              (std::deque<std::string>{"Info\t[24-03-09 14:05:31]\tnew", "e", "d", "c", "b"}));
}

TEST_F(LogTest, WithoutLoadingTheFirstSaveReplacesAnOldFile) {
    Write(LogPath(), "old run\r\n");
    {
        TKLog log(LogPath(), false, 10000, false);
        FixClock(log);
        EXPECT_TRUE(log.Lines().empty());
        EXPECT_EQ(ReadAll(LogPath()), "old run\r\n");
        log.AddLine("new run", 1);
    } // destruction saves
    EXPECT_EQ(ReadAll(LogPath()), "Info\t[24-03-09 14:05:31]\tnew run\r\n");
}

TEST_F(LogTest, SaveIntoAMissingFolderFailsQuietlyAndKeepsTheLines) {
    const std::string path = (dir_ / "gone" / "Huelet.log").string();
    TKLog log(path, true, 10000, false);
    log.AddLine("still here", 1); // verbose: saves, and must not throw
    EXPECT_FALSE(log.Save());
    EXPECT_EQ(log.Lines().size(), 1u);
    EXPECT_FALSE(fs::exists(dir_ / "gone"));
}

TEST_F(LogTest, OpenFileSavesThenAsksTheShellEvenWhenTheFileCannotBeWritten) {
    std::vector<std::string> opened;
    SetShellLauncherForTests([&](const std::string& target) {
        opened.push_back(target);
        return false; // the shell's answer is ignored
    });
    TKLog log(LogPath(), false, 10000, false);
    log.AddLine("x", 1);
    log.OpenFile();
    EXPECT_TRUE(fs::exists(LogPath()));

    const std::string missing = (dir_ / "gone" / "Huelet.log").string();
    TKLog orphan(missing, false, 10000, false);
    orphan.OpenFile();
    EXPECT_EQ(opened, (std::vector<std::string>{LogPath(), missing}));
    EXPECT_FALSE(fs::exists(missing));
}

} // namespace
