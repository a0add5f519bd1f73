#include "services/filefunctions.h"

#include "platform/fileio.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool EqualsIgnoringAsciiCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z')
            x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z')
            y = static_cast<unsigned char>(y + 32);
        if (x != y)
            return false;
    }
    return true;
}

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

// Where a write to Path must finally land: the file a symbolic link points to, else Path.
std::string RenameDestination(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = realpath(path.c_str(), nullptr)) {
            std::string resolved = real;
            free(real);
            return resolved;
        }
    }
    return path;
}

// Runs fill(fd) on a new temporary file beside path and renames it over path on success.
template <typename Fill> bool ReplaceFileWith(const std::string& path, Fill fill) {
    if (path.empty() || path.back() == '/')
        return false;
    const std::string target = RenameDestination(path);
    struct stat old;
    const bool had_old = stat(target.c_str(), &old) == 0;
    if (had_old && !S_ISREG(old.st_mode))
        return false;

    static std::atomic<unsigned> counter{0};
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = target + ".~" + std::to_string(getpid()) + "-" + std::to_string(counter++);
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;
    bool ok = fill(fd);
    if (ok && had_old)
        ok = fchmod(fd, old.st_mode & 07777) == 0;
    ok = fsync(fd) == 0 && ok;
    ok = close(fd) == 0 && ok;
    if (ok && rename(temp.c_str(), target.c_str()) == 0)
        return true;
    unlink(temp.c_str());
    return false;
}

void ClearFolder(const std::string& folder, const std::string& ext) {
    const bool every = ext == "*";
    const std::string suffix = "." + ext;
    const std::string base = WithTrailingSlash(folder);
    for (const std::string& name : FolderEntries(folder)) {
        if (!every && (name.size() < suffix.size() ||
                       !EqualsIgnoringAsciiCase(name.substr(name.size() - suffix.size()), suffix)))
            continue;
        const std::string path = base + name;
        if (IsRealDirectory(path))
            ClearFolder(path, ext);
        else
            unlink(path.c_str());
    }
    rmdir(folder.c_str());
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
        else if (!WideDirectoryExists(path) && EqualsIgnoringAsciiCase(ExtensionOf(name), Ext))
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
        else if (!WideDirectoryExists(path) && EqualsIgnoringAsciiCase(name, Name))
            List.push_back(path);
    }
}

bool DeleteFilesByExt(const std::string& Folder, const std::string& Ext) {
    // Never clear the whole file system, whatever a caller computed.
    if (Folder.find_first_not_of('/') == std::string::npos || Ext.empty())
        return true;
    ClearFolder(Folder, Ext);
    return true;
}

bool WideDeleteFile(const std::string& Path) {
    struct stat st;
    if (Path.empty() || lstat(Path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return false;
    return unlink(Path.c_str()) == 0;
}

bool CopyFileReplacing(const std::string& Source, const std::string& Target) {
    int in = open(Source.c_str(), O_RDONLY | O_CLOEXEC);
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
    bool ok = ReplaceFileWith(Target, [in](int out) {
        char buffer[1 << 16];
        for (;;) {
            ssize_t n = read(in, buffer, sizeof buffer);
            if (n == 0)
                return true;
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return false;
            }
            if (!WriteAll(out, buffer, static_cast<size_t>(n)))
                return false;
        }
    });
    close(in);
    return ok;
}

bool WriteFileAtomic(const std::string& Path, const std::string& Data) {
    return ReplaceFileWith(Path,
                           [&Data](int fd) { return WriteAll(fd, Data.data(), Data.size()); });
}
