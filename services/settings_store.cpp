#include "services/settings_store.h"

#include "base/ascii.h"
#include "platform/inifile.h"
#include "platform/registry.h"
#include "services/text.h"

#include <stdexcept>
#include <vector>

namespace {

std::string ProgramKey(const std::string& ProgramName) {
    return std::string(kMakerKey) + "\\" + ProgramName;
}

} // namespace

std::vector<std::string> ImportSettingsIni(const std::string& ProgramName,
                                           const std::string& IniPath) {
    std::vector<std::string> problems;
    const std::string key = ProgramKey(ProgramName);
    if (!reg::CreateKey(reg::Root::CurrentUser, key)) {
        problems.push_back("cannot import " + IniPath +
                           ": the registry cannot be written: " + reg::LastError());
        return problems;
    }
    const TIniFile ini(IniPath);
    if (!ini.LoadError().empty()) {
        problems.push_back(ini.LoadError() + "; no setting was imported");
        return problems;
    }
    for (const auto& s : ini.SkippedEntries())
        if (base::EqualsIgnoringAsciiCase(s.Section, kSettingsSection) ||
            base::EqualsIgnoringAsciiCase(s.Section, kSettingsDwordSection))
            problems.push_back(IniPath + ", line " + std::to_string(s.Line) + ": " + s.Reason +
                               "; the entry was skipped");
    std::vector<reg::Value> values;
    for (const auto& name : ini.EntryNames(kSettingsSection))
        values.push_back(reg::Value::String(name, ini.ReadString(kSettingsSection, name, "")));
    for (const auto& name : ini.EntryNames(kSettingsDwordSection)) {
        const int number = ProfileTextToIntDef(ini.ReadString(kSettingsDwordSection, name, ""), 0);
        values.push_back(reg::Value::Dword(name, static_cast<std::uint32_t>(number)));
    }
    if (!values.empty() && !reg::WriteValues(reg::Root::CurrentUser, key, values))
        problems.push_back("cannot import " + IniPath +
                           ": the registry cannot be written: " + reg::LastError());
    return problems;
}

bool ExportSettingsIni(const std::string& ProgramName, const std::string& IniPath,
                       std::string* Problem) {
    const std::string key = ProgramKey(ProgramName);
    reg::Key k;
    if (!reg::CreateKey(reg::Root::CurrentUser, key, reg::View::Key64) ||
        !k.Open(reg::Root::CurrentUser, key, reg::View::Key64)) {
        if (Problem)
            *Problem = "cannot export the settings to " + IniPath +
                       ": the registry key cannot be read: " + reg::LastError();
        return false;
    }
    std::vector<IniEntry> entries;
    for (const auto& v : k.Values()) {
        if (v.Type == reg::REG_SZ) {
            entries.push_back({kSettingsSection, v.Name, v.Data});
        } else if (const auto number = v.AsDword()) {
            entries.push_back({kSettingsDwordSection, v.Name,
                               std::to_string(static_cast<std::int32_t>(*number))});
        }
    }
    return IniWriteStrings(IniPath, entries, Problem);
}

std::string SettingsProblemsText(const std::vector<std::string>& Problems) {
    constexpr std::size_t kShown = 10;
    std::string text;
    for (std::size_t i = 0; i < Problems.size() && i < kShown; ++i)
        text += (i ? "\n" : "") + Problems[i];
    if (Problems.size() > kShown)
        text += "\n... and " + std::to_string(Problems.size() - kShown) + " more";
    return text;
}

void DeleteProgramKey(const std::string& ProgramName) {
    reg::DeleteKeyTree(reg::Root::CurrentUser, ProgramKey(ProgramName));
}

void DeleteMakerValue(const std::string& Name) {
    if (reg::CreateKey(reg::Root::CurrentUser, kMakerKey))
        reg::DeleteValue(reg::Root::CurrentUser, kMakerKey, Name);
}

void DeleteMakerKeyIfEmpty() {
    reg::DeleteKeyIfEmpty(reg::Root::CurrentUser, kMakerKey);
}

bool RegisterProgramPath(const std::string& Title, const std::string& ExeName) {
    return reg::WriteString(reg::Root::CurrentUser, kMakerKey, Title, ExeName);
}
