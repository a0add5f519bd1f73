#pragma once
// huelet-splash's command line.
#include "engine/render.h"

#include <optional>
#include <string>
#include <vector>

namespace splash {

// Thrown for anything that ends a run or a file: status 2 for bad arguments, 1 otherwise.
struct TFailure {
    int status;
    std::string message;
};

[[noreturn]] void Fail(int status, const std::string& message);
std::string Quoted(const std::string& s);

enum class TFormat { Jpeg, Png, Ppm, Pgm };

// The format a file name's extension gives, if any (.jpg, .jpeg, .png, .ppm, .pgm, any case).
std::optional<TFormat> FormatOfExtension(const std::string& path);
// The extension a batch gives its outputs: ".jpg", ".png", ".ppm" or ".pgm".
const char* ExtensionOf(TFormat format);

// "-" as a file name: standard input for IN, standard output for OUT.
constexpr const char* kStdio = "-";

struct TOptions {
    std::vector<std::string> inputs;
    std::string output;    // the single form's OUT
    std::string outputDir; // -o DIR: one output per input
    std::string mask;
    std::optional<TFormat> format; // --format
    std::optional<TSelection> color;
    TSelection thresholds{0, 0, 0, 40, 40, 40};
    bool filter = false;
    bool strip = false;
    bool autoOrient = false;
    bool force = false;
    int quality = 90;
    int jobs = 0; // 0: the number of online processors

    bool Batch() const { return !outputDir.empty(); }
    TSelection Selection() const {
        return {color->rc, color->gc, color->bc, thresholds.tr, thresholds.tg, thresholds.tb};
    }
};

// Throws TFailure with status 2 for anything the command line gets wrong.
TOptions ParseArguments(const std::vector<std::string>& args);

} // namespace splash
