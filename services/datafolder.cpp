#include "services/datafolder.h"

#include "platform/xdgfolders.h"
#include "services/filefunctions.h"

#include <unistd.h>

namespace {

std::string WithTrailingSlash(const std::string& folder) {
    if (!folder.empty() && folder.back() == '/')
        return folder;
    return folder + "/";
}

// Removing and clearing only look for folders, so they name the base folders without creating
// them; only UserDataFolder, which puts files there, has SpecialFolderPath create them.
std::string MakerFolder(bool Create) {
    std::string data = Create ? SpecialFolderPath(kCsidlAppData) : XdgBaseFolderName(XdgBase::Data);
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
        return XdgBaseFolder(XdgBase::Data);
    case kCsidlLocalAppData:
        return XdgBaseFolder(XdgBase::State);
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
    if (!IsSingleFolderName(Title))
        return exe_folder;
    const std::string maker = MakerFolder(true);
    if (maker.empty())
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
    const std::string maker = MakerFolder(false);
    if (maker.empty())
        return;
    std::vector<std::string> folders;
    ListFolders(maker, folders);
    if (!folders.empty())
        return;
    rmdir(maker.c_str());
}

std::string CleanVirtualStore(const std::string& ExeFolder) {
    const std::string local = XdgBaseFolderName(XdgBase::State);
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
