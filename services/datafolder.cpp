#include "services/datafolder.h"

#include "services/filefunctions.h"

#include <cstdlib>
#include <unistd.h>

namespace {

std::string EnvText(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// The XDG base folder: the variable when it holds an absolute path (relative values are to be
// ignored), else HOME followed by the default below it.
std::string XdgFolder(const char* variable, const char* belowHome) {
    std::string path = EnvText(variable);
    if (path.empty() || path[0] != '/') {
        std::string home = EnvText("HOME");
        if (home.empty() || home[0] != '/')
            return std::string();
        while (home.size() > 1 && home.back() == '/')
            home.pop_back();
        path = (home == "/" ? std::string() : home) + belowHome;
    }
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string WithTrailingSlash(const std::string& folder) {
    if (!folder.empty() && folder.back() == '/')
        return folder;
    return folder + "/";
}

std::string MakerFolder() {
    std::string data = SpecialFolderPath(kCsidlAppData);
    if (data.empty())
        return std::string();
    return WithTrailingSlash(data) + kMakerFolderName + "/";
}

// A title that names exactly one folder below the maker's; anything else would let the data
// folder (which portable mode deletes wholesale) point somewhere else.
bool IsSingleFolderName(const std::string& title) {
    return !title.empty() && title != "." && title != ".." &&
           title.find('/') == std::string::npos && title.find('\0') == std::string::npos;
}

bool HasParentReference(const std::string& path) {
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        if (path.compare(start, end - start, "..") == 0 && end - start == 2)
            return true;
        start = end + 1;
    }
    return false;
}

} // namespace

std::string SpecialFolderPath(int Csidl) {
    switch (Csidl) {
    case kCsidlAppData:
        return XdgFolder("XDG_DATA_HOME", "/.local/share");
    case kCsidlLocalAppData:
        return XdgFolder("XDG_STATE_HOME", "/.local/state");
    default:
        return std::string();
    }
}

std::string ExecutableFolder(const std::string& ExeName) {
    size_t slash = ExeName.rfind('/');
    if (slash == std::string::npos)
        return "./";
    return ExeName.substr(0, slash + 1);
}

std::string UserDataFolder(const std::string& ExeName, const std::string& Title, bool* FellBack) {
    if (FellBack)
        *FellBack = true;
    const std::string exe_folder = ExecutableFolder(ExeName);
    const std::string maker = MakerFolder();
    if (maker.empty() || !IsSingleFolderName(Title))
        return exe_folder;
    // Both usually exist already; only the final check matters.
    WideCreateDirectory(maker);
    const std::string program = maker + Title;
    WideCreateDirectory(program);
    if (!WideDirectoryExists(program))
        return exe_folder;
    if (FellBack)
        *FellBack = false;
    return program + "/";
}

void RemoveMakerDataFolderIfEmpty() {
    const std::string maker = MakerFolder();
    if (maker.empty())
        return;
    std::vector<std::string> folders;
    ListFolders(maker, folders);
    if (!folders.empty())
        return;
    rmdir(maker.c_str());
}

std::string CleanVirtualStore(const std::string& ExeFolder) {
    const std::string local = SpecialFolderPath(kCsidlLocalAppData);
    if (local.empty() || ExeFolder.empty() || HasParentReference(ExeFolder))
        return std::string();
    std::string relative = ExeFolder;
    while (!relative.empty() && relative.front() == '/')
        relative.erase(0, 1);
    const std::string store = WithTrailingSlash(local) + "VirtualStore/" + relative;
    if (!WideDirectoryExists(store))
        return std::string();
    DeleteFilesByExt(store, "SPK");
    return store;
}
