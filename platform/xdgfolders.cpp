#include "platform/xdgfolders.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <utility>

namespace {

std::string EnvText(const char* Name) {
    const char* value = std::getenv(Name);
    return value ? std::string(value) : std::string();
}

std::string WithoutTrailingSlashes(std::string Path) {
    while (Path.size() > 1 && Path.back() == '/')
        Path.pop_back();
    return Path;
}

bool IsFolder(const std::string& Path) {
    struct stat st {};
    return ::stat(Path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

struct BaseRule {
    const char* Variable;
    const char* BelowHome;
};

BaseRule RuleOf(XdgBase Which) {
    switch (Which) {
    case XdgBase::Data:
        return {"XDG_DATA_HOME", "/.local/share"};
    case XdgBase::State:
        return {"XDG_STATE_HOME", "/.local/state"};
    case XdgBase::Config:
        break;
    }
    return {"XDG_CONFIG_HOME", "/.config"};
}

// An absolute HOME without trailing slashes ("/" stays "/"), or "".
std::string Home() {
    const std::string home = EnvText("HOME");
    if (home.empty() || home[0] != '/')
        return std::string();
    return WithoutTrailingSlashes(home);
}

// The folder, and the part of it that must already exist: "/" for a path the variable names,
// HOME for the default below it. Both "" when there is none.
struct Resolved {
    std::string Folder;
    std::string Top;
};

Resolved Resolve(XdgBase Which) {
    const BaseRule rule = RuleOf(Which);
    const std::string value = EnvText(rule.Variable);
    if (!value.empty() && value[0] == '/')
        return {WithoutTrailingSlashes(value), std::string(1, '/')};
    std::string home = Home();
    if (home.empty())
        return {};
    std::string folder = (home == "/" ? std::string() : home) + rule.BelowHome;
    return {std::move(folder), std::move(home)};
}

// Creates Path and its missing parents below Top (which must exist), each new folder with mode
// 0700. True when Path is a folder afterwards.
bool CreateFolderChain(const std::string& Path, const std::string& Top) {
    if (IsFolder(Path))
        return true;
    if (!IsFolder(Top))
        return false;
    const std::string top = WithoutTrailingSlashes(Top);
    const bool below = top == "/"
                           ? !Path.empty() && Path[0] == '/'
                           : Path.size() > top.size() && Path.compare(0, top.size(), top) == 0 &&
                                 Path[top.size()] == '/';
    if (!below)
        return false;
    std::size_t pos = top == "/" ? 1 : top.size() + 1;
    while (pos <= Path.size()) {
        std::size_t next = Path.find('/', pos);
        if (next == std::string::npos)
            next = Path.size();
        if (next > pos) {
            const std::string part = Path.substr(0, next);
            if (::mkdir(part.c_str(), 0700) == 0)
                ::chmod(part.c_str(), 0700); // exactly 0700, whatever the umask
            else if (errno != EEXIST)
                return false;
        }
        pos = next + 1;
    }
    return IsFolder(Path);
}

} // namespace

std::string XdgBaseFolderName(XdgBase Which) {
    return Resolve(Which).Folder;
}

std::string XdgBaseFolder(XdgBase Which) {
    Resolved r = Resolve(Which);
    if (r.Folder.empty() || !CreateFolderChain(r.Folder, r.Top))
        return std::string();
    return std::move(r.Folder);
}
