#include "identity/version_text.h"

#include "identity/U_Version.h"
#include "identity/identity.h"
#include "identity/textutil.h"
#include "identity/uninstall.h"
#include "identity/version_rules.h"
#include "services/file_version.h"
#include "services/filefunctions.h"
#include "services/text.h"

namespace {

TTallyVersion TV(const std::string& Text) {
    return TTallyVersion(Text);
}

std::string Padded(std::string Text) {
    while (FieldCount(Text, ".") < 4)
        Text += ".0";
    return Text;
}

bool IsPlaceholder(const std::string& V) {
    return V == "1.0.0.0" || V == "1.0.0.1";
}

// The fixed version against the version strings, for resources whose parts disagree.
std::string Reconcile(std::string V, rules::RuleContext& Ctx) {
    const FileVersionInfoRec& R = Ctx.Record();
    const bool npp = LowerAscii(R.ProductName).find("notepad++") != std::string::npos;

    if (!R.FileVersion.empty() && IsDigitsAndDots(R.FileVersion)) {
        const std::string t = Padded(R.FileVersion);
        if (TV(t).IsNewerThan(TV(V)) && TV(t).HighPart() == TV(V).HighPart())
            V = t;
    }

    if (V.find('.') != std::string::npos && R.ProductVersion.find('.') != std::string::npos) {
        const std::string Q = VersionPrefixText(R.ProductVersion);
        // "1.2.3" against "1.23" is the same version written two ways.
        if (TV(Q).HighPart() > TV(V).HighPart() && FieldAt(V, 0, ".") == FieldAt(Q, 0, ".") &&
            FieldAt(V, 1, ".") + FieldAt(V, 2, ".") != FieldAt(Q, 1, ".") && !npp)
            V = Q;
        if (V == "0.0.0.0" && TV(Q).HighPart() > 0)
            V = Q;
    }

    {
        const std::string Q = VersionPrefixText(R.ProductVersion);
        const std::string G = VersionPrefixText(R.FileVersion);
        if (TV(Q).HighPart() == TV(G).HighPart() && TV(Q).IsNewerThan(TV(V)) && !npp &&
            TV(Q).IsValid() && TV(G).IsValid())
            V = Q.size() > G.size() ? Q : G;
    }
    Ctx.V = V;
    rules::RunRules(rules::VersionAfterAgree(), Ctx);
    rules::RunRules(rules::VersionBeforePlaceholders(), Ctx);
    V = Ctx.V;

    if (IsPlaceholder(V) && !R.FileVersion.empty() && IsDigitsAndDots(R.FileVersion))
        V = Padded(VersionPrefixText(R.FileVersion));
    if (IsPlaceholder(V)) {
        const std::string Q = VersionPrefixText(R.ProductVersion);
        if (TV(Q).IsNewerThan(TV(V)))
            V = Q;
    }
    if (StartsWithExact(V, "0.0.0")) {
        const std::string Q = VersionPrefixText(R.ProductVersion);
        if (TV(Q).IsNewerThan(TV(V)))
            V = Q;
    }
    return V;
}

} // namespace

std::string VersionPrefixText(const std::string& Text) {
    std::string out;
    for (const char c : Text) {
        if (c >= '0' && c <= '9')
            out += c;
        else if (c == '.' || c == ',')
            out += '.';
        else if (c != ' ')
            break;
    }
    return out;
}

bool IsDigitsAndDots(const std::string& Text) {
    for (const char c : Text)
        if (!(c == '.' || (c >= '0' && c <= '9')))
            return false;
    return true;
}

bool IsUsableVersionText(const std::string& Text) {
    return !Text.empty() && TV(Text).IsValid();
}

std::string DisplayedVersionText(const std::string& Path, const std::string& Product,
                                 const std::string& Company) {
    const std::string V = DeriveVersionText(Path, Product, Company);
    return IsUsableVersionText(V) ? TV(V).ToText() : V;
}

std::string DeriveVersionText(const std::string& Path, const std::string& Product,
                              const std::string& Company) {
    const std::string X = NativeSystemPath(Path);
    if (const ProductCodeInfo* code = FindProductCode(X))
        return code->VersionText();

    rules::RuleContext ctx(rules::Target::Version, X);
    ctx.P = Product;
    ctx.C = Company;
    if (ctx.P.empty()) {
        const TDisplayedFileInfo info = GetDisplayedFileInfo(X);
        ctx.P = info.Product;
        ctx.C = info.Company;
    }

    if (FileHasContent(X)) {
        rules::RunRules(rules::VersionPhaseA1(), ctx);
        if (!ctx.V.empty())
            return ctx.V;
    }
    if (rules::RunRules(rules::VersionPhaseA2(), ctx))
        return ctx.V;

    ctx.V = FileVersionText(X);
    if (SameTextAscii(ctx.V, "File not found"))
        ctx.V.clear();
    if (rules::RunRules(rules::VersionPhaseB(), ctx))
        return ctx.V;

    if (rules::RunRules(rules::VersionZeroFixed(), ctx))
        return ctx.V;
    if (rules::RunRules(rules::VersionPhaseC(), ctx))
        return ctx.V;

    // Adobe AIR applications carry no version resource; their descriptor names the version.
    if (WideGetFileVersionInfoSize(X) == 0 && ctx.V.empty() &&
        FileHasContent(ctx.F + kAirDescriptor))
        return XmlTagValue("versionNumber", LoadTextLines(ctx.F + kAirDescriptor));

    ctx.SetRecord(ReadFileVersionInfo(X));
    if (rules::RunRules(rules::VersionPhaseD(), ctx))
        return ctx.V;

    ctx.V = Reconcile(ctx.V, ctx);
    rules::RunRules(rules::VersionPhaseE(), ctx);
    return ctx.V;
}
