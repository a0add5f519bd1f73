#pragma once
// The program's registry. Keys of the current user live in one hive file in the REGEDIT4 text
// format, by default "$XDG_CONFIG_HOME/Norwick Softworks/registry/HKEY_CURRENT_USER.reg"
// (XDG_CONFIG_HOME defaulting to ~/.config), or in the folder that HUELET_REGISTRY_DIR names.
// The machine keys are read-only: the union of the "*.reg" files in
// HUELET_SYSCONFDIR "/xdg/Norwick Softworks/registry.d/", or in HUELET_MACHINE_REGISTRY_DIR;
// files are merged in name order, a later file's value replacing an earlier one of the same
// name.
//
// Key paths are written with backslashes below the root ("SOFTWARE\Norwick Softworks");
// leading, trailing and doubled backslashes are ignored. Key and value names compare without
// regard to ASCII case and keep the case they were created with. Values enumerate in creation
// order, sub-keys in case-insensitive name order.
//
// Every change locks the hive, re-reads it, applies the change, writes a temporary file,
// flushes it and renames it over the hive, so a crash or a second process never corrupts the
// hive nor loses another process's change. A hive is parsed once and kept until its file
// changes (another file, size or modification time); opened keys are snapshots of it. A hive left
// without any key is deleted (in the default location its "registry" and "Norwick Softworks"
// folders go too when empty). Lines that cannot be understood (or kept: comments, deletion
// requests) are skipped on reading; before the first change rewrites such a hive, the original is
// kept beside it as "HKEY_CURRENT_USER.reg.bak" (".bak2", ... when that name is taken).
//
// Reading never throws; writing functions return false on failure and leave the hive as it was.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace reg {

enum class Root { CurrentUser, LocalMachine };

// Default: as a native process of this build sees the registry. Under WOW64 (a 32-bit build
// on a 64-bit kernel) the machine's "SOFTWARE\..." keys are then redirected to
// "SOFTWARE\Wow6432Node\...", as on Windows. Key64 asks for the 64-bit view (no redirection).
// Our 64-bit build is never redirected.
enum class View { Default, Key64 };

// Value types, with the numbers of the .reg format's "hex(N):".
enum ValueType : std::uint32_t {
    REG_NONE = 0,
    REG_SZ = 1,
    REG_EXPAND_SZ = 2,
    REG_BINARY = 3,
    REG_DWORD = 4,
    REG_MULTI_SZ = 7,
    REG_QWORD = 11,
};

// Data by type: REG_SZ and REG_EXPAND_SZ hold the text itself (no terminating zero);
// REG_DWORD 4 and REG_QWORD 8 little-endian bytes; REG_MULTI_SZ the zero-terminated texts
// followed by one more zero; every other type its raw bytes.
struct Value {
    std::string Name;
    std::uint32_t Type = REG_NONE;
    std::string Data;

    static Value String(const std::string& Name, const std::string& Text);
    static Value ExpandString(const std::string& Name, const std::string& Text);
    static Value Dword(const std::string& Name, std::uint32_t Number);
    static Value Qword(const std::string& Name, std::uint64_t Number);
    static Value Binary(const std::string& Name, const std::string& Bytes);
    static Value MultiString(const std::string& Name, const std::vector<std::string>& Texts);

    // The number of a REG_DWORD / REG_QWORD value; nullopt for other types or bad sizes.
    std::optional<std::uint32_t> AsDword() const;
    std::optional<std::uint64_t> AsQword() const;
    // The texts of a REG_MULTI_SZ value.
    std::vector<std::string> AsMultiString() const;
};

// A read-only snapshot of one key, taken when it is opened.
class Key {
  public:
    Key();
    ~Key();
    Key(Key&&) noexcept;
    Key& operator=(Key&&) noexcept;

    // False (and the key stays closed) when the key does not exist.
    bool Open(Root Where, const std::string& Path, View Which = View::Default);
    bool IsOpen() const;
    void Close();

    std::vector<std::string> SubKeyNames() const;
    std::vector<std::string> ValueNames() const;
    std::vector<Value> Values() const;
    bool HasValue(const std::string& Name) const;
    std::optional<Value> ReadValue(const std::string& Name) const;
    // Text of a REG_SZ value (or REG_EXPAND_SZ too when SzOnly is false, not expanded).
    bool ReadString(const std::string& Name, std::string& Text, bool SzOnly = true) const;
    bool ReadDword(const std::string& Name, std::uint32_t& Number) const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

bool KeyExists(Root Where, const std::string& Path, View Which = View::Default);

// ----- Changes (the current user only; every one fails for Root::LocalMachine) -----

// Creates the key and every missing parent; true when it exists afterwards.
bool CreateKey(Root Where, const std::string& Path, View Which = View::Default);
// Writes the values (creating the key when missing) in one atomic change: all or none.
bool WriteValues(Root Where, const std::string& Path, const std::vector<Value>& Values,
                 View Which = View::Default);
bool WriteValue(Root Where, const std::string& Path, const Value& Data, View Which = View::Default);
bool WriteString(Root Where, const std::string& Path, const std::string& Name,
                 const std::string& Text, View Which = View::Default);
bool WriteDword(Root Where, const std::string& Path, const std::string& Name, std::uint32_t Number,
                View Which = View::Default);
// False when the key or the value does not exist.
bool DeleteValue(Root Where, const std::string& Path, const std::string& Name,
                 View Which = View::Default);
// Deletes a key that has no sub-keys (its values go with it); false when it has sub-keys or
// does not exist.
bool DeleteKey(Root Where, const std::string& Path, View Which = View::Default);
// Deletes the key only when it holds neither sub-keys nor values, checked within the same
// atomic change; false otherwise.
bool DeleteKeyIfEmpty(Root Where, const std::string& Path, View Which = View::Default);
// Deletes a key with all its sub-keys; false when it does not exist.
bool DeleteKeyTree(Root Where, const std::string& Path, View Which = View::Default);

// A text saying why the last failed call of this thread failed.
std::string LastError();

// The user hive and the machine's .reg files that could not be read (a FIFO, device or folder
// in a file's place, a file unreadable or too large) are skipped. Each is said once per state
// of the file: this returns the messages not yet taken ("cannot read <path>: not a regular
// file; its keys are skipped").
std::vector<std::string> TakeSkippedFileMessages();

// ----- Locations -----
// The hive file of the current user, and the folder of the machine's .reg files.
std::string UserHivePath();
std::string MachineFolder();
// Every folder whose .reg files make up the machine keys: HUELET_MACHINE_REGISTRY_DIR alone
// when set; otherwise MachineFolder() and, for an executable installed as "<prefix>/bin/...",
// the same folder below that prefix's sysconfdir (so an install to another prefix than the
// configured one still finds its entry).
std::vector<std::string> MachineFolders();

// True for a 32-bit process on a 64-bit kernel (then always false for our 64-bit build).
// The one answer to "runs under WOW64": the registry's redirection, the Uninstall lookups and
// the start-up report all ask it.
bool ProcessIsWow64();
// Makes ProcessIsWow64 answer true or false, or as the process really is (nullopt), so tests
// can run the WOW64 paths on a 64-bit build.
void SetWow64ForTesting(std::optional<bool> Wow64);

} // namespace reg
