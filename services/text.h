#pragma once
#include <cstdint>
#include <string>

// Small functions on 8-bit texts. Every byte counts as one character, positions start at 1,
// and "ignoring case" folds only the ASCII letters A-Z / a-z; every other byte compares as it
// is. None of them throws or looks at anything but its arguments.

// The first Count characters of Text; a negative Count gives "", one beyond the length the
// whole text.
std::string LeftText(const std::string& Text, long long Count);
// The last Count characters of Text, clamped the same way.
std::string RightText(const std::string& Text, long long Count);

// Prefix / suffix tests ignoring ASCII case; true for an empty Prefix / Suffix.
bool TextStartsWith(const std::string& Text, const std::string& Prefix);
bool TextEndsWith(const std::string& Text, const std::string& Suffix);
// As TextStartsWith, case-sensitive.
bool StartsWithExact(const std::string& Text, const std::string& Prefix);

// True when Part occurs in Text ignoring ASCII case; false for an empty Part.
// Note the order: the part first, the text searched second.
bool OccursInText(const std::string& Part, const std::string& Text);

// Text without the leading Prefix / trailing Suffix (ASCII case ignored) when it has it;
// otherwise Text unchanged.
std::string RemovePrefix(const std::string& Text, const std::string& Prefix);
std::string RemoveSuffix(const std::string& Text, const std::string& Suffix);

// The text after / before the first exact occurrence of Marker; Text unchanged when Marker is
// empty or absent.
std::string TextAfter(const std::string& Text, const std::string& Marker);
std::string TextBefore(const std::string& Text, const std::string& Marker);

// 0 for an empty Text, else 1 plus the number of characters of Text found in Separators.
int FieldCount(const std::string& Text, const std::string& Separators);
// Field number Index (from 0) of Text split at every character found in Separators;
// consecutive separators delimit empty fields; "" beyond the last field or for Index < 0.
std::string FieldAt(const std::string& Text, int Index, const std::string& Separators);

// Text with leading and trailing blanks and control characters (bytes <= ' ') removed.
std::string TrimText(const std::string& Text);

// Text without the trailing "http://" / "https://" words (blank-separated); a text of one
// word, or one that ends in a blank, is returned unchanged.
std::string StripTrailingUrls(const std::string& Text);

// ASCII-only case folding.
std::string LowerAscii(const std::string& Text);
std::string UpperAscii(const std::string& Text);
// Equality ignoring ASCII case.
bool SameTextAscii(const std::string& A, const std::string& B);

// The larger of two signed integers.
std::int64_t MaxOf(std::int64_t A, std::int64_t B);

// Integer conversions of the profile/settings code: decimal with an optional sign, or
// hexadecimal written "$1F" / "0x1F" (ASCII case ignored), surrounding blanks allowed.
// Anything else, or a value outside the 32-bit signed range (hexadecimal accepts up to
// 0xFFFFFFFF, read as its two's complement), gives Default.
int ProfileTextToIntDef(const std::string& Text, int Default);
// Same, but false (Value untouched) instead of a default.
bool TryProfileTextToInt(const std::string& Text, int& Value);

// The strict conversion used for version fields and words: optional leading spaces (code 32
// only), an optional sign, then decimal digits, or hexadecimal digits after "$", "x", "X",
// "0x" or "0X" (at most eight, read as signed 32-bit), running to the end of the text.
// Anything else, including a trailing blank or line break, or a decimal value outside the
// signed 32-bit range, gives Default.
std::int32_t TextToIntDef(const std::string& Text, std::int32_t Default);
