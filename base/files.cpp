#include "base/files.h"

#include "base/scope_guard.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace base {

namespace {

std::optional<std::string> Read(const std::string& Path, std::size_t MaxBytes, bool MissingOk) {
    // Without O_NONBLOCK, opening a FIFO would wait for a writer.
    const int fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        if (errno == ENOENT && MissingOk)
            return std::nullopt;
        throw IoError(IoStep::Open, Path, errno);
    }
    ScopeGuard closer([fd] { ::close(fd); });
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        throw IoError(IoStep::Read, Path, errno);
    if (S_ISDIR(st.st_mode))
        throw IoError(IoStep::Read, Path, EISDIR);
    if (!S_ISREG(st.st_mode))
        throw IoError(IoStep::Read, Path, EINVAL, "not a regular file");
    const std::string tooLarge = "larger than " + std::to_string(MaxBytes) + " bytes";
    if (static_cast<unsigned long long>(st.st_size) > MaxBytes)
        throw IoError(IoStep::Read, Path, EFBIG, tooLarge);
    std::string out;
    out.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw IoError(IoStep::Read, Path, errno);
        if (n == 0)
            break;
        out.append(buf, static_cast<std::size_t>(n));
        // The file may grow while it is read.
        if (out.size() > MaxBytes)
            throw IoError(IoStep::Read, Path, EFBIG, tooLarge);
    }
    return out;
}

std::string FolderPrefix(const std::string& Path) {
    const std::size_t slash = Path.rfind('/');
    return slash == std::string::npos ? std::string() : Path.substr(0, slash + 1);
}

std::string FolderOf(const std::string& Path) {
    const std::string prefix = FolderPrefix(Path);
    if (prefix.empty())
        return ".";
    return prefix.size() == 1 ? prefix : prefix.substr(0, prefix.size() - 1);
}

// The file a chain of symbolic links finally names (it need not exist); Path itself when it is
// no link.
std::string FollowLinks(const std::string& Path) {
    std::string current = Path;
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        std::string link(PATH_MAX, '\0');
        const ssize_t n = ::readlink(current.c_str(), link.data(), link.size());
        if (n <= 0 || static_cast<std::size_t>(n) >= link.size())
            throw IoError(IoStep::Replace, Path, n < 0 ? errno : ENAMETOOLONG);
        link.resize(static_cast<std::size_t>(n));
        current = link[0] == '/' ? link : FolderPrefix(current) + link;
    }
    throw IoError(IoStep::Replace, Path, ELOOP);
}

// Creates a file that did not exist: Base plus six random characters. Unlike mkstemp it lets
// the umask decide the permission bits of a new file, as for any other.
int CreateUnique(const std::string& Base, mode_t Mode, std::string& Name) {
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937 random(std::random_device{}());
    for (int attempt = 0; attempt < 100; ++attempt) {
        Name = Base;
        for (int i = 0; i < 6; ++i)
            Name += kChars[random() % 62];
        const int fd = ::open(Name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, Mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

// Some file systems cannot sync (EINVAL); that is no reason to keep the old file.
bool Sync(int Fd) {
    return ::fsync(Fd) == 0 || errno == EINVAL || errno == ENOTSUP;
}

// Best effort: the rename has happened, so a failure here changes nothing the caller can undo.
void SyncFolder(const std::string& Folder) {
    const int fd = ::open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Throws unless Target is missing or a regular file.
void CheckTarget(const std::string& Path, const std::string& Target, struct stat& St,
                 bool& Exists) {
    if (Path.empty())
        throw IoError(IoStep::Replace, Path, ENOENT);
    if (Path.back() == '/')
        throw IoError(IoStep::Replace, Path, EISDIR);
    Exists = ::stat(Target.c_str(), &St) == 0;
    if (!Exists)
        return;
    if (S_ISDIR(St.st_mode))
        throw IoError(IoStep::Replace, Path, EISDIR);
    if (!S_ISREG(St.st_mode))
        throw IoError(IoStep::Replace, Path, EINVAL, "not a regular file");
}

bool FolderRefuses(int Errno) {
    return Errno == EACCES || Errno == EPERM || Errno == EROFS;
}

void WriteInPlace(const std::string& Path, const std::string& Target, std::string_view Bytes) {
    const int fd = ::open(Target.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        throw IoError(IoStep::Write, Path, errno);
    ScopeGuard closer([fd] { ::close(fd); });
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        throw IoError(IoStep::Write, Path, EINVAL, "not a regular file");
    if (!WriteAll(fd, Bytes.data(), Bytes.size()) ||
        ::ftruncate(fd, static_cast<off_t>(Bytes.size())) != 0 || !Sync(fd))
        throw IoError(IoStep::Write, Path, errno);
}

} // namespace

std::string ReadWholeFile(const std::string& Path, std::size_t MaxBytes) {
    return *Read(Path, MaxBytes, false);
}

std::optional<std::string> ReadFileIfExists(const std::string& Path, std::size_t MaxBytes) {
    return Read(Path, MaxBytes, true);
}

bool WriteAll(int Fd, const void* Data, std::size_t Size) {
    const char* p = static_cast<const char*>(Data);
    while (Size > 0) {
        const ssize_t n = ::write(Fd, p, Size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        p += n;
        Size -= static_cast<std::size_t>(n);
    }
    return true;
}

FileReplacement::FileReplacement(const std::string& Path, mode_t NewFileMode)
    : path_(Path), target_(Path.empty() ? Path : FollowLinks(Path)) {
    struct stat old {};
    bool exists = false;
    CheckTarget(path_, target_, old, exists);
    const std::string folder = FolderPrefix(target_);
    const std::string name = target_.substr(folder.size());
    fd_ = CreateUnique(folder + "." + name + ".", NewFileMode, temp_);
    // A name near the file system's limit leaves no room for more: a short name will do.
    if (fd_ < 0 && errno == ENAMETOOLONG)
        fd_ = CreateUnique(folder + ".huelet-", NewFileMode, temp_);
    if (fd_ < 0) {
        const int error = errno;
        temp_.clear();
        throw IoError(IoStep::Create, path_, error);
    }
    // Best effort: some file systems keep no permission bits.
    if (exists)
        (void)::fchmod(fd_, old.st_mode & 07777);
}

FileReplacement::~FileReplacement() {
    if (stream_)
        std::fclose(stream_);
    else if (fd_ >= 0)
        ::close(fd_);
    if (!committed_ && !temp_.empty())
        ::unlink(temp_.c_str());
}

std::FILE* FileReplacement::Stream() {
    if (finished_)
        throw IoError(IoStep::Write, path_, EBADF, "already finished");
    if (!stream_) {
        stream_ = ::fdopen(fd_, "wb");
        if (!stream_)
            throw IoError(IoStep::Write, path_, errno);
    }
    return stream_;
}

void FileReplacement::Write(const void* Data, std::size_t Size) {
    if (finished_)
        throw IoError(IoStep::Write, path_, EBADF, "already finished");
    errno = 0;
    const bool ok =
        stream_ ? std::fwrite(Data, 1, Size, stream_) == Size : WriteAll(fd_, Data, Size);
    if (!ok)
        throw IoError(IoStep::Write, path_, errno ? errno : EIO);
}

void FileReplacement::Finish() {
    if (finished_)
        return;
    finished_ = true;
    errno = 0;
    bool ok = true;
    int error = 0;
    if (stream_) {
        // A failed fwrite sets the error flag; the caller may not have looked.
        ok = std::fflush(stream_) == 0 && !std::ferror(stream_) && Sync(fileno(stream_));
        if (!ok && errno == 0)
            errno = EIO;
        error = errno;
        const bool closed = std::fclose(stream_) == 0;
        stream_ = nullptr;
        if (ok && !closed)
            ok = false, error = errno;
    } else {
        ok = Sync(fd_);
        error = errno;
        const bool closed = ::close(fd_) == 0;
        if (ok && !closed)
            ok = false, error = errno;
    }
    fd_ = -1;
    if (!ok)
        throw IoError(IoStep::Write, path_, error ? error : EIO);
}

void FileReplacement::Commit() {
    Finish();
    if (committed_)
        return;
    if (::rename(temp_.c_str(), target_.c_str()) != 0)
        throw IoError(IoStep::Replace, path_, errno);
    committed_ = true;
    SyncFolder(FolderOf(target_));
}

void ReplaceFile(const std::string& Path, std::string_view Bytes, const ReplaceOptions& Options) {
    std::optional<FileReplacement> file;
    try {
        file.emplace(Path, Options.NewFileMode);
    } catch (const IoError& e) {
        if (!Options.InPlaceWhenFolderRefuses || e.Step() != IoStep::Create ||
            !FolderRefuses(e.Errno()))
            throw;
        const std::string target = FollowLinks(Path);
        struct stat st {};
        if (::stat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
            ::access(target.c_str(), W_OK) != 0)
            throw;
        WriteInPlace(Path, target, Bytes);
        return;
    }
    file->Write(Bytes);
    file->Commit();
}

} // namespace base
