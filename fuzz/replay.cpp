// Feeds files to a fuzz target's entry point, for compilers without libFuzzer: each argument is
// a file, or a folder whose regular files are all fed in name order. Any fault the target finds
// aborts, as under the fuzzer; a run that finds no input at all fails too, so a missing seed
// folder cannot pass unnoticed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool Feed(const std::filesystem::path& file) {
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    // Exactly sized: a read past the end leaves the allocation, where the sanitizers see it.
    std::vector<std::uint8_t> data(error ? 0 : size);
    std::ifstream in(file, std::ios::binary);
    if (error ||
        !in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()))) {
        std::fprintf(stderr, "%s: cannot read\n", file.c_str());
        return false;
    }
    std::fprintf(stderr, "%s (%zu bytes)\n", file.c_str(), data.size());
    LLVMFuzzerTestOneInput(data.data(), data.size());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    int fed = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path arg = argv[i];
        std::error_code error;
        if (!std::filesystem::is_directory(arg, error)) {
            if (!Feed(arg))
                return 1;
            ++fed;
            continue;
        }
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(arg, error))
            if (entry.is_regular_file())
                files.push_back(entry.path());
        if (error) {
            std::fprintf(stderr, "%s: %s\n", arg.c_str(), error.message().c_str());
            return 1;
        }
        std::sort(files.begin(), files.end());
        for (const auto& file : files) {
            if (!Feed(file))
                return 1;
            ++fed;
        }
    }
    if (fed == 0) {
        std::fprintf(stderr, "usage: %s FILE_OR_FOLDER... (no input found)\n", argv[0]);
        return 1;
    }
    std::fprintf(stderr, "%d inputs, no fault\n", fed);
    return 0;
}
