#include "services/settings_store.h"

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

void ImportSettingsIni(const std::string& ProgramName, const std::string& IniPath) {
    const std::string key = ProgramKey(ProgramName);
    if (!reg::CreateKey(reg::Root::CurrentUser, key))
        return;
    const TIniFile ini(IniPath);
    std::vector<reg::Value> values;
    for (const auto& name : ini.EntryNames(kSettingsSection))
        values.push_back(reg::Value::String(name, ini.ReadString(kSettingsSection, name, "")));
    for (const auto& name : ini.EntryNames(kSettingsDwordSection)) {
        const int number = ProfileTextToIntDef(ini.ReadString(kSettingsDwordSection, name, ""), 0);
        values.push_back(reg::Value::Dword(name, static_cast<std::uint32_t>(number)));
    }
    if (values.empty())
        return;
    if (!reg::WriteValues(reg::Root::CurrentUser, key, values))
        throw std::runtime_error("Unable to write the settings to the registry: " +
                                 reg::LastError());
}

bool ExportSettingsIni(const std::string& ProgramName, const std::string& IniPath) {
    const std::string key = ProgramKey(ProgramName);
    reg::Key k;
    if (!reg::CreateKey(reg::Root::CurrentUser, key, reg::View::Key64) ||
        !k.Open(reg::Root::CurrentUser, key, reg::View::Key64))
        return false;
    for (const auto& v : k.Values()) {
        bool written = true;
        if (v.Type == reg::REG_SZ) {
            written = IniWriteString(IniPath, kSettingsSection, v.Name, v.Data);
        } else if (v.Type == reg::REG_DWORD) {
            const auto number = v.AsDword();
            written = number && IniWriteString(IniPath, kSettingsDwordSection, v.Name,
                                               std::to_string(static_cast<std::int32_t>(*number)));
        }
        if (!written)
            return false;
    }
    return true;
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
