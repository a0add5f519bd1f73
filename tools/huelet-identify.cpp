// huelet-identify PATH...: what the update check would say about each executable.
#include <cstdio>
#include <string>

#include "base/encoding.h"
#include "platform/versioninfo.h"
#include "update/U_TallyFct.h"

namespace {

// The identity texts are Windows-1252 bytes; the terminal wants UTF-8.
void Show(const char* Label, const std::string& Text) {
    std::printf("  %-17s %s\n", Label, base::Windows1252ToUtf8(Text).c_str());
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: huelet-identify PATH...\n");
        return 2;
    }
    for (int i = 1; i < argc; ++i) {
        const std::string path = argv[i];
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
        Show("Product", info.Product);
        Show("Company", info.Company);
        Show("Version", version);
        std::printf("  %-17s %s\n", "PE32+", pe.IsPe && pe.IsPe64 ? "yes" : "no");
    }
    return 0;
}
