// libFuzzer target: any bytes handed to the EXIF walker as TIFF data must be cleaned or refused
// without memory errors or undefined behaviour; what it keeps must walk again unchanged, and
// the orientation it sets must read back.
#include "engine/exif.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TExifData tiff(data, data + size);
    const int orientation = ExifOrientation(tiff);
    if (orientation < 1 || orientation > 8) {
        std::abort();
    }
    std::string problem;
    if (!CleanExif(tiff, problem)) {
        if (problem.empty() || tiff != TExifData(data, data + size)) {
            std::abort(); // a refusal says why and changes nothing
        }
        return 0;
    }
    if (tiff.size() > size || ExifOrientation(tiff) != orientation) {
        std::abort();
    }
    TExifData again = tiff;
    if (!CleanExif(again, problem) || again != tiff) {
        std::abort(); // cleaning is done in one go
    }
    if (SetExifOrientation(again, 1) && ExifOrientation(again) != 1) {
        std::abort();
    }
    return 0;
}
