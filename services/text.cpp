#include "services/text.h"

#include "base/ascii.h"

#include <algorithm>
#include <cstdint>

namespace {

std::size_t ClampCount(const std::string& Text, long long Count) {
    if (Count <= 0)
        return 0;
    return std::min<std::size_t>(static_cast<unsigned long long>(Count), Text.size());
}

bool IsBlankOrControl(char C) {
    return static_cast<unsigned char>(C) <= ' ';
}

// Parses [blanks][sign]digits[blanks] or [blanks]($|0x|0X)hexdigits[blanks].
// Decimal results must fit in [Min, Max]; hexadecimal ones in [0, MaxHex] (the caller
// reinterprets them as two's complement).
bool ParseInteger(const std::string& Text, std::int64_t Min, std::int64_t Max, std::uint64_t MaxHex,
                  std::uint64_t& Magnitude, bool& Negative, bool& Hex) {
    std::size_t i = 0, end = Text.size();
    while (i < end && IsBlankOrControl(Text[i]))
        ++i;
    while (end > i && IsBlankOrControl(Text[end - 1]))
        --end;
    if (i == end)
        return false;
    Negative = false;
    Hex = false;
    if (Text[i] == '$') {
        Hex = true;
        ++i;
    } else if (end - i >= 2 && Text[i] == '0' && (Text[i + 1] == 'x' || Text[i + 1] == 'X')) {
        Hex = true;
        i += 2;
    } else if (Text[i] == '+' || Text[i] == '-') {
        Negative = Text[i] == '-';
        ++i;
    }
    if (i == end)
        return false;
    std::uint64_t value = 0;
    const std::uint64_t limit = Hex ? MaxHex
                                    : (Negative ? static_cast<std::uint64_t>(-(Min + 1)) + 1
                                                : static_cast<std::uint64_t>(Max));
    for (; i < end; ++i) {
        const char c = Text[i];
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (Hex && c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (Hex && c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return false;
        const unsigned base = Hex ? 16 : 10;
        if (value > (limit - digit) / base)
            return false;
        value = value * base + digit;
    }
    Magnitude = value;
    return true;
}

} // namespace

std::string LeftText(const std::string& Text, long long Count) {
    return Text.substr(0, ClampCount(Text, Count));
}

std::string RightText(const std::string& Text, long long Count) {
    const std::size_t n = ClampCount(Text, Count);
    return Text.substr(Text.size() - n);
}

bool TextStartsWith(const std::string& Text, const std::string& Prefix) {
    return SameTextAscii(LeftText(Text, static_cast<long long>(Prefix.size())), Prefix);
}

bool TextEndsWith(const std::string& Text, const std::string& Suffix) {
    return SameTextAscii(RightText(Text, static_cast<long long>(Suffix.size())), Suffix);
}

bool StartsWithExact(const std::string& Text, const std::string& Prefix) {
    return Text.size() >= Prefix.size() && Text.compare(0, Prefix.size(), Prefix) == 0;
}

bool OccursInText(const std::string& Part, const std::string& Text) {
    if (Part.empty())
        return false;
    return LowerAscii(Text).find(LowerAscii(Part)) != std::string::npos;
}

std::string RemovePrefix(const std::string& Text, const std::string& Prefix) {
    if (Text.size() >= Prefix.size() && TextStartsWith(Text, Prefix))
        return Text.substr(Prefix.size());
    return Text;
}

std::string RemoveSuffix(const std::string& Text, const std::string& Suffix) {
    if (Text.size() >= Suffix.size() && TextEndsWith(Text, Suffix))
        return Text.substr(0, Text.size() - Suffix.size());
    return Text;
}

std::string TextAfter(const std::string& Text, const std::string& Marker) {
    if (Marker.empty())
        return Text;
    const std::size_t at = Text.find(Marker);
    if (at == std::string::npos)
        return Text;
    return Text.substr(at + Marker.size());
}

std::string TextBefore(const std::string& Text, const std::string& Marker) {
    if (Marker.empty())
        return Text;
    const std::size_t at = Text.find(Marker);
    if (at == std::string::npos)
        return Text;
    return Text.substr(0, at);
}

int FieldCount(const std::string& Text, const std::string& Separators) {
    if (Text.empty())
        return 0;
    int count = 1;
    for (char c : Text)
        if (Separators.find(c) != std::string::npos)
            ++count;
    return count;
}

std::string FieldAt(const std::string& Text, int Index, const std::string& Separators) {
    std::string result;
    if (Index < 0)
        return result;
    int field = 0;
    for (char c : Text) {
        if (Separators.find(c) != std::string::npos) {
            if (++field > Index)
                break;
        } else if (field == Index) {
            result += c;
        }
    }
    return result;
}

std::string TrimText(const std::string& Text) {
    std::size_t begin = 0, end = Text.size();
    while (begin < end && IsBlankOrControl(Text[begin]))
        ++begin;
    while (end > begin && IsBlankOrControl(Text[end - 1]))
        --end;
    return Text.substr(begin, end - begin);
}

std::string StripTrailingUrls(const std::string& Text) {
    std::string result = Text;
    // Each pass removes at most one http:// word and then one https:// word; loop instead of
    // recursing so a text of many addresses cannot exhaust the stack.
    for (;;) {
        bool changed = false;
        int n = FieldCount(result, " ");
        if (n < 2)
            return result;
        std::string word = FieldAt(result, n - 1, " ");
        if (TextStartsWith(word, "http://")) {
            result = TrimText(RemoveSuffix(result, word));
            changed = true;
            continue;
        }
        n = FieldCount(result, " ");
        if (n < 2)
            return result;
        word = FieldAt(result, n - 1, " ");
        if (TextStartsWith(word, "https://")) {
            result = TrimText(RemoveSuffix(result, word));
            changed = true;
        }
        if (!changed)
            return result;
    }
}

std::string LowerAscii(const std::string& Text) {
    return base::LowerAscii(Text);
}

std::string UpperAscii(const std::string& Text) {
    return base::UpperAscii(Text);
}

bool SameTextAscii(const std::string& A, const std::string& B) {
    return base::EqualsIgnoringAsciiCase(A, B);
}

std::int64_t MaxOf(std::int64_t A, std::int64_t B) {
    return A > B ? A : B;
}

bool TryProfileTextToInt(const std::string& Text, int& Value) {
    std::uint64_t magnitude = 0;
    bool negative = false, hex = false;
    if (!ParseInteger(Text, INT32_MIN, INT32_MAX, UINT32_MAX, magnitude, negative, hex))
        return false;
    if (hex)
        Value = static_cast<int>(static_cast<std::int32_t>(static_cast<std::uint32_t>(magnitude)));
    else
        Value = negative ? static_cast<int>(-static_cast<std::int64_t>(magnitude))
                         : static_cast<int>(magnitude);
    return true;
}

int ProfileTextToIntDef(const std::string& Text, int Default) {
    int value = Default;
    return TryProfileTextToInt(Text, value) ? value : Default;
}

std::int32_t TextToIntDef(const std::string& Text, std::int32_t Default) {
    std::size_t i = 0;
    const std::size_t n = Text.size();
    while (i < n && Text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < n && (Text[i] == '+' || Text[i] == '-')) {
        negative = Text[i] == '-';
        ++i;
    }
    std::uint64_t value = 0;
    std::size_t digits = 0;
    if (i < n && (Text[i] == '$' || Text[i] == 'x' || Text[i] == 'X' ||
                  (Text[i] == '0' && i + 1 < n && (Text[i + 1] == 'x' || Text[i + 1] == 'X')))) {
        i += Text[i] == '0' ? 2 : 1;
        for (; i < n; ++i, ++digits) {
            const char c = Text[i];
            int d = -1;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (c >= 'a' && c <= 'f')
                d = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                d = c - 'A' + 10;
            if (d < 0 || digits >= 8)
                return Default;
            value = value * 16 + static_cast<std::uint64_t>(d);
        }
        if (digits == 0)
            return Default;
        // Accumulated in 32 bits and read as signed: $FFFFFFFF is -1.
        const std::uint32_t bits = static_cast<std::uint32_t>(value);
        const std::uint32_t result = negative ? 0u - bits : bits;
        return static_cast<std::int32_t>(result);
    }
    for (; i < n; ++i, ++digits) {
        const char c = Text[i];
        if (c < '0' || c > '9')
            return Default;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > 2147483648ull)
            return Default;
    }
    if (digits == 0)
        return Default;
    if (negative)
        return static_cast<std::int32_t>(0 - static_cast<std::int64_t>(value));
    if (value > 2147483647ull)
        return Default;
    return static_cast<std::int32_t>(value);
}
