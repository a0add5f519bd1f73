// huelet-splash: keeps the colours near one Central Color in a picture and greys out the rest,
// from the command line, with the same engine as the window.
#include "base/ascii.h"
#include "base/files.h"
#include "engine/bitmap32.h"
#include "engine/filter.h"
#include "engine/geometry.h"
#include "engine/jpeg_codec.h"
#include "engine/render.h"
#include "huelet_config.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const kProgram = "huelet-splash";
// libjpeg's largest width or height.
constexpr long long kMaxJpegDimension = 65500;

// The bundled sample and settings that keep its red cup and saucer and grey the wooden table.
const char* const kSampleName = "coffee.jpg";
constexpr TSelection kSampleSelection{140, 30, 12, 90, 26, 20};

void PrintHelp() {
    std::cout << "Usage: " << kProgram
              << " IN OUT --color R,G,B [--thresholds TR,TG,TB] [--filter] [--mask MASKFILE]\n"
                 "                     [--strip] [--quality N] [--auto-orient]\n"
                 "       "
              << kProgram
              << "            (splash the bundled sample photo into the current folder)\n"
                 "\n"
                 "Keeps every pixel of IN whose colour lies within the thresholds of the Central\n"
                 "Color on each channel (|R - Rc| <= TR and |G - Gc| <= TG and |B - Bc| <= TB)\n"
                 "and turns every other pixel grey, (R + G + B) / 3. The result goes to OUT.\n"
                 "\n"
                 "Options:\n"
                 "  --color R,G,B          the Central Color; any integers (values outside 0..255\n"
                 "                         simply match less)\n"
                 "  --thresholds TR,TG,TB  per-channel distances, each 0..255, inclusive\n"
                 "                         (default 40,40,40)\n"
                 "  --filter               clean the selection mask first: remove specks (fewer\n"
                 "                         than 3 of 8 neighbours selected), then fill holes\n"
                 "                         (more than 4 of 8 selected), each until stable\n"
                 "  --mask MASKFILE        also write the selection mask (white = kept)\n"
                 "  --strip                write no metadata into OUT\n"
                 "  --quality N            JPEG quality of OUT and MASKFILE, 1..100 (default 90)\n"
                 "  --auto-orient          turn and flip IN upright as its EXIF orientation says\n"
                 "                         before selecting, and write orientation 1\n"
                 "  --help                 show this text\n"
                 "  --version              show the version\n"
                 "\n"
                 "IN is a JPEG file or a \"BM\" bitmap file. The format of OUT and MASKFILE\n"
                 "follows the extension: .jpg or .jpeg (baseline JPEG, quality 90), .ppm (exact\n"
                 "colours) or .pgm (exact grey levels, the mean of the channels; exact for the\n"
                 "mask and for greyed pixels). CMYK and YCCK JPEGs are read as RGB.\n"
                 "\n"
                 "A JPEG OUT keeps the metadata of a JPEG IN, in its order: EXIF (without its\n"
                 "thumbnail, orientation as it was, so viewers show OUT as they showed IN), XMP\n"
                 "(extended XMP too), the ICC colour profile, IPTC/Photoshop data and comments.\n"
                 "Damaged metadata is dropped with a warning; --strip drops all of it. The mask\n"
                 "and .ppm/.pgm files carry none.\n"
                 "Problems in IN that still give a picture (truncated or corrupt data, damaged\n"
                 "metadata) print one line, \"huelet-splash: warning: IN: TEXT\", and the run\n"
                 "goes on.\n"
                 "Files are written completely or not at all; existing files are replaced.\n"
                 "Exit status: 0 on success, 1 when a file cannot be read or written, 2 for bad\n"
                 "arguments.\n";
}

struct TFailure {
    int status;
    std::string message;
};

[[noreturn]] void Fail(int status, const std::string& message) {
    throw TFailure{status, message};
}

std::string Quoted(const std::string& s) {
    return "\"" + s + "\"";
}

// "a,b,c" with three integers and nothing else.
std::optional<TSelection> ParseTriple(const std::string& text) {
    int values[3];
    const char* p = text.data();
    const char* end = text.data() + text.size();
    for (int i = 0; i < 3; ++i) {
        const auto [next, ec] = std::from_chars(p, end, values[i]);
        if (ec != std::errc() || next == p)
            return std::nullopt;
        p = next;
        if (i < 2) {
            if (p == end || *p != ',')
                return std::nullopt;
            ++p;
        }
    }
    if (p != end)
        return std::nullopt;
    return TSelection{values[0], values[1], values[2], 0, 0, 0};
}

enum class TFormat { Jpeg, Ppm, Pgm };

TFormat FormatOf(const std::string& path, const char* what) {
    const std::string ext = base::LowerAscii(fs::path(path).extension().string());
    if (ext == ".jpg" || ext == ".jpeg")
        return TFormat::Jpeg;
    if (ext == ".ppm")
        return TFormat::Ppm;
    if (ext == ".pgm")
        return TFormat::Pgm;
    Fail(2, std::string("unsupported ") + what + " format " + Quoted(path) +
                " (use .jpg, .jpeg, .ppm or .pgm)");
}

struct TOptions {
    std::string in, out, mask;
    std::optional<TSelection> color;
    TSelection thresholds{0, 0, 0, 40, 40, 40};
    bool filter = false;
    bool strip = false;
    bool autoOrient = false;
    int quality = kDefaultJpegQuality;
};

TOptions ParseArguments(const std::vector<std::string>& args) {
    TOptions o;
    std::vector<std::string> positional;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string value;
        bool hasValue = false;
        if (const size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            hasValue = true;
        }
        auto takeValue = [&]() -> std::string {
            if (hasValue)
                return value;
            if (i + 1 >= args.size())
                Fail(2, "option " + arg + " needs a value");
            return args[++i];
        };
        if (arg == "--color" || arg == "--colour") {
            const std::string v = takeValue();
            o.color = ParseTriple(v);
            if (!o.color)
                Fail(2, "--color needs three integers R,G,B, not " + Quoted(v));
        } else if (arg == "--thresholds") {
            const std::string v = takeValue();
            const std::optional<TSelection> t = ParseTriple(v);
            if (!t)
                Fail(2, "--thresholds needs three integers TR,TG,TB, not " + Quoted(v));
            for (int x : {t->rc, t->gc, t->bc})
                if (x < 0 || x > 255)
                    Fail(2, "--thresholds values must be 0..255, not " + Quoted(v));
            o.thresholds = {0, 0, 0, t->rc, t->gc, t->bc};
        } else if (arg == "--mask") {
            o.mask = takeValue();
            if (o.mask.empty())
                Fail(2, "--mask needs a file name");
        } else if (arg == "--quality") {
            const std::string v = takeValue();
            int q = 0;
            const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), q);
            if (ec != std::errc() || end != v.data() + v.size() || v.empty() || q < 1 || q > 100)
                Fail(2, "--quality needs an integer 1..100, not " + Quoted(v));
            o.quality = q;
        } else if (arg == "--filter" && !hasValue) {
            o.filter = true;
        } else if (arg == "--strip" && !hasValue) {
            o.strip = true;
        } else if (arg == "--auto-orient" && !hasValue) {
            o.autoOrient = true;
        } else {
            Fail(2, "unknown option " + Quoted(args[i]) + " (see --help)");
        }
    }
    if (positional.size() != 2)
        Fail(2, positional.size() < 2 ? "needs an input and an output file (see --help)"
                                      : "too many file names: " + Quoted(positional[2]));
    o.in = positional[0];
    o.out = positional[1];
    if (o.in.empty() || o.out.empty())
        Fail(2, "file names must not be empty");
    if (!o.color)
        Fail(2, "--color R,G,B is required (see --help)");
    if (!o.mask.empty() &&
        fs::path(o.mask).lexically_normal() == fs::path(o.out).lexically_normal())
        Fail(2, "the mask and the result cannot go to the same file " + Quoted(o.out));
    return o;
}

std::string ErrnoText(int error) {
    return std::strerror(error);
}

// A file written beside its target and renamed over it only when everything worked.
class TPendingFile {
  public:
    explicit TPendingFile(std::string target) : target_(std::move(target)) {
        try {
            file_.emplace(target_);
            file_->Stream();
        } catch (const base::IoError& e) {
            Fail(1, "cannot write " + Quoted(target_) + ": " + e.Reason());
        }
    }

    std::FILE* File() { return file_->Stream(); }
    const std::string& Target() const { return target_; }

    // Flushes and closes the file; nothing is replaced yet.
    void Finish() {
        Do([this] { file_->Finish(); });
    }
    void Commit() {
        Do([this] { file_->Commit(); });
    }

  private:
    template <typename F> void Do(F step) {
        try {
            step();
        } catch (const base::IoError& e) {
            Fail(1, "cannot write " + Quoted(target_) + ": " + e.Reason());
        }
    }

    std::string target_;
    std::optional<base::FileReplacement> file_;
};

void WritePicture(const TBitmap32& picture, TPendingFile& out, TFormat format, int quality,
                  const TPictureMetadata* metadata) {
    if (format == TFormat::Jpeg) {
        try {
            EncodeJpeg(picture, out.File(), out.Target(), quality, metadata);
        } catch (const EPictureError& e) {
            Fail(1, std::string("cannot write ") + Quoted(out.Target()) + ": " + e.what());
        }
    } else {
        const bool grey = format == TFormat::Pgm;
        const int w = picture.Width(), h = picture.Height();
        std::string header =
            (grey ? "P5\n" : "P6\n") + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
        std::vector<unsigned char> row(static_cast<size_t>(w) * (grey ? 1 : 3));
        bool ok = std::fwrite(header.data(), 1, header.size(), out.File()) == header.size();
        for (int y = 0; ok && y < h; ++y) {
            const TColor32* src = picture.Row(y);
            unsigned char* p = row.data();
            for (int x = 0; x < w; ++x) {
                const TColor32 c = src[x];
                if (grey) {
                    *p++ = static_cast<unsigned char>((RedOf(c) + GreenOf(c) + BlueOf(c)) / 3);
                } else {
                    *p++ = static_cast<unsigned char>(RedOf(c));
                    *p++ = static_cast<unsigned char>(GreenOf(c));
                    *p++ = static_cast<unsigned char>(BlueOf(c));
                }
            }
            ok = std::fwrite(row.data(), 1, row.size(), out.File()) == row.size();
        }
        if (!ok)
            Fail(1, "cannot write " + Quoted(out.Target()) + ": " + ErrnoText(errno));
    }
    out.Finish();
}

void Splash(const TOptions& o) {
    const TFormat outFormat = FormatOf(o.out, "output");
    const TFormat maskFormat = o.mask.empty() ? TFormat::Jpeg : FormatOf(o.mask, "mask");

    // What the output formats cannot hold is refused before the picture costs anything.
    try {
        long long w = 0, h = 0;
        TBitmap32::ReadPictureHeader(o.in, w, h);
        if (w <= 0 || h <= 0)
            Fail(1, "cannot read input: " + Quoted(o.in) + " is an empty picture (" +
                        std::to_string(w) + " x " + std::to_string(h) + " pixels)");
        for (const auto& [file, format] : {std::pair{o.out, outFormat}, {o.mask, maskFormat}}) {
            if (!file.empty() && format == TFormat::Jpeg &&
                (w > kMaxJpegDimension || h > kMaxJpegDimension))
                Fail(1, "cannot write " + Quoted(file) + ": the picture " + Quoted(o.in) + " is " +
                            std::to_string(w) + " x " + std::to_string(h) +
                            " pixels, and JPEG holds at most " + std::to_string(kMaxJpegDimension) +
                            " in each direction");
        }
    } catch (const EPictureError& e) {
        Fail(1, std::string("cannot read input: ") + e.what());
    }

    TBitmap32 picture;
    TPictureInfo info;
    try {
        picture.ReadPictureFile(o.in, false, &info);
    } catch (const EPictureError& e) {
        Fail(1, std::string("cannot read input: ") + e.what());
    }
    if (!info.warnings.empty())
        std::cerr << kProgram << ": warning: " << o.in << ": " << info.WarningText() << "\n";
    if (o.autoOrient && info.metadata.Orientation() != 1) {
        TBitmap32 upright;
        ApplyOrientation(picture, info.metadata.Orientation(), upright);
        picture = std::move(upright);
        info.metadata.SetOrientation(1);
    }
    const TPictureMetadata* metadata = o.strip ? nullptr : &info.metadata;

    const TSelection s{o.color->rc,     o.color->gc,     o.color->bc,
                       o.thresholds.tr, o.thresholds.tg, o.thresholds.tb};
    TBitmap32 mask, result;
    RenderSelection(picture, s, mask, result);
    if (o.filter) {
        FilterMask(mask);
        ComposeResult(picture, mask, result);
    }

    // Both files are complete before either replaces anything.
    TPendingFile out(o.out);
    WritePicture(result, out, outFormat, o.quality, metadata);
    std::optional<TPendingFile> maskOut;
    if (!o.mask.empty()) {
        maskOut.emplace(o.mask);
        WritePicture(mask, *maskOut, maskFormat, o.quality, nullptr);
    }
    out.Commit();
    if (maskOut)
        maskOut->Commit();
}

std::string ExecutableFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.parent_path().string();
}

std::string FindSample() {
    std::vector<fs::path> candidates;
    const std::string exeFolder = ExecutableFolder();
    if (!exeFolder.empty()) {
        candidates.push_back(fs::path(exeFolder) / "resources/samples" / kSampleName);
        // An installed program: the install's share folder, wherever the prefix is.
        candidates.push_back(fs::path(exeFolder) / HUELET_SAMPLES_FROM_BINDIR / kSampleName);
    }
    // The source tree this program was built from, for runs from a build folder.
    candidates.push_back(fs::path(HUELET_SOURCE_DIR) / "resources/samples" / kSampleName);
    for (const fs::path& p : candidates) {
        std::error_code ec;
        if (fs::is_regular_file(p, ec))
            return p.lexically_normal().string();
    }
    Fail(1, std::string("cannot find the bundled sample ") + kSampleName);
}

// Never replaces a file the user already has: coffee-splash.jpg, then coffee-splash-2.jpg, ...
std::string DemoOutputName() {
    for (int n = 1; n < 10000; ++n) {
        const std::string name =
            n == 1 ? "coffee-splash.jpg" : "coffee-splash-" + std::to_string(n) + ".jpg";
        std::error_code ec;
        if (!fs::exists(fs::symlink_status(name, ec)))
            return name;
    }
    Fail(1, "too many earlier coffee-splash files in the current folder");
}

int Run(const std::vector<std::string>& args) {
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") {
            PrintHelp();
            return 0;
        }
        if (a == "--version") {
            std::cout << kProgram << " " << HUELET_VERSION << "\n";
            return 0;
        }
    }
    if (args.empty()) {
        TOptions o;
        o.in = FindSample();
        o.out = DemoOutputName();
        o.color = TSelection{kSampleSelection.rc, kSampleSelection.gc, kSampleSelection.bc};
        o.thresholds = {0, 0, 0, kSampleSelection.tr, kSampleSelection.tg, kSampleSelection.tb};
        Splash(o);
        std::error_code ec;
        const fs::path written = fs::absolute(o.out, ec);
        std::cout << "Wrote " << (ec ? o.out : written.string()) << " from " << o.in << " (--color "
                  << kSampleSelection.rc << "," << kSampleSelection.gc << "," << kSampleSelection.bc
                  << " --thresholds " << kSampleSelection.tr << "," << kSampleSelection.tg << ","
                  << kSampleSelection.tb << ")\n";
        return 0;
    }
    Splash(ParseArguments(args));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return Run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const TFailure& f) {
        std::cerr << kProgram << ": " << f.message << "\n";
        return f.status;
    } catch (const std::exception& e) {
        std::cerr << kProgram << ": " << e.what() << "\n";
        return 1;
    }
}
