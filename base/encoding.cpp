#include "base/encoding.h"

#include <algorithm>
#include <cstdint>

namespace base {

namespace {

// The characters of 0x80..0x9F; the undefined slots hold their own control characters.
constexpr char16_t k1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool IsHighSurrogate(std::uint32_t U) {
    return U >= 0xD800 && U <= 0xDBFF;
}
bool IsLowSurrogate(std::uint32_t U) {
    return U >= 0xDC00 && U <= 0xDFFF;
}

void AppendUtf8(std::string& Out, std::uint32_t Cp) {
    if (Cp < 0x80) {
        Out.push_back(static_cast<char>(Cp));
    } else if (Cp < 0x800) {
        Out.push_back(static_cast<char>(0xC0 | (Cp >> 6)));
        Out.push_back(static_cast<char>(0x80 | (Cp & 0x3F)));
    } else if (Cp < 0x10000) {
        Out.push_back(static_cast<char>(0xE0 | (Cp >> 12)));
        Out.push_back(static_cast<char>(0x80 | ((Cp >> 6) & 0x3F)));
        Out.push_back(static_cast<char>(0x80 | (Cp & 0x3F)));
    } else {
        Out.push_back(static_cast<char>(0xF0 | (Cp >> 18)));
        Out.push_back(static_cast<char>(0x80 | ((Cp >> 12) & 0x3F)));
        Out.push_back(static_cast<char>(0x80 | ((Cp >> 6) & 0x3F)));
        Out.push_back(static_cast<char>(0x80 | (Cp & 0x3F)));
    }
}

} // namespace

std::string Utf16ToUtf8(std::u16string_view Text) {
    std::string out;
    out.reserve(Text.size());
    for (std::size_t i = 0; i < Text.size(); ++i) {
        std::uint32_t cp = Text[i];
        if (IsHighSurrogate(cp) && i + 1 < Text.size() && IsLowSurrogate(Text[i + 1])) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (Text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

std::u16string Utf8ToUtf16(std::string_view Text) {
    std::u16string out;
    std::size_t i = 0;
    while (i < Text.size()) {
        const auto lead = static_cast<unsigned char>(Text[i]);
        int extra = 0;
        std::uint32_t cp = 0, min = 0;
        if (lead < 0x80) {
            cp = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1, cp = lead & 0x1F, min = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2, cp = lead & 0x0F, min = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3, cp = lead & 0x07, min = 0x10000;
        } else {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        bool good = true;
        for (int k = 0; k < extra; ++k, ++j) {
            if (j >= Text.size() || (static_cast<unsigned char>(Text[j]) & 0xC0) != 0x80) {
                good = false;
                break;
            }
            cp = cp << 6 | (static_cast<unsigned char>(Text[j]) & 0x3F);
        }
        if (!good || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out.push_back(0xFFFD);
            i = good ? j : std::max(j, i + 1);
            continue;
        }
        i = j;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::string Utf16LeBytesToUtf8(std::string_view Bytes) {
    std::u16string units(Bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(static_cast<unsigned char>(Bytes[2 * i]) |
                                         static_cast<unsigned char>(Bytes[2 * i + 1]) << 8);
    return Utf16ToUtf8(units);
}

std::string Utf16ToWindows1252(std::u16string_view Text) {
    std::string out;
    out.reserve(Text.size());
    for (std::size_t i = 0; i < Text.size(); ++i) {
        const char16_t c = Text[i];
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        if (IsHighSurrogate(c) && i + 1 < Text.size() && IsLowSurrogate(Text[i + 1]))
            ++i; // one character, one "?"
        char mapped = '?';
        for (int k = 0; k < 32; ++k)
            if (k1252High[k] == c)
                mapped = static_cast<char>(0x80 + k);
        out.push_back(mapped);
    }
    return out;
}

std::u16string Windows1252ToUtf16(std::string_view Text) {
    std::u16string out;
    out.reserve(Text.size());
    for (const char ch : Text) {
        const auto c = static_cast<unsigned char>(ch);
        out.push_back((c >= 0x80 && c < 0xA0) ? k1252High[c - 0x80] : static_cast<char16_t>(c));
    }
    return out;
}

std::string Windows1252ToUtf8(std::string_view Text) {
    return Utf16ToUtf8(Windows1252ToUtf16(Text));
}

} // namespace base
