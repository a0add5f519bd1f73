#include "fixtures.h"

#include "base/encoding.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace fixtures {

namespace {

void Put16(std::vector<std::uint8_t>& B, std::size_t At, std::uint32_t V) {
    B[At] = static_cast<std::uint8_t>(V);
    B[At + 1] = static_cast<std::uint8_t>(V >> 8);
}

void Put32(std::vector<std::uint8_t>& B, std::size_t At, std::uint32_t V) {
    Put16(B, At, V & 0xFFFF);
    Put16(B, At + 2, V >> 16);
}

} // namespace

TVersionInfo MakeVersionInfo(const Strings& Strings, const std::string& FixedVersion,
                             const std::string& Table) {
    TVersionInfo info;
    if (!FixedVersion.empty() &&
        !ParseFourPartVersion(FixedVersion, info.Fixed.FileVersionMS, info.Fixed.FileVersionLS))
        throw std::invalid_argument("bad fixture version " + FixedVersion);
    TStringTable table;
    table.Name = base::Windows1252ToUtf16(Table);
    for (const auto& [key, value] : Strings)
        table.Strings.push_back({base::Windows1252ToUtf16(key), base::Windows1252ToUtf16(value)});
    info.StringTables.push_back(table);
    const std::uint32_t language = std::strtoul(Table.substr(0, 4).c_str(), nullptr, 16);
    const std::uint32_t codePage = std::strtoul(Table.substr(4, 4).c_str(), nullptr, 16);
    info.Translations.push_back(language | codePage << 16);
    return info;
}

std::vector<std::uint8_t> PeImage(const std::vector<std::uint8_t>& VersionBlock, bool Pe64) {
    // Headers in the first 0x200 bytes, one ".rsrc" section at file offset 0x200 / RVA 0x1000
    // holding the three-level resource directory (type 16, name 1, language 0x409).
    const std::size_t peAt = 0x40, optAt = peAt + 24;
    const std::size_t optSize = Pe64 ? 240 : 224;
    const std::size_t sectionAt = optAt + optSize;
    const std::uint32_t rva = 0x1000, raw = 0x200, dataOffset = 88;
    const std::size_t rsrcSize = (dataOffset + VersionBlock.size() + 0x1FF) & ~std::size_t(0x1FF);
    std::vector<std::uint8_t> b(raw + rsrcSize, 0);

    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 0x3C, peAt);
    std::memcpy(&b[peAt], "PE\0\0", 4);
    Put16(b, peAt + 4, Pe64 ? 0x8664 : 0x14C);
    Put16(b, peAt + 6, 1);        // sections
    Put16(b, peAt + 20, optSize); // size of the optional header
    Put16(b, peAt + 22, Pe64 ? 0x22 : 0x102);
    Put16(b, optAt, Pe64 ? 0x20B : 0x10B);
    const std::size_t windowsAt = optAt + (Pe64 ? 24 : 28);
    Put32(b, windowsAt + (Pe64 ? 8 : 4), 0x1000); // section alignment
    Put32(b, windowsAt + (Pe64 ? 12 : 8), 0x200); // file alignment
    Put32(b, windowsAt + (Pe64 ? 32 : 28), rva + 0x1000 + static_cast<std::uint32_t>(rsrcSize));
    Put32(b, windowsAt + (Pe64 ? 36 : 32), raw); // size of headers
    Put16(b, windowsAt + (Pe64 ? 44 : 40), 2);   // GUI subsystem
    const std::size_t dirsAt = optAt + (Pe64 ? 112 : 96);
    Put32(b, dirsAt - 4, 16); // number of data directories
    Put32(b, dirsAt + 2 * 8, rva);
    Put32(b, dirsAt + 2 * 8 + 4, static_cast<std::uint32_t>(dataOffset + VersionBlock.size()));

    std::memcpy(&b[sectionAt], ".rsrc\0\0\0", 8);
    Put32(b, sectionAt + 8, static_cast<std::uint32_t>(rsrcSize));
    Put32(b, sectionAt + 12, rva);
    Put32(b, sectionAt + 16, static_cast<std::uint32_t>(rsrcSize));
    Put32(b, sectionAt + 20, raw);
    Put32(b, sectionAt + 36, 0x40000040); // initialised data, readable

    // Each directory: 16-byte header with one id entry, then the 8-byte entry.
    auto directory = [&](std::size_t At, std::uint32_t Id, std::uint32_t Target) {
        Put16(b, raw + At + 14, 1);
        Put32(b, raw + At + 16, Id);
        Put32(b, raw + At + 20, Target);
    };
    directory(0, 16, 0x80000000u | 24);
    directory(24, 1, 0x80000000u | 48);
    directory(48, 0x409, 72);
    Put32(b, raw + 72, rva + dataOffset);
    Put32(b, raw + 76, static_cast<std::uint32_t>(VersionBlock.size()));
    Put32(b, raw + 80, 1252);
    std::memcpy(&b[raw + dataOffset], VersionBlock.data(), VersionBlock.size());
    return b;
}

bool WritePeFile(const std::string& Path, const TVersionInfo& Info, bool Pe64) {
    const std::vector<std::uint8_t> image = PeImage(WriteVersionInfo(Info), Pe64);
    std::ofstream out(Path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()),
              static_cast<std::streamsize>(image.size()));
    return static_cast<bool>(out);
}

bool WriteTextFile(const std::string& Path, const std::string& Text) {
    std::filesystem::create_directories(std::filesystem::path(Path).parent_path());
    std::ofstream out(Path, std::ios::binary | std::ios::trunc);
    out << Text;
    return static_cast<bool>(out);
}

std::string TempEnvironment::Folder(const std::string& Relative) const {
    const std::string path = root_ + Relative + "/";
    std::filesystem::create_directories(path);
    return path;
}

} // namespace fixtures
