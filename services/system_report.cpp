#include "services/system_report.h"

#include "platform/registry.h"
#include "services/text.h"

#include <fstream>
#include <sstream>
#include <sys/utsname.h>
#include <unistd.h>

namespace {

std::string ReadSmallFile(const std::string& Path) {
    std::ifstream in(Path, std::ios::binary);
    if (!in)
        return std::string();
    std::ostringstream out;
    out << in.rdbuf();
    return out.str().substr(0, 65536);
}

// The value of KEY=value in an os-release text, its quotes and escapes removed.
std::string OsReleaseField(const std::string& Text, const std::string& Key) {
    std::istringstream lines(Text);
    std::string line;
    while (std::getline(lines, line)) {
        line = TrimText(line);
        if (!StartsWithExact(line, Key + "="))
            continue;
        std::string v = line.substr(Key.size() + 1);
        if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0]) {
            const char quote = v[0];
            v = v.substr(1, v.size() - 2);
            if (quote == '"') {
                std::string out;
                for (std::size_t i = 0; i < v.size(); ++i) {
                    if (v[i] == '\\' && i + 1 < v.size())
                        ++i;
                    out += v[i];
                }
                v = out;
            }
        }
        return v;
    }
    return std::string();
}

} // namespace

std::string SystemDescriptionText(const std::string& Sysname, const std::string& Release,
                                  const std::string& OsRelease) {
    std::string version;
    for (char c : Release) {
        if ((c >= '0' && c <= '9') || c == '.')
            version += c;
        else
            break;
    }
    std::string text = TrimText(Sysname);
    if (!version.empty())
        text += (text.empty() ? "" : " ") + version;
    std::string distribution = OsReleaseField(OsRelease, "PRETTY_NAME");
    if (distribution.empty()) {
        distribution = OsReleaseField(OsRelease, "NAME");
        const std::string v = OsReleaseField(OsRelease, "VERSION");
        if (!distribution.empty() && !v.empty())
            distribution += " " + v;
    }
    // Control characters from a hand-edited file must not break the log line.
    for (char& c : distribution)
        if (static_cast<unsigned char>(c) < ' ')
            c = ' ';
    distribution = TrimText(distribution);
    if (!distribution.empty())
        text += (text.empty() ? "" : " ") + ("(" + distribution + ")");
    return text.empty() ? "Unknown" : text;
}

std::string WindowsVersionText() {
    utsname u{};
    if (::uname(&u) != 0)
        return "Unknown";
    std::string osRelease = ReadSmallFile("/etc/os-release");
    if (osRelease.empty())
        osRelease = ReadSmallFile("/usr/lib/os-release");
    return SystemDescriptionText(u.sysname, u.release, osRelease);
}

bool IsPreVista() {
    return false;
}

bool RunsAsAdministrator() {
    return ::geteuid() == 0;
}

void ListUninstallEntries(std::vector<std::string>& Names) {
    Names.clear();
    // The 64-bit view is asked for, so the machine's own key is never redirected and the
    // 32-bit programs' key is read by its own name.
    const struct {
        reg::Root Where;
        const char* Path;
    } keys[] = {
        {reg::Root::CurrentUser, kUninstallKey},
        {reg::Root::LocalMachine, kUninstallKey},
        {reg::Root::LocalMachine, kUninstallKey32},
    };
    for (const auto& k : keys) {
        reg::Key uninstall;
        if (!uninstall.Open(k.Where, k.Path, reg::View::Key64))
            continue;
        for (const auto& sub : uninstall.SubKeyNames()) {
            reg::Key entry;
            if (!entry.Open(k.Where, std::string(k.Path) + sub + "\\", reg::View::Key64))
                continue;
            std::string name;
            if (entry.ReadString("DisplayName", name, true))
                Names.push_back(name);
            else
                Names.push_back(sub);
        }
    }
}

bool IsProgramInstalled(const std::string& DisplayName) {
    std::vector<std::string> names;
    ListUninstallEntries(names);
    for (const auto& n : names)
        if (TextStartsWith(n, DisplayName))
            return true;
    return false;
}

std::string YesNoText(bool Flag) {
    return Flag ? "Yes" : "No";
}
