// libFuzzer target for the version-resource readers: any bytes, taken as a PE or ELF image and
// as a bare version block, must be read or refused without memory errors, undefined behaviour
// or hangs. Blocks that parse with a proper fixed part must survive a write and re-read.
#include "platform/versioninfo.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

namespace {

// The input also goes through the file reader, from an anonymous in-memory file.
const std::string& InputPath() {
    static const std::string path = [] {
        const int fd = memfd_create("fuzz-versioninfo", 0);
        if (fd < 0) {
            std::perror("memfd_create");
            std::abort();
        }
        return "/proc/self/fd/" + std::to_string(fd);
    }();
    return path;
}

void Exercise(std::span<const std::uint8_t> block) {
    TVersionInfo info;
    if (ParseVersionInfo(block, info) && info.FixedLength == kFixedFileInfoSize) {
        HasValidRoot(info);
        try {
            const std::vector<std::uint8_t> again = WriteVersionInfo(info);
            TVersionInfo back;
            if (!ParseVersionInfo(again, back) || !(back == info))
                std::abort();
        } catch (const std::length_error&) {
        }
    }
    TFixedFileInfo fixed;
    QueryFixedFileInfo(block, fixed);
    std::vector<std::uint32_t> translations;
    std::string value;
    if (QueryTranslations(block, translations)) {
        char path[64];
        std::snprintf(path, sizeof path, "\\StringFileInfo\\%04x%04x\\CompanyName",
                      translations[0] & 0xFFFF, translations[0] >> 16);
        QueryVersionString(block, path, value);
    }
    QueryVersionString(block, "\\StringFileInfo\\040904b0\\FileVersion", value);
    TVersionValue raw;
    QueryVersionValue(block, "\\\\VarFileInfo\\\\", raw);
    QueryVersionValue(block, "CompanyName", raw);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    Exercise(bytes);

    std::vector<std::uint8_t> block;
    if (ExtractVersionBlock(MemoryImage(bytes), block))
        Exercise(block);
    PeImageKind(MemoryImage(bytes));

    // The same through a real file descriptor and pread.
    const int fd = std::atoi(InputPath().c_str() + std::string("/proc/self/fd/").size());
    if (ftruncate(fd, 0) != 0 || (size && pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)))
        std::abort();
    std::vector<std::uint8_t> fromFile;
    if (ReadVersionBlock(InputPath(), fromFile) != !block.empty() || fromFile != block)
        std::abort();
    IsPe64Image(InputPath());
    return 0;
}
