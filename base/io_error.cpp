#include "base/io_error.h"

#include <cerrno>
#include <cstring>

namespace base {

namespace {

const char* Verb(IoStep Step) {
    switch (Step) {
    case IoStep::Open:
        return "open";
    case IoStep::Read:
        return "read";
    case IoStep::Create:
        return "create a file beside";
    case IoStep::Write:
        return "write";
    case IoStep::Replace:
        return "replace";
    }
    return "use";
}

std::string ReasonFor(int Errno, std::string Reason) {
    if (!Reason.empty())
        return Reason;
    return Errno != 0 ? std::strerror(Errno) : "unknown error";
}

} // namespace

std::string IoMessage(IoStep Step, const std::string& Path, const std::string& Reason) {
    return std::string("cannot ") + Verb(Step) + " " + Path + ": " + Reason;
}

IoError::IoError(IoStep Step, std::string Path, int Errno, std::string Reason)
    : std::runtime_error(IoMessage(Step, Path, ReasonFor(Errno, Reason))), step_(Step),
      path_(std::move(Path)), errno_(Errno), reason_(ReasonFor(Errno, std::move(Reason))) {}

} // namespace base
