// huelet-identify PATH...: what the update check would say about each executable.
#include <cstdio>
#include <string>

#include "identity/U_TallyFct.h"
#include "platform/versioninfo.h"

namespace {

// The identity texts are Windows-1252 bytes; the terminal wants UTF-8.
std::string Cp1252ToUtf8(const std::string& Text) {
    static const char16_t kHigh[32] = {
        0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
    std::u16string wide;
    for (const unsigned char c : Text)
        wide += (c >= 0x80 && c < 0xA0) ? kHigh[c - 0x80] : static_cast<char16_t>(c);
    return Utf16ToUtf8(wide);
}

void Show(const char* Label, const std::string& Text) {
    std::printf("  %-17s %s\n", Label, Cp1252ToUtf8(Text).c_str());
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
