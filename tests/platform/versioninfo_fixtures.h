#pragma once
// Small executables built in memory around a version block: a PE image with a resource
// directory, and an ELF image with a ".huelet_version" section.
#include "platform/versioninfo.h"

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace fixtures {

inline void Put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v, bool big = false) {
    if (b.size() < at + 2)
        b.resize(at + 2);
    b[at + (big ? 1 : 0)] = static_cast<std::uint8_t>(v);
    b[at + (big ? 0 : 1)] = static_cast<std::uint8_t>(v >> 8);
}
inline void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v, bool big = false) {
    Put16(b, at + (big ? 2 : 0), static_cast<std::uint16_t>(v), big);
    Put16(b, at + (big ? 0 : 2), static_cast<std::uint16_t>(v >> 16), big);
}
inline void Put64(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v, bool big = false) {
    Put32(b, at + (big ? 4 : 0), static_cast<std::uint32_t>(v), big);
    Put32(b, at + (big ? 0 : 4), static_cast<std::uint32_t>(v >> 32), big);
}
inline std::uint32_t Get32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24;
}

// A block with the given file version and one US English table holding CompanyName.
inline std::vector<std::uint8_t> SimpleBlock(const char* version, const char16_t* company) {
    TVersionInfo info;
    ParseFourPartVersion(version, info.Fixed.FileVersionMS, info.Fixed.FileVersionLS);
    info.StringTables.push_back({StringTableName(0x0409, 0x04B0), {{u"CompanyName", company}}});
    info.Translations.push_back(0x04B00409);
    return WriteVersionInfo(info);
}

// Offsets inside a PE fixture, for tests that damage it.
struct TPeLayout {
    std::size_t NtHeaders = 0x80;
    std::size_t Optional = 0;      // optional header
    std::size_t ResourceEntry = 0; // resource data-directory entry (RVA, size)
    std::size_t Section = 0;       // the one section header
    std::size_t Resources = 0x200; // file offset of the resource section (RVA 0x1000)
    // Resource directories, relative to the resource section.
    static constexpr std::uint32_t Root = 0x00, Names = 0x20, OtherNames = 0x40;
    static constexpr std::uint32_t Languages = 0x58, OtherLanguages = 0x78;
    static constexpr std::uint32_t Data = 0x90, OtherData = 0xA0, Block = 0xB0;
    std::size_t OtherBlock = 0; // relative to the resource section
};

// PE32 or PE32+ with one ".rsrc" section. The root directory lists RT_ICON before
// RT_VERSION; RT_VERSION has two names and its first name two languages. Only the first
// language of the first name of RT_VERSION holds First; every other path leads to Second, so
// a reader that takes a wrong entry reads the wrong block.
inline std::vector<std::uint8_t> MakePe(bool pe64, const std::vector<std::uint8_t>& first,
                                        const std::vector<std::uint8_t>& second,
                                        TPeLayout* layout = nullptr) {
    TPeLayout l;
    std::vector<std::uint8_t> b(0x200, 0);
    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 60, static_cast<std::uint32_t>(l.NtHeaders));
    Put32(b, l.NtHeaders, 0x00004550);
    const std::size_t coff = l.NtHeaders + 4;
    Put16(b, coff, pe64 ? 0x8664 : 0x14C);
    Put16(b, coff + 2, 1);
    const std::uint16_t optionalSize = pe64 ? 240 : 224;
    Put16(b, coff + 16, optionalSize);
    l.Optional = coff + 20;
    Put16(b, l.Optional, pe64 ? 0x20B : 0x10B);
    Put32(b, l.Optional + (pe64 ? 108 : 92), 16);
    l.ResourceEntry = l.Optional + (pe64 ? 112 : 96) + 16;
    l.Section = l.Optional + optionalSize;

    using L = TPeLayout;
    constexpr std::uint32_t dir = 0x80000000;
    std::vector<std::uint8_t> r(L::Block, 0);
    auto directory = [&](std::uint32_t at, std::vector<std::pair<std::uint32_t, std::uint32_t>> e) {
        Put16(r, at + 14, static_cast<std::uint16_t>(e.size()));
        for (std::size_t i = 0; i < e.size(); ++i) {
            Put32(r, at + 16 + 8 * i, e[i].first);
            Put32(r, at + 20 + 8 * i, e[i].second);
        }
    };
    directory(L::Root, {{3, dir | L::OtherNames}, {16, dir | L::Names}});
    directory(L::Names, {{1, dir | L::Languages}, {2, dir | L::OtherLanguages}});
    directory(L::OtherNames, {{1, dir | L::OtherLanguages}});
    directory(L::Languages, {{0x409, L::Data}, {0x40C, L::OtherData}});
    directory(L::OtherLanguages, {{0x409, L::OtherData}});
    r.insert(r.end(), first.begin(), first.end());
    while (r.size() % 8)
        r.push_back(0);
    l.OtherBlock = r.size();
    r.insert(r.end(), second.begin(), second.end());
    Put32(r, TPeLayout::Data, 0x1000 + TPeLayout::Block);
    Put32(r, TPeLayout::Data + 4, static_cast<std::uint32_t>(first.size()));
    Put32(r, TPeLayout::OtherData, 0x1000 + static_cast<std::uint32_t>(l.OtherBlock));
    Put32(r, TPeLayout::OtherData + 4, static_cast<std::uint32_t>(second.size()));

    Put32(b, l.ResourceEntry, 0x1000);
    Put32(b, l.ResourceEntry + 4, static_cast<std::uint32_t>(r.size()));
    const char name[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
    std::copy(name, name + 8, b.begin() + static_cast<std::ptrdiff_t>(l.Section));
    Put32(b, l.Section + 8, static_cast<std::uint32_t>(r.size()));  // virtual size
    Put32(b, l.Section + 12, 0x1000);                               // virtual address
    Put32(b, l.Section + 16, static_cast<std::uint32_t>(r.size())); // raw size
    Put32(b, l.Section + 20, static_cast<std::uint32_t>(l.Resources));
    b.insert(b.end(), r.begin(), r.end());
    if (layout)
        *layout = l;
    return b;
}

// Offsets inside an ELF fixture.
struct TElfLayout {
    std::size_t Block = 0; // file offset of the block
    std::size_t Table = 0; // section header table
    std::size_t EntrySize = 0;
    std::size_t Strings = 0; // section-name string table
};

// An ELF file of either class and byte order: sections null, .shstrtab, .text, then the
// version section holding Block, then the section headers.
inline std::vector<std::uint8_t>
MakeElf(bool wide, bool big, const std::vector<std::uint8_t>& block, TElfLayout* layout = nullptr) {
    TElfLayout l;
    const std::size_t header = wide ? 64 : 52;
    std::vector<std::uint8_t> b(header, 0);
    b[0] = 0x7F;
    b[1] = 'E';
    b[2] = 'L';
    b[3] = 'F';
    b[4] = wide ? 2 : 1;
    b[5] = big ? 2 : 1;
    b[6] = 1;
    const std::string names = std::string("\0.shstrtab\0.text\0", 17) + kElfVersionSection + '\0';
    l.Strings = b.size();
    b.insert(b.end(), names.begin(), names.end());
    const std::size_t text = b.size();
    for (int i = 0; i < 16; ++i)
        b.push_back(0x90);
    while (b.size() % 4)
        b.push_back(0);
    l.Block = b.size();
    b.insert(b.end(), block.begin(), block.end());
    while (b.size() % 8)
        b.push_back(0);
    l.Table = b.size();
    l.EntrySize = wide ? 64 : 40;
    struct S {
        std::uint32_t Name, Type;
        std::size_t Offset, Size;
    };
    const S sections[] = {{0, 0, 0, 0},
                          {1, 3, l.Strings, names.size()},
                          {11, 1, text, 16},
                          {17, 1, l.Block, block.size()}};
    for (const S& s : sections) {
        const std::size_t at = b.size();
        b.resize(at + l.EntrySize, 0);
        Put32(b, at, s.Name, big);
        Put32(b, at + 4, s.Type, big);
        if (wide) {
            Put64(b, at + 0x18, s.Offset, big);
            Put64(b, at + 0x20, s.Size, big);
        } else {
            Put32(b, at + 0x10, static_cast<std::uint32_t>(s.Offset), big);
            Put32(b, at + 0x14, static_cast<std::uint32_t>(s.Size), big);
        }
    }
    if (wide) {
        Put16(b, 16, 2, big);
        Put16(b, 18, 62, big); // EM_X86_64
        Put64(b, 0x28, l.Table, big);
        Put16(b, 0x34, 64, big);
        Put16(b, 0x3A, 64, big);
        Put16(b, 0x3C, 4, big);
        Put16(b, 0x3E, 1, big);
    } else {
        Put16(b, 16, 2, big);
        Put16(b, 18, 3, big); // EM_386
        Put32(b, 0x20, static_cast<std::uint32_t>(l.Table), big);
        Put16(b, 0x28, 52, big);
        Put16(b, 0x2E, 40, big);
        Put16(b, 0x30, 4, big);
        Put16(b, 0x32, 1, big);
    }
    if (layout)
        *layout = l;
    return b;
}

inline bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return out.good();
}

} // namespace fixtures
