#pragma once
// Lookups in the Uninstall entries that installers leave in the registry
// ("SOFTWARE\[Wow6432Node\]Microsoft\Windows\CurrentVersion\Uninstall\<entry>").
// They only read; an empty text means nothing was found.
#include <cstdint>
#include <functional>
#include <string>

#include "platform/registry.h"

inline constexpr const char* kWow6432View = "Wow6432Node\\";

// One Uninstall entry as a scan sees it.
struct UninstallEntry {
    std::string DisplayName;
    // Reads another value of the entry as text; false when it is missing or not a text.
    std::function<bool(const std::string& Name, std::string& Value, bool SzOnly)> Read;
};

enum class ScanCombine { Highest, LastMatch };

// The common scan: every entry of Root's Uninstall key in View whose DisplayName is a REG_SZ
// text and passes Test gives a candidate; candidates combine as Combine says. An empty View
// is followed by the "Wow6432Node\" view when the process runs under WOW64, whose result
// wins when it is newer.
std::string UninstallScan(reg::Root Root, const std::string& View,
                          const std::function<bool(const UninstallEntry&)>& Test,
                          const std::function<std::string(const UninstallEntry&)>& Candidate,
                          ScanCombine Combine);

// The highest trailing run of digits and dots of the DisplayNames containing Name.
std::string UninstallVersionFromName(const std::string& Name, const std::string& View = "");
// The same for DisplayNames whose first word (over " -") is Name.
std::string UninstallVersionByFirstWord(const std::string& Name, const std::string& View = "");
// The last word (over " -") of the last DisplayName beginning with Prefix.
std::string UninstallLastWordByPrefix(const std::string& Prefix, const std::string& View = "");
// The second word (over " -") of the last DisplayName whose first word is Name.
std::string UninstallSecondWord(const std::string& Name, const std::string& View = "");
// The highest DisplayVersion of the entries containing Name, installed in Folder when one is
// given.
std::string UninstallDisplayVersion(reg::Root Root, const std::string& Name,
                                    const std::string& View, const std::string& Folder);
std::string InstalledVersion(const std::string& Name, const std::string& View = "");
std::string InstalledVersionIn(const std::string& Name, const std::string& View,
                               const std::string& Folder);
// Highest DisplayVersion of entries containing Name and Other / Name but not Other.
std::string UninstallVersionWith(const std::string& Name, const std::string& Other,
                                 const std::string& View = "");
std::string UninstallVersionWithout(const std::string& Name, const std::string& Other,
                                    const std::string& View = "");
// DisplayVersion of one vendor's Windows-manager suite, per-user entries only.
std::string ManagerSuiteVersion();

// One leading 'v' or 'V' removed, then trimmed.
std::string StripVersionPrefix(const std::string& Text);
// The newest version named by a sub-folder of the executable's folder.
std::string HighestFolderVersion(const std::string& ExePath);
std::string FfdshowVersion();

// Product helpers used by single rows.
std::string XvidVersion();
std::string LaunchyVersion();
std::string OpenOfficeVersion();
// Ransomware selects the Anti-Ransomware entry as the second choice; Folder is where a
// "changes.txt" may name the version as a last resort.
std::string MalwarebytesVersion(bool Ransomware, const std::string& Folder);

namespace uninstall_testing {
// Number of registry keys the lookups have opened, so a test can show that a lookup did or
// did not happen. (To run them as under WOW64, see reg::SetWow64ForTesting.)
std::uint64_t KeysOpened();
} // namespace uninstall_testing
