// libFuzzer target: any bytes handed to TBitmap32::ReadPictureFile must either decode or raise
// EPictureError, without memory errors, undefined behaviour, leaks or runaway allocations.
// Decoded pictures that are small enough are written back as JPEG into memory.
#include "engine/bitmap32.h"
#include "engine/jpeg_codec.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

namespace {

// The input lives in an anonymous in-memory file, opened by path like any picture.
int InputFile() {
    static const int fd = [] {
        const int f = memfd_create("fuzz-picture", 0);
        if (f < 0) {
            std::perror("memfd_create");
            std::abort();
        }
        return f;
    }();
    return fd;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int fd = InputFile();
    if (ftruncate(fd, 0) != 0 || lseek(fd, 0, SEEK_SET) != 0) {
        std::abort();
    }
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = write(fd, data + done, size - done);
        if (n <= 0) {
            std::abort();
        }
        done += static_cast<std::size_t>(n);
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    // Trailing bytes do not change a JPEG picture, so the last one picks the quantised path.
    const bool lowColor = size > 0 && (data[size - 1] & 1) != 0;

    TBitmap32 picture;
    try {
        picture.ReadPictureFile(path, lowColor);
    } catch (const EPictureError&) {
        return 0;
    }
    if (picture.Width() < 0 || picture.Height() < 0) {
        std::abort();
    }
    // Every pixel must be readable.
    std::uint32_t sum = 0;
    for (int y = 0; y < picture.Height(); ++y) {
        for (int x = 0; x < picture.Width(); ++x) {
            sum += picture.PixelAt(x, y);
        }
    }
    asm volatile("" : : "r"(sum));

    if (!picture.Empty() && static_cast<long long>(picture.Width()) * picture.Height() <= 65536) {
        char* buffer = nullptr;
        std::size_t length = 0;
        std::FILE* out = open_memstream(&buffer, &length);
        if (out != nullptr) {
            try {
                EncodeJpeg(picture, out, "memory");
            } catch (const EPictureError&) {
                std::abort(); // any non-empty picture within limits must encode
            }
            std::fclose(out);
            std::free(buffer);
        }
    }
    return 0;
}
