#pragma once
// Profile (INI) files with the Windows rules: a section starts at a line "[name]"; an entry is
// a line "name=value"; section and entry names compare without regard to ASCII case; blanks
// around names and values are ignored, and one pair of double quotes around a value is
// removed on reading. Lines starting with ';' or '#' are comments. The first section of a name
// and its first entry of a name count.
//
// Writing an entry replaces the entry of the same name in place or appends it after the last
// entry of its section; a missing section is appended at the end of the file and a missing file
// is created. Every other line, comment and line ending is kept. The file is replaced
// atomically (temporary file, flush, rename), so a crash never leaves it half written.
// Values and name lists have no length limit.
#include <string>
#include <vector>

class TIniFile {
  public:
    // Reads Path now; a missing or unreadable file reads as empty.
    explicit TIniFile(const std::string& Path);

    // False when the file could not be read (missing, a folder, unreadable).
    bool Loaded() const { return loaded_; }
    std::vector<std::string> SectionNames() const;
    // The entry names of Section in file order (each name once).
    std::vector<std::string> EntryNames(const std::string& Section) const;
    bool HasEntry(const std::string& Section, const std::string& Name) const;
    std::string ReadString(const std::string& Section, const std::string& Name,
                           const std::string& Default) const;

  private:
    struct Entry {
        std::string Section, Name, Value;
    };
    std::vector<Entry> entries_;
    std::vector<std::string> sections_;
    bool loaded_ = false;
};

// Writes one entry into the file at Path (re-reading it first). False, with the file unchanged,
// when the file or its folder cannot be written, the file is marked read-only, or the entry
// cannot be held by the format (a line break or zero byte anywhere; a name that is empty,
// starts with '[', ';' or '#', holds '=' or has blanks at either end; a section name holding
// ']'). Values with blanks at either end or surrounding quotes are written quoted so that
// they read back unchanged.
bool IniWriteString(const std::string& Path, const std::string& Section, const std::string& Name,
                    const std::string& Value);
