#include "services/portable.h"

#include "platform/registry.h"
#include "services/U_Log.h"
#include "services/datafolder.h"
#include "services/filefunctions.h"
#include "services/instance.h"
#include "services/settings_store.h"
#include "services/system_report.h"

#include <utility>

namespace {

// The registry key's name, the same word as the title but never taken from it.
constexpr const char* kProgramName = "Huelet";

void AddLog(TKLog* log, const std::string& text, int level) {
    if (log != nullptr)
        log->AddLine(text, level);
}

} // namespace

TPortableMode::TPortableMode(std::string ExeName, std::string Title)
    : exe_(std::move(ExeName)), title_(std::move(Title)) {}

std::string TPortableMode::SettingsIniPath() const {
    return ExecutableFolder(exe_) + "settings.ini";
}

bool TPortableMode::Active() const {
    return !IsProgramInstalled(kProgramDisplayName);
}

std::vector<std::string> TPortableMode::Start() const {
    std::vector<std::string> problems;
    if (!IsProgramInstalled(kProgramDisplayName))
        problems = ImportSettingsIni(kProgramName, SettingsIniPath());
    for (std::string& skipped : reg::TakeSkippedFileMessages())
        problems.push_back(std::move(skipped));
    return problems;
}

std::string TPortableMode::Close(TKLog* Log, TInstance& Instance) const {
    const std::string cleaned = CleanVirtualStore(ExecutableFolder(exe_));
    if (!cleaned.empty())
        AddLog(Log, "Cleaning VirtualStore : " + cleaned, kLogVerbose);
    AddLog(Log, "Closing Huelet", kLogInfo);
    if (IsProgramInstalled(kProgramDisplayName)) {
        Instance.ReleaseSlot();
        return {};
    }
    // Portable: the last window leaves nothing but "settings.ini" behind.
    if (Instance.OthersRunning()) {
        Instance.RemoveOwnFiles();
        return {};
    }
    bool fellBack = false;
    const std::string data = UserDataFolder(exe_, title_, &fellBack);
    // A data folder that fell back to the executable's own folder holds the program itself
    // and its settings.ini: only what this window wrote there goes.
    if (fellBack)
        Instance.RemoveOwnFiles();
    else
        DeleteFilesByExt(data, "*");
    Instance.ReleaseSlot();
    RemoveMakerDataFolderIfEmpty();
    // Only a complete export may remove the registry settings.
    std::string problem;
    if (!ExportSettingsIni(kProgramName, SettingsIniPath(), &problem))
        return problem;
    DeleteProgramKey(kProgramName);
    DeleteMakerValue(kProgramName);
    DeleteMakerKeyIfEmpty();
    return {};
}
