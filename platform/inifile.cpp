#include "platform/inifile.h"

#include "base/ascii.h"
#include "base/files.h"

#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kMaxIniBytes = 64u << 20;

bool IsBlank(char C) {
    return C == ' ' || C == '\t';
}

std::string Trim(const std::string& S) {
    std::size_t b = 0, e = S.size();
    while (b < e && IsBlank(S[b]))
        ++b;
    while (e > b && (IsBlank(S[e - 1]) || S[e - 1] == '\r'))
        --e;
    return S.substr(b, e - b);
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
        lines.push_back(l);
    }
    return lines;
}

// What a line is: a section header (Name set, IsSection), an entry (Name and Value), or other.
struct Parsed {
    bool IsSection = false, IsEntry = false;
    std::string Name, Value;
};

Parsed ParseLine(const std::string& Raw) {
    Parsed p;
    const std::string t = Trim(Raw);
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
    if (p.Value.size() >= 2 && p.Value.front() == '"' && p.Value.back() == '"')
        p.Value = p.Value.substr(1, p.Value.size() - 2);
    return p;
}

bool Representable(const std::string& S) {
    return S.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

bool ValidName(const std::string& Name) {
    return !Name.empty() && Representable(Name) && Name.find('=') == std::string::npos &&
           Name[0] != '[' && Name[0] != ';' && Name[0] != '#' && !IsBlank(Name.front()) &&
           !IsBlank(Name.back());
}

std::string EncodeValue(const std::string& Value) {
    const bool needsQuotes =
        !Value.empty() && (IsBlank(Value.front()) || IsBlank(Value.back()) ||
                           (Value.size() >= 2 && Value.front() == '"' && Value.back() == '"'));
    return needsQuotes ? "\"" + Value + "\"" : Value;
}

} // namespace

TIniFile::TIniFile(const std::string& Path) {
    std::string data;
    try {
        std::optional<std::string> bytes = base::ReadFileIfExists(Path, kMaxIniBytes);
        if (!bytes)
            return;
        data = std::move(*bytes);
    } catch (const base::IoError&) {
        return;
    }
    loaded_ = true;
    if (data.rfind("\xEF\xBB\xBF", 0) == 0)
        data = data.substr(3);
    bool inSection = false;
    std::string section;
    for (const Line& l : SplitLines(data)) {
        const Parsed p = ParseLine(l.Text);
        if (p.IsSection) {
            inSection = true;
            section = p.Name;
            bool known = false;
            for (const auto& s : sections_)
                known = known || base::EqualsIgnoringAsciiCase(s, section);
            if (!known)
                sections_.push_back(section);
        } else if (p.IsEntry && inSection && !p.Name.empty()) {
            if (!HasEntry(section, p.Name))
                entries_.push_back({section, p.Name, p.Value});
        }
    }
}

std::vector<std::string> TIniFile::SectionNames() const {
    return sections_;
}

std::vector<std::string> TIniFile::EntryNames(const std::string& Section) const {
    std::vector<std::string> names;
    for (const auto& e : entries_)
        if (base::EqualsIgnoringAsciiCase(e.Section, Section))
            names.push_back(e.Name);
    return names;
}

bool TIniFile::HasEntry(const std::string& Section, const std::string& Name) const {
    for (const auto& e : entries_)
        if (base::EqualsIgnoringAsciiCase(e.Section, Section) &&
            base::EqualsIgnoringAsciiCase(e.Name, Name))
            return true;
    return false;
}

std::string TIniFile::ReadString(const std::string& Section, const std::string& Name,
                                 const std::string& Default) const {
    for (const auto& e : entries_)
        if (base::EqualsIgnoringAsciiCase(e.Section, Section) &&
            base::EqualsIgnoringAsciiCase(e.Name, Name))
            return e.Value;
    return Default;
}

bool IniWriteString(const std::string& Path, const std::string& Section, const std::string& Name,
                    const std::string& Value) {
    if (!ValidName(Name) || !Representable(Value) || Section.empty() || !Representable(Section) ||
        Section.find(']') != std::string::npos)
        return false;

    std::optional<std::string> existing;
    try {
        existing = base::ReadFileIfExists(Path, kMaxIniBytes);
    } catch (const base::IoError&) {
        return false;
    }
    if (existing) {
        struct stat st {};
        // A file marked read-only stays untouched, even for a user who could replace it.
        if (::stat(Path.c_str(), &st) != 0 || (st.st_mode & 0222) == 0 ||
            ::access(Path.c_str(), W_OK) != 0)
            return false;
    }

    std::string data = existing.value_or(std::string());
    std::string bom;
    if (data.rfind("\xEF\xBB\xBF", 0) == 0) {
        bom = data.substr(0, 3);
        data = data.substr(3);
    }
    std::vector<Line> lines = SplitLines(data);
    const std::string eol = (!lines.empty() && lines[0].End == "\r\n") ? "\r\n" : "\n";
    const std::string entryLine = Name + "=" + EncodeValue(Value);

    // Find the first section of the name, its first entry of the name, and its last entry.
    std::ptrdiff_t sectionAt = -1, entryAt = -1, lastEntryAt = -1;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Parsed p = ParseLine(lines[i].Text);
        if (p.IsSection) {
            if (sectionAt >= 0)
                break;
            if (base::EqualsIgnoringAsciiCase(p.Name, Section))
                sectionAt = lastEntryAt = static_cast<std::ptrdiff_t>(i);
            continue;
        }
        if (sectionAt < 0)
            continue;
        if (p.IsEntry || !Trim(lines[i].Text).empty())
            lastEntryAt = static_cast<std::ptrdiff_t>(i);
        if (p.IsEntry && entryAt < 0 && base::EqualsIgnoringAsciiCase(p.Name, Name))
            entryAt = static_cast<std::ptrdiff_t>(i);
    }

    if (entryAt >= 0) {
        lines[entryAt].Text = entryLine;
    } else if (sectionAt >= 0) {
        if (lines[lastEntryAt].End.empty())
            lines[lastEntryAt].End = eol;
        lines.insert(lines.begin() + lastEntryAt + 1, Line{entryLine, eol});
    } else {
        if (!lines.empty() && lines.back().End.empty())
            lines.back().End = eol;
        lines.push_back(Line{"[" + Section + "]", eol});
        lines.push_back(Line{entryLine, eol});
    }

    std::string out = bom;
    for (const auto& l : lines)
        out += l.Text + l.End;
    try {
        // Symbolic links are written through, to the file they name.
        base::ReplaceFile(Path, out, {.NewFileMode = 0644});
        return true;
    } catch (const base::IoError&) {
        return false;
    }
}
