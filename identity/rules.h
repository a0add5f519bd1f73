#pragma once
// The small language of the product, company and version rule tables. A table is a list of
// rows, one row a line: a condition, an action and a final flag. Rows run in list order, each
// sees what the rows before it left, and a final row that fires ends the list.
//
// Conditions combine with &&, || and ! and short-circuit, so a row that names its texts first
// touches no file and no registry key unless those texts match.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "identity/U_Version.h"
#include "identity/identity.h"

namespace rules {

enum class Target { Product, Company, Version };

// What a row list works on and may read. P, C and V are the product, company and version
// texts; the list rewrites the one named by its target and reads the others.
class RuleContext {
  public:
    RuleContext(Target What, const std::string& Path);

    Target What;
    std::string P, C, V;
    std::string X; // the path after NativeSystemPath
    std::string E; // base name without extension
    std::string N; // file name with extension
    std::string F; // folder with trailing '/'

    std::string& Value();
    // The executable's version strings as read (rows never see their own changes in it);
    // read on first use.
    const FileVersionInfoRec& Record() const;
    void SetRecord(const FileVersionInfoRec& Record) { record_ = Record; }

  private:
    mutable std::optional<FileVersionInfoRec> record_;
};

struct Cond {
    std::function<bool(const RuleContext&)> Test;
};
Cond operator&&(Cond A, Cond B);
Cond operator||(Cond A, Cond B);
Cond operator!(Cond A);
Cond Always();
// A condition written out in code, for the rare row that needs more than the helpers give.
Cond When(std::function<bool(const RuleContext&)> Test);

// A text a condition reads. Comparisons ignore ASCII case unless they say Exactly.
struct TextIn {
    std::string (*Get)(const RuleContext&);

    Cond Is(std::string Text) const;
    Cond IsExactly(std::string Text) const;
    Cond Begins(std::string Text) const;
    Cond BeginsExactly(std::string Text) const;
    Cond Ends(std::string Text) const;
    Cond Has(std::string Text) const;
    Cond HasExactly(std::string Text) const;
    Cond IsEmpty() const;
    Cond WordsAtLeast(int Count) const;
    // '*' any run, '?' any one character, ASCII case ignored.
    Cond Like(std::string Pattern) const;
    Cond DigitsAndDots() const;
};

// A number a condition compares.
struct NumIn {
    std::function<long long(const RuleContext&)> Get;

    Cond operator<(long long N) const;
    Cond operator>(long long N) const;
    Cond operator==(long long N) const;
    // Lo <= value <= Hi
    Cond Between(long long Lo, long long Hi) const;
};
// Fields of the version parsed from a text.
NumIn Major(TextIn Text);
NumIn Minor(TextIn Text);
NumIn Release(TextIn Text);
NumIn Build(TextIn Text);

namespace in {
inline constexpr TextIn P{[](const RuleContext& c) { return c.P; }};
inline constexpr TextIn C{[](const RuleContext& c) { return c.C; }};
inline constexpr TextIn V{[](const RuleContext& c) { return c.V; }};
inline constexpr TextIn E{[](const RuleContext& c) { return c.E; }};
inline constexpr TextIn N{[](const RuleContext& c) { return c.N; }};
inline constexpr TextIn X{[](const RuleContext& c) { return c.X; }};
inline constexpr TextIn F{[](const RuleContext& c) { return c.F; }};
inline constexpr TextIn FileDescription{
    [](const RuleContext& c) { return c.Record().FileDescription; }};
inline constexpr TextIn CompanyName{[](const RuleContext& c) { return c.Record().CompanyName; }};
inline constexpr TextIn FileVersion{[](const RuleContext& c) { return c.Record().FileVersion; }};
inline constexpr TextIn InternalName{[](const RuleContext& c) { return c.Record().InternalName; }};
inline constexpr TextIn LegalCopyright{
    [](const RuleContext& c) { return c.Record().LegalCopyright; }};
inline constexpr TextIn OriginalFilename{
    [](const RuleContext& c) { return c.Record().OriginalFilename; }};
inline constexpr TextIn ProductName{[](const RuleContext& c) { return c.Record().ProductName; }};
inline constexpr TextIn ProductVersion{
    [](const RuleContext& c) { return c.Record().ProductVersion; }};
} // namespace in

// Files beside the executable (Relative is appended to F).
Cond HasFile(std::string Relative);
// F + Relative has content and is not the executable itself.
Cond HasOtherFile(std::string Relative);
// The Uninstall registry knows a version of Name.
Cond Installed(std::string Name);
// An Uninstall entry's name begins with DisplayName.
Cond ProgramInstalled(std::string DisplayName);

struct Action {
    std::function<void(RuleContext&)> Run;
};
Action Set(std::string Text);
Action SetTo(TextIn Text);
Action Clear();
Action Append(std::string Text);
Action Prepend(std::string Text);
Action DropPrefix(std::string Text);
Action DropSuffix(std::string Text);
Action ReplaceExactly(std::string From, std::string To);
Action ReplaceIgnoringCase(std::string From, std::string To);
Action Trim();
// Several actions, one after the other.
Action Then(std::vector<Action> Steps);
// An action that only runs when its own condition holds, tested after the earlier steps.
Action If(Cond Condition, Action Step);
// The target set from a computed text (a lookup, another file's version).
Action SetFrom(std::function<std::string(const RuleContext&)> Compute);
// The target parsed as a version, changed, and printed again with ToText.
Action EditVersion(std::function<void(TTallyVersion&)> Edit);
// An action written out in code.
Action Do(std::function<void(RuleContext&)> Step);

enum class Final {
    No,        // the list goes on
    Yes,       // ends the list when the row fires
    IfNonEmpty // ends the list when the row fires and leaves a non-empty target
};

struct Row {
    Cond Condition;
    Action Step;
    Final Ends = Final::No;
};
using Table = std::vector<Row>;

// Runs the rows in order; true when a final row ended the list.
bool RunRules(const Table& Rows, RuleContext& Context);

} // namespace rules
