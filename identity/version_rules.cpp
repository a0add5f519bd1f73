#include "identity/version_rules.h"

#include "identity/uninstall.h"
#include "identity/version_text.h"
#include "services/text.h"

// One row a line: condition, action, final flag. Name the row's texts first in its condition,
// so that files and the registry are only looked at for the executables the row is about.

namespace rules {

using namespace in;

const Table& VersionPhaseA1() {
    static const Table rows = {
        {E.Begins("gimp"), SetFrom([](const RuleContext&) {
             std::string v = UninstallVersionFromName("gimp");
             if (v.find('.') == std::string::npos)
                 v = InstalledVersion("gimp");
             return v;
         })},
    };
    return rows;
}

const Table& VersionPhaseA2() {
    static const Table rows = {
        {P.Is("JDownloader"),
         SetFrom([](const RuleContext&) { return InstalledVersion("JDownloader"); }),
         Final::IfNonEmpty},
        {E.Is("GlyphClient") && HasOtherFile("GlyphClientApp.exe"),
         SetFrom([](const RuleContext& c) {
             return DisplayedVersionText(c.F + "GlyphClientApp.exe", c.P, c.C);
         }),
         Final::IfNonEmpty},
        // Products whose executables carry a stale or shared version resource.
        {P.Begins("Glimpse"),
         SetFrom([](const RuleContext&) { return InstalledVersion("glimpse"); }),
         Final::IfNonEmpty},
        {P.Is("Vuze"), SetFrom([](const RuleContext&) { return InstalledVersion("Vuze"); }),
         Final::IfNonEmpty},
        {P.Begins("Xvid"), SetFrom([](const RuleContext&) { return XvidVersion(); }),
         Final::IfNonEmpty},
        {E.Is("launchy"), SetFrom([](const RuleContext&) { return LaunchyVersion(); }),
         Final::IfNonEmpty},
        {P.Begins("Ashampoo Snap"),
         SetFrom([](const RuleContext&) { return InstalledVersion("ashampoo snap"); }),
         Final::IfNonEmpty},
        {P.Begins("Ashampoo Undeleter"),
         SetFrom([](const RuleContext&) { return InstalledVersion("ashampoo undeleter"); }),
         Final::IfNonEmpty},
        {P.Begins("LibreOffice"),
         SetFrom([](const RuleContext&) { return InstalledVersion("libreoffice"); }),
         Final::IfNonEmpty},
        {P.Begins("OpenOffice"), SetFrom([](const RuleContext&) { return OpenOfficeVersion(); }),
         Final::IfNonEmpty},
        {P.Is("Paint.NET"),
         SetFrom([](const RuleContext&) { return UninstallVersionByFirstWord("Paint.NET"); }),
         Final::IfNonEmpty},
        {P.Begins("Malwarebytes Anti-Ransomware"),
         SetFrom([](const RuleContext& c) { return MalwarebytesVersion(true, c.F); }),
         Final::IfNonEmpty},
        {P.Begins("Malwarebytes") && !P.Begins("Malwarebytes Anti-Ransomware"),
         SetFrom([](const RuleContext& c) { return MalwarebytesVersion(false, c.F); }),
         Final::IfNonEmpty},
        {P.Begins("ffdshow"), SetFrom([](const RuleContext&) { return FfdshowVersion(); }),
         Final::IfNonEmpty},
        {C.Is("Yamicsoft") && P.Has("Windows") && P.Has("Manager"),
         SetFrom([](const RuleContext&) { return ManagerSuiteVersion(); }), Final::IfNonEmpty},
    };
    return rows;
}

const Table& VersionPhaseB() {
    static const Table rows = {
        {E.Is("nsis") && V.IsEmpty(),
         SetFrom([](const RuleContext&) { return InstalledVersion("Nullsoft Install System"); })},
    };
    return rows;
}

const Table& VersionZeroFixed() {
    static const Table rows = {
        // Its executable carries no version; the installed versions are folder names.
        {V.IsExactly("0.0.0.0") && P.IsExactly("Google Chrome"),
         SetFrom([](const RuleContext& c) { return HighestFolderVersion(c.X); }), Final::Yes},
    };
    return rows;
}

const Table& VersionPhaseC() {
    static const Table rows = {};
    return rows;
}

const Table& VersionPhaseD() {
    static const Table rows = {
        {P.Is("Grammarly") && FileVersion.DigitsAndDots(), SetTo(ProductVersion), Final::Yes},
        {P.Has("Advanced SystemCare") && !E.Is("ASC"), Clear(), Final::Yes},
    };
    return rows;
}

const Table& VersionAfterAgree() {
    static const Table rows = {};
    return rows;
}

const Table& VersionBeforePlaceholders() {
    static const Table rows = {};
    return rows;
}

const Table& VersionPhaseE() {
    static const Table rows = {
        {(P.Is("Skype") || P.Is("Skype Classic")) && C.HasExactly("Skype"),
         EditVersion([](TTallyVersion& v) { v.Release = 0; })},
        {P.Begins("Brave Browser") && Major(V) > 70 && Major(V) < 200,
         EditVersion([](TTallyVersion& v) {
             v.Major = v.Minor;
             v.Minor = v.Release;
             v.Release = v.Build;
             v.Build = 0;
         })},
        {P.Begins("Internet Download Manager"),
         Then({EditVersion([](TTallyVersion& v) { v.Build = 0; }), DropSuffix(".0")})},
    };
    return rows;
}

} // namespace rules
