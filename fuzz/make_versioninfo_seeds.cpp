// Writes well-formed seeds for fuzz_versioninfo into the folder given: PE32 and PE32+ images
// with a resource directory, ELF images of both classes and byte orders, and bare blocks.
#include "platform/versioninfo.h"
#include "tests/platform/versioninfo_fixtures.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_versioninfo_seeds FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    TVersionInfo info;
    ParseFourPartVersion("1.10.4.23", info.Fixed.FileVersionMS, info.Fixed.FileVersionLS);
    info.StringTables.push_back({u"040C04B0", {{u"CompanyName", u"Soci\u00e9t\u00e9"}}});
    info.StringTables.push_back(
        {u"040904B0", {{u"CompanyName", u"Norwick Softworks"}, {u"FileVersion", u"1.10.4.23"}}});
    info.Translations = {0x04B00409, 0x04B0040C};
    const auto two = WriteVersionInfo(info);
    const auto one = fixtures::SimpleBlock("2.0.1.7", u"Maker");
    bool ok = fixtures::WriteFile(folder + "/block-two-tables", two) &&
              fixtures::WriteFile(folder + "/block-one-table", one) &&
              fixtures::WriteFile(folder + "/pe32", fixtures::MakePe(false, two, one)) &&
              fixtures::WriteFile(folder + "/pe64", fixtures::MakePe(true, one, two));
    for (bool wide : {false, true})
        for (bool big : {false, true})
            ok = ok &&
                 fixtures::WriteFile(folder + "/elf" + (wide ? "64" : "32") + (big ? "be" : "le"),
                                     fixtures::MakeElf(wide, big, two));
    return ok ? 0 : 1;
}
