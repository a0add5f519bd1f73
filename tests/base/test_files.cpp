// The one file reader and the one file-replacement routine, against every kind of target.
#include "base/files.h"
#include "testenv.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using testenv::ReadAll;
using testenv::Write;

namespace {

mode_t ModeOf(const std::string& Path) {
    struct stat st {};
    return ::stat(Path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

std::vector<std::string> Names(const std::string& Folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(Folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class UmaskScope {
  public:
    explicit UmaskScope(mode_t Mask) : old_(::umask(Mask)) {}
    ~UmaskScope() { ::umask(old_); }

  private:
    mode_t old_;
};

enum class Outcome { Written, Refused };

struct Target {
    const char* what;
    std::function<void(const testenv::TempDir&)> prepare;
    const char* path; // what the routine is given
    Outcome outcome;
    const char* lands; // where the bytes are read back (Written) / what must be unchanged
    mode_t mode;       // permission bits of lands afterwards (Written)
    std::vector<std::string> names; // the folder afterwards: nothing else is left behind
    std::optional<base::IoStep> step = std::nullopt;
};

const std::vector<Target>& Targets() {
    static const std::vector<Target> targets = {
        {"new file", [](auto&) {}, "out", Outcome::Written, "out", 0640, {"out"}},
        {"existing file with mode 0600",
         [](auto& d) {
             Write(d.Path("out"), "old");
             ::chmod(d.Path("out").c_str(), 0600);
         },
         "out",
         Outcome::Written,
         "out",
         0600,
         {"out"}},
        {"symbolic link to a file",
         [](auto& d) {
             fs::create_directory(d.Path("real"));
             Write(d.Path("real/file"), "old");
             ::chmod(d.Path("real/file").c_str(), 0604);
             fs::create_symlink("real/file", d.Path("link"));
         },
         "link",
         Outcome::Written,
         "real/file",
         0604,
         {"link", "real"}},
        {"chain of links",
         [](auto& d) {
             Write(d.Path("file"), "old");
             fs::create_symlink("file", d.Path("second"));
             fs::create_symlink(d.Path("second"), d.Path("first"));
         },
         "first",
         Outcome::Written,
         "file",
         0640,
         {"file", "first", "second"}},
        {"dangling link: the file it names is created",
         [](auto& d) { fs::create_symlink("missing", d.Path("link")); },
         "link",
         Outcome::Written,
         "missing",
         0640,
         {"link", "missing"}},
        {"dangling link into a missing folder",
         [](auto& d) { fs::create_symlink("nowhere/missing", d.Path("link")); },
         "link",
         Outcome::Refused,
         nullptr,
         0,
         {"link"},
         base::IoStep::Create},
        {"missing folder",
         [](auto&) {},
         "nowhere/out",
         Outcome::Refused,
         nullptr,
         0,
         {},
         base::IoStep::Create},
        {"folder",
         [](auto& d) {
             fs::create_directory(d.Path("out"));
             Write(d.Path("out/inside"), "kept");
         },
         "out",
         Outcome::Refused,
         "out/inside",
         0,
         {"out"},
         base::IoStep::Replace},
        {"link to a folder",
         [](auto& d) {
             fs::create_directory(d.Path("real"));
             fs::create_directory_symlink("real", d.Path("link"));
         },
         "link",
         Outcome::Refused,
         nullptr,
         0,
         {"link", "real"},
         base::IoStep::Replace},
        {"FIFO",
         [](auto& d) { ASSERT_EQ(::mkfifo(d.Path("out").c_str(), 0600), 0); },
         "out",
         Outcome::Refused,
         nullptr,
         0,
         {"out"},
         base::IoStep::Replace},
        {"path ending in a slash",
         [](auto&) {},
         "out/",
         Outcome::Refused,
         nullptr,
         0,
         {},
         base::IoStep::Replace},
    };
    return targets;
}

TEST(ReplaceFile, EveryKindOfTarget) {
    const UmaskScope mask(027);
    const std::string bytes = std::string("new\0bytes\r\n", 11) + std::string(100000, 'x');
    for (const bool streaming : {false, true}) {
        for (const Target& t : Targets()) {
            SCOPED_TRACE(std::string(t.what) + (streaming ? " (streaming)" : ""));
            const testenv::TempDir dir("base-replace");
            t.prepare(dir);
            const std::string before = t.lands ? ReadAll(dir.Path(t.lands)) : std::string();
            const std::string path = dir.Path(t.path);
            try {
                if (streaming) {
                    base::FileReplacement file(path);
                    file.Write(bytes.substr(0, 5));
                    std::fwrite(bytes.data() + 5, 1, bytes.size() - 5, file.Stream());
                    file.Commit();
                } else {
                    base::ReplaceFile(path, bytes);
                }
                EXPECT_EQ(t.outcome, Outcome::Written);
            } catch (const base::IoError& e) {
                EXPECT_EQ(t.outcome, Outcome::Refused) << e.what();
                EXPECT_EQ(e.Path(), path);
                EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
                if (t.step) {
                    EXPECT_EQ(e.Step(), *t.step) << e.what();
                }
            }
            if (t.outcome == Outcome::Written) {
                EXPECT_EQ(ReadAll(dir.Path(t.lands)), bytes);
                EXPECT_EQ(ModeOf(dir.Path(t.lands)), t.mode);
            } else if (t.lands) {
                EXPECT_EQ(ReadAll(dir.Path(t.lands)), before);
            }
            EXPECT_EQ(Names(dir.Root()), t.names);
        }
    }
    // The links of the table are still links afterwards.
    const testenv::TempDir dir("base-replace");
    Targets()[2].prepare(dir);
    base::ReplaceFile(dir.Path("link"), "x");
    EXPECT_TRUE(fs::is_symlink(dir.Path("link")));
}

TEST(ReplaceFile, NewFileModeIsTheCallersLessTheUmask) {
    const UmaskScope mask(022);
    const testenv::TempDir dir("base-mode");
    base::ReplaceFile(dir.Path("private"), "x", {.NewFileMode = 0600});
    base::ReplaceFile(dir.Path("shared"), "x");
    EXPECT_EQ(ModeOf(dir.Path("private")), 0600u);
    EXPECT_EQ(ModeOf(dir.Path("shared")), 0644u);
    // An existing file keeps its bits whatever the new-file mode says.
    ::chmod(dir.Path("shared").c_str(), 0664);
    base::ReplaceFile(dir.Path("shared"), "y", {.NewFileMode = 0600});
    EXPECT_EQ(ModeOf(dir.Path("shared")), 0664u);
}

TEST(ReplaceFile, NameAtTheFileSystemLimitStillGetsATemporaryFile) {
    const testenv::TempDir dir("base-long");
    const std::string name(255, 'n');
    base::ReplaceFile(dir.Path(name), "long");
    EXPECT_EQ(ReadAll(dir.Path(name)), "long");
    EXPECT_EQ(Names(dir.Root()), std::vector<std::string>{name});
}

// A full disk shows up as a failed write; the file size limit makes one without a mount.
TEST(ReplaceFile, FailedWriteKeepsTheTargetAndLeavesNothingBehind) {
    const testenv::TempDir dir("base-full");
    const std::string path = dir.Path("keep");
    Write(path, "previous");
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::optional<base::IoError> whole, streamed;
    try {
        base::ReplaceFile(path, std::string(5000, 'n'));
    } catch (const base::IoError& e) {
        whole = e;
    }
    try {
        base::FileReplacement file(path);
        std::fwrite(std::string(5000, 'n').data(), 1, 5000, file.Stream());
        file.Commit();
    } catch (const base::IoError& e) {
        streamed = e;
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    ASSERT_TRUE(whole.has_value());
    EXPECT_EQ(whole->Step(), base::IoStep::Write);
    EXPECT_EQ(whole->Errno(), EFBIG) << whole->what();
    // The stream's error flag is all that is left of the failed fwrite.
    ASSERT_TRUE(streamed.has_value());
    EXPECT_EQ(streamed->Step(), base::IoStep::Write);
    EXPECT_EQ(ReadAll(path), "previous");
    EXPECT_EQ(Names(dir.Root()), std::vector<std::string>{"keep"});
}

TEST(FileReplacement, DiscardedWithoutCommitAndFinishedBeforeAnyReplaces) {
    const testenv::TempDir dir("base-stream");
    Write(dir.Path("a"), "old a");
    {
        base::FileReplacement a(dir.Path("a"));
        a.Write("never");
    }
    EXPECT_EQ(ReadAll(dir.Path("a")), "old a");
    EXPECT_EQ(Names(dir.Root()), std::vector<std::string>{"a"});

    base::FileReplacement a(dir.Path("a")), b(dir.Path("b"));
    a.Write("new a");
    b.Write("new b");
    a.Finish();
    b.Finish();
    EXPECT_EQ(ReadAll(dir.Path("a")), "old a");
    EXPECT_FALSE(fs::exists(dir.Path("b")));
    EXPECT_THROW(a.Write("late"), base::IoError);
    a.Commit();
    b.Commit();
    EXPECT_EQ(ReadAll(dir.Path("a")), "new a");
    EXPECT_EQ(ReadAll(dir.Path("b")), "new b");
    EXPECT_EQ(Names(dir.Root()), (std::vector<std::string>{"a", "b"}));
}

// A folder that refuses new files, with a file in it its owner may write. Root passes every
// permission check, so as root the case runs in a child under an unprivileged user id.
TEST(ReplaceFile, ReadOnlyFolderWithAWritableFile) {
    const uid_t nobody = testenv::kNobody;
    for (const bool inPlace : {false, true}) {
        SCOPED_TRACE(inPlace ? "in place allowed" : "in place not allowed");
        const testenv::TempDir dir("base-readonly");
        const std::string folder = dir.Path("locked"), file = dir.Path("locked/settings.ini");
        fs::create_directory(folder);
        Write(file, "old");
        ::chmod(file.c_str(), 0644);
        ::chmod(folder.c_str(), 0555);
        const bool root = ::geteuid() == 0;
        if (root) {
            ASSERT_EQ(::chmod(dir.Root().c_str(), 0755), 0);
            ASSERT_EQ(::chown(folder.c_str(), nobody, nobody), 0);
            ASSERT_EQ(::chown(file.c_str(), nobody, nobody), 0);
        }
        // 0: written, 1: refused while creating the new file, 2: anything else.
        auto attempt = [&]() -> int {
            try {
                base::ReplaceFile(file, "new", {.InPlaceWhenFolderRefuses = inPlace});
                return 0;
            } catch (const base::IoError& e) {
                return e.Step() == base::IoStep::Create && e.Errno() == EACCES ? 1 : 2;
            }
        };
        const std::optional<int> result = testenv::RunUnprivileged(attempt);
        ::chmod(folder.c_str(), 0755);
        if (!result)
            GTEST_SKIP() << "running as root without the right to change user";
        EXPECT_EQ(*result, inPlace ? 0 : 1);
        EXPECT_EQ(ReadAll(file), inPlace ? "new" : "old");
        EXPECT_EQ(Names(folder), std::vector<std::string>{"settings.ini"});
    }
}

TEST(ReadWholeFile, EveryKindOfSource) {
    const testenv::TempDir dir("base-read");
    Write(dir.Path("file"), std::string("ten\0bytes!", 10));
    Write(dir.Path("empty"), "");
    Write(dir.Path("large"), std::string(11, 'x'));
    fs::create_symlink("file", dir.Path("link"));
    fs::create_directory(dir.Path("folder"));
    ASSERT_EQ(::mkfifo(dir.Path("fifo").c_str(), 0600), 0); // no writer: opening would wait
    const struct {
        std::string path;
        std::optional<std::string> bytes; // nullopt: refused
        bool missing = false;
    } cases[] = {
        {dir.Path("file"), std::string("ten\0bytes!", 10)},
        {dir.Path("empty"), std::string()},
        {dir.Path("link"), std::string("ten\0bytes!", 10)},
        {dir.Path("large"), std::nullopt},
        {dir.Path("folder"), std::nullopt},
        {dir.Path("fifo"), std::nullopt},
        {"/dev/zero", std::nullopt},
        {dir.Path("missing"), std::nullopt, true},
        {dir.Path("nowhere/missing"), std::nullopt, true},
        {dir.Path("file/below"), std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        try {
            EXPECT_EQ(base::ReadWholeFile(c.path, 10), c.bytes.value_or("(refused)"));
        } catch (const base::IoError& e) {
            EXPECT_FALSE(c.bytes.has_value()) << e.what();
            EXPECT_EQ(e.Missing(), c.missing) << e.what();
            EXPECT_EQ(e.Path(), c.path);
        }
        std::optional<std::string> read;
        bool thrown = false;
        try {
            read = base::ReadFileIfExists(c.path, 10);
        } catch (const base::IoError&) {
            thrown = true;
        }
        EXPECT_EQ(thrown, !c.bytes && !c.missing);
        EXPECT_EQ(read, c.bytes);
    }
}

TEST(ReadWholeFile, RefusalsSayWhy) {
    const testenv::TempDir dir("base-why");
    Write(dir.Path("large"), std::string(11, 'x'));
    ASSERT_EQ(::mkfifo(dir.Path("fifo").c_str(), 0600), 0);
    auto message = [](const std::string& Path) {
        try {
            base::ReadWholeFile(Path, 10);
        } catch (const base::IoError& e) {
            return std::string(e.what());
        }
        return std::string("(read)");
    };
    EXPECT_EQ(message(dir.Path("large")),
              "cannot read " + dir.Path("large") + ": larger than 10 bytes");
    EXPECT_EQ(message(dir.Path("fifo")),
              "cannot read " + dir.Path("fifo") + ": not a regular file");
    EXPECT_EQ(message(dir.Path("missing")),
              "cannot open " + dir.Path("missing") + ": No such file or directory");
}

} // namespace
