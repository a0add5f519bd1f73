#include "services/file_version.h"

#include "huelet_config.h"
#include "platform/versioninfo.h"
#include "platform/versioninfo_fixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

namespace {

class FileVersionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/huelet-file-version-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        Folder = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(Folder, ignored);
    }
    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const std::string path = Folder + "/" + name;
        EXPECT_TRUE(fixtures::WriteFile(path, bytes));
        return path;
    }
    std::string Folder;
};

const std::string kExecutable = HUELET_BUILD_DIR "/huelet";

} // namespace

TEST_F(FileVersionTest, ThreeOutcomes) {
    const auto block = fixtures::SimpleBlock("2.0.1.7", u"Maker");
    const auto other = fixtures::SimpleBlock("9.9.9.9", u"Other");
    std::vector<std::uint8_t> noSignature = block;
    noSignature[40] ^= 0xFF;
    const std::string text = "just some text\n";
    const struct {
        std::string Path;
        std::string Expected;
    } cases[] = {
        {Write("pe32.exe", fixtures::MakePe(false, block, other)), "2.0.1.7"},
        {Write("pe64.exe", fixtures::MakePe(true, block, other)), "2.0.1.7"},
        {Write("elf32be", fixtures::MakeElf(false, true, block)), "2.0.1.7"},
        {Write("text.txt", std::vector<std::uint8_t>(text.begin(), text.end())), ""},
        {Write("empty", {}), ""},
        {Write("no-signature.exe", fixtures::MakePe(false, noSignature, other)), ""},
        {Folder + "/missing.exe", "File not found"},
        {Folder, "File not found"},
        {Folder + "/", "File not found"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FileVersionText(c.Path), c.Expected) << c.Path;

    // A FIFO is a file, but not one to wait on.
    const std::string fifo = Folder + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(FileVersionText(fifo), "");
}

TEST_F(FileVersionTest, SizeAndCopyOfTheBlock) {
    const auto block = fixtures::SimpleBlock("2.0.1.7", u"Maker");
    const std::string path = Write("pe.exe", fixtures::MakePe(false, block, block));
    std::uint32_t handle = 77;
    const std::uint32_t size = WideGetFileVersionInfoSize(path, &handle);
    EXPECT_EQ(size, block.size());
    EXPECT_EQ(handle, 0u);

    std::vector<std::uint8_t> buffer(size + 8, 0xEE);
    ASSERT_TRUE(WideGetFileVersionInfo(path, handle, size, buffer.data()));
    EXPECT_TRUE(std::equal(block.begin(), block.end(), buffer.begin()));
    EXPECT_EQ(buffer[size], 0xEE); // nothing beyond Size is written

    std::vector<std::uint8_t> small(10, 0xEE);
    ASSERT_TRUE(WideGetFileVersionInfo(path, 0, 8, small.data()));
    EXPECT_TRUE(std::equal(block.begin(), block.begin() + 8, small.begin()));
    EXPECT_EQ(small[8], 0xEE);

    EXPECT_EQ(WideGetFileVersionInfoSize(Folder + "/missing"), 0u);
    EXPECT_FALSE(WideGetFileVersionInfo(Folder + "/missing", 0, 8, small.data()));
    EXPECT_FALSE(WideGetFileVersionInfo(path, 0, size, nullptr));
}

TEST_F(FileVersionTest, BuiltExecutableCarriesTheProjectVersion) {
    ASSERT_TRUE(std::filesystem::exists(kExecutable)) << "build the huelet target first";
    EXPECT_EQ(FileVersionText(kExecutable), HUELET_VERSION);
    EXPECT_EQ(FileVersionText(kExecutable), "1.10.4.23");

    std::vector<std::uint8_t> block(WideGetFileVersionInfoSize(kExecutable));
    ASSERT_FALSE(block.empty());
    ASSERT_TRUE(WideGetFileVersionInfo(kExecutable, 0, static_cast<std::uint32_t>(block.size()),
                                       block.data()));
    TVersionInfo info;
    ASSERT_TRUE(ParseVersionInfo(block, info));
    EXPECT_TRUE(HasValidRoot(info));
    const struct {
        const char* Key;
        const char* Value;
    } strings[] = {{"CompanyName", "Norwick Softworks"},
                   {"FileDescription", "Huelet"},
                   {"FileVersion", HUELET_VERSION},
                   {"ProductVersion", "1.0.0.0"},
                   {"ProductName", ""},
                   {"InternalName", ""},
                   {"LegalCopyright", ""},
                   {"OriginalFilename", ""}};
    std::vector<std::uint32_t> translations;
    ASSERT_TRUE(QueryTranslations(block, translations));
    char table[16];
    std::snprintf(table, sizeof table, "%04x%04x", translations[0] & 0xFFFF, translations[0] >> 16);
    for (const auto& s : strings) {
        std::string value = "untouched";
        EXPECT_TRUE(QueryVersionString(
            block, std::string("\\StringFileInfo\\") + table + "\\" + s.Key, value))
            << s.Key;
        EXPECT_EQ(value, s.Value) << s.Key;
    }
}

// The section is allocated, so stripping the executable keeps it.
TEST_F(FileVersionTest, VersionSurvivesStrip) {
    ASSERT_TRUE(std::filesystem::exists(kExecutable)) << "build the huelet target first";
    const std::string copy = Folder + "/huelet-stripped";
    std::filesystem::copy_file(kExecutable, copy);
    const std::string command = "strip --strip-all '" + copy + "' 2>/dev/null";
    const int status = std::system(command.c_str());
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        GTEST_SKIP() << "strip is not available";
    EXPECT_LT(std::filesystem::file_size(copy), std::filesystem::file_size(kExecutable));
    EXPECT_EQ(FileVersionText(copy), HUELET_VERSION);
}
