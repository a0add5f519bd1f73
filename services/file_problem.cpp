#include "services/file_problem.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

std::string CopyProblemText(const std::string& Source, const std::string& Target) {
    // Non-blocking, so a FIFO named as the picture is refused at once.
    const int fd = open(Source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return "Cannot open " + Quoted(Source) + ": " + std::strerror(errno);
    struct stat st;
    const bool statted = fstat(fd, &st) == 0;
    const int statError = errno;
    close(fd);
    if (!statted)
        return "Cannot read " + Quoted(Source) + ": " + std::strerror(statError);
    if (S_ISDIR(st.st_mode))
        return Quoted(Source) + " is a folder";
    if (!S_ISREG(st.st_mode))
        return Quoted(Source) + " is not a regular file";
    const std::string folder = FolderOf(Target);
    if (access(folder.c_str(), W_OK | X_OK) != 0)
        return "Cannot write " + Quoted(Target) + ": " + std::strerror(errno);
    return "Cannot copy " + Quoted(Source) + " to " + Quoted(Target);
}
