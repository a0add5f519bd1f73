// huelet-splash: keeps the colours near one Central Color in a picture and greys out the rest,
// from the command line, with the same engine as the window.
#include "engine/render.h"
#include "huelet_config.h"
#include "tools/splash/options.h"
#include "tools/splash/work.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <iostream>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const kProgram = "huelet-splash";

// The bundled sample and settings that keep its red cup and saucer and grey the wooden table.
const char* const kSampleName = "coffee.jpg";
constexpr TSelection kSampleSelection{140, 30, 12, 90, 26, 20};

void PrintHelp() {
    std::cout
        << "Usage: " << kProgram
        << " [OPTIONS] IN OUT --color R,G,B\n"
           "       "
        << kProgram
        << " [OPTIONS] -o DIR IN... --color R,G,B\n"
           "       "
        << kProgram
        << "            (splash the bundled sample photo into the current folder)\n"
           "\n"
           "Keeps every pixel of IN whose colour lies within the thresholds of the Central\n"
           "Color on each channel (|R - Rc| <= TR and |G - Gc| <= TG and |B - Bc| <= TB)\n"
           "and turns every other pixel grey, (R + G + B) / 3. The result goes to OUT, or,\n"
           "with -o DIR, to DIR/NAME for each IN: NAME is IN's file name with its extension\n"
           "replaced by .jpg (or by the --format extension).\n"
           "\n"
           "Options:\n"
           "  --color R,G,B          the Central Color; any integers (values outside 0..255\n"
           "                         simply match less)\n"
           "  --thresholds TR,TG,TB  per-channel distances, each 0..255, inclusive\n"
           "                         (default 40,40,40)\n"
           "  --filter               clean the selection mask first: remove specks (fewer\n"
           "                         than 3 of 8 neighbours selected), then fill holes\n"
           "                         (more than 4 of 8 selected), each until stable\n"
           "  --mask MASKFILE        also write the selection mask (white = kept); IN OUT only\n"
           "  -o, --output-dir DIR   one output per IN in DIR (created when missing)\n"
           "  -j, --jobs N           work on N files at once (default: the number of\n"
           "                         processors); the files written are the same for any N\n"
           "  -f, --force            replace outputs that exist (keeping their permissions;\n"
           "                         a symbolic link stays, the file it names is replaced)\n"
           "  --format FMT           jpg, png, ppm or pgm: the format of OUT or of the\n"
           "                         files in DIR (default: OUT's extension; .jpg in DIR)\n"
           "  --strip                write no metadata into OUT\n"
           "  --quality N            JPEG quality of OUT and MASKFILE, 1..100 (default 90)\n"
           "  --auto-orient          turn and flip IN upright as its EXIF orientation says\n"
           "                         before selecting, and write orientation 1\n"
           "  --help                 show this text\n"
           "  --version              show the version\n"
           "\n"
           "IN is a JPEG, PNG or \"BM\" bitmap file, told by its contents, or - for standard\n"
           "input (a pipe works; it is read whole). OUT - writes standard output (JPEG\n"
           "unless --format says otherwise), never to a terminal. Formats of OUT and\n"
           "MASKFILE: .jpg or .jpeg (baseline JPEG, quality 90), .png (8-bit RGB; the mask\n"
           "8-bit grey), .ppm (exact colours) or .pgm (exact grey levels, the mean of the\n"
           "channels; exact for the mask and for greyed pixels). CMYK and YCCK JPEGs are\n"
           "read as RGB; 16-bit PNG samples are rounded to 8 bits.\n"
           "\n"
           "A JPEG OUT keeps the metadata of a JPEG IN, in its order: EXIF (without its\n"
           "thumbnail, orientation as it was, so viewers show OUT as they showed IN), XMP\n"
           "(extended XMP too), the ICC colour profile, IPTC/Photoshop data and comments.\n"
           "Damaged metadata is dropped with a warning; --strip drops all of it. The mask\n"
           "and .png/.ppm/.pgm files carry none.\n"
           "\n"
           "Nothing is overwritten by surprise: an output that exists is refused unless\n"
           "--force is given, and an output that is one of the inputs (under any name,\n"
           "link or hard link) is always refused. Refusals are checked for every file\n"
           "before anything is written. Files are written completely or not at all.\n"
           "\n"
           "Problems in IN that still give a picture (truncated or corrupt data, damaged\n"
           "metadata) print one line, \"huelet-splash: warning: IN: TEXT\", and the run\n"
           "goes on. With -o, a file that fails is named on one line with the reason and\n"
           "the others go on; a summary (\"120 written, 2 failed\") closes the run. On a\n"
           "terminal, progress is shown as \"[12/120] IMG_0012.jpg\".\n"
           "\n"
           "Examples:\n"
           "  huelet-splash photo.jpg splash.jpg --color 140,30,12 --thresholds 90,26,20\n"
           "  huelet-splash -o out/ --color 140,30,12 --thresholds 90,26,20 *.jpg\n"
           "  cat photo.png | huelet-splash - - --color 140,30,12 --format png >splash.png\n"
           "\n"
           "Exit status: 0 on success, 1 when a file is refused or cannot be read or\n"
           "written, 2 for bad arguments.\n";
}

// One line per warning or failure on stderr; on a terminal, a progress line below them.
class TReporter {
  public:
    TReporter(std::size_t total, bool progress) : total_(total), progress_(progress) {}

    void Warning(const std::string& text) { Line("warning: " + text); }
    void Error(const std::string& text) {
        std::lock_guard lock(mutex_);
        ++failed_;
        LineLocked(text);
    }
    void Done(const std::string& name) {
        std::lock_guard lock(mutex_);
        ++done_;
        last_ = name;
        Draw();
    }
    void Written() {
        std::lock_guard lock(mutex_);
        ++written_;
    }
    std::size_t Failed() const { return failed_; }

    // The closing summary; on a pipe only when something failed.
    void Summary() {
        std::lock_guard lock(mutex_);
        Clear();
        if (progress_ || failed_ > 0)
            std::cerr << kProgram << ": " << written_ << " written, " << failed_ << " failed"
                      << std::endl;
    }

  private:
    void Line(const std::string& text) {
        std::lock_guard lock(mutex_);
        LineLocked(text);
    }
    void LineLocked(const std::string& text) {
        Clear();
        std::cerr << kProgram << ": " << text << "\n";
        Draw();
    }
    void Clear() {
        if (progress_ && drawn_)
            std::cerr << "\r\033[K";
        drawn_ = false;
        std::cerr.flush();
    }
    void Draw() {
        if (!progress_ || done_ == 0)
            return;
        std::cerr << "\r\033[K[" << done_ << "/" << total_ << "] " << last_;
        std::cerr.flush();
        drawn_ = true;
    }

    std::mutex mutex_;
    std::size_t total_, done_ = 0, written_ = 0, failed_ = 0;
    std::string last_;
    bool progress_, drawn_ = false;
};

// DIR/NAME for each input; refuses names that two inputs share.
std::vector<splash::TJob> BatchJobs(const splash::TOptions& o, std::vector<std::string>& refusals) {
    const splash::TFormat format = o.format.value_or(splash::TFormat::Jpeg);
    std::vector<splash::TJob> jobs;
    std::map<std::string, std::string> taken;
    for (const std::string& in : o.inputs) {
        fs::path name = fs::path(in).filename();
        if (name.empty() || name == "." || name == "..") {
            refusals.push_back(splash::Quoted(in) + " has no file name to give its output");
            continue;
        }
        name.replace_extension(splash::ExtensionOf(format));
        const std::string out = (fs::path(o.outputDir) / name).string();
        const auto [it, fresh] = taken.emplace(name.string(), in);
        if (!fresh) {
            refusals.push_back(splash::Quoted(it->second) + " and " + splash::Quoted(in) +
                               " would both be written to " + splash::Quoted(out));
            continue;
        }
        jobs.push_back({in, out, "", format});
    }
    return jobs;
}

int RunJobs(const splash::TOptions& o) {
    std::vector<std::string> refusals;
    std::vector<splash::TJob> jobs;
    if (o.Batch()) {
        std::error_code ec;
        if (fs::exists(o.outputDir, ec) && !fs::is_directory(o.outputDir, ec))
            refusals.push_back(splash::Quoted(o.outputDir) + " is not a folder");
        jobs = BatchJobs(o, refusals);
    } else {
        const splash::TFormat format =
            o.format ? *o.format
                     : splash::FormatOfExtension(o.output).value_or(splash::TFormat::Jpeg);
        jobs.push_back({o.inputs[0], o.output, o.mask, format});
    }
    for (const std::string& r : splash::Refusals(jobs, o.force))
        refusals.push_back(r);
    if (!refusals.empty()) {
        for (const std::string& r : refusals)
            std::cerr << kProgram << ": " << r << "\n";
        return 1;
    }

    auto warn = [](const std::string& text) {
        std::cerr << kProgram << ": warning: " << text << std::endl;
    };
    if (!o.Batch()) {
        splash::SplashFile(jobs[0], o, warn);
        return 0;
    }

    std::error_code ec;
    fs::create_directories(o.outputDir, ec);
    if (ec) {
        std::cerr << kProgram << ": cannot create the folder " << splash::Quoted(o.outputDir)
                  << ": " << ec.message() << "\n";
        return 1;
    }
    long processors = sysconf(_SC_NPROCESSORS_ONLN);
    const std::size_t wanted = o.jobs > 0 ? static_cast<std::size_t>(o.jobs)
                                          : static_cast<std::size_t>(std::max(processors, 1L));
    const std::size_t threads = std::min(wanted, jobs.size());
    TReporter report(jobs.size(), isatty(2) != 0);
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t i; (i = next++) < jobs.size();) {
            const splash::TJob& job = jobs[i];
            try {
                splash::SplashFile(job, o, [&](const std::string& t) { report.Warning(t); });
                report.Written();
            } catch (const splash::TFailure& f) {
                report.Error(f.message);
            } catch (const std::exception& e) {
                report.Error(job.in + ": " + e.what());
            }
            report.Done(fs::path(job.in).filename().string());
        }
    };
    std::vector<std::thread> pool;
    for (std::size_t t = 1; t < threads; ++t)
        pool.emplace_back(work);
    work();
    for (std::thread& t : pool)
        t.join();
    report.Summary();
    return report.Failed() > 0 ? 1 : 0;
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
    splash::Fail(1, std::string("cannot find the bundled sample ") + kSampleName);
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
    splash::Fail(1, "too many earlier coffee-splash files in the current folder");
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
        splash::TOptions o;
        o.inputs = {FindSample()};
        o.output = DemoOutputName();
        o.color = TSelection{kSampleSelection.rc, kSampleSelection.gc, kSampleSelection.bc};
        o.thresholds = {0, 0, 0, kSampleSelection.tr, kSampleSelection.tg, kSampleSelection.tb};
        if (const int status = RunJobs(o))
            return status;
        std::error_code ec;
        const fs::path written = fs::absolute(o.output, ec);
        std::cout << "Wrote " << (ec ? o.output : written.string()) << " from " << o.inputs[0]
                  << " (--color " << kSampleSelection.rc << "," << kSampleSelection.gc << ","
                  << kSampleSelection.bc << " --thresholds " << kSampleSelection.tr << ","
                  << kSampleSelection.tg << "," << kSampleSelection.tb << ")\n";
        return 0;
    }
    return RunJobs(splash::ParseArguments(args));
}

} // namespace

int main(int argc, char** argv) {
    try {
        return Run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const splash::TFailure& f) {
        std::cerr << kProgram << ": " << f.message << "\n";
        return f.status;
    } catch (const std::exception& e) {
        std::cerr << kProgram << ": " << e.what() << "\n";
        return 1;
    }
}
