#pragma once
// The metadata markers a photograph carries and an export writes back: EXIF and XMP (APP1,
// extended XMP included), the ICC profile (APP2), IPTC/Photoshop (APP13) and comments (COM).

#include <cstdint>
#include <string>
#include <vector>

// One marker segment: its code (0xE0 + n for APPn, 0xFE for COM) and its payload.
struct TJpegSegment {
    int marker = 0;
    std::vector<std::uint8_t> data;
    bool operator==(const TJpegSegment&) const = default;
};

constexpr int kMarkerApp1 = 0xE1;
constexpr int kMarkerApp2 = 0xE2;
constexpr int kMarkerApp13 = 0xED;
constexpr int kMarkerCom = 0xFE;

class TPictureMetadata {
  public:
    // The kept segments in the order they are written.
    std::vector<TJpegSegment> segments;

    bool Empty() const { return segments.empty(); }

    // The EXIF orientation (1 to 8); 1 without EXIF or without the tag.
    int Orientation() const;
    // Sets the orientation in the EXIF segment when it has the tag.
    void SetOrientation(int orientation);

    // The ICC profile put together from its chunks; empty without one.
    std::vector<std::uint8_t> IccProfile() const;

    bool operator==(const TPictureMetadata&) const = default;
};

// Picks from the marker segments of a file, in file order, those an export keeps: the EXIF
// thumbnail is dropped, ICC chunks are put in sequence order where the first one stood.
// Damaged metadata (EXIF pointing outside itself, ICC or extended XMP chunks missing) is
// dropped with a line in warnings; nothing here refuses the picture.
TPictureMetadata KeepMetadata(const std::vector<TJpegSegment>& saved,
                              std::vector<std::string>& warnings);
