#pragma once
// A small, bounds-checked walker of the EXIF (TIFF) structure, for the two edits an export
// needs: dropping the thumbnail and setting the orientation. Nothing is moved or rebuilt, so
// maker notes and other offset-based data stay valid.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The TIFF data of an EXIF segment: what follows "Exif\0\0" in APP1.
using TExifData = std::vector<std::uint8_t>;

// Checks the structure (header, IFD0, the EXIF, GPS and interoperability IFDs and every value
// they point to) and removes the thumbnail: the link to the second IFD is cut, its entries and
// the thumbnail bytes are zeroed, and they are cut off when they end the data.
// False (data unchanged) when the structure is damaged; problem then says how.
bool CleanExif(TExifData& tiff, std::string& problem);

// The orientation tag of IFD0 (1 to 8); 1 when absent, out of range or the data is damaged.
int ExifOrientation(const TExifData& tiff);

// Sets the orientation tag of IFD0 in place; false when there is none (or the data is damaged).
bool SetExifOrientation(TExifData& tiff, int orientation);
