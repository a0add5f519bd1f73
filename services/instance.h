#pragma once
// One running window's share of the program's data folder.
//
// Several windows of one user may run at once, and they share the data folder. Each holds an
// exclusive flock on a slot file ".<Title>-<n>.lock" there, taking the lowest slot nobody
// holds. Slot 1 keeps the plain names (<Title>.jpg, <Title>_save.jpg, <Title>.log); a window in
// slot n > 1 gets <Title>-<n>.jpg, <Title>-<n>_save.jpg and <Title>-<n>.log, so it never reads,
// replaces or removes another window's files. The kernel drops a lock with its process, so the
// slot of a window that crashed is free again, and its stale slot file is reused.
#include <string>

class TInstance {
  public:
    // Claims a slot in UserDataFolder(ExeName, Title). When no slot file can be made there
    // (a folder that refuses new files), the window runs in slot 1 without a lock.
    TInstance(std::string ExeName, std::string Title);
    // Releases the slot (see ReleaseSlot).
    ~TInstance();
    TInstance(const TInstance&) = delete;
    TInstance& operator=(const TInstance&) = delete;

    // 1 for the first window, 2 and up for the further ones.
    int Slot() const { return slot_; }
    // True while this object holds its slot's lock.
    bool Locked() const { return fd_ >= 0; }

    // The data folder, asked afresh (UserDataFolder), followed by this window's file names.
    std::string WorkingCopyPath() const;
    std::string ExportTempPath() const;
    std::string LogPath() const;

    // True when another live window holds a slot in the same data folder.
    bool OthersRunning() const;

    // Deletes this window's working copy, export file and log, then releases the slot.
    void RemoveOwnFiles();
    // Deletes the slot file (only while it is still the one this object locked) and drops
    // the lock.
    void ReleaseSlot();

  private:
    std::string Stem() const;
    void Claim();

    std::string exe_;
    std::string title_;
    std::string folder_; // where the slot files are
    std::string lock_path_;
    int slot_ = 1;
    int fd_ = -1;
};
