// Writes Huelet's VS_VERSIONINFO block for the build to embed, and shows the block of any file.
//   huelet-versioninfo write OUTPUT VERSION   (VERSION as "1.10.4.23")
//   huelet-versioninfo show FILE
#include "base/files.h"
#include "platform/versioninfo.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

int Write(const char* output, const char* version) {
    TVersionInfo info;
    if (!ParseFourPartVersion(version, info.Fixed.FileVersionMS, info.Fixed.FileVersionLS)) {
        std::fprintf(stderr, "huelet-versioninfo: not a version: %s\n", version);
        return 2;
    }
    ParseFourPartVersion("1.0.0.0", info.Fixed.ProductVersionMS, info.Fixed.ProductVersionLS);
    // US English, UTF-16 strings.
    TStringTable table{StringTableName(0x0409, 0x04B0), {}};
    for (const auto& [key, value] :
         {std::pair<const char*, std::string>{"CompanyName", "Norwick Softworks"},
          {"FileDescription", "Huelet"},
          {"FileVersion", version},
          {"InternalName", ""},
          {"LegalCopyright", ""},
          {"OriginalFilename", ""},
          {"ProductName", ""},
          {"ProductVersion", "1.0.0.0"}})
        table.Strings.push_back({Utf8ToUtf16(key), Utf8ToUtf16(value)});
    info.StringTables.push_back(table);
    info.Translations.push_back(0x04B00409);
    const std::vector<std::uint8_t> block = WriteVersionInfo(info);

    // Written beside the target and renamed, so a failed run leaves no half block behind.
    try {
        base::ReplaceFile(
            output, std::string_view(reinterpret_cast<const char*>(block.data()), block.size()));
    } catch (const base::IoError& e) {
        std::fprintf(stderr, "huelet-versioninfo: cannot write %s: %s\n", output,
                     e.Reason().c_str());
        return 1;
    }
    return 0;
}

int Show(const char* path) {
    std::vector<std::uint8_t> block;
    TVersionInfo info;
    if (!ReadVersionBlock(path, block) || !ParseVersionInfo(block, info)) {
        std::printf("no version resource\n");
        return 1;
    }
    const TFixedFileInfo& f = info.Fixed;
    std::printf("root\t%s\n", Utf16ToUtf8(info.RootKey).c_str());
    std::printf("fixed\t%u bytes, signature %08X\n", info.FixedLength, f.Signature);
    std::printf("file version\t%u.%u.%u.%u\n", f.FileVersionMS >> 16, f.FileVersionMS & 0xFFFF,
                f.FileVersionLS >> 16, f.FileVersionLS & 0xFFFF);
    std::printf("product version\t%u.%u.%u.%u\n", f.ProductVersionMS >> 16,
                f.ProductVersionMS & 0xFFFF, f.ProductVersionLS >> 16, f.ProductVersionLS & 0xFFFF);
    for (const TStringTable& table : info.StringTables) {
        std::printf("table %s\n", Utf16ToUtf8(table.Name).c_str());
        for (const TVersionString& s : table.Strings)
            std::printf("\t%s=%s\n", Utf16ToUtf8(s.Key).c_str(), Utf16ToUtf8(s.Value).c_str());
    }
    for (std::uint32_t t : info.Translations)
        std::printf("translation\t%04X %04X\n", t & 0xFFFF, t >> 16);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "write") == 0)
        return Write(argv[2], argv[3]);
    if (argc == 3 && std::strcmp(argv[1], "show") == 0)
        return Show(argv[2]);
    std::fprintf(stderr, "usage: huelet-versioninfo write OUTPUT VERSION\n"
                         "       huelet-versioninfo show FILE\n");
    return 2;
}
