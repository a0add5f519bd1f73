#include "identity/company.h"

#include "identity/identity.h"
#include "identity/name_rules.h"
#include "identity/textutil.h"
#include "services/filefunctions.h"
#include "services/text.h"

namespace {

bool SameAsAny(const std::string& Text, std::initializer_list<const char*> List) {
    for (const char* item : List)
        if (SameTextAscii(Text, item))
            return true;
    return false;
}

// Drops the first field W and the separator after it.
std::string DropFirst(const std::string& S, const std::string& W) {
    return W.size() + 1 >= S.size() ? std::string() : S.substr(W.size() + 1);
}

// Drops the last Count characters (all of them when S is shorter).
std::string DropLast(const std::string& S, std::size_t Count) {
    return Count >= S.size() ? std::string() : S.substr(0, S.size() - Count);
}

std::string CompanyTail(std::string C, const std::string& F) {
    if (C.empty() && FileHasContent(F + kAirDescriptor))
        C = XmlTagValue("copyright", LoadTextLines(F + kAirDescriptor));

    if (SameAsAny(C, {"GNU", "GPL", "GPL3", "See GPL licence", "See GPL license", "GNU GPL License",
                      "GNU General Public License Version 3",
                      "under the GNU General Public License (GPL)",
                      "under the GNU General Public License", "Released under GPL",
                      "Distributed under GPL license", "Gnu General Public License (GPL, Copyleft)",
                      "GNU General Public License", "GNU General Public License v2",
                      "GNU General Public License v2.0"}))
        C.clear();
    if (OccursInText("GNU GPL", C))
        C.clear();

    for (const char* s :
         {". Code released under the GNU General Public License", ". GNU General Public License",
          ".  GNU General Public License", " - Licensed under GPL", " / GNU General Public License",
          "(GPLv3)", "(GPL v3+)", "(GPL)", "Under GPL", ", using LGPL 3 License",
          ": GPLv2 or commercial"})
        C = RemoveSuffix(C, s);
    C = TrimText(C);
    for (const char* s :
         {"Author: ", "Original author: ", "Developed by ", ". See LICENSE.TXT for details."})
        C = RemovePrefix(C, s);
    C = TrimText(C);

    // A trailing web address without blanks after it goes; one that starts the text stays.
    if (const std::size_t p = PosOf("http://", C); p > 5 && C.find(' ', p + 6) == std::string::npos)
        C = TrimText(C.substr(0, p - 1));
    if (const std::size_t p = PosOf("www.", C); p > 9 && C.find(' ', p + 6) == std::string::npos)
        C = TrimText(C.substr(0, p - 1));

    if (TextEndsWith(C, "L.L.C."))
        C = C.substr(0, C.size() - 6) + "LLC";
    while (C.size() > 1 && std::string("-,;([").find(C.back()) != std::string::npos)
        C = TrimText(C.substr(0, C.size() - 1));
    if (SameAsAny(C, {"TODO:", "Company", "none", "."}))
        C.clear();
    if (!C.empty() && C[0] == '$')
        C.clear();
    return CleanDisplayText(C);
}

} // namespace

std::string NormaliseCompanyText(const std::string& Text, const std::string& Path,
                                 const std::string& Product) {
    rules::RuleContext ctx(rules::Target::Company, Path);
    ctx.C = TrimText(Text.substr(0, Text.find('\r')));
    if (ctx.C == "-")
        ctx.C.clear();
    ctx.P = Product.empty() ? DisplayedProductName(Path) : Product;
    rules::RunRules(rules::CompanyRules(), ctx);
    return CompanyTail(ctx.C, ctx.F);
}

std::string DisplayedCompanyName(const std::string& Path, const std::string& Product) {
    const std::string X = NativeSystemPath(Path);
    if (const ProductCodeInfo* code = FindProductCode(X))
        return code->Company;
    const FileVersionInfoRec R = ReadFileVersionInfo(X);
    std::string C;
    if (!SameTextAscii(R.CompanyName, ", LLC"))
        C = R.CompanyName;
    const std::string L = TrimText(R.LegalCopyright);
    rules::RuleContext early(rules::Target::Company, X);
    early.C = C;
    early.P = Product;
    early.SetRecord(R);
    if (rules::RunRules(rules::CompanyEarlyAnswers(), early))
        return early.C;
    C = NormaliseCompanyText(C, X, Product);
    if (C.empty() && !L.empty())
        C = NormaliseCompanyText(L, X, Product);
    const std::string S = C;
    C = StripCopyrightPhrases(C);
    if (C != S)
        C = NormaliseCompanyText(C, X, Product);
    if (C == "?" || C.find("??") != std::string::npos)
        C.clear();
    return C;
}

std::string StripCopyrightPhrases(const std::string& Text) {
    std::string s = Text;
    if (!s.empty() && s.back() == ',')
        s.pop_back();
    if (!s.empty() && s.front() == ',')
        s.erase(0, 1);

    std::string w = FieldAt(s, 0, " -");
    if (SameAsAny(w, {"C", "(C)", "copyright", "by"}) || w == "\xA9" || w == ",")
        s = DropFirst(s, w);
    s = RemovePrefix(s, "(c)");
    s = RemovePrefix(s, "c)");

    w = FieldAt(s, 0, " -,");
    if (w.size() == 4 && TextToIntDef(w, 0) > 1990)
        s = DropFirst(s, w);

    if (FieldCount(s, "/") > 1) {
        w = FieldAt(s, 0, "/");
        if (w.size() == 4 || (w.size() == 2 && TextToIntDef(w, 0) > 0))
            s = DropFirst(s, w);
    }

    w = FieldAt(s, FieldCount(s, " -") - 1, " -");
    if (SameAsAny(w, {"(C)", "copyright"}) || w == "\xA9" || w == "," ||
        (w.size() == 4 && TextToIntDef(w, 0) > 1990) || (w.size() == 2 && TextToIntDef(w, 0) > 0))
        s = DropLast(s, w.size() + 1);

    if (s.size() > 1 && s.back() == '-')
        s.pop_back();

    for (const char* phrase :
         {" under GNU General Public License", " under the GPL",
          " under the GNU Public License (GPL)", " under GNU General Public License.",
          " under the GPL.", " under the GNU Public License (GPL).", "Freeware licensed under GPL",
          "This file is set under the General Public License.", "GNU General Public License v2",
          "Gnu General Public License (GPL, Copyleft)",
          ". This software is licensed under the terms of the GNU General Public License."})
        s = RemoveSuffix(s, phrase);
    s = TrimText(s);

    for (const std::string rights :
         {" All Rights Reserved.", " All Rights Reserved", " All Rigths Reserved.",
          " All Rigths Reserved", ".All Rights Reserved"}) {
        w = FieldAt(s, FieldCount(s, ",") - 1, ",");
        if (SameTextAscii(w, rights))
            s = DropLast(s, w.size() + 1);
        w = FieldAt(s, FieldCount(s, ".") - 2, ".") + ".";
        if (SameTextAscii(w, rights))
            s = DropLast(s, w.size() + 1);
        w = RightText(s, static_cast<long long>(rights.size()));
        if (SameTextAscii(w, rights))
            s = DropLast(s, rights.size() + 1);
    }
    s = TrimText(s);

    if (s.size() > 1) {
        if (s.front() == '-')
            s.erase(0, 1);
        if (!s.empty() && s.back() == '-')
            s.pop_back();
    }
    if (s.size() > 5 && s.back() == '.' && TextToIntDef(s.substr(s.size() - 5, 4), 0) > 1990)
        s = DropLast(s, 5);

    for (const char* prefix :
         {"\xA9", "Copyrights \xA9", "Copyright\xA9", "Copyright(c)", "Copyright\xC2\xA9",
          "Copyrights \xC2\xA9", "Copyright(r)", "Copyright?", "All rights reserved worldwide",
          "All Rights Reserved (C)", "All rights reserved", "(C)All rights reserved",
          "All rights reserverd", "All Rights Reversed", "\xC2\xA9", "\xA9"})
        s = RemovePrefix(s, prefix);
    for (const char* suffix :
         {"All rights reserved.", "All right reserved.", "Some right reserved.",
          "No rights reserved.",
          "This software is protected by international and romanian copyright and trade laws."})
        s = RemoveSuffix(s, suffix);

    return s != Text ? StripCopyrightPhrases(s) : s;
}
