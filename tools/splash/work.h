#pragma once
// One picture through huelet-splash: its input, its outputs, the checks made before anything is
// written, and the splash itself.
#include "tools/splash/options.h"

#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace splash {

// What a file is, whatever path or link leads to it.
struct TFileId {
    dev_t dev = 0;
    ino_t ino = 0;
    bool operator==(const TFileId&) const = default;
};

// The file an input names (standard input for "-", when it is a file), links followed; nothing
// for a missing input or a pipe.
std::optional<TFileId> InputId(const std::string& path);

// One input and where its result (and mask) go.
struct TJob {
    std::string in, out, mask;
    TFormat outFormat = TFormat::Jpeg;
};

// Every reason not to start, one text each naming the file: an output that is one of the inputs
// (by device and inode), an output that exists without force, a picture for a terminal.
std::vector<std::string> Refusals(const std::vector<TJob>& jobs, bool force);

// Splashes one picture. Warnings go to warn, one text per file; a failure throws TFailure.
// Safe to run on several threads at once, each with its own job.
void SplashFile(const TJob& job, const TOptions& options,
                const std::function<void(const std::string&)>& warn);

} // namespace splash
