#include "identity/name_rules.h"

#include "identity/textutil.h"
#include "identity/uninstall.h"
#include "services/text.h"

// One row a line: condition, action, final flag. Rows run top to bottom and each sees what
// the rows above it left. Name the row's texts first in its condition, so that files and the
// registry are only looked at for the executables the row is about.

namespace rules {

using namespace in;

namespace {

// Appends " <year>" when the product version's major number is a year.
Action AppendMajorYear() {
    return Do([](RuleContext& c) {
        c.P += " " + std::to_string(TTallyVersion(c.Record().ProductVersion).Major);
    });
}

// The name of the executable's folder.
constexpr TextIn FolderName{[](const RuleContext& c) { return FolderNameOf(c.F); }};
// The company as read, without the question marks that stand in for characters it could not
// hold.
constexpr TextIn CompanyNameWithoutQuestionMarks{
    [](const RuleContext& c) { return ReplaceAll(c.Record().CompanyName, "?", ""); }};

// The 100-character licence notice some authors put where the company belongs.
const std::string kCreativeCommonsNotice =
    "Creative Commons License \"by-nc-sa 3.0\", this program is freeware under Creative Commons "
    "License \"by";

} // namespace

const Table& ProductEarlyAnswers() {
    static const Table rows = {
        {E.Is("gswin32") && F.Has("gs"), Set("GPL Ghostscript"), Final::Yes},
        {E.Is("nsis"), Set("NSIS"), Final::Yes},
        {E.Is("EAC") && FolderName.Is("Exact Audio Copy"), Set("Exact Audio Copy"), Final::Yes},
    };
    return rows;
}

const Table& ProductQuestionMarks() {
    static const Table rows = {
        {P.HasExactly("?") && CompanyNameWithoutQuestionMarks.Has("auslogics"),
         ReplaceExactly("?", "")},
    };
    return rows;
}

const Table& ProductRulesA() {
    static const Table rows = {
        // Generic rows: a web address or a template placeholder instead of a name.
        {P.Begins("http://") && !ProductName.Has("http://"), SetTo(ProductName)},
        {P.IsExactly("File Description"), SetTo(ProductName)},

        {P.Is("Skype") && Major(ProductVersion) < 8, Set("Skype Classic")},
        {P.Is("PhotoFiltre") && Major(ProductVersion) > 6, Set("PhotoFiltre Studio")},
        {(P.Is("WISO steuer:Start") || P.Is("WISO steuer:Sparbuch")) &&
             Major(ProductVersion).Between(2001, 2099),
         AppendMajorYear()},
        {P.Has("Warcraft") && F.Has("_classic_era"), Then({Trim(), Append(" Classic Era")})},
        {P.Begins("Zoom Meetings"), Set("Zoom")},
        {P.Is("MP3 Encoder") && (CompanyName.Has("lame") || LegalCopyright.Has("lame")),
         Set("LAME MP3 Encoder")},
        {P.Is("Macrium Reflect"),
         Then({If(Installed("Macrium Reflect Home Edition"), Set("Macrium Reflect Home")),
               If(Installed("Macrium Reflect Free Edition"), Set("Macrium Reflect Free"))})},
        {P.Is("Adobe Acrobat") && Major(ProductVersion) > 14, Append(" DC")},
        {P.Begins("DOSBOX") && HasFile("Patches.txt"), Set("DOSBox ECE")},
        {Always(), DropPrefix("Sysinternals ")},
        {E.Is("EpicGamesLauncher"), Set("Epic Games Launcher")},
        {P.Is("Malwarebytes") && Installed("Malwarebytes Anti-Malware"),
         Set("Malwarebytes Anti-Malware")},
        {Always(), ReplaceExactly("OpenOffice.org", "OpenOffice")},
    };
    return rows;
}

const Table& ProductRulesB() {
    static const Table rows = {
        {P.IsExactly("java"), Set("Java(TM) Platform SE")},
        {P.Begins("MPC-BE") && !P.Has("-beats"),
         Then({ReplaceIgnoringCase("MPC-BE", "Media Player Classic - Black Edition"), Trim()})},
    };
    return rows;
}

const Table& ProductRulesC() {
    static const Table rows = {
        {P.Begins("AsrXTU"), Set("ASRock Extreme Tuning Utility")},
        {P.Begins("bleachbit"),
         Then({Set("BleachBit"), If(HasFile("BleachBit.ini"), Set("BleachBit Portable"))})},
    };
    return rows;
}

const Table& ProductAfterVersionWord() {
    static const Table rows = {};
    return rows;
}

const Table& ProductPublisherSuffix() {
    static const Table rows = {};
    return rows;
}

const Table& CompanyRules() {
    static const Table rows = {
        // Generic rows, in this order, ahead of the vendors' rows.
        {Always(), DropSuffix("\xAE")},
        {C.Begins("Free Software Foundation"), Clear()},
        {C.Is("Open Source Community") || C.Is("Open Source"), Clear()},
        {C.Is("companyname"), Clear()},
        {C.Ends(">") && C.HasExactly("<"),
         Do([](RuleContext& c) { c.C = TrimText(TextBefore(c.C, "<")); })},
        {C.Begins("TODO:"), Clear()},
        {C.Is(kCreativeCommonsNotice), Clear()},

        {C.Begins("Chemtable "), Set("Chemtable Software")},
        {C.Is("Phase One"), Set("Capture One")},
        {P.Begins("GPL Ghostscript") && C.IsEmpty(), Set("Artifex Software, Inc.")},
        {P.Is("NSIS") && C.IsEmpty(), Set("NSIS Team")},
        {C.Begins("McAfee"), Set("McAfee, Inc.")},
        {C.Has("microsoft"), Set("Microsoft")},
        {C.Begins("Intel("), Set("Intel")},
        {C.IsExactly("HP"), Set("Hewlett-Packard")},
    };
    return rows;
}

const Table& CompanyEarlyAnswers() {
    static const Table rows = {
        {C.IsEmpty() && E.Is("EAC") && FolderName.Is("Exact Audio Copy"),
         Set("www.exactaudiocopy.de"), Final::Yes},
    };
    return rows;
}

} // namespace rules
