#include "platform/versioninfo.h"

#include "base/ascii.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// ----- Little helpers -----

constexpr std::size_t Align4(std::size_t n) {
    return (n + 3) & ~std::size_t(3);
}

std::uint16_t Le16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
std::uint32_t Le32(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 |
           static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// ----- Walking a block -----

// One node of a block, positions relative to the block's start.
struct TNode {
    std::size_t Start = 0;
    std::size_t End = 0; // Start + wLength
    std::uint16_t ValueLength = 0;
    std::uint16_t Type = 0;
    std::u16string Key;
    std::size_t ValueOffset = 0;
    std::size_t ValueBytes = 0; // cut at End
    std::size_t ChildrenOffset = 0;
};

enum class TRead { Ok, End, Bad };

// Reads the node at Pos, which must lie within [Pos, Limit).
TRead ReadNode(std::span<const std::uint8_t> b, std::size_t pos, std::size_t limit, TNode& n) {
    if (pos + 6 > limit)
        return TRead::Bad;
    const std::uint16_t length = Le16(b, pos);
    // Zero words after the last child are padding some writers leave inside the parent.
    if (length == 0)
        return TRead::End;
    if (length < 6 || (length & 1) || length > limit - pos)
        return TRead::Bad;
    n.Start = pos;
    n.End = pos + length;
    n.ValueLength = Le16(b, pos + 2);
    n.Type = Le16(b, pos + 4);
    n.Key.clear();
    std::size_t at = pos + 6;
    for (;;) {
        if (at + 2 > n.End)
            return TRead::Bad; // key without its NUL
        const char16_t c = Le16(b, at);
        at += 2;
        if (c == 0)
            break;
        n.Key.push_back(c);
    }
    n.ValueOffset = std::min(Align4(at), n.End);
    const std::size_t want = n.Type == 1 ? std::size_t(n.ValueLength) * 2 : n.ValueLength;
    n.ValueBytes = std::min(want, n.End - n.ValueOffset);
    n.ChildrenOffset = Align4(n.ValueOffset + n.ValueBytes);
    return TRead::Ok;
}

// Calls Visit(child) for each child of Parent in order; Visit returns false to stop early.
// False when a child is malformed.
template <typename F>
bool ForEachChild(std::span<const std::uint8_t> b, const TNode& parent, F&& visit) {
    std::size_t pos = parent.ChildrenOffset;
    TNode child;
    for (;;) {
        pos = Align4(pos);
        if (pos >= parent.End || parent.End - pos < 6)
            return true; // the rest is padding
        switch (ReadNode(b, pos, parent.End, child)) {
        case TRead::End:
            return true;
        case TRead::Bad:
            return false;
        case TRead::Ok:
            break;
        }
        if (!visit(child))
            return true;
        pos = child.End;
    }
}

std::u16string TextOf(std::span<const std::uint8_t> b, const TNode& n) {
    std::u16string text;
    for (std::size_t at = n.ValueOffset; at + 2 <= n.ValueOffset + n.ValueBytes; at += 2) {
        const char16_t c = Le16(b, at);
        if (c == 0)
            break;
        text.push_back(c);
    }
    return text;
}

bool ReadRoot(std::span<const std::uint8_t> b, TNode& root) {
    return ReadNode(b, 0, b.size(), root) == TRead::Ok;
}

TFixedFileInfo FixedAt(std::span<const std::uint8_t> b, std::size_t at) {
    TFixedFileInfo f;
    std::uint32_t* fields[] = {&f.Signature,     &f.StrucVersion,     &f.FileVersionMS,
                               &f.FileVersionLS, &f.ProductVersionMS, &f.ProductVersionLS,
                               &f.FileFlagsMask, &f.FileFlags,        &f.FileOS,
                               &f.FileType,      &f.FileSubtype,      &f.FileDateMS,
                               &f.FileDateLS};
    for (std::uint32_t* field : fields) {
        *field = Le32(b, at);
        at += 4;
    }
    return f;
}

// Finds the node at a "\"-separated path.
bool FindNode(std::span<const std::uint8_t> b, std::string_view path, TNode& node) {
    if (!ReadRoot(b, node))
        return false;
    std::size_t pos = 0;
    while (pos < path.size()) {
        const std::size_t slash = path.find('\\', pos);
        const std::size_t stop = slash == std::string_view::npos ? path.size() : slash;
        const std::u16string part = Utf8ToUtf16(path.substr(pos, stop - pos));
        pos = stop + 1;
        if (part.empty())
            continue;
        bool found = false;
        TNode match;
        if (!ForEachChild(b, node, [&](const TNode& child) {
                if (!base::EqualsIgnoringAsciiCase(child.Key, part))
                    return true;
                match = child;
                found = true;
                return false;
            }))
            return false;
        if (!found)
            return false;
        node = std::move(match);
    }
    return true;
}

// ----- Writing -----

class TWriter {
  public:
    std::vector<std::uint8_t> Out;

    void Pad() {
        while (Out.size() % 4)
            Out.push_back(0);
    }
    void Put16(std::uint16_t v) {
        Out.push_back(static_cast<std::uint8_t>(v));
        Out.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    void Put32(std::uint32_t v) {
        Put16(static_cast<std::uint16_t>(v));
        Put16(static_cast<std::uint16_t>(v >> 16));
    }
    // Starts a node at the next 32-bit boundary; returns its start.
    std::size_t Begin(std::u16string_view key, std::uint16_t valueLength, std::uint16_t type) {
        Pad();
        const std::size_t start = Out.size();
        Put16(0);
        Put16(valueLength);
        Put16(type);
        for (char16_t c : key)
            Put16(c);
        Put16(0);
        Pad();
        return start;
    }
    // Writes wLength: everything since Start, trailing padding excluded.
    void End(std::size_t start) {
        const std::size_t length = Out.size() - start;
        if (length > 0xFFFF)
            throw std::length_error("version block too long");
        Out[start] = static_cast<std::uint8_t>(length);
        Out[start + 1] = static_cast<std::uint8_t>(length >> 8);
    }
};

std::uint16_t Units(std::size_t n) {
    if (n > 0xFFFF)
        throw std::length_error("version text too long");
    return static_cast<std::uint16_t>(n);
}

// ----- Images -----

bool Get(const TImageSource& img, std::uint64_t at, std::size_t n, std::uint8_t* dst) {
    return img.Read && at <= img.Size && n <= img.Size - at && img.Read(at, dst, n);
}
bool Get16(const TImageSource& img, std::uint64_t at, bool big, std::uint16_t& v) {
    std::uint8_t b[2];
    if (!Get(img, at, 2, b))
        return false;
    v = big ? std::uint16_t(b[0] << 8 | b[1]) : std::uint16_t(b[1] << 8 | b[0]);
    return true;
}
bool Get32(const TImageSource& img, std::uint64_t at, bool big, std::uint32_t& v) {
    std::uint8_t b[4];
    if (!Get(img, at, 4, b))
        return false;
    v = 0;
    for (int i = 0; i < 4; ++i)
        v |= std::uint32_t(b[big ? i : 3 - i]) << (8 * (3 - i));
    return true;
}
bool Get64(const TImageSource& img, std::uint64_t at, bool big, std::uint64_t& v) {
    std::uint8_t b[8];
    if (!Get(img, at, 8, b))
        return false;
    v = 0;
    for (int i = 0; i < 8; ++i)
        v |= std::uint64_t(b[big ? i : 7 - i]) << (8 * (7 - i));
    return true;
}

// The block at At with at most Available bytes: its root's wLength decides how much is read.
bool BlockAt(const TImageSource& img, std::uint64_t at, std::uint64_t available,
             std::vector<std::uint8_t>& block) {
    std::uint16_t length = 0;
    if (available < 6 || !Get16(img, at, false, length) || length < 6 || length > available)
        return false;
    block.resize(length);
    if (!Get(img, at, length, block.data())) {
        block.clear();
        return false;
    }
    return true;
}

// ----- PE -----

struct TPeSection {
    std::uint32_t VirtualAddress = 0;
    std::uint32_t Extent = 0; // bytes of the section that the file holds at that address
    std::uint32_t RawPointer = 0;
};

struct TPe {
    std::vector<TPeSection> Sections;
    std::uint32_t ResourceRva = 0;

    // File offset of Count bytes at Rva, when one section's file data holds them all.
    bool Offset(std::uint64_t rva, std::uint64_t count, std::uint64_t& offset) const {
        for (const TPeSection& s : Sections) {
            if (rva < s.VirtualAddress)
                continue;
            const std::uint64_t into = rva - s.VirtualAddress;
            if (into > s.Extent || count > s.Extent - into)
                continue;
            offset = std::uint64_t(s.RawPointer) + into;
            return true;
        }
        return false;
    }
    bool Read32(const TImageSource& img, std::uint64_t rva, std::uint32_t& v) const {
        std::uint64_t off = 0;
        return Offset(rva, 4, off) && Get32(img, off, false, v);
    }
    bool Read16(const TImageSource& img, std::uint64_t rva, std::uint16_t& v) const {
        std::uint64_t off = 0;
        return Offset(rva, 2, off) && Get16(img, off, false, v);
    }
};

constexpr std::uint32_t kSubdirectory = 0x80000000;

// Entry Index of the resource directory at Offset (relative to the resource section): its
// name field and its target.
bool DirectoryEntry(const TImageSource& img, const TPe& pe, std::uint32_t offset,
                    std::uint32_t index, std::uint32_t& name, std::uint32_t& target) {
    const std::uint64_t at = std::uint64_t(pe.ResourceRva) + offset + 16 + std::uint64_t(index) * 8;
    return pe.Read32(img, at, name) && pe.Read32(img, at + 4, target);
}

bool DirectoryCount(const TImageSource& img, const TPe& pe, std::uint32_t offset,
                    std::uint32_t& count) {
    std::uint16_t named = 0, ids = 0;
    const std::uint64_t at = std::uint64_t(pe.ResourceRva) + offset;
    if (!pe.Read16(img, at + 12, named) || !pe.Read16(img, at + 14, ids))
        return false;
    count = std::uint32_t(named) + ids;
    return true;
}

bool PeVersionBlock(const TImageSource& img, std::vector<std::uint8_t>& block) {
    std::uint32_t lfanew = 0, signature = 0;
    if (!Get32(img, 60, false, lfanew) || !Get32(img, lfanew, false, signature) ||
        signature != 0x00004550)
        return false;
    const std::uint64_t coff = std::uint64_t(lfanew) + 4;
    std::uint16_t sections = 0, optionalSize = 0, magic = 0;
    if (!Get16(img, coff + 2, false, sections) || !Get16(img, coff + 16, false, optionalSize))
        return false;
    const std::uint64_t optional = coff + 20;
    if (!Get16(img, optional, false, magic))
        return false;
    std::uint64_t countAt = 0, directories = 0;
    if (magic == 0x10B) {
        countAt = 92;
        directories = 96;
    } else if (magic == 0x20B) {
        countAt = 108;
        directories = 112;
    } else {
        return false;
    }
    std::uint32_t count = 0;
    const std::uint64_t resourceEntry = directories + 2 * 8; // third data directory
    if (resourceEntry + 8 > optionalSize || !Get32(img, optional + countAt, false, count) ||
        count < 3)
        return false;
    TPe pe;
    std::uint32_t resourceSize = 0;
    if (!Get32(img, optional + resourceEntry, false, pe.ResourceRva) ||
        !Get32(img, optional + resourceEntry + 4, false, resourceSize) || pe.ResourceRva == 0 ||
        resourceSize == 0)
        return false;
    const std::uint64_t table = optional + optionalSize;
    for (std::uint16_t i = 0; i < sections; ++i) {
        std::uint8_t raw[40];
        if (!Get(img, table + std::uint64_t(i) * 40, sizeof raw, raw))
            return false;
        const std::span<const std::uint8_t> h(raw);
        TPeSection s;
        const std::uint32_t virtualSize = Le32(h, 8);
        const std::uint32_t rawSize = Le32(h, 16);
        s.VirtualAddress = Le32(h, 12);
        s.RawPointer = Le32(h, 20);
        s.Extent = virtualSize != 0 ? std::min(virtualSize, rawSize) : rawSize;
        pe.Sections.push_back(s);
    }

    // Type RT_VERSION, then its first name, then that name's first language. Each level must
    // be a new directory; a loop ends the search.
    std::uint32_t seen[3] = {0, 0, 0};
    std::uint32_t directory = 0, entries = 0, name = 0, target = 0;
    if (!DirectoryCount(img, pe, directory, entries))
        return false;
    bool found = false;
    for (std::uint32_t i = 0; i < entries && !found; ++i) {
        if (!DirectoryEntry(img, pe, directory, i, name, target))
            return false;
        found = name == 16;
    }
    if (!found)
        return false;
    for (int level = 1; level <= 2; ++level) {
        if (!(target & kSubdirectory))
            return false;
        directory = target & ~kSubdirectory;
        for (int i = 0; i < level; ++i)
            if (seen[i] == directory)
                return false;
        seen[level] = directory;
        if (!DirectoryCount(img, pe, directory, entries) || entries == 0 ||
            !DirectoryEntry(img, pe, directory, 0, name, target))
            return false;
    }
    if (target & kSubdirectory)
        return false;
    std::uint32_t dataRva = 0, dataSize = 0;
    const std::uint64_t dataEntry = std::uint64_t(pe.ResourceRva) + target;
    if (!pe.Read32(img, dataEntry, dataRva) || !pe.Read32(img, dataEntry + 4, dataSize))
        return false;
    std::uint64_t offset = 0;
    if (dataSize < 6 || !pe.Offset(dataRva, 6, offset))
        return false;
    std::uint16_t length = 0;
    std::uint64_t checked = 0;
    if (!Get16(img, offset, false, length) || length > dataSize ||
        !pe.Offset(dataRva, length, checked))
        return false;
    return BlockAt(img, offset, length, block);
}

// ----- ELF -----

struct TElfSection {
    std::uint32_t Name = 0;
    std::uint32_t Type = 0;
    std::uint64_t Offset = 0;
    std::uint64_t Size = 0;
    std::uint32_t Link = 0;
};

struct TElf {
    bool Big = false;
    bool Wide = false; // ELFCLASS64
    std::uint64_t Table = 0;
    std::uint16_t EntrySize = 0;

    bool Section(const TImageSource& img, std::uint64_t index, TElfSection& s) const {
        const std::uint64_t at = Table + index * EntrySize;
        if (!Get32(img, at, Big, s.Name) || !Get32(img, at + 4, Big, s.Type))
            return false;
        if (Wide)
            return Get64(img, at + 0x18, Big, s.Offset) && Get64(img, at + 0x20, Big, s.Size) &&
                   Get32(img, at + 0x28, Big, s.Link);
        std::uint32_t offset = 0, size = 0;
        if (!Get32(img, at + 0x10, Big, offset) || !Get32(img, at + 0x14, Big, size) ||
            !Get32(img, at + 0x18, Big, s.Link))
            return false;
        s.Offset = offset;
        s.Size = size;
        return true;
    }
};

bool ElfVersionBlock(const TImageSource& img, std::vector<std::uint8_t>& block) {
    std::uint8_t ident[16];
    if (!Get(img, 0, sizeof ident, ident))
        return false;
    TElf elf;
    if ((ident[4] != 1 && ident[4] != 2) || (ident[5] != 1 && ident[5] != 2))
        return false;
    elf.Wide = ident[4] == 2;
    elf.Big = ident[5] == 2;
    std::uint16_t count16 = 0, names16 = 0;
    if (elf.Wide) {
        if (!Get64(img, 0x28, elf.Big, elf.Table) || !Get16(img, 0x3A, elf.Big, elf.EntrySize) ||
            !Get16(img, 0x3C, elf.Big, count16) || !Get16(img, 0x3E, elf.Big, names16) ||
            elf.EntrySize < 0x40)
            return false;
    } else {
        std::uint32_t table = 0;
        if (!Get32(img, 0x20, elf.Big, table) || !Get16(img, 0x2E, elf.Big, elf.EntrySize) ||
            !Get16(img, 0x30, elf.Big, count16) || !Get16(img, 0x32, elf.Big, names16) ||
            elf.EntrySize < 0x28)
            return false;
        elf.Table = table;
    }
    if (elf.Table == 0)
        return false;
    std::uint64_t count = count16, names = names16;
    // Extended numbering: the real count and string-table index live in section 0.
    if (count == 0 || names == 0xFFFF) {
        TElfSection zero;
        if (!elf.Section(img, 0, zero))
            return false;
        if (count == 0)
            count = zero.Size;
        if (names == 0xFFFF)
            names = zero.Link;
    }
    if (elf.Table > img.Size || count > (img.Size - elf.Table) / elf.EntrySize || names >= count)
        return false;
    TElfSection strings;
    if (!elf.Section(img, names, strings) || strings.Type == 8 /* SHT_NOBITS */ ||
        strings.Offset > img.Size || strings.Size > img.Size - strings.Offset)
        return false;
    const std::string_view wanted(
        kElfVersionSection, std::char_traits<char>::length(kElfVersionSection) + 1); // with NUL
    char name[32];
    for (std::uint64_t i = 0; i < count; ++i) {
        TElfSection s;
        if (!elf.Section(img, i, s))
            return false;
        if (s.Name >= strings.Size || strings.Size - s.Name < wanted.size() ||
            !Get(img, strings.Offset + s.Name, wanted.size(),
                 reinterpret_cast<std::uint8_t*>(name)) ||
            std::string_view(name, wanted.size()) != wanted)
            continue;
        if (s.Type == 8)
            return false;
        if (s.Offset > img.Size || s.Size > img.Size - s.Offset)
            return false;
        return BlockAt(img, s.Offset, s.Size, block);
    }
    return false;
}

// A file opened for reading, closed on every path.
class TFile {
  public:
    explicit TFile(const std::string& path)
        : Fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {}
    ~TFile() {
        if (Fd >= 0)
            close(Fd);
    }
    TFile(const TFile&) = delete;
    TFile& operator=(const TFile&) = delete;

    // A source over a regular file; an empty one (Read unset) for anything else.
    TImageSource Source() const {
        struct stat st {};
        if (Fd < 0 || fstat(Fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0)
            return {};
        const int fd = Fd;
        return {static_cast<std::uint64_t>(st.st_size),
                [fd](std::uint64_t at, void* dst, std::size_t n) {
                    auto* out = static_cast<char*>(dst);
                    while (n > 0) {
                        const ssize_t got = pread(fd, out, n, static_cast<off_t>(at));
                        if (got < 0 && errno == EINTR)
                            continue;
                        if (got <= 0)
                            return false; // error, or the file shrank
                        out += got;
                        at += static_cast<std::uint64_t>(got);
                        n -= static_cast<std::size_t>(got);
                    }
                    return true;
                }};
    }

  private:
    int Fd;
};

} // namespace

// ----- Public -----

std::u16string StringTableName(std::uint16_t Language, std::uint16_t CodePage) {
    static const char digits[] = "0123456789ABCDEF";
    const std::uint32_t v = std::uint32_t(Language) << 16 | CodePage;
    std::u16string name(8, u'0');
    for (int i = 0; i < 8; ++i)
        name[7 - i] = static_cast<char16_t>(digits[(v >> (4 * i)) & 0xF]);
    return name;
}

bool ParseFourPartVersion(std::string_view Text, std::uint32_t& MS, std::uint32_t& LS) {
    std::uint32_t parts[4] = {0, 0, 0, 0};
    int n = 0;
    std::size_t pos = 0;
    for (;;) {
        if (n == 4)
            return false;
        const std::size_t dot = std::min(Text.find('.', pos), Text.size());
        const std::string_view part = Text.substr(pos, dot - pos);
        unsigned value = 0;
        const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), value);
        if (part.empty() || ec != std::errc() || end != part.data() + part.size() || value > 0xFFFF)
            return false;
        parts[n++] = value;
        if (dot == Text.size())
            break;
        pos = dot + 1;
    }
    MS = parts[0] << 16 | parts[1];
    LS = parts[2] << 16 | parts[3];
    return true;
}

std::vector<std::uint8_t> WriteVersionInfo(const TVersionInfo& Info) {
    TWriter w;
    const std::size_t root = w.Begin(Info.RootKey, Info.FixedLength, 0);
    {
        TWriter fixed;
        const TFixedFileInfo& f = Info.Fixed;
        for (std::uint32_t v :
             {f.Signature, f.StrucVersion, f.FileVersionMS, f.FileVersionLS, f.ProductVersionMS,
              f.ProductVersionLS, f.FileFlagsMask, f.FileFlags, f.FileOS, f.FileType, f.FileSubtype,
              f.FileDateMS, f.FileDateLS})
            fixed.Put32(v);
        fixed.Out.resize(Info.FixedLength, 0);
        w.Out.insert(w.Out.end(), fixed.Out.begin(), fixed.Out.end());
    }
    if (!Info.StringTables.empty()) {
        const std::size_t sfi = w.Begin(u"StringFileInfo", 0, 1);
        for (const TStringTable& table : Info.StringTables) {
            const std::size_t t = w.Begin(table.Name, 0, 1);
            for (const TVersionString& s : table.Strings) {
                const std::size_t node = w.Begin(s.Key, Units(s.Value.size() + 1), 1);
                for (char16_t c : s.Value)
                    w.Put16(c);
                w.Put16(0);
                w.End(node);
            }
            w.End(t);
        }
        w.End(sfi);
    }
    if (!Info.Translations.empty()) {
        const std::size_t vfi = w.Begin(u"VarFileInfo", 0, 1);
        const std::size_t var = w.Begin(u"Translation", Units(Info.Translations.size() * 4), 0);
        for (std::uint32_t t : Info.Translations)
            w.Put32(t);
        w.End(var);
        w.End(vfi);
    }
    w.End(root);
    return std::move(w.Out);
}

bool ParseVersionInfo(std::span<const std::uint8_t> Block, TVersionInfo& Info) {
    Info = TVersionInfo{};
    TNode root;
    if (!ReadRoot(Block, root))
        return false;
    Info.RootKey = root.Key;
    Info.FixedLength = root.ValueLength;
    Info.Fixed = TFixedFileInfo{};
    if (root.ValueBytes >= kFixedFileInfoSize)
        Info.Fixed = FixedAt(Block, root.ValueOffset);
    // A visitor returning false only stops its walk, so damage is carried in Bad.
    bool bad = false;
    bool translationSeen = false;
    auto strings = [&](const TNode& table) {
        TStringTable t;
        t.Name = table.Key;
        if (!ForEachChild(Block, table, [&](const TNode& s) {
                t.Strings.push_back({s.Key, TextOf(Block, s)});
                return true;
            }))
            bad = true;
        Info.StringTables.push_back(std::move(t));
        return !bad;
    };
    auto vars = [&](const TNode& var) {
        if (!translationSeen && base::EqualsIgnoringAsciiCase(var.Key, u"Translation")) {
            translationSeen = true;
            for (std::size_t at = 0; at + 4 <= var.ValueBytes; at += 4)
                Info.Translations.push_back(Le32(Block, var.ValueOffset + at));
        }
        return true;
    };
    if (!ForEachChild(Block, root, [&](const TNode& child) {
            bool good = true;
            if (base::EqualsIgnoringAsciiCase(child.Key, u"StringFileInfo"))
                good = ForEachChild(Block, child, strings);
            else if (base::EqualsIgnoringAsciiCase(child.Key, u"VarFileInfo"))
                good = ForEachChild(Block, child, vars);
            if (!good)
                bad = true;
            return !bad;
        }))
        bad = true;
    return !bad;
}

bool HasValidRoot(const TVersionInfo& Info) {
    return base::EqualsIgnoringAsciiCase(Info.RootKey, u"VS_VERSION_INFO") &&
           Info.FixedLength == kFixedFileInfoSize &&
           Info.Fixed.Signature == kFixedFileInfoSignature;
}

bool QueryVersionValue(std::span<const std::uint8_t> Block, std::string_view SubBlock,
                       TVersionValue& Value) {
    TNode node;
    if (!FindNode(Block, SubBlock, node))
        return false;
    Value.Type = node.Type;
    Value.Data.assign(Block.begin() + static_cast<std::ptrdiff_t>(node.ValueOffset),
                      Block.begin() +
                          static_cast<std::ptrdiff_t>(node.ValueOffset + node.ValueBytes));
    Value.Text = TextOf(Block, node);
    return true;
}

bool QueryFixedFileInfo(std::span<const std::uint8_t> Block, TFixedFileInfo& Fixed) {
    TNode root;
    if (!ReadRoot(Block, root) || root.ValueBytes < kFixedFileInfoSize)
        return false;
    Fixed = FixedAt(Block, root.ValueOffset);
    return true;
}

bool QueryTranslations(std::span<const std::uint8_t> Block, std::vector<std::uint32_t>& Entries) {
    TVersionValue value;
    if (!QueryVersionValue(Block, "\\VarFileInfo\\Translation", value) || value.Data.size() < 4)
        return false;
    Entries.clear();
    for (std::size_t at = 0; at + 4 <= value.Data.size(); at += 4)
        Entries.push_back(Le32(value.Data, at));
    return true;
}

bool QueryVersionString(std::span<const std::uint8_t> Block, std::string_view SubBlock,
                        std::string& Value) {
    TVersionValue value;
    if (!QueryVersionValue(Block, SubBlock, value))
        return false;
    Value = Utf16ToWindows1252(value.Text);
    return true;
}

TImageSource MemoryImage(std::span<const std::uint8_t> Bytes) {
    return {Bytes.size(), [Bytes](std::uint64_t at, void* dst, std::size_t n) {
                if (at > Bytes.size() || n > Bytes.size() - at)
                    return false;
                std::copy_n(Bytes.begin() + static_cast<std::ptrdiff_t>(at), n,
                            static_cast<std::uint8_t*>(dst));
                return true;
            }};
}

bool ExtractVersionBlock(const TImageSource& Image, std::vector<std::uint8_t>& Block) {
    Block.clear();
    std::uint8_t magic[4];
    if (!Get(Image, 0, 2, magic))
        return false;
    if (magic[0] == 'M' && magic[1] == 'Z')
        return PeVersionBlock(Image, Block);
    if (Get(Image, 0, 4, magic) && magic[0] == 0x7F && magic[1] == 'E' && magic[2] == 'L' &&
        magic[3] == 'F')
        return ElfVersionBlock(Image, Block);
    return false;
}

bool ReadVersionBlock(const std::string& Path, std::vector<std::uint8_t>& Block) {
    Block.clear();
    const TFile file(Path);
    return ExtractVersionBlock(file.Source(), Block);
}

TPeKind PeImageKind(const TImageSource& Image) {
    TPeKind kind;
    std::uint16_t mz = 0, magic = 0;
    std::uint32_t lfanew = 0, signature = 0;
    std::uint8_t headers[248];
    if (!Get16(Image, 0, false, mz) || mz != 0x5A4D || !Get32(Image, 60, false, lfanew) ||
        !Get(Image, lfanew, sizeof headers, headers))
        return kind;
    const std::span<const std::uint8_t> h(headers);
    signature = Le32(h, 0);
    magic = Le16(h, 24);
    kind.IsPe = signature == 0x00004550;
    kind.IsPe64 = kind.IsPe && magic == 0x20B;
    return kind;
}

TPeKind IsPe64Image(const std::string& Path) {
    const TFile file(Path);
    return PeImageKind(file.Source());
}
