#pragma once
// The program's settings in the current user's registry, mirrored into a "settings.ini" file
// beside the executable while the program runs portable (not installed).
//
// Registry: "SOFTWARE\Norwick Softworks" holds one string value per program, named after its
// title, with the executable's path; "SOFTWARE\Norwick Softworks\<ProgramName>" holds the
// settings (strings and 32-bit integers). File: section "Settings" holds the string values,
// section "Settings_DWORD" the 32-bit integers as signed decimal numbers.
#include <string>
#include <vector>

constexpr const char* kMakerKey = "SOFTWARE\\Norwick Softworks";
constexpr const char* kSettingsSection = "Settings";
constexpr const char* kSettingsDwordSection = "Settings_DWORD";

// File to registry: creates the program's key, then writes every entry of "Settings" as a
// string value and every entry of "Settings_DWORD" as a 32-bit value (decimal, "$1F" or
// "0x1F"; anything else gives 0), all in one atomic change. A missing file imports nothing.
// An entry whose name or value the file cannot give back unchanged (a zero byte or a carriage
// return in it) is skipped, the others are imported. Returns what went wrong, one text per
// problem naming IniPath (and the line), empty when nothing did: a file that could not be
// read (a folder, FIFO or device at IniPath), skipped entries, or a registry that could not
// be written. The caller shows them once, as one message (SettingsProblemsText).
std::vector<std::string> ImportSettingsIni(const std::string& ProgramName,
                                           const std::string& IniPath);

// Registry to file: every REG_SZ and REG_DWORD value of the program's key (created when
// missing), in the key's order, written in one locked change of the file; other types are
// skipped and the file is never cleared. True when all were written; false when the key could
// not be read, the file could not be written (nothing is written then), or a value cannot be
// held by the file (the others are written). Problem (when given) then says what, naming
// the file and the reason.
bool ExportSettingsIni(const std::string& ProgramName, const std::string& IniPath,
                       std::string* Problem = nullptr);

// The text of the one message that reports Problems: the first few, one per line, and how
// many more there were.
std::string SettingsProblemsText(const std::vector<std::string>& Problems);

// Removes the program's key with its sub-keys; failures are ignored.
void DeleteProgramKey(const std::string& ProgramName);
// Removes the value Name of the maker's key (created when missing); failures are ignored.
void DeleteMakerValue(const std::string& Name);
// Removes the maker's key when it exists and holds neither sub-keys nor values.
void DeleteMakerKeyIfEmpty();
// Writes the maker's value Title = ExeName (creating the key); false when it failed.
bool RegisterProgramPath(const std::string& Title, const std::string& ExeName);
