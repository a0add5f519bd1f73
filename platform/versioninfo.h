#pragma once
// VS_VERSIONINFO blocks: writing them, finding them in PE and ELF files, and reading them.
// No Qt here: the build tool that embeds the program's own block links this file alone.
//
// Layout of every node of a block (all little-endian):
//   u16 wLength       bytes of the node, its children included, trailing padding excluded
//   u16 wValueLength  bytes of a binary value, UTF-16 units (terminating NUL included) of text
//   u16 wType         0 binary, 1 text
//   UTF-16 key, NUL-terminated, padded to a 32-bit boundary
//   value, padded to a 32-bit boundary
//   children, each starting on a 32-bit boundary
// Offsets are aligned relative to the start of the block, which is itself 32-bit aligned.
#include "base/encoding.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// ----- The block as data -----

constexpr std::uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
constexpr std::uint16_t kFixedFileInfoSize = 52;

// The 52-byte VS_FIXEDFILEINFO, field by field. Defaults are those of an ordinary application.
struct TFixedFileInfo {
    std::uint32_t Signature = kFixedFileInfoSignature;
    std::uint32_t StrucVersion = 0x00010000;
    std::uint32_t FileVersionMS = 0; // major << 16 | minor
    std::uint32_t FileVersionLS = 0; // release << 16 | build
    std::uint32_t ProductVersionMS = 0;
    std::uint32_t ProductVersionLS = 0;
    std::uint32_t FileFlagsMask = 0x3F;
    std::uint32_t FileFlags = 0;
    std::uint32_t FileOS = 0x00040004; // VOS_NT_WINDOWS32
    std::uint32_t FileType = 1;        // VFT_APP
    std::uint32_t FileSubtype = 0;
    std::uint32_t FileDateMS = 0;
    std::uint32_t FileDateLS = 0;
    bool operator==(const TFixedFileInfo&) const = default;
};

struct TVersionString {
    std::u16string Key;
    std::u16string Value; // up to its first NUL
    bool operator==(const TVersionString&) const = default;
};

// One string table of a "StringFileInfo" block; its name is normally 8 hexadecimal digits,
// language then code page ("040904B0").
struct TStringTable {
    std::u16string Name;
    std::vector<TVersionString> Strings; // in block order
    bool operator==(const TStringTable&) const = default;
};

// A whole block. The writer writes exactly this; the parser fills it from a block.
struct TVersionInfo {
    std::u16string RootKey = u"VS_VERSION_INFO";
    // The root's wValueLength; Fixed is only filled (by the parser) when it is 52.
    std::uint16_t FixedLength = kFixedFileInfoSize;
    TFixedFileInfo Fixed;
    // Every table of every "StringFileInfo" child of the root, in block order. The writer puts
    // them all in one "StringFileInfo" block (none when empty).
    std::vector<TStringTable> StringTables;
    // "\VarFileInfo\Translation": language in the low 16 bits, code page in the high 16 bits.
    // The writer leaves "VarFileInfo" out when empty.
    std::vector<std::uint32_t> Translations;
    bool operator==(const TVersionInfo&) const = default;
};

// "040904B0" for language 0x0409 and code page 0x04B0.
std::u16string StringTableName(std::uint16_t Language, std::uint16_t CodePage);
// Version numbers of the fixed part from "1.10.4.23" (missing parts are 0; false when the text
// is not one to four dot-separated numbers of at most 65535).
bool ParseFourPartVersion(std::string_view Text, std::uint32_t& MS, std::uint32_t& LS);

// ----- Writer -----

// The block in the published layout, as the Windows resource compiler writes it. Throws
// std::length_error when it would not fit the 16-bit lengths.
std::vector<std::uint8_t> WriteVersionInfo(const TVersionInfo& Info);

// ----- Reading a block -----

// Walks a whole block. False, with Info left unspecified, when the block is malformed: shorter
// than its header, a node whose wLength is odd, shorter than its header or runs past its
// parent, a key without its NUL. Values whose length runs past their node are cut at the
// node's end. The root key and the fixed part's length and signature are not judged here;
// see HasValidRoot.
bool ParseVersionInfo(std::span<const std::uint8_t> Block, TVersionInfo& Info);

// Root key "VS_VERSION_INFO" (ASCII case ignored), fixed part of 52 bytes with its signature.
bool HasValidRoot(const TVersionInfo& Info);

// What a query finds at a sub-block path.
struct TVersionValue {
    std::uint16_t Type = 0;         // wType of the node: 0 binary, 1 text
    std::vector<std::uint8_t> Data; // raw value bytes (for text: wValueLength units, cut at
                                    // the node's end)
    std::u16string Text;            // the value read as UTF-16, up to its first NUL
};

// Looks up a sub-block path the way the system's version query does: components separated by
// "\", each matched against the children's keys ignoring ASCII case, first match wins; "\" (or
// "") is the root, whose value is the fixed part. False when the path is not found or a node
// read on the way there is malformed (in the sense of ParseVersionInfo).
bool QueryVersionValue(std::span<const std::uint8_t> Block, std::string_view SubBlock,
                       TVersionValue& Value);

// "\": the fixed part. False when the root's value is shorter than 52 bytes. The signature is
// not checked (the caller decides).
bool QueryFixedFileInfo(std::span<const std::uint8_t> Block, TFixedFileInfo& Fixed);

// "\VarFileInfo\Translation": one entry per complete 32-bit value, in order. False when the
// path is missing or holds no complete entry.
bool QueryTranslations(std::span<const std::uint8_t> Block, std::vector<std::uint32_t>& Entries);

// A text value (for example "\StringFileInfo\040904b0\CompanyName"), up to its first NUL,
// converted to Windows-1252. False when the path is not found.
bool QueryVersionString(std::span<const std::uint8_t> Block, std::string_view SubBlock,
                        std::string& Value);

// ----- Finding the block in a file -----

// Name of the ELF section that carries a program's block.
constexpr const char* kElfVersionSection = ".huelet_version";

// Random access to an image: Read(offset, destination, count) is true only when all count bytes
// lie inside the image and were copied.
struct TImageSource {
    std::uint64_t Size = 0;
    std::function<bool(std::uint64_t, void*, std::size_t)> Read;
};
TImageSource MemoryImage(std::span<const std::uint8_t> Bytes); // the span must outlive it

// The version block of a PE image (RT_VERSION: the first name, then its first language) or an
// ELF image (the ".huelet_version" section; either class, either byte order), cut to the
// root's wLength. False ("no version resource") for anything else or anything damaged: reads
// outside the image, a root length beyond the resource, a resource directory that loops.
bool ExtractVersionBlock(const TImageSource& Image, std::vector<std::uint8_t>& Block);

// The same for a file. Only regular files are read (a FIFO or device is never opened for
// blocking reads).
bool ReadVersionBlock(const std::string& Path, std::vector<std::uint8_t>& Block);

struct TPeKind {
    bool IsPe = false;   // "MZ", and the PE signature at the offset held at 60, with 248 bytes
                         // of NT headers in the file
    bool IsPe64 = false; // additionally the optional header's magic is 0x20B (PE32+)
    bool operator==(const TPeKind&) const = default;
};
TPeKind PeImageKind(const TImageSource& Image);
// Both false for a missing, unreadable or short file and for anything that is not a PE image.
TPeKind IsPe64Image(const std::string& Path);

// ----- Text -----

// The conversions of the version strings, as base defines them (outside Windows-1252: "?").
using base::Utf16ToUtf8;
using base::Utf16ToWindows1252;
using base::Utf8ToUtf16;
