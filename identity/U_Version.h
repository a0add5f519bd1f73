#pragma once
#include <cstdint>
#include <string>

// A four-part dotted version number (major.minor.release.build). Fields are signed so that a
// negative number in a version text survives parsing; none is ever above 65535.
class TTallyVersion {
  public:
    TTallyVersion() = default;
    explicit TTallyVersion(const std::string& Text) { Parse(Text); }
    // From the two 32-bit words of a version resource: major.minor in High, release.build in Low.
    TTallyVersion(std::uint32_t High, std::uint32_t Low);

    // Missing fields count as 0; a field that is not entirely a number becomes 0, and so does
    // one above 65535. Nothing is trimmed: "1.2.3.4\n" gives 1.2.3.0.
    void Parse(const std::string& Text);

    std::uint32_t HighPart() const;
    std::uint32_t LowPart() const;
    // "%d.%d.%d.%d"
    std::string ToText() const;
    // HighPart / LowPart as unsigned decimal.
    std::string HighText() const;
    std::string LowText() const;
    // The four fields add up (as signed 32-bit) to more than 0.
    bool IsValid() const;
    // Strictly newer, field by field as signed numbers.
    bool IsNewerThan(const TTallyVersion& Other) const;
    // Strictly newer than the pair (High, Low), compared as unsigned words.
    bool IsNewerThanParts(std::uint32_t High, std::uint32_t Low) const;

    std::int32_t Major = 0;
    std::int32_t Minor = 0;
    std::int32_t Release = 0;
    std::int32_t Build = 0;
};
