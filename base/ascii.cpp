#include "base/ascii.h"

namespace base {

std::string LowerAscii(std::string_view Text) {
    std::string r(Text);
    for (char& c : r)
        c = LowerAsciiChar(c);
    return r;
}

std::string UpperAscii(std::string_view Text) {
    std::string r(Text);
    for (char& c : r)
        c = UpperAsciiChar(c);
    return r;
}

namespace {

template <typename Char>
bool EqualsFolded(std::basic_string_view<Char> A, std::basic_string_view<Char> B) {
    if (A.size() != B.size())
        return false;
    for (std::size_t i = 0; i < A.size(); ++i)
        if (LowerAsciiChar(A[i]) != LowerAsciiChar(B[i]))
            return false;
    return true;
}

} // namespace

bool EqualsIgnoringAsciiCase(std::string_view A, std::string_view B) {
    return EqualsFolded(A, B);
}

bool EqualsIgnoringAsciiCase(std::u16string_view A, std::u16string_view B) {
    return EqualsFolded(A, B);
}

int CompareIgnoringAsciiCase(std::string_view A, std::string_view B) {
    const std::size_t n = A.size() < B.size() ? A.size() : B.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(LowerAsciiChar(A[i]));
        const auto y = static_cast<unsigned char>(LowerAsciiChar(B[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return A.size() == B.size() ? 0 : (A.size() < B.size() ? -1 : 1);
}

bool StartsWithIgnoringAsciiCase(std::string_view Text, std::string_view Prefix) {
    return Text.size() >= Prefix.size() &&
           EqualsIgnoringAsciiCase(Text.substr(0, Prefix.size()), Prefix);
}

bool EndsWithIgnoringAsciiCase(std::string_view Text, std::string_view Suffix) {
    return Text.size() >= Suffix.size() &&
           EqualsIgnoringAsciiCase(Text.substr(Text.size() - Suffix.size()), Suffix);
}

} // namespace base
