#pragma once
// Probes of the start-up report and the installed-or-portable decision. Each call asks the
// system again; none keeps state.
#include <string>
#include <vector>

// The Uninstall key, below the current user's and the machine's roots.
constexpr const char* kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr const char* kUninstallKey32 =
    "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
// The display name the program's own Uninstall entry begins with.
constexpr const char* kProgramDisplayName = "Norwick Softworks Huelet";

// One line describing the running system, such as "Linux 6.1.0 (Debian GNU/Linux 12 (bookworm))";
// "Unknown" when nothing could be learnt.
std::string WindowsVersionText();
// The same from its parts: the kernel's name and release (uname) and the text of os-release.
// The release is cut to its leading digits and dots; the distribution's PRETTY_NAME (or NAME
// and VERSION) is added in brackets when present.
std::string SystemDescriptionText(const std::string& Sysname, const std::string& Release,
                                  const std::string& OsRelease);

// Always false: every supported system has the newer TLS stack.
bool IsPreVista();
// True when the effective user is root.
bool RunsAsAdministrator();

// The DisplayName (REG_SZ) of every sub-key of the current user's Uninstall key, then of the
// machine's, then of the machine's 32-bit view, in sub-key order; a sub-key without a text
// DisplayName gives its own name. Clears Names first; keys that cannot be read are skipped.
void ListUninstallEntries(std::vector<std::string>& Names);
// True when one Uninstall entry begins with DisplayName, ignoring ASCII case.
bool IsProgramInstalled(const std::string& DisplayName);

// "Yes" or "No".
std::string YesNoText(bool Flag);
