#include "platform/inifile.h"

#include "base/ascii.h"
#include "base/encoding.h"
#include "base/files.h"
#include "base/scope_guard.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kMaxIniBytes = 64u << 20;
const std::string kUtf8Bom = "\xEF\xBB\xBF";

bool IsBlank(char C) {
    return C == ' ' || C == '\t';
}

std::string_view Trim(std::string_view S) {
    std::size_t b = 0, e = S.size();
    while (b < e && IsBlank(S[b]))
        ++b;
    while (e > b && (IsBlank(S[e - 1]) || S[e - 1] == '\r'))
        --e;
    return S.substr(b, e - b);
}

// How the bytes of a file are encoded; UTF-16 files are handled as UTF-8 text in between.
enum class Encoding { Utf8, Utf8Bom, Utf16Le, Utf16Be };

std::string Decode(const std::string& Bytes, Encoding& How) {
    const auto b0 = Bytes.size() > 0 ? static_cast<unsigned char>(Bytes[0]) : 0;
    const auto b1 = Bytes.size() > 1 ? static_cast<unsigned char>(Bytes[1]) : 0;
    if (b0 == 0xFF && b1 == 0xFE) {
        How = Encoding::Utf16Le;
        return base::Utf16LeBytesToUtf8(std::string_view(Bytes).substr(2));
    }
    if (b0 == 0xFE && b1 == 0xFF) {
        How = Encoding::Utf16Be;
        std::string swapped = Bytes.substr(2);
        for (std::size_t i = 0; i + 1 < swapped.size(); i += 2)
            std::swap(swapped[i], swapped[i + 1]);
        return base::Utf16LeBytesToUtf8(swapped);
    }
    if (Bytes.rfind(kUtf8Bom, 0) == 0) {
        How = Encoding::Utf8Bom;
        return Bytes.substr(3);
    }
    How = Encoding::Utf8;
    return Bytes;
}

std::string Encode(const std::string& Text, Encoding How) {
    switch (How) {
    case Encoding::Utf8:
        return Text;
    case Encoding::Utf8Bom:
        return kUtf8Bom + Text;
    case Encoding::Utf16Le:
    case Encoding::Utf16Be: {
        const bool le = How == Encoding::Utf16Le;
        std::string out = le ? "\xFF\xFE" : "\xFE\xFF";
        for (char16_t c : base::Utf8ToUtf16(Text)) {
            const char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
            out += le ? lo : hi;
            out += le ? hi : lo;
        }
        return out;
    }
    }
    return Text;
}

// One line of the file: its text without the line end, and the line end it had.
struct Line {
    std::string Text, End;
};

std::vector<Line> SplitLines(const std::string& Data) {
    std::vector<Line> lines;
    std::size_t start = 0;
    while (start < Data.size()) {
        std::size_t nl = Data.find('\n', start);
        Line l;
        if (nl == std::string::npos) {
            l.Text = Data.substr(start);
            start = Data.size();
        } else {
            std::size_t end = nl;
            if (end > start && Data[end - 1] == '\r') {
                --end;
                l.End = "\r\n";
            } else {
                l.End = "\n";
            }
            l.Text = Data.substr(start, end - start);
            start = nl + 1;
        }
        lines.push_back(std::move(l));
    }
    return lines;
}

// What a line is: a section header (Name set, IsSection), an entry (Name and Value), or other.
struct Parsed {
    bool IsSection = false, IsEntry = false;
    std::string_view Name, Value;
};

// The views point into Raw.
Parsed ParseLine(std::string_view Raw) {
    Parsed p;
    const std::string_view t = Trim(Raw);
    if (t.empty() || t[0] == ';' || t[0] == '#')
        return p;
    if (t[0] == '[') {
        const std::size_t close = t.find(']');
        if (close != std::string::npos) {
            p.IsSection = true;
            p.Name = Trim(t.substr(1, close - 1));
        }
        return p;
    }
    const std::size_t eq = t.find('=');
    if (eq == std::string::npos)
        return p;
    p.IsEntry = true;
    p.Name = Trim(t.substr(0, eq));
    p.Value = Trim(t.substr(eq + 1));
    if (p.Value.size() >= 2 && (p.Value.front() == '"' || p.Value.front() == '\'') &&
        p.Value.back() == p.Value.front())
        p.Value = p.Value.substr(1, p.Value.size() - 2);
    return p;
}

bool Representable(std::string_view S) {
    return S.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos;
}

// Why a name or value read from a line could not be written back the same; "" when it can.
std::string RoundTripProblem(std::string_view Text, const char* What) {
    if (Text.find('\0') != std::string::npos)
        return std::string(What) + " holds a zero byte";
    if (Text.find('\r') != std::string::npos)
        return std::string(What) + " holds a carriage return";
    return std::string();
}

bool ValidName(const std::string& Name) {
    return !Name.empty() && Representable(Name) && Name.find('=') == std::string::npos &&
           Name[0] != '[' && Name[0] != ';' && Name[0] != '#' && !IsBlank(Name.front()) &&
           !IsBlank(Name.back());
}

bool ValidSection(const std::string& Section) {
    return !Section.empty() && Representable(Section) && Section.find(']') == std::string::npos;
}

std::string EncodeValue(const std::string& Value) {
    const bool quoted = Value.size() >= 2 && (Value.front() == '"' || Value.front() == '\'') &&
                        Value.back() == Value.front();
    const bool needsQuotes =
        !Value.empty() && (IsBlank(Value.front()) || IsBlank(Value.back()) || quoted);
    return needsQuotes ? "\"" + Value + "\"" : Value;
}

std::string Key(std::string_view Section, std::string_view Name) {
    std::string k = base::LowerAscii(Section);
    k += '\n';
    k += base::LowerAscii(Name);
    return k;
}

// The exclusive lock of a folder, held until the object goes: every writer of a file in it
// takes turns. The folder is locked rather than the file, which each write replaces, or a lock
// file, which a folder that refuses new files could not hold.
class FolderLock {
  public:
    explicit FolderLock(const std::string& Folder) {
        fd_ = ::open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd_ < 0) {
            errno_ = errno;
            return;
        }
        int rc;
        do {
            rc = ::flock(fd_, LOCK_EX);
        } while (rc != 0 && errno == EINTR);
        if (rc != 0) {
            errno_ = errno;
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~FolderLock() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    bool Held() const { return fd_ >= 0; }
    int Errno() const { return errno_; }

  private:
    int fd_ = -1;
    int errno_ = 0;
};

std::string FolderOf(const std::string& Path) {
    const std::size_t slash = Path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : Path.substr(0, slash);
}

} // namespace

TIniFile::TIniFile(const std::string& Path) {
    std::string bytes;
    try {
        std::optional<std::string> read = base::ReadFileIfExists(Path, kMaxIniBytes);
        if (!read)
            return;
        bytes = std::move(*read);
    } catch (const base::IoError& e) {
        loadError_ = e.what();
        return;
    }
    loaded_ = true;
    Encoding how;
    const std::string data = Decode(bytes, how);
    bool inSection = false;
    std::string section, sectionKey;
    int lineNo = 0;
    std::size_t start = 0;
    while (start < data.size()) {
        std::size_t nl = data.find('\n', start);
        if (nl == std::string::npos)
            nl = data.size();
        const std::string_view raw(data.data() + start, nl - start);
        start = nl + 1;
        ++lineNo;
        const Parsed p = ParseLine(raw);
        if (p.IsSection) {
            inSection = true;
            section = std::string(p.Name);
            sectionKey = base::LowerAscii(section);
            if (bySection_.try_emplace(sectionKey).second)
                sections_.push_back(section);
        } else if (p.IsEntry && inSection && !p.Name.empty()) {
            std::string why = RoundTripProblem(p.Name, "the name");
            if (why.empty())
                why = RoundTripProblem(p.Value, "the value");
            if (!why.empty()) {
                skipped_.push_back({section, lineNo, why});
                continue;
            }
            if (byName_.try_emplace(Key(section, p.Name), entries_.size()).second) {
                bySection_[sectionKey].push_back(entries_.size());
                entries_.push_back({section, std::string(p.Name), std::string(p.Value)});
            }
        }
    }
}

const TIniFile::Entry* TIniFile::Find(const std::string& Section, const std::string& Name) const {
    const auto it = byName_.find(Key(Section, Name));
    return it == byName_.end() ? nullptr : &entries_[it->second];
}

std::vector<std::string> TIniFile::SectionNames() const {
    return sections_;
}

std::vector<std::string> TIniFile::EntryNames(const std::string& Section) const {
    std::vector<std::string> names;
    const auto it = bySection_.find(base::LowerAscii(Section));
    if (it != bySection_.end()) {
        names.reserve(it->second.size());
        for (std::size_t i : it->second)
            names.push_back(entries_[i].Name);
    }
    return names;
}

bool TIniFile::HasEntry(const std::string& Section, const std::string& Name) const {
    return Find(Section, Name) != nullptr;
}

std::string TIniFile::ReadString(const std::string& Section, const std::string& Name,
                                 const std::string& Default) const {
    const Entry* e = Find(Section, Name);
    return e ? e->Value : Default;
}

bool IniWriteStrings(const std::string& Path, const std::vector<IniEntry>& Entries,
                     std::string* Error) {
    std::string refused;
    std::vector<const IniEntry*> valid;
    valid.reserve(Entries.size());
    for (const auto& e : Entries) {
        if (ValidName(e.Name) && Representable(e.Value) && ValidSection(e.Section)) {
            valid.push_back(&e);
        } else if (refused.empty()) {
            refused = "cannot write " + Path + ": the entry \"" + e.Name + "\" of [" + e.Section +
                      "] cannot be held by the file (a line break, a zero byte or a name it "
                      "cannot take)";
        }
    }
    auto fail = [&](const std::string& Why) {
        if (Error)
            *Error = Why;
        return false;
    };
    if (valid.empty())
        return refused.empty() ? true : fail(refused);

    const FolderLock lock(FolderOf(Path));
    if (!lock.Held())
        return fail(base::IoMessage(base::IoStep::Write, Path, std::strerror(lock.Errno())));

    std::optional<std::string> existing;
    try {
        existing = base::ReadFileIfExists(Path, kMaxIniBytes);
    } catch (const base::IoError& e) {
        return fail(e.what());
    }
    if (existing) {
        struct stat st {};
        // A file marked read-only stays untouched, even for a user who could replace it.
        if (::stat(Path.c_str(), &st) != 0 || (st.st_mode & 0222) == 0 ||
            ::access(Path.c_str(), W_OK) != 0)
            return fail(base::IoMessage(base::IoStep::Write, Path, "the file is read-only"));
    }

    Encoding how = Encoding::Utf8;
    std::vector<Line> lines = SplitLines(existing ? Decode(*existing, how) : std::string());
    const std::string eol = (!lines.empty() && lines[0].End == "\r\n") ? "\r\n" : "\n";

    // Where each section's first block ends and where its entries are; entries the batch adds
    // to a section go after that block's last line, new sections at the end of the file.
    struct Section {
        std::string Name;
        std::ptrdiff_t LastLine = -1; // -1: a section the file does not have yet
        std::vector<std::string> Added;
    };
    struct Slot {
        std::size_t Section;
        bool Added;
        std::size_t Index; // line, or position in Added
    };
    std::vector<Section> sections;
    std::unordered_map<std::string, std::size_t> sectionAt;
    std::unordered_map<std::string, Slot> entryAt;
    {
        std::ptrdiff_t current = -1; // the section whose first block we are in
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const Parsed p = ParseLine(lines[i].Text);
            if (p.IsSection) {
                current = -1;
                const auto [it, fresh] =
                    sectionAt.try_emplace(base::LowerAscii(p.Name), sections.size());
                if (fresh) {
                    sections.push_back({std::string(p.Name), static_cast<std::ptrdiff_t>(i), {}});
                    current = static_cast<std::ptrdiff_t>(it->second);
                }
                continue;
            }
            if (current < 0)
                continue;
            if (p.IsEntry || !Trim(lines[i].Text).empty())
                sections[current].LastLine = static_cast<std::ptrdiff_t>(i);
            if (p.IsEntry)
                entryAt.try_emplace(Key(sections[current].Name, p.Name),
                                    Slot{static_cast<std::size_t>(current), false, i});
        }
    }

    for (const IniEntry* e : valid) {
        std::string text = e->Name + "=" + EncodeValue(e->Value);
        const auto [sit, freshSection] =
            sectionAt.try_emplace(base::LowerAscii(e->Section), sections.size());
        if (freshSection)
            sections.push_back({e->Section, -1, {}});
        Section& s = sections[sit->second];
        const auto [eit, freshEntry] =
            entryAt.try_emplace(Key(e->Section, e->Name), Slot{sit->second, true, s.Added.size()});
        const Slot& slot = eit->second;
        if (freshEntry)
            s.Added.push_back(std::move(text));
        else if (slot.Added)
            sections[slot.Section].Added[slot.Index] = std::move(text);
        else
            lines[slot.Index].Text = std::move(text);
    }

    // Added lines by the line they follow.
    std::unordered_map<std::size_t, const Section*> after;
    for (const auto& s : sections)
        if (s.LastLine >= 0 && !s.Added.empty())
            after[static_cast<std::size_t>(s.LastLine)] = &s;

    bool newSections = false;
    for (const auto& s : sections)
        newSections = newSections || (s.LastLine < 0 && !s.Added.empty());

    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        Line& l = lines[i];
        const auto it = after.find(i);
        const bool last = i + 1 == lines.size();
        if ((it != after.end() || (last && newSections)) && l.End.empty())
            l.End = eol;
        out += l.Text;
        out += l.End;
        if (it != after.end())
            for (const auto& text : it->second->Added)
                out += text + eol;
    }
    for (const auto& s : sections) {
        if (s.LastLine >= 0 || s.Added.empty())
            continue;
        out += "[" + s.Name + "]" + eol;
        for (const auto& text : s.Added)
            out += text + eol;
    }

    try {
        // Symbolic links are written through, to the file they name.
        base::ReplaceFile(Path, Encode(out, how),
                          {.NewFileMode = 0644, .InPlaceWhenFolderRefuses = true});
    } catch (const base::IoError& e) {
        return fail(e.what());
    }
    return refused.empty() ? true : fail(refused);
}

bool IniWriteString(const std::string& Path, const std::string& Section, const std::string& Name,
                    const std::string& Value) {
    return IniWriteStrings(Path, {{Section, Name, Value}});
}
