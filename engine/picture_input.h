#pragma once
#include <cstddef>
#include <cstdio>
#include <cstring>

// The bytes of a picture, read front to back exactly once and never sought, so a pipe or a
// terminal works as well as a file: first head (bytes the caller already read, for example to
// tell the format), then the rest of file from its current position. Without a file the
// picture is the head alone, a block of memory.
struct TPictureInput {
    std::FILE* file = nullptr;
    const unsigned char* head = nullptr;
    std::size_t headSize = 0;
};

// Hands out the bytes of a TPictureInput in order.
class TInputReader {
  public:
    explicit TInputReader(const TPictureInput& input) : input_(input) {}

    // Up to size bytes; fewer only at the end of the data or on a read error (see Failed).
    std::size_t Read(void* buffer, std::size_t size) {
        std::size_t done = 0;
        if (pos_ < input_.headSize) {
            done = size < input_.headSize - pos_ ? size : input_.headSize - pos_;
            std::memcpy(buffer, input_.head + pos_, done);
            pos_ += done;
        }
        if (done < size && input_.file != nullptr) {
            done +=
                std::fread(static_cast<unsigned char*>(buffer) + done, 1, size - done, input_.file);
        }
        return done;
    }

    bool Failed() const { return input_.file != nullptr && std::ferror(input_.file); }

  private:
    TPictureInput input_;
    std::size_t pos_ = 0;
};
