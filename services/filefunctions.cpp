#include "services/filefunctions.h"

#include "base/ascii.h"
#include "base/files.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string WithTrailingSlash(const std::string& folder) {
    if (!folder.empty() && folder.back() == '/')
        return folder;
    return folder + "/";
}

std::string NamePart(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The extension of a name, dot included; "" without a dot.
std::string ExtensionOf(const std::string& name) {
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

// Entry names of a folder, "." and ".." left out, in byte order so results do not depend on
// the file system's enumeration order.
std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return names;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(std::move(name));
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// A real folder, not a symbolic link to one: recursion never leaves the tree it was given.
bool IsRealDirectory(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MatchesExt(const std::string& name, const std::string& ext) {
    if (ext == "*")
        return true;
    const std::string suffix = "." + ext;
    return name.size() >= suffix.size() &&
           base::EqualsIgnoringAsciiCase(name.substr(name.size() - suffix.size()), suffix);
}

// Clears the open folder Fd (taking it over). Every entry is looked at through the folder's
// descriptor without following links, so nothing outside the tree is reached, even when an
// entry is swapped for a link while we work.
void ClearFolderAt(int fd, const std::string& ext) {
    DIR* dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return;
    }
    std::vector<std::string> names;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != ".." && MatchesExt(name, ext))
            names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        struct stat st;
        if (fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            const int sub =
                openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub >= 0) {
                ClearFolderAt(sub, ext);
                unlinkat(fd, name.c_str(), AT_REMOVEDIR);
            }
        } else {
            unlinkat(fd, name.c_str(), 0);
        }
    }
    closedir(dir);
}

} // namespace

bool WideFileExists(const std::string& Path) {
    struct stat st;
    return !Path.empty() && stat(Path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool WideDirectoryExists(const std::string& Path) {
    struct stat st;
    return !Path.empty() && stat(Path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool WideCreateDirectory(const std::string& Path) {
    return !Path.empty() && mkdir(Path.c_str(), 0777) == 0;
}

std::int64_t FileSize64(const std::string& Path) {
    struct stat st;
    if (Path.empty() || stat(Path.c_str(), &st) != 0)
        return 0;
    return static_cast<std::int64_t>(st.st_size);
}

bool FileHasContent(const std::string& Path) {
    return WideFileExists(Path) && FileSize64(Path) > 0;
}

std::string FileNameWithoutExt(const std::string& Path) {
    std::string name = NamePart(Path);
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

void ListFiles(const std::string& Folder, std::vector<std::string>& List) {
    const std::string base = WithTrailingSlash(Folder);
    for (const std::string& name : FolderEntries(Folder))
        if (WideFileExists(base + name))
            List.push_back(base + name);
}

void ListFolders(const std::string& Folder, std::vector<std::string>& List) {
    const std::string base = WithTrailingSlash(Folder);
    for (const std::string& name : FolderEntries(Folder))
        if (WideDirectoryExists(base + name))
            List.push_back(base + name);
}

void FindFilesByExt(const std::string& Folder, const std::string& Ext,
                    std::vector<std::string>& List) {
    const std::string base = WithTrailingSlash(Folder);
    for (const std::string& name : FolderEntries(Folder)) {
        const std::string path = base + name;
        if (IsRealDirectory(path))
            FindFilesByExt(path, Ext, List);
        else if (!WideDirectoryExists(path) &&
                 base::EqualsIgnoringAsciiCase(ExtensionOf(name), Ext))
            List.push_back(path);
    }
}

void FindFilesByName(const std::string& Folder, const std::string& Name,
                     std::vector<std::string>& List) {
    const std::string base = WithTrailingSlash(Folder);
    for (const std::string& name : FolderEntries(Folder)) {
        const std::string path = base + name;
        if (IsRealDirectory(path))
            FindFilesByName(path, Name, List);
        else if (!WideDirectoryExists(path) && base::EqualsIgnoringAsciiCase(name, Name))
            List.push_back(path);
    }
}

bool DeleteFilesByExt(const std::string& Folder, const std::string& Ext) {
    // Never clear the whole file system, whatever a caller computed.
    if (Folder.find_first_not_of('/') == std::string::npos || Ext.empty())
        return true;
    std::string folder = Folder;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    // A folder that is a symbolic link (or not a folder) is left alone: clearing through the
    // link would empty its target.
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return true;
    ClearFolderAt(fd, Ext);
    rmdir(folder.c_str());
    return true;
}

bool WideDeleteFile(const std::string& Path) {
    struct stat st;
    if (Path.empty() || lstat(Path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return false;
    return unlink(Path.c_str()) == 0;
}

bool CopyFileReplacing(const std::string& Source, const std::string& Target) {
    // Without blocking: a FIFO or device named like a picture is refused, never waited on.
    int in = open(Source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (in < 0)
        return false;
    struct stat st;
    if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(in);
        return false;
    }
    // Copying a file onto itself would truncate nothing but is pointless; treat it as done.
    struct stat dst;
    if (stat(Target.c_str(), &dst) == 0 && dst.st_dev == st.st_dev && dst.st_ino == st.st_ino) {
        close(in);
        return true;
    }
    bool ok = true;
    try {
        base::FileReplacement out(Target);
        char buffer[1 << 16];
        for (;;) {
            const ssize_t n = read(in, buffer, sizeof buffer);
            if (n == 0)
                break;
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                ok = false;
                break;
            }
            out.Write(buffer, static_cast<size_t>(n));
        }
        if (ok)
            out.Commit();
    } catch (const base::IoError&) {
        ok = false;
    }
    close(in);
    return ok;
}

bool WriteFileAtomic(const std::string& Path, const std::string& Data) {
    try {
        base::ReplaceFile(Path, Data);
        return true;
    } catch (const base::IoError&) {
        return false;
    }
}
