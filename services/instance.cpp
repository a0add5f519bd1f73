#include "services/instance.h"

#include "services/datafolder.h"
#include "services/filefunctions.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr int kMaxSlots = 999;

std::string SlotFileName(const std::string& title, int slot) {
    return "." + title + "-" + std::to_string(slot) + ".lock";
}

// The slot number of a slot file's name, or 0 when the name is not one.
int SlotOfName(const std::string& name, const std::string& title) {
    const std::string prefix = "." + title + "-";
    const std::string suffix = ".lock";
    if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix))
        return 0;
    const std::string digits =
        name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    if (digits.size() > 3 || digits[0] == '0')
        return 0;
    int slot = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return 0;
        slot = slot * 10 + (c - '0');
    }
    return slot;
}

bool SameFile(int fd, const std::string& path) {
    struct stat held, named;
    return fstat(fd, &held) == 0 && lstat(path.c_str(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

} // namespace

TInstance::TInstance(std::string ExeName, std::string Title)
    : exe_(std::move(ExeName)), title_(std::move(Title)) {
    Claim();
}

TInstance::~TInstance() {
    ReleaseSlot();
}

void TInstance::Claim() {
    folder_ = UserDataFolder(exe_, title_);
    int retries = 0;
    for (int slot = 1; slot <= kMaxSlots; ++slot) {
        const std::string path = folder_ + SlotFileName(title_, slot);
        const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) {
            if (errno == ELOOP)
                continue; // a symbolic link is nobody's slot file
            return;       // the folder refuses new files: run unlocked in slot 1
        }
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            close(fd);
            continue;
        }
        // The holder before us may have deleted the file between our open and our lock; a
        // lock on a deleted file guards nothing, so try the same slot again.
        if (!SameFile(fd, path)) {
            close(fd);
            if (++retries < 100)
                --slot;
            continue;
        }
        fd_ = fd;
        slot_ = slot;
        lock_path_ = path;
        return;
    }
}

std::string TInstance::Stem() const {
    return slot_ == 1 ? title_ : title_ + "-" + std::to_string(slot_);
}

std::string TInstance::WorkingCopyPath() const {
    return UserDataFolder(exe_, title_) + Stem() + ".jpg";
}

std::string TInstance::ExportTempPath() const {
    return UserDataFolder(exe_, title_) + Stem() + "_save.jpg";
}

std::string TInstance::LogPath() const {
    return UserDataFolder(exe_, title_) + Stem() + ".log";
}

bool TInstance::OthersRunning() const {
    DIR* dir = opendir(folder_.c_str());
    if (dir == nullptr)
        return false;
    bool found = false;
    while (!found) {
        const dirent* entry = readdir(dir);
        if (entry == nullptr)
            break;
        const int slot = SlotOfName(entry->d_name, title_);
        if (slot == 0 || (slot == slot_ && fd_ >= 0))
            continue;
        const std::string path = folder_ + entry->d_name;
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0)
            continue;
        // A shared lock is refused only while some window holds the slot.
        found = flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
        close(fd);
    }
    closedir(dir);
    return found;
}

void TInstance::RemoveOwnFiles() {
    for (const std::string& path : {WorkingCopyPath(), ExportTempPath(), LogPath()})
        WideDeleteFile(path);
    ReleaseSlot();
}

void TInstance::ReleaseSlot() {
    if (fd_ < 0)
        return;
    // After a clearing of the folder a newer window may own a file of the same name.
    if (SameFile(fd_, lock_path_))
        unlink(lock_path_.c_str());
    close(fd_);
    fd_ = -1;
}
