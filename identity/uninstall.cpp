#include "identity/uninstall.h"

#include <vector>

#include "identity/U_Version.h"
#include "identity/regaccess.h"
#include "identity/textutil.h"
#include "services/datafolder.h"
#include "services/file_version.h"
#include "services/filefunctions.h"
#include "services/text.h"

namespace {

const char* const kUninstallKey = "Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

bool Newer(const std::string& A, const std::string& B) {
    return TTallyVersion(A).IsNewerThan(TTallyVersion(B));
}

// The last run of digits and dots in Text: trailing characters outside the set are skipped.
std::string TrailingNumber(const std::string& Text) {
    auto inSet = [](char c) { return c == '.' || (c >= '0' && c <= '9'); };
    std::size_t end = Text.size();
    while (end > 0 && !inSet(Text[end - 1]))
        --end;
    std::size_t start = end;
    while (start > 0 && inSet(Text[start - 1]))
        --start;
    return Text.substr(start, end - start);
}

std::string ScanOneView(reg::Root Root, const std::string& View,
                        const std::function<bool(const UninstallEntry&)>& Test,
                        const std::function<std::string(const UninstallEntry&)>& Candidate,
                        ScanCombine Combine) {
    const std::string base = "SOFTWARE\\" + View + kUninstallKey;
    regaccess::Key list;
    if (!list.Open(Root, base))
        return "";
    std::string result;
    for (const std::string& name : list.SubKeyNames()) {
        regaccess::Key entry;
        if (!entry.Open(Root, base + name + "\\"))
            continue;
        UninstallEntry e;
        if (!entry.ReadText("DisplayName", e.DisplayName, true))
            continue;
        e.Read = [&entry](const std::string& Name, std::string& Value, bool SzOnly) {
            return entry.ReadText(Name, Value, SzOnly);
        };
        if (!Test(e))
            continue;
        const std::string candidate = Candidate(e);
        if (Combine == ScanCombine::LastMatch || Newer(candidate, result))
            result = candidate;
    }
    return result;
}

std::string ReadOr(const UninstallEntry& E, const std::string& Name) {
    std::string value;
    E.Read(Name, value, false);
    return value;
}

// The folder with one trailing separator and '\' read as '/', for comparisons.
std::string FolderKey(std::string Folder) {
    Folder = ReplaceAll(Folder, "\\", "/");
    if (Folder.empty() || Folder.back() != '/')
        Folder += '/';
    return Folder;
}

std::string DirectoryPart(const std::string& Path) {
    const std::size_t p = Path.find_last_of("/\\");
    return p == std::string::npos ? std::string() : Path.substr(0, p + 1);
}

std::string HighestDisplayVersion(reg::Root Root, const std::string& View,
                                  const std::function<bool(const std::string&)>& NameTest,
                                  const std::string& Folder) {
    return UninstallScan(
        Root, View,
        [&](const UninstallEntry& e) {
            if (!NameTest(e.DisplayName))
                return false;
            if (Folder.empty())
                return true;
            std::string value;
            if (e.Read("InstallLocation", value, true))
                return SameTextAscii(FolderKey(value), FolderKey(Folder));
            if (e.Read("DisPlayIcon", value, true))
                return SameTextAscii(FolderKey(DirectoryPart(value)), FolderKey(Folder));
            return false;
        },
        [](const UninstallEntry& e) { return StripVersionPrefix(ReadOr(e, "DisplayVersion")); },
        ScanCombine::Highest);
}

std::string FirstWord(const std::string& Text) {
    return FieldAt(Text, 0, " ");
}

} // namespace

namespace uninstall_testing {

std::uint64_t KeysOpened() {
    return regaccess::KeysOpened();
}

} // namespace uninstall_testing

std::string UninstallScan(reg::Root Root, const std::string& View,
                          const std::function<bool(const UninstallEntry&)>& Test,
                          const std::function<std::string(const UninstallEntry&)>& Candidate,
                          ScanCombine Combine) {
    std::string result = ScanOneView(Root, View, Test, Candidate, Combine);
    if (View.empty() && reg::ProcessIsWow64()) {
        const std::string other = ScanOneView(Root, kWow6432View, Test, Candidate, Combine);
        if (Newer(other, result))
            result = other;
    }
    return result;
}

std::string UninstallVersionFromName(const std::string& Name, const std::string& View) {
    return UninstallScan(
        reg::Root::LocalMachine, View,
        [&](const UninstallEntry& e) { return OccursInText(Name, e.DisplayName); },
        [](const UninstallEntry& e) { return TrailingNumber(e.DisplayName); },
        ScanCombine::Highest);
}

std::string UninstallVersionByFirstWord(const std::string& Name, const std::string& View) {
    return UninstallScan(
        reg::Root::LocalMachine, View,
        [&](const UninstallEntry& e) {
            return SameTextAscii(FieldAt(e.DisplayName, 0, " -"), Name);
        },
        [](const UninstallEntry& e) { return TrailingNumber(e.DisplayName); },
        ScanCombine::Highest);
}

std::string UninstallLastWordByPrefix(const std::string& Prefix, const std::string& View) {
    return UninstallScan(
        reg::Root::LocalMachine, View,
        [&](const UninstallEntry& e) { return TextStartsWith(e.DisplayName, Prefix); },
        [](const UninstallEntry& e) {
            const std::string& d = e.DisplayName;
            return TrimText(FieldAt(d, FieldCount(d, " -") - 1, " -"));
        },
        ScanCombine::LastMatch);
}

std::string UninstallSecondWord(const std::string& Name, const std::string& View) {
    return UninstallScan(
        reg::Root::LocalMachine, View,
        [&](const UninstallEntry& e) {
            return SameTextAscii(FieldAt(e.DisplayName, 0, " -"), Name);
        },
        [](const UninstallEntry& e) { return FieldAt(e.DisplayName, 1, " -"); },
        ScanCombine::LastMatch);
}

std::string UninstallDisplayVersion(reg::Root Root, const std::string& Name,
                                    const std::string& View, const std::string& Folder) {
    return HighestDisplayVersion(
        Root, View, [&](const std::string& d) { return OccursInText(Name, d); }, Folder);
}

std::string InstalledVersion(const std::string& Name, const std::string& View) {
    return InstalledVersionIn(Name, View, "");
}

std::string InstalledVersionIn(const std::string& Name, const std::string& View,
                               const std::string& Folder) {
    std::string r = UninstallDisplayVersion(reg::Root::LocalMachine, Name, View, Folder);
    if (r.empty())
        r = UninstallDisplayVersion(reg::Root::CurrentUser, Name, View, Folder);
    return r;
}

std::string UninstallVersionWith(const std::string& Name, const std::string& Other,
                                 const std::string& View) {
    return HighestDisplayVersion(
        reg::Root::LocalMachine, View,
        [&](const std::string& d) { return OccursInText(Name, d) && OccursInText(Other, d); }, "");
}

std::string UninstallVersionWithout(const std::string& Name, const std::string& Other,
                                    const std::string& View) {
    return HighestDisplayVersion(
        reg::Root::LocalMachine, View,
        [&](const std::string& d) { return OccursInText(Name, d) && !OccursInText(Other, d); }, "");
}

std::string ManagerSuiteVersion() {
    const std::string base = std::string("SOFTWARE\\") + kUninstallKey;
    regaccess::Key list;
    if (!list.Open(reg::Root::CurrentUser, base))
        return "";
    std::string result;
    for (const std::string& name : list.SubKeyNames()) {
        regaccess::Key entry;
        if (!entry.Open(reg::Root::CurrentUser, base + name + "\\"))
            continue;
        std::string display, publisher, version;
        if (!entry.ReadText("DisplayName", display, true) ||
            !entry.ReadText("Publisher", publisher, false) ||
            !entry.ReadText("DisplayVersion", version, false))
            continue;
        if (SameTextAscii(publisher, "Yamicsoft") && OccursInText("Manager", display) &&
            OccursInText("Windows", display))
            result = StripVersionPrefix(version);
    }
    return result;
}

std::string StripVersionPrefix(const std::string& Text) {
    std::string t = Text;
    if (!t.empty() && (t[0] == 'v' || t[0] == 'V'))
        t.erase(0, 1);
    return TrimText(t);
}

std::string HighestFolderVersion(const std::string& ExePath) {
    std::vector<std::string> folders;
    ListFolders(ExeFolderOf(ExePath), folders);
    std::string result;
    for (const std::string& folder : folders) {
        const std::string n = FileNameWithoutExt(folder);
        if (Newer(n, result))
            result = n;
    }
    return result;
}

std::string FfdshowVersion() {
    std::string r = InstalledVersion("ffdshow");
    if (r.empty()) {
        regaccess::Key key;
        std::uint32_t n = 0;
        if (key.Open(reg::Root::LocalMachine, "SOFTWARE\\GNU\\ffdshow\\") &&
            key.ReadNumber("revision", n)) {
            r = std::to_string(n);
            if (r != "0")
                r = (n > 4422 ? "1.2." : n > 3402 ? "1.1." : "1.0.") + r;
        }
    }
    // The codec's own file in the system folder; Linux has no such folder.
    const std::string system = SpecialFolderPath(kCsidlSystem);
    if (!system.empty()) {
        const TTallyVersion d(FileVersionText(system + "/ff_vfw.dll"));
        const TTallyVersion v(r);
        if (d.Release == v.Release && v.Minor < d.Minor)
            r = d.ToText();
    }
    return r;
}

std::string XvidVersion() {
    const std::string a = InstalledVersion("XVid");
    const std::string b = UninstallVersionByFirstWord("XVid");
    return Newer(a, b) ? a : b;
}

std::string LaunchyVersion() {
    return UninstallSecondWord("launchy");
}

std::string OpenOfficeVersion() {
    std::string r = InstalledVersion("openoffice.org");
    if (r.empty()) {
        const TTallyVersion a(InstalledVersion("openoffice"));
        TTallyVersion b(UninstallVersionFromName("openoffice"));
        b.Build = a.Release;
        r = b.ToText();
        // Neither entry exists: nothing found, so later rows and the file's own version decide.
        if (r == "0.0.0.0")
            r.clear();
    }
    return r;
}

std::string MalwarebytesVersion(bool Ransomware, const std::string& Folder) {
    std::string r = FirstWord(InstalledVersion("Malwarebytes Anti-Malware"));
    if (r.empty())
        r = FirstWord(InstalledVersion(Ransomware ? "Malwarebytes Anti-Ransomware version"
                                                  : "Malwarebytes version"));
    if (r.empty() && WideFileExists(Folder + "changes.txt")) {
        const std::vector<std::string> lines = LoadTextLines(Folder + "changes.txt");
        if (!lines.empty())
            r = TTallyVersion(LastWord(lines.front())).ToText();
        // A first line that names no version is nothing found.
        if (r == "0.0.0.0")
            r.clear();
    }
    return r;
}
