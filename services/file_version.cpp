#include "services/file_version.h"

#include "platform/versioninfo.h"
#include "services/filefunctions.h"

#include <algorithm>
#include <cstring>
#include <vector>

std::uint32_t WideGetFileVersionInfoSize(const std::string& Path, std::uint32_t* Handle) {
    if (Handle)
        *Handle = 0;
    std::vector<std::uint8_t> block;
    if (!ReadVersionBlock(Path, block))
        return 0;
    return static_cast<std::uint32_t>(block.size());
}

bool WideGetFileVersionInfo(const std::string& Path, std::uint32_t /*Handle*/, std::uint32_t Size,
                            void* Data) {
    std::vector<std::uint8_t> block;
    if (!Data || !ReadVersionBlock(Path, block))
        return false;
    std::memcpy(Data, block.data(), std::min<std::size_t>(Size, block.size()));
    return true;
}

std::string FileVersionText(const std::string& Path) {
    if (!WideFileExists(Path))
        return "File not found";
    const std::uint32_t size = WideGetFileVersionInfoSize(Path);
    if (size == 0)
        return "";
    std::vector<std::uint8_t> buffer(size);
    TFixedFileInfo fixed;
    // A fixed part without its signature is damage (a misaligned block, for one), not a version.
    if (!WideGetFileVersionInfo(Path, 0, size, buffer.data()) ||
        !QueryFixedFileInfo(buffer, fixed) || fixed.Signature != kFixedFileInfoSignature)
        return "";
    return std::to_string(fixed.FileVersionMS >> 16) + "." +
           std::to_string(fixed.FileVersionMS & 0xFFFF) + "." +
           std::to_string(fixed.FileVersionLS >> 16) + "." +
           std::to_string(fixed.FileVersionLS & 0xFFFF);
}
