#pragma once
// The one error value of an input/output failure: which file, what was being done, and why
// (the errno of the failed call, or a reason of our own where no call failed).
#include <cerrno>
#include <stdexcept>
#include <string>

namespace base {

enum class IoStep {
    Open,    // opening a file to read it
    Read,    // reading it, or finding it unfit to read (not a regular file, too large)
    Create,  // creating the new file beside the target
    Write,   // writing, flushing or syncing
    Replace, // refusing the target before anything was written, or renaming over it
};

class IoError : public std::runtime_error {
  public:
    // Reason, when given, replaces the errno text in the message.
    IoError(IoStep Step, std::string Path, int Errno, std::string Reason = std::string());

    IoStep Step() const { return step_; }
    const std::string& Path() const { return path_; }
    int Errno() const { return errno_; }
    // Why, without the path: "Permission denied", "not a regular file".
    const std::string& Reason() const { return reason_; }
    // True when the file (or a folder on its path) does not exist.
    bool Missing() const { return errno_ == ENOENT; }

  private:
    IoStep step_;
    std::string path_;
    int errno_;
    std::string reason_;
};

// The message of every IoError: "cannot <what> <path>: <reason>".
std::string IoMessage(IoStep Step, const std::string& Path, const std::string& Reason);

} // namespace base
