#pragma once
// Text conversions between UTF-16, UTF-8 and Windows-1252.
//
// Windows-1252 here is the code page as Windows converts it: 0x80..0x9F hold the 27 characters
// of the table, and the five slots the code page leaves undefined (0x81, 0x8D, 0x8F, 0x90,
// 0x9D) stand for the control characters of the same number, both ways, so every byte
// round-trips. Any other character has no byte and becomes "?".
#include <string>
#include <string_view>

namespace base {

// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view Text);
// Malformed UTF-8 (bad sequences, overlong forms, surrogates, beyond U+10FFFF) becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view Text);
// Little-endian UTF-16 bytes to UTF-8; a trailing odd byte is ignored.
std::string Utf16LeBytesToUtf8(std::string_view Bytes);

// One "?" per character without a byte (a surrogate pair is one character, a lone surrogate
// too).
std::string Utf16ToWindows1252(std::u16string_view Text);
std::u16string Windows1252ToUtf16(std::string_view Text);
std::string Windows1252ToUtf8(std::string_view Text);

} // namespace base
