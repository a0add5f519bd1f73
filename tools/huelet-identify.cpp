// huelet-identify PATH...: what the update check would say about each executable.
#include "base/encoding.h"
#include "huelet_config.h"
#include "identity/U_TallyFct.h"
#include "platform/versioninfo.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kProgram = "huelet-identify";
const char* const kUsage = "usage: huelet-identify PATH...\n";

void PrintHelp() {
    std::printf("%s", kUsage);
    std::printf("\n"
                "Prints what the update check reads from each executable (ELF or PE): the eight\n"
                "strings of its version resource, the product, company and version it would\n"
                "send, and whether the file is a 64-bit PE image. A file without a version\n"
                "resource is named after itself.\n"
                "\n"
                "Output is UTF-8: paths and texts taken from them as they are, the strings of\n"
                "the version resource converted from Windows-1252.\n"
                "\n"
                "  --help     show this text\n"
                "  --version  show the version\n"
                "  --         end of options: every later argument is a PATH\n"
                "\n"
                "Exit status: 0 when every PATH was read, 1 when one was missing or could not\n"
                "be read (reported on one line naming it, as \"File not found\" or the reason),\n"
                "2 for bad arguments.\n");
}

// The identity texts are Windows-1252 bytes; the terminal wants UTF-8.
void Show(const char* Label, const std::string& Text) {
    std::printf("  %-17s %s\n", Label, base::Windows1252ToUtf8(Text).c_str());
}

// A displayed text may come from the file or folder name (a file without a version resource
// is named after itself); those bytes are the path's own and are shown as they are.
void ShowDerived(const char* Label, const std::string& Text, const std::string& Path) {
    if (!Text.empty() && Path.find(Text) != std::string::npos)
        std::printf("  %-17s %s\n", Label, Text.c_str());
    else
        Show(Label, Text);
}

// Why PATH cannot be identified, or nothing when it can be read. Opened without blocking, so
// that a FIFO or device is refused rather than waited on.
std::optional<std::string> Unreadable(const std::string& Path) {
    struct stat st;
    if (::stat(Path.c_str(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR ? std::string("File not found")
                                                   : std::string(std::strerror(errno));
    if (S_ISDIR(st.st_mode))
        return std::string(std::strerror(EISDIR));
    if (!S_ISREG(st.st_mode))
        return std::string("not a regular file");
    const int fd = ::open(Path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::string(std::strerror(errno));
    ::close(fd);
    return std::nullopt;
}

void Identify(const std::string& path) {
    const FileVersionInfoRec r = ReadFileVersionInfo(path);
    const TDisplayedFileInfo info = GetDisplayedFileInfo(path);
    // As the update check asks: no product or company given.
    const std::string version = DisplayedVersionText(path, "", "");
    const TPeKind pe = IsPe64Image(NativeSystemPath(path));
    std::printf("%s\n", path.c_str());
    Show("FileDescription", r.FileDescription);
    Show("CompanyName", r.CompanyName);
    Show("FileVersion", r.FileVersion);
    Show("InternalName", r.InternalName);
    Show("LegalCopyright", r.LegalCopyright);
    Show("OriginalFilename", r.OriginalFilename);
    Show("ProductName", r.ProductName);
    Show("ProductVersion", r.ProductVersion);
    ShowDerived("Product", info.Product, path);
    ShowDerived("Company", info.Company, path);
    ShowDerived("Version", version, path);
    std::printf("  %-17s %s\n", "PE32+", pe.IsPe && pe.IsPe64 ? "yes" : "no");
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> paths;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (options && a == "--") {
            options = false;
        } else if (options && (a == "--help" || a == "-h")) {
            PrintHelp();
            return 0;
        } else if (options && a == "--version") {
            std::printf("%s %s\n", kProgram, HUELET_VERSION);
            return 0;
        } else if (options && a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "%s: unknown option %s\n%s", kProgram, a.c_str(), kUsage);
            return 2;
        } else {
            paths.push_back(a);
        }
    }
    if (paths.empty()) {
        std::fprintf(stderr, "%s", kUsage);
        return 2;
    }
    int status = 0;
    for (const std::string& path : paths) {
        if (const std::optional<std::string> why = Unreadable(path)) {
            std::fflush(stdout);
            std::fprintf(stderr, "%s: %s: %s\n", kProgram, path.c_str(), why->c_str());
            status = 1;
            continue;
        }
        Identify(path);
    }
    return status;
}
