#include "identity/identity.h"

#include <fstream>
#include <iterator>

#include "identity/company.h"
#include "identity/name_rules.h"
#include "identity/textutil.h"
#include "identity/uninstall.h"
#include "platform/versioninfo.h"
#include "services/datafolder.h"
#include "services/file_version.h"
#include "services/filefunctions.h"
#include "services/text.h"

namespace {

std::string HashTabVersion() {
    // "HashTab" also matches the OpenHashTab entries; those mean HashTab itself is absent.
    if (!InstalledVersion("OpenHashTab").empty())
        return "";
    return InstalledVersion("HashTab");
}

const ProductCodeInfo kProductCodes[] = {
    {"CCCP", "Combined Community Codec Pack", "CCCP Project",
     [] { return InstalledVersion("Combined Community Codec Pack"); }},
    {"QTA", "QuickTime Alternative", "QuickTime Alternative Team",
     [] { return UninstallVersionFromName("QuickTime Alternative"); }},
    {"QTL", "QuickTime Lite", "QuickTime Lite Team",
     [] { return UninstallVersionFromName("QT Lite"); }},
    {"KLITE", "K-Lite Codec Pack", "K-Lite Codec Pack Team",
     [] { return UninstallVersionWithout("K-Lite Codec Pack", "64-bit"); }},
    {"KLITE64", "K-Lite Codec Pack (64-Bits)", "K-Lite Codec Pack Team",
     [] { return UninstallVersionWith("K-Lite Codec Pack", "64-bit"); }},
    {"KLITEMEGA", "K-Lite Codec Pack (Mega)", "K-Lite Codec Pack Team",
     [] { return InstalledVersion("K-Lite Mega Codec Pack"); }},
    {"HASHTAB", "HashTab", "Implbits Software", HashTabVersion},
    {"OPENHASHTAB", "OpenHashTab", "namazso", [] { return InstalledVersion("OpenHashTab"); }},
};

// Which of the eight keys a field holds, in record order.
struct KeyField {
    const char* Key;
    const char* QueryKey; // the spelling the fallback reader asks for
    std::string FileVersionInfoRec::*Field;
};
const KeyField kKeys[] = {
    {"FileDescription", "FileDescription", &FileVersionInfoRec::FileDescription},
    {"CompanyName", "CompanyName", &FileVersionInfoRec::CompanyName},
    {"FileVersion", "FileVersion", &FileVersionInfoRec::FileVersion},
    {"InternalName", "InternalName", &FileVersionInfoRec::InternalName},
    {"LegalCopyright", "LegalCopyRight", &FileVersionInfoRec::LegalCopyright},
    {"OriginalFilename", "OriginalFileName", &FileVersionInfoRec::OriginalFilename},
    {"ProductName", "ProductName", &FileVersionInfoRec::ProductName},
    {"ProductVersion", "ProductVersion", &FileVersionInfoRec::ProductVersion},
};

bool IsVersionWord(const std::string& W, const std::string& P) {
    if (W.empty())
        return false;
    for (std::size_t i = 1; i < W.size(); ++i)
        if (!(W[i] == '.' || (W[i] >= '0' && W[i] <= '9')))
            return false;
    if (W.find('.') == std::string::npos && W.size() >= 4)
        return false;
    const char first = W[0];
    if (!((first >= '0' && first <= '9') || first == '.' || first == 'v' || first == 'V'))
        return false;
    return !SameTextAscii(P, "DVD Flick v2");
}

std::string RemoveSuffixes(std::string P, std::initializer_list<const char*> Suffixes) {
    for (const char* s : Suffixes)
        P = RemoveSuffix(P, s);
    return P;
}

std::string RemovePrefixes(std::string P, std::initializer_list<const char*> Prefixes) {
    for (const char* s : Prefixes)
        P = RemovePrefix(P, s);
    return P;
}

// Stage 3: which of the three name strings the product name starts from.
std::string BaseChoice(const FileVersionInfoRec& R, const std::string& E) {
    const int nDesc = FieldCount(ReplaceAll(R.FileDescription, " - ", "-"), " -");
    const int nProd = FieldCount(ReplaceAll(R.ProductName, " - ", "-"), " ");
    const int nInt = FieldCount(R.InternalName, " ");
    std::string P;
    if (nProd >= 1 && nProd <= 4)
        P = R.ProductName;
    const bool enoughWords = (nDesc >= nProd && R.FileDescription.find('(') == std::string::npos) ||
                             P.find('\xAE') != std::string::npos;
    const bool notTooLong = nDesc < 4 || (nDesc == 4 && !SameTextAscii(R.ProductName, E));
    const bool notJustLonger = SameTextAscii(E, "updater") ||
                               SameTextAscii(R.ProductName, "shockwave") || R.ProductName.empty() ||
                               !StartsWithExact(R.FileDescription, R.ProductName);
    if (nDesc > 0 && enoughWords && notTooLong && notJustLonger)
        P = R.FileDescription;
    if (P.empty()) {
        if (nInt > 0)
            P = R.InternalName;
        if (nProd > 0)
            P = R.ProductName;
        if (nDesc > 0)
            P = R.FileDescription;
    }
    if (nInt > 0 && (FieldCount(P, " ") > 6 || P.empty()))
        P = R.InternalName;
    return P;
}

std::string CleanUp(std::string P, rules::RuleContext& Ctx) {
    const FileVersionInfoRec& R = Ctx.Record();
    // Bitness in parentheses, when it closes the name.
    if (WordCount(P) > 1) {
        const std::size_t p = std::max({PosOf("(16", P), PosOf("(32", P), PosOf("(64", P)});
        if (p > 0 && PosOf(")", P) == P.size())
            P = TrimText(P.substr(0, p - 1));
    }
    // Trailing version word.
    if (WordCount(P) > 1) {
        const std::string w = LastWord(P);
        if (IsVersionWord(w, P))
            P = TrimText(P.substr(0, P.size() - w.size()));
    }
    Ctx.P = P;
    rules::RunRules(rules::ProductAfterVersionWord(), Ctx);
    P = Ctx.P;
    // Trademark word.
    if (WordCount(P) > 1) {
        const std::string w = LastWord(P);
        if (OccursInText("(tm)", w))
            P = TrimText(LeftText(P, static_cast<long long>(P.size() - w.size()) - 1));
    }
    P = TrimText(ReplaceAll(P, "\x99", ""));
    if (P.size() > 1 && P.back() == '.')
        P = TrimText(P.substr(0, P.size() - 1));
    // Adobe AIR applications carry their name in a descriptor beside the executable.
    if (P.empty() && FileHasContent(Ctx.F + kAirDescriptor)) {
        const std::vector<std::string> lines = LoadTextLines(Ctx.F + kAirDescriptor);
        P = XmlTagValue("name", lines);
        if (P.empty())
            P = XmlTagValue("filename", lines);
    }
    // Installers.
    if (TextStartsWith(R.FileDescription, R.ProductName) &&
        OccursInText(" installer", R.FileDescription))
        P = R.FileDescription;
    if (TextStartsWith(R.FileDescription, "install "))
        P += " installer";
    if (TextEndsWith(R.FileDescription, " installationsprogramm"))
        P += " installer";
    if (TextStartsWith(R.OriginalFilename, "setup.exe"))
        P += " installer";
    if (TextStartsWith(R.OriginalFilename, "bootstrapper.exe"))
        P += " installer";
    P = RemoveSuffixes(P, {".exe", ".dll", ".dll loader", "MFC Application", "Application",
                           "application file", "main executable"});
    P = RemovePrefixes(P, {"Main executable for", "32-Bit", "64-Bit"});
    if (P.size() >= 1 && P.front() == '"' && P.back() == '"') {
        P.erase(0, 1);
        if (!P.empty() && P.back() == '"')
            P.pop_back();
    }
    P = RemovePrefix(P, "ShInstUtil - ");
    P = CleanDisplayText(P);
    P = RemoveSuffixes(P, {"for Windows", "for Win32", "for Windows NT",
                           "for Windows NT/2000/XP/Vista", "for Windows 98/Me/2000/XP",
                           "for Windows XP", "for WindowsNT", "for Win2k/XP", "for Windows(R)",
                           "for Windows\xAE", "for Windows 2000/XP", "for Windows 9x/Me/NT/2k/XP",
                           "64-bit", "32-bit"});
    Ctx.P = P;
    rules::RunRules(rules::ProductPublisherSuffix(), Ctx);
    P = RemoveSuffix(Ctx.P, " executable");
    if (P.empty())
        P = Ctx.E;
    return P;
}

} // namespace

const ProductCodeInfo* FindProductCode(const std::string& Path) {
    for (const ProductCodeInfo& code : kProductCodes)
        if (Path == code.Code)
            return &code;
    return nullptr;
}

std::string NativeSystemPathFor(const std::string& Path, bool Wow64,
                                const std::string& SystemFolder) {
    if (!Wow64 || SystemFolder.empty() || !StartsWithExact(Path, SystemFolder))
        return Path;
    const std::size_t p = LowerAscii(Path).find("\\system32\\");
    if (p == std::string::npos)
        return Path;
    return Path.substr(0, p) + "\\sysnative\\" + Path.substr(p + 10);
}

std::string NativeSystemPath(const std::string& Path) {
    return NativeSystemPathFor(Path, reg::ProcessIsWow64(), SpecialFolderPath(kCsidlSystem));
}

FileVersionInfoRec ReadFileVersionInfo(const std::string& Path) {
    const std::string X = NativeSystemPath(Path);
    FileVersionInfoRec R;
    bool primary = false;
    if (WideFileExists(X)) {
        std::vector<std::uint8_t> block;
        TVersionInfo info;
        if (ReadVersionBlock(X, block) && ParseVersionInfo(block, info) && HasValidRoot(info)) {
            primary = true;
            // The first string table in block order, whatever its language.
            if (!info.StringTables.empty())
                for (const KeyField& k : kKeys)
                    for (const TVersionString& s : info.StringTables.front().Strings)
                        if (SameTextAscii(Utf16ToWindows1252(s.Key), k.Key)) {
                            R.*k.Field = Utf16ToWindows1252(s.Value);
                            break;
                        }
        }
    }
    if (!primary || (R.FileDescription.empty() && R.CompanyName.empty() && R.FileVersion.empty())) {
        R = FileVersionInfoRec{};
        std::vector<std::string> lines;
        QueryVersionStrings(X, lines);
        for (const KeyField& k : kKeys)
            for (const std::string& line : lines) {
                const std::size_t eq = line.find('=');
                if (SameTextAscii(line.substr(0, eq), k.QueryKey)) {
                    R.*k.Field = line.substr(eq + 1);
                    break;
                }
            }
    }
    R.FileVersion = ReplaceAll(R.FileVersion, ", ", ".");
    R.ProductVersion = ReplaceAll(R.ProductVersion, ", ", ".");
    return R;
}

void QueryVersionStrings(const std::string& Path, std::vector<std::string>& List) {
    const std::string X = NativeSystemPath(Path);
    const std::uint32_t size = WideGetFileVersionInfoSize(X);
    if (size == 0)
        return;
    std::vector<std::uint8_t> block(size);
    if (!WideGetFileVersionInfo(X, 0, size, block.data()))
        return;
    for (const KeyField& k : kKeys) {
        std::string sub = k.QueryKey;
        std::vector<std::uint32_t> translations;
        if (QueryTranslations(block, translations)) {
            const std::uint32_t translation = translations.front();
            char name[64];
            std::snprintf(name, sizeof name, "\\StringFileInfo\\%04x%04x\\", translation & 0xFFFF,
                          translation >> 16);
            sub = name + sub;
        }
        std::string value;
        if (QueryVersionString(block, sub, value))
            List.push_back(std::string(k.QueryKey) + "=" + value.substr(0, value.find('\0')));
    }
}

TDisplayedFileInfo GetDisplayedFileInfo(const std::string& Path) {
    const std::string X = NativeSystemPath(Path);
    TDisplayedFileInfo info;
    info.Product = DisplayedProductName(X);
    info.Company = DisplayedCompanyName(X, info.Product);
    if (info.Product.empty() && !info.Company.empty())
        info.Product = FileNameWithoutExt(X);
    return info;
}

std::string DisplayedProductName(const std::string& Path) {
    const std::string X = NativeSystemPath(Path);
    if (const ProductCodeInfo* code = FindProductCode(X))
        return code->Product;

    rules::RuleContext ctx(rules::Target::Product, X);
    const FileVersionInfoRec R = ReadFileVersionInfo(X);
    ctx.SetRecord(R);
    ctx.P = BaseChoice(R, ctx.E);
    if (ctx.P.empty() && rules::RunRules(rules::ProductEarlyAnswers(), ctx))
        return ctx.P;
    rules::RunRules(rules::ProductQuestionMarks(), ctx);
    rules::RunRules(rules::ProductRulesA(), ctx);
    ctx.P = TrimText(ctx.P);
    rules::RunRules(rules::ProductRulesB(), ctx);
    ctx.P = CleanUp(ctx.P, ctx);
    rules::RunRules(rules::ProductRulesC(), ctx);

    std::string P = TrimText(ctx.P);
    const TPeKind pe = IsPe64Image(X);
    if (pe.IsPe && pe.IsPe64) {
        P = RemoveSuffix(P, " x64");
        P = RemoveSuffix(P, " (64 bits)");
        P += " (64 bits)";
    }
    if (P == "?" || P.find("??") != std::string::npos || (!P.empty() && P[0] == '$'))
        P.clear();
    return P;
}

std::string CleanDisplayText(const std::string& Text) {
    std::string s = Text;
    for (;;) {
        const std::string before = s;
        s = TrimText(StripTrailingUrls(s));
        if (!s.empty() && s[0] == '?')
            s.erase(0, 1);
        if (s.size() >= 2 && s.compare(s.size() - 2, 2, " -") == 0)
            s.erase(s.size() - 2);
        if (s == "@")
            s.clear();
        if (s == before)
            return s;
    }
}

std::string XmlTagValue(const std::string& Tag, const std::vector<std::string>& Lines) {
    const std::string open = "<" + Tag + ">", close = "</" + Tag + ">";
    std::string result;
    for (const std::string& raw : Lines) {
        if (!OccursInText(open, raw))
            continue;
        std::string line = TrimText(raw);
        if (OccursInText("<!--", line)) {
            line = TrimText(TextAfter(line, "<!--"));
            line = TrimText(TextBefore(line, "-->"));
        }
        line = TrimText(TextAfter(line, open));
        result = TrimText(TextBefore(line, close));
    }
    return result;
}
