#include "identity/U_Version.h"

#include "services/text.h"

namespace {

// Shift and add in 32 bits that wrap, as the version words are built.
std::uint32_t PackHalf(std::int32_t Hi, std::int32_t Lo) {
    return (static_cast<std::uint32_t>(Hi) << 16) + static_cast<std::uint32_t>(Lo);
}

std::int32_t ClampField(std::int32_t Value) {
    return Value > 65535 ? 0 : Value;
}

} // namespace

TTallyVersion::TTallyVersion(std::uint32_t High, std::uint32_t Low)
    : Major(static_cast<std::int32_t>(High >> 16)), Minor(static_cast<std::int32_t>(High & 0xFFFF)),
      Release(static_cast<std::int32_t>(Low >> 16)),
      Build(static_cast<std::int32_t>(Low & 0xFFFF)) {}

void TTallyVersion::Parse(const std::string& Text) {
    std::string s = Text;
    while (FieldCount(s, ".") < 4)
        s += ".0";
    const std::size_t p1 = s.find('.');
    const std::size_t p2 = s.find('.', p1 + 1);
    const std::size_t p3 = s.find('.', p2 + 1);
    Major = ClampField(TextToIntDef(s.substr(0, p1), 0));
    Minor = ClampField(TextToIntDef(s.substr(p1 + 1, p2 - p1 - 1), 0));
    Release = ClampField(TextToIntDef(s.substr(p2 + 1, p3 - p2 - 1), 0));
    Build = ClampField(TextToIntDef(s.substr(p3 + 1), 0));
}

std::uint32_t TTallyVersion::HighPart() const {
    return PackHalf(Major, Minor);
}

std::uint32_t TTallyVersion::LowPart() const {
    return PackHalf(Release, Build);
}

std::string TTallyVersion::ToText() const {
    return std::to_string(Major) + "." + std::to_string(Minor) + "." + std::to_string(Release) +
           "." + std::to_string(Build);
}

std::string TTallyVersion::HighText() const {
    return std::to_string(HighPart());
}

std::string TTallyVersion::LowText() const {
    return std::to_string(LowPart());
}

bool TTallyVersion::IsValid() const {
    // Signed 32-bit sum that wraps; computed unsigned to keep the overflow defined.
    const std::uint32_t sum =
        static_cast<std::uint32_t>(Major) + static_cast<std::uint32_t>(Minor) +
        static_cast<std::uint32_t>(Release) + static_cast<std::uint32_t>(Build);
    return static_cast<std::int32_t>(sum) > 0;
}

bool TTallyVersion::IsNewerThan(const TTallyVersion& Other) const {
    if (Major != Other.Major)
        return Major > Other.Major;
    if (Minor != Other.Minor)
        return Minor > Other.Minor;
    if (Release != Other.Release)
        return Release > Other.Release;
    return Build > Other.Build;
}

bool TTallyVersion::IsNewerThanParts(std::uint32_t High, std::uint32_t Low) const {
    if (HighPart() != High)
        return HighPart() > High;
    return LowPart() > Low;
}
