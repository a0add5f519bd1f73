#pragma once
// ASCII-only case folding: only A-Z and a-z change; every other byte (or UTF-16 unit) is kept,
// so UTF-8 and Windows-1252 texts fold the same on every system and in every locale.
#include <string>
#include <string_view>

namespace base {

constexpr char LowerAsciiChar(char C) {
    return (C >= 'A' && C <= 'Z') ? static_cast<char>(C - 'A' + 'a') : C;
}
constexpr char UpperAsciiChar(char C) {
    return (C >= 'a' && C <= 'z') ? static_cast<char>(C - 'a' + 'A') : C;
}
constexpr char16_t LowerAsciiChar(char16_t C) {
    return (C >= u'A' && C <= u'Z') ? static_cast<char16_t>(C - u'A' + u'a') : C;
}

// The value of a hexadecimal digit of either case, or -1.
constexpr int HexDigitValue(char C) {
    if (C >= '0' && C <= '9')
        return C - '0';
    if (C >= 'a' && C <= 'f')
        return C - 'a' + 10;
    if (C >= 'A' && C <= 'F')
        return C - 'A' + 10;
    return -1;
}

std::string LowerAscii(std::string_view Text);
std::string UpperAscii(std::string_view Text);

bool EqualsIgnoringAsciiCase(std::string_view A, std::string_view B);
bool EqualsIgnoringAsciiCase(std::u16string_view A, std::u16string_view B);
// <0, 0 or >0 as A sorts before, with or after B once both are lower-cased (bytes unsigned).
int CompareIgnoringAsciiCase(std::string_view A, std::string_view B);
bool StartsWithIgnoringAsciiCase(std::string_view Text, std::string_view Prefix);
bool EndsWithIgnoringAsciiCase(std::string_view Text, std::string_view Suffix);

} // namespace base
