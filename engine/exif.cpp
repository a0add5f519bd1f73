#include "engine/exif.h"

#include <algorithm>
#include <set>
#include <utility>

namespace {

constexpr std::uint16_t kTagOrientation = 0x0112;
constexpr std::uint16_t kTagExifIfd = 0x8769;
constexpr std::uint16_t kTagGpsIfd = 0x8825;
constexpr std::uint16_t kTagInteropIfd = 0xA005;
constexpr std::uint16_t kTagStripOffsets = 0x0111;
constexpr std::uint16_t kTagStripByteCounts = 0x0117;
constexpr std::uint16_t kTagThumbnailOffset = 0x0201;
constexpr std::uint16_t kTagThumbnailLength = 0x0202;
constexpr std::uint16_t kTypeShort = 3;
constexpr std::uint16_t kTypeLong = 4;
// Real files nest three deep (IFD0, EXIF, interoperability); more only means a loop.
constexpr int kMaxDepth = 4;

using TRange = std::pair<std::size_t, std::size_t>; // [first, second)

std::size_t TypeSize(std::uint16_t type) {
    switch (type) {
    case 1: // BYTE
    case 2: // ASCII
    case 6: // SBYTE
    case 7: // UNDEFINED
        return 1;
    case 3: // SHORT
    case 8: // SSHORT
        return 2;
    case 4:  // LONG
    case 9:  // SLONG
    case 11: // FLOAT
    case 13: // IFD
        return 4;
    case 5:  // RATIONAL
    case 10: // SRATIONAL
    case 12: // DOUBLE
        return 8;
    default:
        return 0; // unknown: its value cannot be located, so it is left alone
    }
}

class TWalker {
  public:
    explicit TWalker(const TExifData& data) : d_(data) {}

    // Walks the whole structure; false with problem_ set when something lies outside the data.
    bool Walk() {
        if (d_.size() < 8) {
            return Damaged("the header is cut short");
        }
        if (d_[0] == 'I' && d_[1] == 'I') {
            big_ = false;
        } else if (d_[0] == 'M' && d_[1] == 'M') {
            big_ = true;
        } else {
            return Damaged("the byte order mark is missing");
        }
        if (U16(2) != 42) {
            return Damaged("the header is not TIFF");
        }
        kept_.push_back({0, 8});
        return WalkIfd(U32(4), 0, true);
    }

    const std::string& Problem() const { return problem_; }
    const std::vector<TRange>& Kept() const { return kept_; }
    const std::vector<TRange>& Thumbnail() const { return thumb_; }
    std::size_t NextLink() const { return nextLink_; }
    std::size_t OrientationAt() const { return orientationAt_; }
    std::uint16_t U16(std::size_t at) const {
        return static_cast<std::uint16_t>(big_ ? d_[at] << 8 | d_[at + 1]
                                               : d_[at + 1] << 8 | d_[at]);
    }
    std::uint32_t U32(std::size_t at) const {
        const std::uint32_t a = d_[at], b = d_[at + 1], c = d_[at + 2], e = d_[at + 3];
        return big_ ? a << 24 | b << 16 | c << 8 | e : e << 24 | c << 16 | b << 8 | a;
    }
    bool BigEndian() const { return big_; }

  private:
    bool Damaged(const char* what) {
        problem_ = what;
        return false;
    }

    bool Fits(std::size_t at, std::size_t size) const {
        return at <= d_.size() && size <= d_.size() - at;
    }

    // The bytes of an entry's value: in the entry itself when they fit in four bytes.
    bool ValueRange(std::size_t entry, TRange& range) const {
        const std::size_t size = TypeSize(U16(entry + 2));
        const std::uint64_t total = static_cast<std::uint64_t>(size) * U32(entry + 4);
        if (total <= 4) {
            range = {entry + 8, entry + 8 + static_cast<std::size_t>(total)};
            return true;
        }
        const std::size_t at = U32(entry + 8);
        if (total > d_.size() || !Fits(at, static_cast<std::size_t>(total))) {
            return false;
        }
        range = {at, at + static_cast<std::size_t>(total)};
        return true;
    }

    // Damage anywhere in the kept directories makes the whole structure damaged.
    bool WalkIfd(std::size_t at, int depth, bool ifd0) {
        if (depth > kMaxDepth || !visited_.insert(at).second) {
            return Damaged("its directories form a loop");
        }
        if (!Fits(at, 2) || !Fits(at + 2, std::size_t{U16(at)} * 12 + 4)) {
            return Damaged("a directory lies outside the data");
        }
        const std::size_t count = U16(at);
        kept_.push_back({at, at + 2 + count * 12 + 4});
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t entry = at + 2 + i * 12;
            TRange value;
            if (!ValueRange(entry, value)) {
                return Damaged("a value lies outside the data");
            }
            kept_.push_back(value);
            const std::uint16_t tag = U16(entry);
            const std::uint16_t type = U16(entry + 2);
            if (ifd0 && tag == kTagOrientation && type == kTypeShort && U32(entry + 4) >= 1) {
                orientationAt_ = entry + 8;
            }
            const bool sub = tag == kTagExifIfd || tag == kTagGpsIfd || tag == kTagInteropIfd;
            if (sub && (type == kTypeLong || type == 13) && U32(entry + 4) == 1 &&
                !WalkIfd(U32(entry + 8), depth + 1, false)) {
                return false;
            }
        }
        if (ifd0) {
            nextLink_ = at + 2 + count * 12;
            const std::size_t next = U32(nextLink_);
            if (next != 0) {
                WalkThumbnailIfd(next);
            }
        }
        return true;
    }

    // Collects what the thumbnail IFD holds; what lies outside the data is simply not there.
    void WalkThumbnailIfd(std::size_t at) {
        if (!Fits(at, 2) || !Fits(at + 2, std::size_t{U16(at)} * 12 + 4)) {
            return;
        }
        const std::size_t count = U16(at);
        thumb_.push_back({at, at + 2 + count * 12 + 4});
        std::uint32_t offset = 0, length = 0;
        std::vector<std::uint32_t> strips, stripLengths;
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t entry = at + 2 + i * 12;
            TRange value;
            if (!ValueRange(entry, value)) {
                continue;
            }
            if (value.first < at || value.first >= at + 2 + count * 12) {
                thumb_.push_back(value);
            }
            const std::uint16_t tag = U16(entry);
            const std::uint16_t type = U16(entry + 2);
            if (tag == kTagThumbnailOffset && type == kTypeLong) {
                offset = U32(entry + 8);
            } else if (tag == kTagThumbnailLength && type == kTypeLong) {
                length = U32(entry + 8);
            } else if ((tag == kTagStripOffsets || tag == kTagStripByteCounts) &&
                       (type == kTypeLong || type == kTypeShort)) {
                auto& list = tag == kTagStripOffsets ? strips : stripLengths;
                const std::size_t step = type == kTypeLong ? 4 : 2;
                for (std::size_t p = value.first; p + step <= value.second; p += step) {
                    list.push_back(step == 4 ? U32(p) : U16(p));
                }
            }
        }
        AddThumbnailBytes(offset, length);
        for (std::size_t i = 0; i < strips.size() && i < stripLengths.size(); ++i) {
            AddThumbnailBytes(strips[i], stripLengths[i]);
        }
    }

    void AddThumbnailBytes(std::size_t at, std::size_t length) {
        if (length > 0 && at < d_.size()) {
            thumb_.push_back({at, at + std::min(length, d_.size() - at)});
        }
    }

    const TExifData& d_;
    bool big_ = false;
    std::string problem_;
    std::vector<TRange> kept_, thumb_;
    std::set<std::size_t> visited_;
    std::size_t nextLink_ = 0;
    std::size_t orientationAt_ = 0;
};

// One flag per byte: which bytes a list of ranges covers.
std::vector<bool> Cover(const std::vector<TRange>& ranges, std::size_t size) {
    std::vector<bool> covered(size);
    for (const TRange& r : ranges) {
        std::fill(covered.begin() + static_cast<std::ptrdiff_t>(r.first),
                  covered.begin() + static_cast<std::ptrdiff_t>(r.second), true);
    }
    return covered;
}

} // namespace

bool CleanExif(TExifData& tiff, std::string& problem) {
    TWalker walker(tiff);
    if (!walker.Walk()) {
        problem = walker.Problem();
        return false;
    }
    if (walker.U32(walker.NextLink()) == 0 && walker.Thumbnail().empty()) {
        return true;
    }
    // The link belongs to IFD0's table (the second kept range) alone, or cutting it would
    // change something else as well.
    std::vector<TRange> others = walker.Kept();
    others.erase(others.begin() + 1);
    const std::vector<bool> shared = Cover(others, tiff.size());
    for (std::size_t i = 0; i < 4; ++i) {
        if (shared[walker.NextLink() + i]) {
            problem = "its directories overlap";
            return false;
        }
    }
    for (std::size_t i = 0; i < 4; ++i) {
        tiff[walker.NextLink() + i] = 0;
    }
    const std::vector<bool> kept = Cover(walker.Kept(), tiff.size());
    const std::vector<bool> thumb = Cover(walker.Thumbnail(), tiff.size());
    // Bytes that the kept directories also use (shared values) stay.
    for (std::size_t at = 0; at < tiff.size(); ++at) {
        if (thumb[at] && !kept[at]) {
            tiff[at] = 0;
        }
    }
    // Cut the end off when it is the thumbnail's and nothing kept lies there; up to three bytes
    // of word padding between its pieces count as its own.
    std::size_t keptEnd = 0;
    for (const TRange& r : walker.Kept()) {
        keptEnd = std::max(keptEnd, r.second);
    }
    std::size_t end = tiff.size();
    while (end > keptEnd) {
        if (thumb[end - 1]) {
            --end;
            continue;
        }
        std::size_t pad = end;
        while (pad > keptEnd && end - pad < 3 && !thumb[pad - 1]) {
            --pad;
        }
        if (pad != keptEnd && !thumb[pad - 1]) {
            break;
        }
        end = pad;
    }
    tiff.resize(end);
    return true;
}

int ExifOrientation(const TExifData& tiff) {
    TWalker walker(tiff);
    if (!walker.Walk() || walker.OrientationAt() == 0) {
        return 1;
    }
    const int value = walker.U16(walker.OrientationAt());
    return value >= 1 && value <= 8 ? value : 1;
}

bool SetExifOrientation(TExifData& tiff, int orientation) {
    TWalker walker(tiff);
    if (!walker.Walk() || walker.OrientationAt() == 0) {
        return false;
    }
    const std::size_t at = walker.OrientationAt();
    const auto value = static_cast<std::uint16_t>(orientation);
    tiff[at] = static_cast<std::uint8_t>(walker.BigEndian() ? value >> 8 : value & 0xFF);
    tiff[at + 1] = static_cast<std::uint8_t>(walker.BigEndian() ? value & 0xFF : value >> 8);
    return true;
}
