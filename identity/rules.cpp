#include "identity/rules.h"

#include "identity/regaccess.h"
#include "identity/textutil.h"
#include "identity/uninstall.h"
#include "services/filefunctions.h"
#include "services/text.h"

namespace rules {

RuleContext::RuleContext(Target What, const std::string& Path)
    : What(What), X(Path), E(FileNameWithoutExt(Path)), F(ExeFolderOf(Path)) {
    const std::size_t slash = Path.find_last_of('/');
    N = slash == std::string::npos ? Path : Path.substr(slash + 1);
}

std::string& RuleContext::Value() {
    switch (What) {
    case Target::Product:
        return P;
    case Target::Company:
        return C;
    case Target::Version:
        break;
    }
    return V;
}

const FileVersionInfoRec& RuleContext::Record() const {
    if (!record_)
        record_ = ReadFileVersionInfo(X);
    return *record_;
}

Cond operator&&(Cond A, Cond B) {
    return {[a = std::move(A.Test), b = std::move(B.Test)](const RuleContext& c) {
        return a(c) && b(c);
    }};
}

Cond operator||(Cond A, Cond B) {
    return {[a = std::move(A.Test), b = std::move(B.Test)](const RuleContext& c) {
        return a(c) || b(c);
    }};
}

Cond operator!(Cond A) {
    return {[a = std::move(A.Test)](const RuleContext& c) { return !a(c); }};
}

Cond Always() {
    return {[](const RuleContext&) { return true; }};
}

Cond When(std::function<bool(const RuleContext&)> Test) {
    return {std::move(Test)};
}

Cond TextIn::Is(std::string Text) const {
    return {
        [g = Get, t = std::move(Text)](const RuleContext& c) { return SameTextAscii(g(c), t); }};
}

Cond TextIn::IsExactly(std::string Text) const {
    return {[g = Get, t = std::move(Text)](const RuleContext& c) { return g(c) == t; }};
}

Cond TextIn::Begins(std::string Text) const {
    return {
        [g = Get, t = std::move(Text)](const RuleContext& c) { return TextStartsWith(g(c), t); }};
}

Cond TextIn::BeginsExactly(std::string Text) const {
    return {
        [g = Get, t = std::move(Text)](const RuleContext& c) { return StartsWithExact(g(c), t); }};
}

Cond TextIn::Ends(std::string Text) const {
    return {[g = Get, t = std::move(Text)](const RuleContext& c) { return TextEndsWith(g(c), t); }};
}

Cond TextIn::Has(std::string Text) const {
    return {[g = Get, t = std::move(Text)](const RuleContext& c) { return OccursInText(t, g(c)); }};
}

Cond TextIn::HasExactly(std::string Text) const {
    return {[g = Get, t = std::move(Text)](const RuleContext& c) {
        return g(c).find(t) != std::string::npos;
    }};
}

Cond TextIn::IsEmpty() const {
    return {[g = Get](const RuleContext& c) { return g(c).empty(); }};
}

Cond TextIn::WordsAtLeast(int Count) const {
    return {[g = Get, Count](const RuleContext& c) { return FieldCount(g(c), " ") >= Count; }};
}

Cond TextIn::Like(std::string Pattern) const {
    return {
        [g = Get, p = std::move(Pattern)](const RuleContext& c) { return WildcardMatch(g(c), p); }};
}

Cond TextIn::DigitsAndDots() const {
    return {[g = Get](const RuleContext& c) {
        for (const char ch : g(c))
            if (!(ch == '.' || (ch >= '0' && ch <= '9')))
                return false;
        return true;
    }};
}

Cond NumIn::operator<(long long N) const {
    return {[g = Get, N](const RuleContext& c) { return g(c) < N; }};
}

Cond NumIn::operator>(long long N) const {
    return {[g = Get, N](const RuleContext& c) { return g(c) > N; }};
}

Cond NumIn::operator==(long long N) const {
    return {[g = Get, N](const RuleContext& c) { return g(c) == N; }};
}

Cond NumIn::Between(long long Lo, long long Hi) const {
    return {[g = Get, Lo, Hi](const RuleContext& c) {
        const long long v = g(c);
        return v >= Lo && v <= Hi;
    }};
}

NumIn Major(TextIn Text) {
    return {[g = Text.Get](const RuleContext& c) { return (long long)TTallyVersion(g(c)).Major; }};
}

NumIn Minor(TextIn Text) {
    return {[g = Text.Get](const RuleContext& c) { return (long long)TTallyVersion(g(c)).Minor; }};
}

NumIn Release(TextIn Text) {
    return {
        [g = Text.Get](const RuleContext& c) { return (long long)TTallyVersion(g(c)).Release; }};
}

NumIn Build(TextIn Text) {
    return {[g = Text.Get](const RuleContext& c) { return (long long)TTallyVersion(g(c)).Build; }};
}

Cond HasFile(std::string Relative) {
    return {[r = std::move(Relative)](const RuleContext& c) { return FileHasContent(c.F + r); }};
}

Cond HasOtherFile(std::string Relative) {
    return {[r = std::move(Relative)](const RuleContext& c) {
        return FileHasContent(c.F + r) && !SameFile(c.F + r, c.X);
    }};
}

Cond Installed(std::string Name) {
    return {[n = std::move(Name)](const RuleContext&) { return !InstalledVersion(n).empty(); }};
}

Cond ProgramInstalled(std::string DisplayName) {
    return {[n = std::move(DisplayName)](const RuleContext&) {
        return regaccess::ProgramInstalled(n);
    }};
}

Action Set(std::string Text) {
    return {[t = std::move(Text)](RuleContext& c) { c.Value() = t; }};
}

Action SetTo(TextIn Text) {
    return {[g = Text.Get](RuleContext& c) { c.Value() = g(c); }};
}

Action Clear() {
    return {[](RuleContext& c) { c.Value().clear(); }};
}

Action Append(std::string Text) {
    return {[t = std::move(Text)](RuleContext& c) { c.Value() += t; }};
}

Action Prepend(std::string Text) {
    return {[t = std::move(Text)](RuleContext& c) { c.Value() = t + c.Value(); }};
}

Action DropPrefix(std::string Text) {
    return {[t = std::move(Text)](RuleContext& c) { c.Value() = RemovePrefix(c.Value(), t); }};
}

Action DropSuffix(std::string Text) {
    return {[t = std::move(Text)](RuleContext& c) { c.Value() = RemoveSuffix(c.Value(), t); }};
}

Action ReplaceExactly(std::string From, std::string To) {
    return {[f = std::move(From), t = std::move(To)](RuleContext& c) {
        c.Value() = ReplaceAll(c.Value(), f, t);
    }};
}

Action ReplaceIgnoringCase(std::string From, std::string To) {
    return {[f = std::move(From), t = std::move(To)](RuleContext& c) {
        c.Value() = ReplaceAllIgnoringCase(c.Value(), f, t);
    }};
}

Action Trim() {
    return {[](RuleContext& c) { c.Value() = TrimText(c.Value()); }};
}

Action Then(std::vector<Action> Steps) {
    return {[s = std::move(Steps)](RuleContext& c) {
        for (const Action& a : s)
            a.Run(c);
    }};
}

Action If(Cond Condition, Action Step) {
    return {[t = std::move(Condition.Test), r = std::move(Step.Run)](RuleContext& c) {
        if (t(c))
            r(c);
    }};
}

Action SetFrom(std::function<std::string(const RuleContext&)> Compute) {
    return {[f = std::move(Compute)](RuleContext& c) { c.Value() = f(c); }};
}

Action EditVersion(std::function<void(TTallyVersion&)> Edit) {
    return {[e = std::move(Edit)](RuleContext& c) {
        TTallyVersion v(c.Value());
        e(v);
        c.Value() = v.ToText();
    }};
}

Action Do(std::function<void(RuleContext&)> Step) {
    return {std::move(Step)};
}

bool RunRules(const Table& Rows, RuleContext& Context) {
    for (const Row& row : Rows) {
        if (!row.Condition.Test(Context))
            continue;
        row.Step.Run(Context);
        if (row.Ends == Final::Yes || (row.Ends == Final::IfNonEmpty && !Context.Value().empty()))
            return true;
    }
    return false;
}

} // namespace rules
