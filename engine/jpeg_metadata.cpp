#include "engine/jpeg_metadata.h"

#include "engine/exif.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace {

constexpr char kExifSignature[] = "Exif\0"; // followed by one padding byte
constexpr std::size_t kExifHeader = 6;
constexpr char kXmpSignature[] = "http://ns.adobe.com/xap/1.0/";
constexpr char kExtendedXmpSignature[] = "http://ns.adobe.com/xmp/extension/";
// Signature and its NUL, GUID (32 hex digits), full length and offset (32 bits each).
constexpr std::size_t kExtendedXmpHeader = sizeof kExtendedXmpSignature + 32 + 8;
constexpr char kIccSignature[] = "ICC_PROFILE";
constexpr std::size_t kIccHeader = sizeof kIccSignature + 2; // NUL, sequence number, count
constexpr char kPhotoshopSignature[] = "Photoshop 3.0";

// True when data starts with the signature and its terminating NUL.
template <std::size_t N>
bool HasSignature(const std::vector<std::uint8_t>& data, const char (&signature)[N]) {
    return data.size() >= N && std::memcmp(data.data(), signature, N) == 0;
}

bool IsExif(const TJpegSegment& s) {
    return s.marker == kMarkerApp1 && s.data.size() >= kExifHeader &&
           std::memcmp(s.data.data(), kExifSignature, 5) == 0;
}

bool IsIcc(const TJpegSegment& s) {
    return s.marker == kMarkerApp2 && s.data.size() >= kIccHeader &&
           HasSignature(s.data, kIccSignature);
}

bool IsExtendedXmp(const TJpegSegment& s) {
    return s.marker == kMarkerApp1 && s.data.size() >= kExtendedXmpHeader &&
           HasSignature(s.data, kExtendedXmpSignature);
}

std::uint32_t BigEndian32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// The ICC chunks in sequence order when they are exactly 1..count, all of one count, and
// make up a profile at least as long as its header says; otherwise none.
std::vector<const TJpegSegment*> IccChunks(const std::vector<TJpegSegment>& saved) {
    std::vector<const TJpegSegment*> chunks;
    for (const TJpegSegment& s : saved) {
        if (IsIcc(s)) {
            chunks.push_back(&s);
        }
    }
    if (chunks.empty()) {
        return chunks;
    }
    const unsigned count = chunks[0]->data[kIccHeader - 1];
    std::stable_sort(chunks.begin(), chunks.end(), [](const auto* a, const auto* b) {
        return a->data[kIccHeader - 2] < b->data[kIccHeader - 2];
    });
    bool whole = count != 0 && chunks.size() == count;
    std::size_t size = 0;
    for (std::size_t i = 0; whole && i < chunks.size(); ++i) {
        whole =
            chunks[i]->data[kIccHeader - 2] == i + 1 && chunks[i]->data[kIccHeader - 1] == count;
        size += chunks[i]->data.size() - kIccHeader;
    }
    if (whole) {
        const auto& first = chunks[0]->data;
        whole = first.size() >= kIccHeader + 4 && BigEndian32(first.data() + kIccHeader) <= size;
    }
    if (!whole) {
        chunks.clear();
    }
    return chunks;
}

// Extended XMP comes in pieces of one packet (same GUID); a packet is kept when its pieces
// cover its full length exactly, without gaps or overlaps.
std::map<std::string, bool> WholeExtendedXmp(const std::vector<TJpegSegment>& saved) {
    std::map<std::string, std::vector<std::pair<std::uint32_t, std::uint32_t>>> pieces;
    std::map<std::string, std::uint32_t> lengths;
    std::map<std::string, bool> whole;
    for (const TJpegSegment& s : saved) {
        if (!IsExtendedXmp(s)) {
            continue;
        }
        const std::uint8_t* p = s.data.data() + sizeof kExtendedXmpSignature;
        const std::string guid(reinterpret_cast<const char*>(p), 32);
        const std::uint32_t full = BigEndian32(p + 32);
        const std::uint32_t offset = BigEndian32(p + 36);
        const auto size = static_cast<std::uint32_t>(s.data.size() - kExtendedXmpHeader);
        if (lengths.count(guid) != 0 && lengths[guid] != full) {
            whole[guid] = false;
        }
        lengths.emplace(guid, full);
        whole.emplace(guid, true);
        pieces[guid].push_back({offset, size});
    }
    for (auto& [guid, list] : pieces) {
        std::sort(list.begin(), list.end());
        std::uint64_t next = 0;
        for (const auto& [offset, size] : list) {
            if (offset != next) {
                whole[guid] = false;
            }
            next = std::uint64_t{offset} + size;
        }
        if (next != lengths[guid]) {
            whole[guid] = false;
        }
    }
    return whole;
}

} // namespace

int TPictureMetadata::Orientation() const {
    for (const TJpegSegment& s : segments) {
        if (IsExif(s)) {
            return ExifOrientation(TExifData(s.data.begin() + kExifHeader, s.data.end()));
        }
    }
    return 1;
}

void TPictureMetadata::SetOrientation(int orientation) {
    for (TJpegSegment& s : segments) {
        if (IsExif(s)) {
            TExifData tiff(s.data.begin() + kExifHeader, s.data.end());
            if (SetExifOrientation(tiff, orientation)) {
                std::copy(tiff.begin(), tiff.end(), s.data.begin() + kExifHeader);
            }
            return;
        }
    }
}

std::vector<std::uint8_t> TPictureMetadata::IccProfile() const {
    std::vector<std::uint8_t> profile;
    for (const TJpegSegment& s : segments) {
        if (IsIcc(s)) {
            profile.insert(profile.end(), s.data.begin() + kIccHeader, s.data.end());
        }
    }
    return profile;
}

TPictureMetadata KeepMetadata(const std::vector<TJpegSegment>& saved,
                              std::vector<std::string>& warnings) {
    TPictureMetadata kept;
    const std::vector<const TJpegSegment*> icc = IccChunks(saved);
    const std::map<std::string, bool> extended = WholeExtendedXmp(saved);
    bool iccDone = false;
    bool iccWarned = false;
    bool xmpWarned = false;
    for (const TJpegSegment& s : saved) {
        if (IsExif(s)) {
            TExifData tiff(s.data.begin() + kExifHeader, s.data.end());
            std::string problem;
            if (!CleanExif(tiff, problem)) {
                warnings.push_back("EXIF data dropped: " + problem);
                continue;
            }
            TJpegSegment clean{s.marker, {s.data.begin(), s.data.begin() + kExifHeader}};
            clean.data.insert(clean.data.end(), tiff.begin(), tiff.end());
            kept.segments.push_back(std::move(clean));
        } else if (IsExtendedXmp(s)) {
            const std::string guid(
                reinterpret_cast<const char*>(s.data.data() + sizeof kExtendedXmpSignature), 32);
            if (extended.at(guid)) {
                kept.segments.push_back(s);
            } else if (!xmpWarned) {
                warnings.push_back("extended XMP dropped: some of its pieces are missing");
                xmpWarned = true;
            }
        } else if (s.marker == kMarkerApp1 && HasSignature(s.data, kXmpSignature)) {
            kept.segments.push_back(s);
        } else if (IsIcc(s)) {
            if (icc.empty()) {
                if (!iccWarned) {
                    warnings.push_back("colour profile dropped: some of its chunks are missing");
                    iccWarned = true;
                }
            } else if (!iccDone) {
                for (const TJpegSegment* chunk : icc) {
                    kept.segments.push_back(*chunk);
                }
                iccDone = true;
            }
        } else if ((s.marker == kMarkerApp13 && HasSignature(s.data, kPhotoshopSignature)) ||
                   s.marker == kMarkerCom) {
            kept.segments.push_back(s);
        }
    }
    return kept;
}
