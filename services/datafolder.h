#pragma once
#include <string>

// Special folder numbers understood by SpecialFolderPath.
constexpr int kCsidlAppData = 26;      // $XDG_DATA_HOME, default ~/.local/share
constexpr int kCsidlLocalAppData = 28; // $XDG_STATE_HOME, default ~/.local/state
constexpr int kCsidlSystem = 37;       // no equivalent: always empty

// The folder below the roaming data folder shared by all of the maker's programs.
constexpr const char* kMakerFolderName = "Norwick Softworks";

// The path of a special folder without a trailing '/', created when missing (mode 0700, with
// parents, as Windows guarantees its special folders exist), or "" when it cannot be named or
// made (unknown number, neither the XDG variable nor HOME gives an absolute path, or HOME does
// not exist).
std::string SpecialFolderPath(int Csidl);

// The folder part of an executable's path, ending with '/' ("./" when it has none).
std::string ExecutableFolder(const std::string& ExeName);

// The program's per-user data folder <data>/Norwick Softworks/<Title>/, created when needed,
// ending with '/'. Falls back to the executable's own folder when the data folder cannot be
// named or created, or when Title cannot be a single folder name ("", ".", "..", or holding
// '/'). FellBack (optional) tells whether that fallback happened: a caller about to clear
// the data folder must not clear the executable's folder.
std::string UserDataFolder(const std::string& ExeName, const std::string& Title,
                           bool* FellBack = nullptr);

// Removes <data>/Norwick Softworks when it holds no sub-folder (files in it keep it).
void RemoveMakerDataFolderIfEmpty();

// ExeFolder is the executable's folder ending with '/'. Clears the program's VirtualStore
// folder (<state>/VirtualStore/<ExeFolder without its leading '/'>) of "SPK" files and
// returns it; returns "" and touches nothing when that folder does not exist.
std::string CleanVirtualStore(const std::string& ExeFolder);
