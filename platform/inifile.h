#pragma once
// Profile (INI) files with the Windows rules: a section starts at a line "[name]"; an entry is
// a line "name=value"; section and entry names compare without regard to ASCII case; blanks
// around names and values are ignored, and a value wholly enclosed in one pair of matching
// quotes (single or double) loses them on reading. Lines starting with ';' or '#' are
// comments. The first section of a name and its first entry of a name count. Files in UTF-16
// (with a byte-order mark) are read and written back in UTF-16.
//
// Writing an entry replaces the entry of the same name in place or appends it after the last
// entry of its section; a missing section is appended at the end of the file and a missing file
// is created. Every other line, comment and line ending is kept. The file is replaced
// atomically (temporary file, flush, rename), so a crash never leaves it half written.
// Values and name lists have no length limit.
#include <string>
#include <unordered_map>
#include <vector>

class TIniFile {
  public:
    // An entry line left out on reading because writing it back could not give the same entry:
    // its name or value holds a zero byte or a carriage return.
    struct Skipped {
        std::string Section;
        int Line = 0; // 1-based
        std::string Reason;
    };

    // Reads Path now; a missing or unreadable file reads as empty.
    explicit TIniFile(const std::string& Path);

    // False when the file could not be read (missing, a folder, unreadable).
    bool Loaded() const { return loaded_; }
    // Why an existing file could not be read ("cannot read <path>: not a regular file");
    // empty when it was read or does not exist.
    const std::string& LoadError() const { return loadError_; }
    std::vector<std::string> SectionNames() const;
    // The entry names of Section in file order (each name once).
    std::vector<std::string> EntryNames(const std::string& Section) const;
    bool HasEntry(const std::string& Section, const std::string& Name) const;
    std::string ReadString(const std::string& Section, const std::string& Name,
                           const std::string& Default) const;
    const std::vector<Skipped>& SkippedEntries() const { return skipped_; }

  private:
    struct Entry {
        std::string Section, Name, Value;
    };
    const Entry* Find(const std::string& Section, const std::string& Name) const;

    std::vector<Entry> entries_;
    std::vector<std::string> sections_;
    // Lower-cased section -> its entries in file order; lower-cased "section\nname" -> entry.
    std::unordered_map<std::string, std::vector<std::size_t>> bySection_;
    std::unordered_map<std::string, std::size_t> byName_;
    std::vector<Skipped> skipped_;
    std::string loadError_;
    bool loaded_ = false;
};

struct IniEntry {
    std::string Section, Name, Value;
};

// Writes the entries into the file at Path in one change: the folder of Path is locked
// (so writers of the same file take turns and none loses another's entries), the file is
// re-read, every entry applied in order, and the whole file written once. When the folder
// refuses new files but the file itself may be written, it is overwritten in place.
//
// An entry the format cannot hold (a line break or zero byte anywhere; a name that is empty,
// starts with '[', ';' or '#', holds '=' or has blanks at either end; a section name holding
// ']') is left out and named in Error; the others are still written. False when any entry was
// left out or the file could not be written (then nothing was written: a file marked
// read-only, a folder or FIFO at Path, an unwritable folder without the file). Error (when
// given) then holds one text naming the file and the reason. Values with blanks at either
// end or surrounding quotes are written quoted so that they read back unchanged.
bool IniWriteStrings(const std::string& Path, const std::vector<IniEntry>& Entries,
                     std::string* Error = nullptr);

// One entry; false (the file unchanged) when it cannot be held or written.
bool IniWriteString(const std::string& Path, const std::string& Section, const std::string& Name,
                    const std::string& Value);
