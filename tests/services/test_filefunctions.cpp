#include "services/filefunctions.h"

#include "testenv.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

using testenv::ReadAll;
using testenv::Write;

// Names a file system may hold that must all work: not valid UTF-8, spaces and non-ASCII.
const std::string kLatin1Name = "caf\xe9 \xff.jpg";
const std::string kUnicodeName = "my photo \xe2\x80\x94 \xc3\xbcn\xc3\xaf.JPG";

class FileFunctionsTest : public ::testing::Test {
  protected:
    void TearDown() override {
        // Restore write access so everything can be removed.
        chmod((dir_ + "/locked").c_str(), 0755);
    }
    std::string P(const std::string& rel) const { return dir_ + "/" + rel; }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    testenv::TempDir temp_{"files"};
    std::string dir_ = temp_.Root();
};

TEST_F(FileFunctionsTest, ExistenceTellsFilesFromFolders) {
    fs::create_directory(P("folder"));
    Write(P("file"), "x");
    Write(P(kLatin1Name), "x");
    fs::create_symlink(P("file"), P("link-to-file"));
    fs::create_symlink(P("folder"), P("link-to-folder"));
    fs::create_symlink(P("missing"), P("dangling"));
    struct Case {
        std::string path;
        bool file, folder;
    } cases[] = {
        {P("file"), true, false},         {P(kLatin1Name), true, false},
        {P("folder"), false, true},       {P("folder/"), false, true},
        {P("file/"), false, false},       {P("missing"), false, false},
        {P("link-to-file"), true, false}, {P("link-to-folder"), false, true},
        {P("dangling"), false, false},    {"", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WideFileExists(c.path), c.file) << c.path;
        EXPECT_EQ(WideDirectoryExists(c.path), c.folder) << c.path;
    }
}

TEST_F(FileFunctionsTest, CreateDirectoryMakesOneLevel) {
    EXPECT_TRUE(WideCreateDirectory(P(kUnicodeName)));
    EXPECT_TRUE(WideDirectoryExists(P(kUnicodeName)));
    EXPECT_FALSE(WideCreateDirectory(P(kUnicodeName))); // already there
    EXPECT_FALSE(WideCreateDirectory(P("no/such/parent")));
    EXPECT_FALSE(WideCreateDirectory(""));
}

TEST_F(FileFunctionsTest, ContentMeansAFileOfAtLeastOneByte) {
    Write(P("empty"), "");
    Write(P("one"), "x");
    fs::create_directory(P("folder"));
    EXPECT_FALSE(FileHasContent(P("empty")));
    EXPECT_TRUE(FileHasContent(P("one")));
    EXPECT_FALSE(FileHasContent(P("folder")));
    EXPECT_FALSE(FileHasContent(P("missing")));
    EXPECT_EQ(FileSize64(P("one")), 1);
    EXPECT_EQ(FileSize64(P("missing")), 0);
}

TEST(FileNameWithoutExtTest, DropsTheLastExtensionOfTheNamePart) {
    struct Case {
        const char* path;
        const char* expected;
    } cases[] = {
        {"/x/archive.tar.gz", "archive.tar"},
        {"/x/README", "README"},
        {"/x/.hidden", ""},
        {"/x.d/README", "README"},
        {"/opt/app/120.0.6099.110", "120.0.6099"},
        {"name.", "name"},
        {"/x/", ""},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FileNameWithoutExt(c.path), c.expected) << c.path;
}

TEST_F(FileFunctionsTest, ListingsAppendFullPathsInNameOrder) {
    fs::create_directories(P("b-folder/deep"));
    fs::create_directory(P("a-folder"));
    Write(P("z.EXE"), "x");
    Write(P("y.txt"), "x");
    Write(P(kLatin1Name), "x");
    Write(P("b-folder/inner.exe"), "x");
    Write(P("b-folder/deep/Target.ini"), "x");
    Write(P("b-folder/target.INI"), "x");
    // A link back up must not send the recursive searches round in circles.
    fs::create_symlink(dir_, P("b-folder/loop"));

    std::vector<std::string> list{"kept"};
    ListFiles(dir_, list);
    EXPECT_EQ(list, (std::vector<std::string>{"kept", P(kLatin1Name), P("y.txt"), P("z.EXE")}));

    list.clear();
    ListFolders(dir_ + "/", list);
    EXPECT_EQ(list, (std::vector<std::string>{P("a-folder"), P("b-folder")}));

    list.clear();
    FindFilesByExt(dir_, ".exe", list);
    EXPECT_EQ(list, (std::vector<std::string>{P("b-folder/inner.exe"), P("z.EXE")}));

    list.clear();
    FindFilesByName(dir_, "target.ini", list);
    EXPECT_EQ(list,
              (std::vector<std::string>{P("b-folder/deep/Target.ini"), P("b-folder/target.INI")}));

    list.clear();
    ListFiles(P("missing"), list);
    FindFilesByExt(P("missing"), ".exe", list);
    EXPECT_TRUE(list.empty());
}

TEST_F(FileFunctionsTest, DeleteEverythingRemovesReadOnlyFilesSubFoldersAndTheFolder) {
    const std::string f = P("F");
    fs::create_directories(f + "/sub/deeper");
    Write(f + "/readonly.jpg", "x");
    chmod((f + "/readonly.jpg").c_str(), 0444);
    Write(f + "/sub/a.jpg", "x");
    Write(f + "/sub/deeper/b", "x");
    Write(f + "/" + kLatin1Name, "x");
    Write(f + "/.hidden", "x");
    // A link to a folder outside is removed, never followed.
    fs::create_directory(P("outside"));
    Write(P("outside/precious.jpg"), "x");
    fs::create_symlink(P("outside"), f + "/link");

    EXPECT_TRUE(DeleteFilesByExt(f + "/", "*"));
    EXPECT_FALSE(fs::exists(f));
    EXPECT_TRUE(fs::exists(P("outside/precious.jpg")));
}

TEST_F(FileFunctionsTest, DeleteByExtensionKeepsOtherFilesAndTheFolder) {
    const std::string f = P("F");
    fs::create_directories(f + "/keep");
    for (const char* name : {"a.spk", "b.SPK", "c.txt", "keep/d.spk", "spk"})
        Write(f + "/" + name, "x");
    EXPECT_TRUE(DeleteFilesByExt(f, "SPK"));
    EXPECT_FALSE(fs::exists(f + "/a.spk"));
    EXPECT_FALSE(fs::exists(f + "/b.SPK"));
    EXPECT_TRUE(fs::exists(f + "/c.txt"));
    EXPECT_TRUE(fs::exists(f + "/spk"));
    // Only sub-folders whose names match are entered.
    EXPECT_TRUE(fs::exists(f + "/keep/d.spk"));
    EXPECT_TRUE(DeleteFilesByExt(P("missing"), "*"));
}

TEST_F(FileFunctionsTest, DeleteFileRemovesFilesOnly) {
    Write(P(kUnicodeName), "x");
    fs::create_directory(P("folder"));
    EXPECT_TRUE(WideDeleteFile(P(kUnicodeName)));
    EXPECT_FALSE(fs::exists(P(kUnicodeName)));
    EXPECT_FALSE(WideDeleteFile(P(kUnicodeName)));
    EXPECT_FALSE(WideDeleteFile(P("folder")));
    EXPECT_TRUE(fs::is_directory(P("folder")));
}

TEST_F(FileFunctionsTest, CopyReplacesTheTargetWithTheSourceBytes) {
    std::string bytes("JPEG\0\xff\xd8 data", 12);
    for (int i = 0; i < 20000; ++i)
        bytes += static_cast<char>(i * 7);
    Write(P(kLatin1Name), bytes);
    Write(P(kUnicodeName), "old content");
    chmod(P(kUnicodeName).c_str(), 0640);

    ASSERT_TRUE(CopyFileReplacing(P(kLatin1Name), P(kUnicodeName)));
    EXPECT_EQ(ReadAll(P(kUnicodeName)), bytes);
    struct stat st;
    ASSERT_EQ(stat(P(kUnicodeName).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    ASSERT_TRUE(CopyFileReplacing(P(kLatin1Name), P("new.jpg")));
    EXPECT_EQ(ReadAll(P("new.jpg")), bytes);
    EXPECT_EQ(Names(), (std::vector<std::string>{kLatin1Name, kUnicodeName, "new.jpg"}));
}

TEST_F(FileFunctionsTest, FailedCopiesSayNoAndLeaveTheTargetAlone) {
    Write(P("target.jpg"), "original");
    fs::create_directory(P("folder.jpg"));
    Write(P("source.jpg"), "new");
    ASSERT_EQ(mkfifo(P("fifo.jpg").c_str(), 0600), 0);
    struct Case {
        const char* what;
        std::string source, target;
    } cases[] = {
        {"missing source", P("missing.jpg"), P("target.jpg")},
        {"folder as source", P("folder.jpg"), P("target.jpg")},
        {"FIFO as source, no writer: refused, not waited on", P("fifo.jpg"), P("target.jpg")},
        {"folder as target", P("source.jpg"), P("folder.jpg")},
        {"empty target", P("source.jpg"), ""},
    };
    for (const Case& c : cases)
        EXPECT_FALSE(CopyFileReplacing(c.source, c.target)) << c.what;
    EXPECT_EQ(ReadAll(P("target.jpg")), "original");
    EXPECT_TRUE(fs::is_directory(P("folder.jpg")));
    EXPECT_EQ(Names(),
              (std::vector<std::string>{"fifo.jpg", "folder.jpg", "source.jpg", "target.jpg"}));
}

TEST_F(FileFunctionsTest, CopyOntoItselfLeavesItIntact) {
    Write(P("source.jpg"), "new");
    fs::create_symlink(P("source.jpg"), P("link.jpg"));
    EXPECT_TRUE(CopyFileReplacing(P("source.jpg"), P("source.jpg")));
    EXPECT_TRUE(CopyFileReplacing(P("link.jpg"), P("source.jpg")));
    EXPECT_EQ(ReadAll(P("source.jpg")), "new");
}

TEST_F(FileFunctionsTest, AtomicWriteReplacesOrLeavesUntouched) {
    Write(P("settings"), "old");
    EXPECT_TRUE(WriteFileAtomic(P("settings"), "new"));
    EXPECT_EQ(ReadAll(P("settings")), "new");
    EXPECT_FALSE(WriteFileAtomic(P("gone/settings"), "x"));
    fs::create_directory(P("folder"));
    EXPECT_FALSE(WriteFileAtomic(P("folder"), "x"));
    EXPECT_EQ(Names(), (std::vector<std::string>{"folder", "settings"}));
}

// Links are removed as links, wherever they sit, and their targets stay; a folder to clear
// that is itself a link, or not a folder, is not touched at all.
TEST_F(FileFunctionsTest, DeleteNeverFollowsSymbolicLinks) {
    fs::create_directories(P("outside/inner"));
    Write(P("outside/precious.jpg"), "p");
    Write(P("outside/inner/deep.jpg"), "d");
    const std::string f = P("F");
    fs::create_directories(f + "/sub");
    fs::create_symlink(P("outside/precious.jpg"), f + "/to-file.jpg");
    fs::create_symlink(P("outside"), f + "/to-folder");
    fs::create_symlink(P("outside"), f + "/sub/to-folder.jpg");
    fs::create_symlink(P("nowhere"), f + "/dangling");
    EXPECT_TRUE(DeleteFilesByExt(f, "*"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(f)));

    struct Case {
        const char* what;
        std::string folder;
    } untouched[] = {
        {"a link to a folder", P("link")},
        {"a link to a folder, with a slash", P("link") + "/"},
        {"a file", P("outside/precious.jpg")},
    };
    fs::create_symlink(P("outside"), P("link"));
    for (const auto& c : untouched) {
        EXPECT_TRUE(DeleteFilesByExt(c.folder, "*")) << c.what;
        EXPECT_TRUE(DeleteFilesByExt(c.folder, "jpg")) << c.what;
    }
    EXPECT_TRUE(fs::is_symlink(P("link")));
    EXPECT_EQ(ReadAll(P("outside/precious.jpg")), "p");
    EXPECT_EQ(ReadAll(P("outside/inner/deep.jpg")), "d");
    EXPECT_TRUE(DeleteFilesByExt(P("missing/parents/F"), "*"));
}

} // namespace
