#include "tools/splash/options.h"

#include "base/ascii.h"
#include "engine/jpeg_codec.h"

#include <charconv>
#include <filesystem>

namespace fs = std::filesystem;

namespace splash {

void Fail(int status, const std::string& message) {
    throw TFailure{status, message};
}

std::string Quoted(const std::string& s) {
    return "\"" + s + "\"";
}

std::optional<TFormat> FormatOfExtension(const std::string& path) {
    const std::string ext = base::LowerAscii(fs::path(path).extension().string());
    if (ext == ".jpg" || ext == ".jpeg")
        return TFormat::Jpeg;
    if (ext == ".png")
        return TFormat::Png;
    if (ext == ".ppm")
        return TFormat::Ppm;
    if (ext == ".pgm")
        return TFormat::Pgm;
    return std::nullopt;
}

const char* ExtensionOf(TFormat format) {
    switch (format) {
    case TFormat::Png:
        return ".png";
    case TFormat::Ppm:
        return ".ppm";
    case TFormat::Pgm:
        return ".pgm";
    case TFormat::Jpeg:
        break;
    }
    return ".jpg";
}

namespace {

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

std::optional<int> ParseInt(const std::string& v) {
    int n = 0;
    const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
    if (v.empty() || ec != std::errc() || end != v.data() + v.size())
        return std::nullopt;
    return n;
}

} // namespace

TOptions ParseArguments(const std::vector<std::string>& args) {
    TOptions o;
    o.quality = kDefaultJpegQuality;
    std::vector<std::string> positional;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        // "-" alone is a file name: standard input or output.
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
        } else if (arg.size() > 2 && arg[1] != '-' && (arg[1] == 'o' || arg[1] == 'j')) {
            // -oDIR, -j2
            value = arg.substr(2);
            arg = arg.substr(0, 2);
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
            const std::optional<int> q = ParseInt(v);
            if (!q || *q < 1 || *q > 100)
                Fail(2, "--quality needs an integer 1..100, not " + Quoted(v));
            o.quality = *q;
        } else if (arg == "-o" || arg == "--output-dir") {
            o.outputDir = takeValue();
            if (o.outputDir.empty())
                Fail(2, arg + " needs a folder name");
        } else if (arg == "-j" || arg == "--jobs") {
            const std::string v = takeValue();
            const std::optional<int> n = ParseInt(v);
            if (!n || *n < 1 || *n > 1024)
                Fail(2, arg + " needs a number of files at once, 1..1024, not " + Quoted(v));
            o.jobs = *n;
        } else if (arg == "--format") {
            const std::string v = base::LowerAscii(takeValue());
            o.format = FormatOfExtension("picture." + v);
            if (!o.format)
                Fail(2, "--format must be jpg, png, ppm or pgm, not " + Quoted(v));
        } else if ((arg == "-f" || arg == "--force") && !hasValue) {
            o.force = true;
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
    if (o.Batch()) {
        if (positional.empty())
            Fail(2, "needs at least one input file after " + Quoted(o.outputDir) + " (see --help)");
        if (!o.mask.empty())
            Fail(2, "--mask takes one file, so it works only with a single IN OUT");
        for (const std::string& in : positional)
            if (in == kStdio)
                Fail(2, "standard input (-) has no file name to give an output in " +
                            Quoted(o.outputDir) + "; use the form IN OUT");
        o.inputs = positional;
    } else {
        if (positional.size() != 2)
            Fail(2, positional.size() < 2 ? "needs an input and an output file (see --help)"
                                          : "too many file names: " + Quoted(positional[2]) +
                                                " (use -o DIR for several inputs)");
        o.inputs = {positional[0]};
        o.output = positional[1];
        if (!o.format && o.output != kStdio && !FormatOfExtension(o.output))
            Fail(2, "unsupported output format " + Quoted(o.output) +
                        " (use .jpg, .jpeg, .png, .ppm or .pgm, or --format)");
    }
    for (const std::string& in : o.inputs)
        if (in.empty())
            Fail(2, "file names must not be empty");
    if (!o.Batch() && o.output.empty())
        Fail(2, "file names must not be empty");
    if (!o.mask.empty()) {
        if (o.mask == kStdio)
            Fail(2, "the mask cannot go to standard output");
        if (!FormatOfExtension(o.mask))
            Fail(2, "unsupported mask format " + Quoted(o.mask) +
                        " (use .jpg, .jpeg, .png, .ppm or .pgm)");
        if (fs::path(o.mask).lexically_normal() == fs::path(o.output).lexically_normal())
            Fail(2, "the mask and the result cannot go to the same file " + Quoted(o.output));
    }
    if (!o.color)
        Fail(2, "--color R,G,B is required (see --help)");
    return o;
}

} // namespace splash
