#pragma once
// The one whole-file reader and the one file-replacement routine. Every failure throws
// base::IoError naming the path the caller gave.
#include "base/io_error.h"

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace base {

// ----- Reading -----

constexpr std::size_t kDefaultReadLimit = std::size_t{64} << 20;

// The whole of a regular file of at most MaxBytes. Never waits: the file is opened without
// blocking, so a FIFO or device is refused at once, as is anything else that is not a regular
// file. A file larger than MaxBytes (also one growing past it while read) is refused.
std::string ReadWholeFile(const std::string& Path, std::size_t MaxBytes = kDefaultReadLimit);
// The same, but std::nullopt when Path does not exist (a missing folder on the way included).
std::optional<std::string> ReadFileIfExists(const std::string& Path,
                                            std::size_t MaxBytes = kDefaultReadLimit);

// ----- Replacing -----
//
// The new content goes to a fresh file in the target's folder (created exclusively, under a
// unique hidden name), is written fully and synced, and is then renamed over the target; the
// folder is synced last. Readers see the old file or the new one, never a part; after a crash
// the target is one or the other.
//
// - A target that exists keeps its permission bits; a new one gets NewFileMode less the umask.
// - A symbolic link is followed to the file it finally names, which is replaced; the links stay.
//   A dangling link creates the file it names (its folder must exist).
// - A target that exists but is not a regular file (folder, FIFO, device, socket) is refused
//   before anything is written.
// - On any failure the new file is removed and the target is left as it was.
// - InPlaceWhenFolderRefuses: when the folder refuses new files (EACCES, EPERM, EROFS) but the
//   target exists and may be written, the target is overwritten in place instead. That write is
//   not atomic: a failure part-way can leave the target damaged. Only ReplaceFile offers it.
struct ReplaceOptions {
    mode_t NewFileMode = 0666;
    bool InPlaceWhenFolderRefuses = false;
};

void ReplaceFile(const std::string& Path, std::string_view Bytes,
                 const ReplaceOptions& Options = {});

// The streaming form: write into the object (directly or through Stream()), then Commit().
// Destroyed without a commit, it removes its file and leaves the target alone.
class FileReplacement {
  public:
    // Refuses the target or creates the new file now.
    explicit FileReplacement(const std::string& Path, mode_t NewFileMode = 0666);
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    void Write(const void* Data, std::size_t Size);
    void Write(std::string_view Bytes) { Write(Bytes.data(), Bytes.size()); }
    // A stdio stream on the new file, owned by this object; Finish flushes and closes it.
    std::FILE* Stream();

    // Everything written is on disk and the file closed; nothing is replaced yet. Lets a caller
    // finish several files before replacing any.
    void Finish();
    // Finishes if needed, then renames over the target and syncs its folder.
    void Commit();

    // The path as given, and the file that will be replaced (links followed).
    const std::string& Path() const { return path_; }
    const std::string& Target() const { return target_; }

  private:
    std::string path_, target_, temp_;
    int fd_ = -1;
    std::FILE* stream_ = nullptr;
    bool finished_ = false, committed_ = false;
};

// Writes every byte to Fd, retrying short writes and interrupted calls; false with errno set.
bool WriteAll(int Fd, const void* Data, std::size_t Size);

} // namespace base
