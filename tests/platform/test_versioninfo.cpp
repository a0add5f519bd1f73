#include "platform/versioninfo.h"
#include "platform/versioninfo_fixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <vector>

using fixtures::Get32;
using fixtures::Put16;
using fixtures::Put32;

namespace {

std::uint16_t At16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

// Every fixed field distinct, so a swapped or shifted field shows.
TVersionInfo FullInfo() {
    TVersionInfo info;
    info.Fixed = {kFixedFileInfoSignature,
                  0x00010000,
                  0x0002000A,
                  0x00030017,
                  0x00040005,
                  0x00060007,
                  0x3F,
                  0x2,
                  0x40004,
                  0x2,
                  0x7,
                  0x01D2A3B4,
                  0x5C6D7E8F};
    info.StringTables.push_back({u"040904B0",
                                 {{u"CompanyName", u"Norwick Softworks"},
                                  {u"FileDescription", u"Caf\u00e9 \u2122 \u0100"},
                                  {u"FileVersion", u"2.10.3.23"},
                                  {u"ProductName", u""},
                                  {u"Comments", u"odd"}}});
    info.StringTables.push_back({u"040C04E4", {{u"CompanyName", u"Soci\u00e9t\u00e9"}}});
    info.Translations = {0x04B00409, 0x04E4040C};
    return info;
}

// French table first, translation table listing English first.
TVersionInfo FrenchFirst() {
    TVersionInfo info;
    info.StringTables.push_back(
        {u"040C04B0",
         {{u"CompanyName", u"Soci\u00e9t\u00e9 Fran\u00e7aise"}, {u"FileDescription", u"Outil"}}});
    info.StringTables.push_back(
        {u"040904B0", {{u"CompanyName", u"English Company"}, {u"FileDescription", u"Tool"}}});
    info.Translations = {0x04B00409, 0x04B0040C};
    return info;
}

class TempFolder {
  public:
    TempFolder() {
        char pattern[] = "/tmp/huelet-versioninfo-XXXXXX";
        Path = mkdtemp(pattern);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(Path, ignored);
    }
    std::string Path;
};

} // namespace

TEST(VersionInfoWriter, RoundTripsEveryField) {
    const TVersionInfo info = FullInfo();
    const std::vector<std::uint8_t> block = WriteVersionInfo(info);
    TVersionInfo back;
    ASSERT_TRUE(ParseVersionInfo(block, back));
    EXPECT_EQ(back.RootKey, info.RootKey);
    EXPECT_EQ(back.FixedLength, 52);
    EXPECT_EQ(back.Fixed, info.Fixed);
    EXPECT_EQ(back.StringTables, info.StringTables);
    EXPECT_EQ(back.Translations, info.Translations);
    EXPECT_TRUE(HasValidRoot(back));

    TFixedFileInfo fixed;
    ASSERT_TRUE(QueryFixedFileInfo(block, fixed));
    EXPECT_EQ(fixed, info.Fixed);
    std::vector<std::uint32_t> translations;
    ASSERT_TRUE(QueryTranslations(block, translations));
    EXPECT_EQ(translations, info.Translations);
}

TEST(VersionInfoWriter, LaysOutNodesAsTheResourceCompilerDoes) {
    TVersionInfo info;
    info.StringTables.push_back(
        {StringTableName(0x0409, 0x04B0), {{u"CompanyName", u"Norwick Softworks"}, {u"X", u""}}});
    info.Translations = {0x04B00409};
    const std::vector<std::uint8_t> b = WriteVersionInfo(info);

    // Root: whole block, 52-byte binary value right after the padded key.
    EXPECT_EQ(At16(b, 0), b.size());
    EXPECT_EQ(At16(b, 2), 52);
    EXPECT_EQ(At16(b, 4), 0);
    EXPECT_EQ(Get32(b, 40), kFixedFileInfoSignature);
    // "StringFileInfo" (text, no value) at 92, its table at 128, the first string at 152.
    EXPECT_EQ(At16(b, 92 + 2), 0);
    EXPECT_EQ(At16(b, 92 + 4), 1);
    EXPECT_EQ(At16(b, 92 + 6), u'S');
    EXPECT_EQ(At16(b, 128 + 6), u'0');
    const std::size_t company = 152;
    // wValueLength counts UTF-16 units with the NUL; wLength excludes trailing padding.
    EXPECT_EQ(At16(b, company + 2), 18);
    EXPECT_EQ(At16(b, company + 4), 1);
    EXPECT_EQ(At16(b, company), 6 + 24 + 2 + 36);
    // The next string starts on the following 32-bit boundary; an empty value is one NUL.
    const std::size_t x = company + 68;
    EXPECT_EQ(At16(b, x + 2), 1);
    EXPECT_EQ(At16(b, x + 6), u'X');
    // The table ends right after its last string, unpadded.
    EXPECT_EQ(At16(b, 128), x + At16(b, x) - 128);
    // "Translation" is binary, its length in bytes.
    const std::size_t var = b.size() - 4 - 32;
    EXPECT_EQ(At16(b, var + 2), 4);
    EXPECT_EQ(At16(b, var + 4), 0);
    EXPECT_EQ(Get32(b, b.size() - 4), 0x04B00409u);
}

TEST(VersionInfoReader, WalkGivesFirstTableTranslationQueryGivesListedOne) {
    const std::vector<std::uint8_t> block = WriteVersionInfo(FrenchFirst());
    TVersionInfo info;
    ASSERT_TRUE(ParseVersionInfo(block, info));
    ASSERT_EQ(info.StringTables.size(), 2u);
    EXPECT_EQ(info.StringTables[0].Name, u"040C04B0");
    EXPECT_EQ(info.StringTables[0].Strings[0].Value, u"Soci\u00e9t\u00e9 Fran\u00e7aise");

    std::vector<std::uint32_t> translations;
    ASSERT_TRUE(QueryTranslations(block, translations));
    char path[64];
    std::snprintf(path, sizeof path, "\\StringFileInfo\\%04x%04x\\%s", translations[0] & 0xFFFF,
                  translations[0] >> 16, "companyname");
    std::string value;
    ASSERT_TRUE(QueryVersionString(block, path, value));
    EXPECT_EQ(value, "English Company");
}

TEST(VersionInfoReader, QueriesPathsLikeTheSystem) {
    const std::vector<std::uint8_t> block = WriteVersionInfo(FullInfo());
    struct Case {
        const char* Path;
        bool Found;
        std::string Value; // Windows-1252
    } cases[] = {
        {"\\StringFileInfo\\040904B0\\CompanyName", true, "Norwick Softworks"},
        {"\\stringfileinfo\\040904b0\\COMPANYNAME", true, "Norwick Softworks"},
        {"\\StringFileInfo\\040904b0\\FileDescription", true, "Caf\xe9 \x99 ?"},
        {"\\StringFileInfo\\040904b0\\ProductName", true, ""},
        {"\\StringFileInfo\\040c04e4\\CompanyName", true, "Soci\xe9t\xe9"},
        {"\\StringFileInfo\\040c04b0\\CompanyName", false, ""},
        {"\\StringFileInfo\\040904b0\\LegalCopyright", false, ""},
        {"CompanyName", false, ""}, // a bare key is looked for under the root
        {"\\StringFileInfo\\040904b0\\CompanyName\\More", false, ""},
    };
    for (const Case& c : cases) {
        std::string value = "untouched";
        EXPECT_EQ(QueryVersionString(block, c.Path, value), c.Found) << c.Path;
        EXPECT_EQ(value, c.Found ? c.Value : "untouched") << c.Path;
    }
    TVersionValue root;
    ASSERT_TRUE(QueryVersionValue(block, "\\", root));
    EXPECT_EQ(root.Data.size(), 52u);
}

TEST(VersionInfoPe, ReadsFirstNameFirstLanguageOfBothKinds) {
    const auto first = fixtures::SimpleBlock("2.0.1.7", u"First");
    const auto second = fixtures::SimpleBlock("9.9.9.9", u"Second");
    for (bool pe64 : {false, true}) {
        const auto image = fixtures::MakePe(pe64, first, second);
        std::vector<std::uint8_t> block;
        ASSERT_TRUE(ExtractVersionBlock(MemoryImage(image), block)) << pe64;
        EXPECT_EQ(block, first) << pe64;
        EXPECT_EQ(PeImageKind(MemoryImage(image)), (TPeKind{true, pe64}));
    }
}

TEST(VersionInfoPe, IsPe64ImageTellsKindsApartAndRejectsOthers) {
    TempFolder folder;
    const auto block = fixtures::SimpleBlock("1.0.0.0", u"X");
    auto pe32 = fixtures::MakePe(false, block, block);
    auto pe64 = fixtures::MakePe(true, block, block);
    auto badSignature = pe64;
    badSignature[0x80 + 2] = 'X'; // "PEX\0"
    auto badMz = pe32;
    badMz[1] = 'Y';
    auto farHeaders = pe32;
    Put32(farHeaders, 60, 0xFFFFFFF0);
    const std::vector<std::uint8_t> shortFile(pe64.begin(), pe64.begin() + 0x80 + 200);
    const struct {
        const char* Name;
        std::vector<std::uint8_t> Bytes;
        TPeKind Kind;
    } cases[] = {
        {"pe32", pe32, {true, false}},
        {"pe64", pe64, {true, true}},
        {"bad-signature", badSignature, {false, false}},
        {"bad-mz", badMz, {false, false}},
        {"headers-outside", farHeaders, {false, false}},
        {"short", shortFile, {false, false}},
        {"elf", fixtures::MakeElf(true, false, block), {false, false}},
        {"empty", {}, {false, false}},
    };
    for (const auto& c : cases) {
        const std::string path = folder.Path + "/" + c.Name;
        ASSERT_TRUE(fixtures::WriteFile(path, c.Bytes));
        EXPECT_EQ(IsPe64Image(path), c.Kind) << c.Name;
    }
    EXPECT_EQ(IsPe64Image(folder.Path), (TPeKind{}));
    EXPECT_EQ(IsPe64Image(folder.Path + "/missing"), (TPeKind{}));
}

TEST(VersionInfoElf, ReadsSectionOfEitherClassAndByteOrder) {
    const auto block = fixtures::SimpleBlock("3.1.4.1", u"Elf");
    for (bool wide : {false, true})
        for (bool big : {false, true}) {
            std::vector<std::uint8_t> read;
            ASSERT_TRUE(ExtractVersionBlock(MemoryImage(fixtures::MakeElf(wide, big, block)), read))
                << wide << big;
            EXPECT_EQ(read, block);
        }
}

// Damaged images: every one is "no version resource", read without crash or overrun (the
// sanitizer build checks the latter).
TEST(VersionInfoHostile, DamagedImagesHaveNoVersionResource) {
    const auto block = fixtures::SimpleBlock("1.2.3.4", u"Good");
    fixtures::TPeLayout pl;
    const auto pe = fixtures::MakePe(false, block, block, &pl);
    fixtures::TElfLayout el;
    const auto elf = fixtures::MakeElf(true, false, block, &el);
    using L = fixtures::TPeLayout;
    const std::size_t rsrc = pl.Resources;
    using Damage = std::function<void(std::vector<std::uint8_t>&)>;
    const struct {
        const char* Name;
        const std::vector<std::uint8_t>* Base;
        Damage Apply;
    } cases[] = {
        {"pe: NT headers past the end", &pe, [](auto& b) { Put32(b, 60, 0xFFFFFFF0); }},
        {"pe: unknown optional magic", &pe, [&](auto& b) { Put16(b, pl.Optional, 0x107); }},
        {"pe: too few data directories", &pe, [&](auto& b) { Put32(b, pl.Optional + 92, 2); }},
        {"pe: optional header too short for the entry", &pe,
         [&](auto& b) { Put16(b, pl.NtHeaders + 4 + 16, 100); }},
        {"pe: resources outside every section", &pe,
         [&](auto& b) { Put32(b, pl.ResourceEntry, 0x9000); }},
        {"pe: section data past the end", &pe,
         [&](auto& b) { Put32(b, pl.Section + 20, 0x7FFFFFF0); }},
        {"pe: huge section count", &pe, [&](auto& b) { Put16(b, pl.NtHeaders + 6, 0xFFFF); }},
        {"pe: name level points back at the root", &pe,
         [&](auto& b) { Put32(b, rsrc + L::Root + 16 + 8 + 4, 0x80000000 | L::Root); }},
        {"pe: language level points back at itself", &pe,
         [&](auto& b) { Put32(b, rsrc + L::Names + 16 + 4, 0x80000000 | L::Names); }},
        {"pe: language entry is a directory", &pe,
         [&](auto& b) { Put32(b, rsrc + L::Languages + 16 + 4, 0x80000000 | L::Languages); }},
        {"pe: version entry is data", &pe,
         [&](auto& b) { Put32(b, rsrc + L::Root + 16 + 8 + 4, L::Data); }},
        {"pe: directory offset past the end", &pe,
         [&](auto& b) { Put32(b, rsrc + L::Root + 16 + 8 + 4, 0xFFFFFFF0); }},
        {"pe: entry count past the end", &pe,
         [&](auto& b) {
             Put16(b, rsrc + L::Root + 14, 0xFFFF);
             Put32(b, rsrc + L::Root + 24, 3);
         }},
        {"pe: data outside the section", &pe,
         [&](auto& b) { Put32(b, rsrc + L::Data, 0x7FFF0000); }},
        {"pe: data size smaller than the block", &pe,
         [&](auto& b) { Put32(b, rsrc + L::Data + 4, 40); }},
        {"pe: no RT_VERSION", &pe, [&](auto& b) { Put32(b, rsrc + L::Root + 16 + 8, 6); }},
        {"pe: block length beyond the data", &pe,
         [&](auto& b) { Put16(b, rsrc + L::Block, 0xFFFE); }},
        {"elf: table past the end", &elf, [&](auto& b) { fixtures::Put64(b, 0x28, ~0ull - 8); }},
        {"elf: huge section count", &elf, [&](auto& b) { Put16(b, 0x3C, 0xFFFF); }},
        {"elf: names index out of range", &elf, [&](auto& b) { Put16(b, 0x3E, 9); }},
        {"elf: entry size too small", &elf, [&](auto& b) { Put16(b, 0x3A, 40); }},
        {"elf: section past the end", &elf,
         [&](auto& b) { fixtures::Put64(b, el.Table + 3 * 64 + 0x18, ~0ull - 4); }},
        {"elf: section size past the end", &elf,
         [&](auto& b) { fixtures::Put64(b, el.Table + 3 * 64 + 0x20, 1u << 30); }},
        {"elf: name offset past the string table", &elf,
         [&](auto& b) { Put32(b, el.Table + 3 * 64, 0x7FFFFFFF); }},
        {"elf: string table wrapping around", &elf,
         [&](auto& b) { fixtures::Put64(b, el.Table + 1 * 64 + 0x18, ~0ull - 16); }},
        {"elf: section holds no bytes", &elf, [&](auto& b) { Put32(b, el.Table + 3 * 64 + 4, 8); }},
        {"elf: read as the other class", &elf, [](auto& b) { b[4] = 1; }},
        {"elf: read in the other byte order", &elf, [](auto& b) { b[5] = 2; }},
        {"elf: unknown class", &elf, [](auto& b) { b[4] = 3; }},
        {"elf: block length beyond the section", &elf,
         [&](auto& b) { Put16(b, el.Block, static_cast<std::uint16_t>(block.size() + 8)); }},
        {"neither PE nor ELF", &pe, [](auto& b) { b[0] = 'Z'; }},
    };
    for (const auto& c : cases) {
        auto bytes = *c.Base;
        c.Apply(bytes);
        std::vector<std::uint8_t> read;
        EXPECT_FALSE(ExtractVersionBlock(MemoryImage(bytes), read)) << c.Name;
        EXPECT_TRUE(read.empty()) << c.Name;
    }
}

TEST(VersionInfoHostile, EveryTruncationHasNoVersionResource) {
    const auto block = fixtures::SimpleBlock("1.2.3.4", u"Good");
    for (const auto& image :
         {fixtures::MakePe(false, block, block), fixtures::MakePe(true, block, block),
          fixtures::MakeElf(false, true, block), fixtures::MakeElf(true, false, block)}) {
        std::vector<std::uint8_t> read;
        ASSERT_TRUE(ExtractVersionBlock(MemoryImage(image), read));
        for (std::size_t n = 0; n < image.size(); ++n) {
            // A copy of exactly n bytes, so an overrun is an overrun of a real allocation.
            const std::vector<std::uint8_t> cut(image.begin(),
                                                image.begin() + static_cast<std::ptrdiff_t>(n));
            if (ExtractVersionBlock(MemoryImage(cut), read)) {
                // Only the PE's trailing bytes after its block may go.
                EXPECT_EQ(read, block) << n;
            }
        }
    }
}

// Damaged blocks: the walk fails and queries find nothing, without reading past the block.
TEST(VersionInfoHostile, DamagedBlocksAreRejected) {
    const auto good = WriteVersionInfo(FrenchFirst());
    const std::size_t sfi = 92, table = sfi + 36, string = table + 24;
    using Damage = std::function<void(std::vector<std::uint8_t>&)>;
    const struct {
        const char* Name;
        Damage Apply;
    } cases[] = {
        {"root longer than the block",
         [](auto& b) { Put16(b, 0, static_cast<std::uint16_t>(b.size() + 4)); }},
        {"root shorter than its header", [](auto& b) { Put16(b, 0, 4); }},
        {"root key without its NUL",
         [](auto& b) {
             b.resize(20);
             Put16(b, 0, 20);
         }},
        {"string running past its table",
         [&](auto& b) { Put16(b, string, static_cast<std::uint16_t>(At16(b, table) + 8)); }},
        {"table running past its parent",
         [&](auto& b) { Put16(b, table, static_cast<std::uint16_t>(At16(b, sfi) + 2)); }},
        {"odd string length",
         [&](auto& b) { Put16(b, string, static_cast<std::uint16_t>(At16(b, string) + 1)); }},
        {"string shorter than its header", [&](auto& b) { Put16(b, string, 2); }},
        {"string key without its NUL", [&](auto& b) { Put16(b, string, 8); }},
    };
    for (const auto& c : cases) {
        auto bytes = good;
        c.Apply(bytes);
        const std::vector<std::uint8_t> exact(bytes); // no slack behind the block
        TVersionInfo info;
        EXPECT_FALSE(ParseVersionInfo(exact, info)) << c.Name;
        std::string value;
        EXPECT_FALSE(QueryVersionString(exact, "\\StringFileInfo\\040c04b0\\CompanyName", value))
            << c.Name;
    }
    // A writer that skips the padding after the root key: the fixed part is misread, so the
    // block has no valid root, and nothing is read outside it.
    auto unpadded = good;
    unpadded.erase(unpadded.begin() + 38, unpadded.begin() + 40);
    Put16(unpadded, 0, static_cast<std::uint16_t>(unpadded.size()));
    const std::vector<std::uint8_t> exact(unpadded);
    TVersionInfo info;
    EXPECT_FALSE(ParseVersionInfo(exact, info) && HasValidRoot(info));
    std::string value;
    EXPECT_FALSE(QueryVersionString(exact, "\\StringFileInfo\\040c04b0\\CompanyName", value));
}

TEST(VersionInfoHostile, ValueLengthsBeyondTheirNodeAreCut) {
    auto block = WriteVersionInfo(FrenchFirst());
    const std::size_t string = 92 + 36 + 24;
    Put16(block, string + 2, 0xFFFF); // wValueLength far beyond the node
    TVersionInfo info;
    ASSERT_TRUE(ParseVersionInfo(block, info));
    EXPECT_EQ(info.StringTables[0].Strings[0].Value, u"Soci\u00e9t\u00e9 Fran\u00e7aise");
    EXPECT_EQ(info.StringTables[0].Strings[1].Value, u"Outil");

    Put16(block, 2, 0xFFFF); // a root value running over its children and the block
    ASSERT_TRUE(ParseVersionInfo(block, info));
    EXPECT_FALSE(HasValidRoot(info));
    EXPECT_TRUE(info.StringTables.empty());
}

TEST(VersionInfoFiles, RefusesWhatIsNotARegularFile) {
    TempFolder folder;
    const std::string fifo = folder.Path + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::vector<std::uint8_t> block;
    // Opening a FIFO for blocking reads would wait for a writer forever.
    EXPECT_FALSE(ReadVersionBlock(fifo, block));
    EXPECT_EQ(IsPe64Image(fifo), (TPeKind{}));
    EXPECT_FALSE(ReadVersionBlock(folder.Path, block));
    EXPECT_FALSE(ReadVersionBlock(folder.Path + "/missing", block));
}

// Real Windows executables, when the wine64 package happens to be installed.
TEST(VersionInfoFiles, ReadsRealPeFilesWhenAvailable) {
    const std::string folder = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows";
    int read = 0;
    for (const char* name : {"notepad.exe", "regedit.exe", "kernel32.dll"}) {
        const std::string path = folder + "/" + name;
        if (!std::filesystem::exists(path))
            continue;
        std::vector<std::uint8_t> block;
        ASSERT_TRUE(ReadVersionBlock(path, block)) << path;
        TVersionInfo info;
        ASSERT_TRUE(ParseVersionInfo(block, info)) << path;
        EXPECT_TRUE(HasValidRoot(info)) << path;
        EXPECT_FALSE(info.StringTables.empty()) << path;
        EXPECT_EQ(IsPe64Image(path), (TPeKind{true, true})) << path;
        ++read;
    }
    if (read == 0)
        GTEST_SKIP() << "wine64 is not installed";
}
