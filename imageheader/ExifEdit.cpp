// In-place Exif edits over a byte buffer; every offset is checked against the buffer first.
#include "ExifEdit.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "TiffTags.h"

namespace korvale {
namespace {

// Bytes per value of TIFF types 1 to 13; 0 for types a reader may not know.
size_t TypeSize(uint16_t type) {
    static constexpr size_t kSizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
    return type < sizeof kSizes / sizeof kSizes[0] ? kSizes[type] : 0;
}

struct Range {
    size_t begin;
    size_t end;
    bool Overlaps(const Range& o) const { return begin < o.end && o.begin < end; }
};

struct Entry {
    size_t at;  // offset of the 12-byte entry
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    size_t valueAt;    // inline value field, or the out-of-line data
    size_t valueSize;  // 0 for unknown types
    bool outOfLine;
};

struct Ifd {
    size_t at;
    std::vector<Entry> entries;
    size_t nextAt;  // the link to the next IFD
    Range Region() const { return {at, nextAt + 4}; }
};

class Tiff {
public:
    Tiff(uint8_t* data, size_t size) : d_(data), n_(size) {}

    bool Open() {
        if (n_ < 8) {
            return false;
        }
        if (d_[0] == 'M' && d_[1] == 'M') {
            bigEndian_ = true;
        } else if (d_[0] == 'I' && d_[1] == 'I') {
            bigEndian_ = false;
        } else {
            return false;
        }
        return U16(2) == 42;
    }

    uint16_t U16(size_t at) const {
        return static_cast<uint16_t>(bigEndian_ ? (d_[at] << 8) | d_[at + 1]
                                                : d_[at] | (d_[at + 1] << 8));
    }
    uint32_t U32(size_t at) const {
        const uint32_t a = d_[at], b = d_[at + 1], c = d_[at + 2], e = d_[at + 3];
        return bigEndian_ ? (a << 24) | (b << 16) | (c << 8) | e
                          : a | (b << 8) | (c << 16) | (e << 24);
    }
    void Put16(size_t at, uint16_t v) {
        d_[at + (bigEndian_ ? 0 : 1)] = static_cast<uint8_t>(v >> 8);
        d_[at + (bigEndian_ ? 1 : 0)] = static_cast<uint8_t>(v);
    }
    void Put32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            d_[at + static_cast<size_t>(bigEndian_ ? 3 - i : i)] =
                static_cast<uint8_t>(v >> (8 * i));
        }
    }

    // The IFD at `offset` with every entry's value inside the buffer.
    std::optional<Ifd> ReadIfd(uint64_t offset) const {
        if (offset < 8 || offset + 2 > n_) {
            return std::nullopt;
        }
        Ifd ifd;
        ifd.at = static_cast<size_t>(offset);
        const size_t count = U16(ifd.at);
        const uint64_t end = offset + 2 + 12 * static_cast<uint64_t>(count) + 4;
        if (end > n_) {
            return std::nullopt;
        }
        for (size_t i = 0; i < count; ++i) {
            Entry e;
            e.at = ifd.at + 2 + 12 * i;
            e.tag = U16(e.at);
            e.type = U16(e.at + 2);
            e.count = U32(e.at + 4);
            const uint64_t bytes = static_cast<uint64_t>(TypeSize(e.type)) * e.count;
            e.outOfLine = bytes > 4;
            e.valueAt = e.at + 8;
            e.valueSize = static_cast<size_t>(std::min<uint64_t>(bytes, 4));
            if (e.outOfLine) {
                const uint64_t valueOffset = U32(e.at + 8);
                // A value inside the header or its own IFD would be overwritten by (or
                // overwrite) the structure around it.
                if (valueOffset + bytes > n_ || valueOffset < 8 ||
                    (valueOffset < end && valueOffset + bytes > offset)) {
                    return std::nullopt;
                }
                e.valueAt = static_cast<size_t>(valueOffset);
                e.valueSize = static_cast<size_t>(bytes);
            }
            ifd.entries.push_back(e);
        }
        ifd.nextAt = static_cast<size_t>(end - 4);
        return ifd;
    }

    // A sub-IFD that `entry` links to.
    std::optional<Ifd> Follow(const Entry& entry) const {
        if ((entry.type != tiff::kTypeLong && entry.type != tiff::kTypeIfd) || entry.count != 1) {
            return std::nullopt;
        }
        return ReadIfd(U32(entry.valueAt));
    }

    // Writes a SHORT or LONG value of count 1 or more; other types are left.
    void PutUnsigned(const Entry& e, uint32_t value) {
        if (e.count < 1) {
            return;
        }
        if (e.type == tiff::kTypeShort && value <= 0xFFFF) {
            Put16(e.valueAt, static_cast<uint16_t>(value));
        } else if (e.type == tiff::kTypeLong) {
            Put32(e.valueAt, value);
        }
    }

    void Clear(const Range& r) { std::memset(d_ + r.begin, 0, r.end - r.begin); }

private:
    uint8_t* d_;
    size_t n_;
    bool bigEndian_ = false;
};

const Entry* Find(const Ifd& ifd, uint16_t tag) {
    for (const Entry& e : ifd.entries) {
        if (e.tag == tag) {
            return &e;
        }
    }
    return nullptr;
}

size_t CountOf(const Ifd& ifd, uint16_t tag) {
    return static_cast<size_t>(std::count_if(ifd.entries.begin(), ifd.entries.end(),
                                             [&](const Entry& e) { return e.tag == tag; }));
}

// The IFD's own bytes and its out-of-line values.
void AddRanges(const Ifd& ifd, std::vector<Range>& ranges) {
    ranges.push_back(ifd.Region());
    for (const Entry& e : ifd.entries) {
        if (e.outOfLine) {
            ranges.push_back({e.valueAt, e.valueAt + e.valueSize});
        }
    }
}

bool OverlapsAny(const Range& r, const std::vector<Range>& ranges) {
    return std::any_of(ranges.begin(), ranges.end(), [&](const Range& k) { return r.Overlaps(k); });
}

// The header and the IFDs are apart from each other and from every out-of-line value, so that
// a value written never lands in the structure and clearing one IFD never touches another.
bool Disjoint(std::initializer_list<const Ifd*> ifds) {
    std::vector<Range> structure = {{0, 8}};
    for (const Ifd* ifd : ifds) {
        if (ifd) {
            if (OverlapsAny(ifd->Region(), structure)) {
                return false;
            }
            structure.push_back(ifd->Region());
        }
    }
    for (const Ifd* ifd : ifds) {
        if (!ifd) {
            continue;
        }
        for (const Entry& e : ifd->entries) {
            if (e.outOfLine && OverlapsAny({e.valueAt, e.valueAt + e.valueSize}, structure)) {
                return false;
            }
        }
    }
    return true;
}

void SetResolution(Tiff& tiff, const Ifd& ifd0, uint32_t dpi) {
    for (const Entry& e : ifd0.entries) {
        if ((e.tag == tiff::kXResolution || e.tag == tiff::kYResolution) &&
            e.type == tiff::kTypeRational && e.count == 1) {
            tiff.Put32(e.valueAt, dpi);
            tiff.Put32(e.valueAt + 4, 1);
        } else if (e.tag == tiff::kResolutionUnit && e.type == tiff::kTypeShort && e.count == 1) {
            tiff.Put16(e.valueAt, 2);
        }
    }
}

}  // namespace

bool SetExifResolution(uint8_t* data, size_t size, uint32_t dpi) {
    Tiff tiff(data, size);
    if (!tiff.Open()) {
        return false;
    }
    const std::optional<Ifd> ifd0 = tiff.ReadIfd(tiff.U32(4));
    if (!ifd0) {
        return false;
    }
    SetResolution(tiff, *ifd0, dpi);
    return true;
}

std::optional<ByteBuffer> ExifWithResolution(const ByteBuffer& source, uint32_t dpi) {
    ByteBuffer out = source.empty() ? ByteBuffer{'I', 'I', 42, 0, 0, 0, 0, 0} : source;
    std::optional<Ifd> ifd0;
    {
        Tiff tiff(out.data(), out.size());
        if (!tiff.Open()) {
            return std::nullopt;
        }
        if (source.empty()) {
            ifd0 = Ifd{0, {}, 0};
        } else {
            ifd0 = tiff.ReadIfd(tiff.U32(4));
            if (!ifd0) {
                return std::nullopt;
            }
            const auto single = [&](uint16_t tag, uint16_t type) {
                const Entry* e = Find(*ifd0, tag);
                return e != nullptr && e->type == type && e->count == 1 && CountOf(*ifd0, tag) == 1;
            };
            if (single(tiff::kXResolution, tiff::kTypeRational) &&
                single(tiff::kYResolution, tiff::kTypeRational) &&
                single(tiff::kResolutionUnit, tiff::kTypeShort)) {
                SetResolution(tiff, *ifd0, dpi);
                return out;
            }
        }
    }
    static constexpr uint16_t kAdded[3] = {tiff::kXResolution, tiff::kYResolution,
                                           tiff::kResolutionUnit};
    std::vector<std::pair<uint16_t, size_t>> order;  // tag, and the old entry's offset (0: new)
    for (const Entry& e : ifd0->entries) {
        if (std::find(std::begin(kAdded), std::end(kAdded), e.tag) == std::end(kAdded)) {
            order.emplace_back(e.tag, e.at);
        }
    }
    for (uint16_t tag : kAdded) {
        order.emplace_back(tag, 0);
    }
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    if (order.size() > 0xFFFF || out.size() > 0xFFFF0000u) {
        return std::nullopt;
    }
    if (out.size() % 2 != 0) {
        out.push_back(0);  // IFDs start on a word boundary
    }
    const size_t at = out.size();
    const size_t rationals = at + 2 + 12 * order.size() + 4;
    out.resize(rationals + 16, 0);
    Tiff tiff(out.data(), out.size());
    tiff.Open();
    const uint32_t oldNext = source.empty() ? 0 : tiff.U32(ifd0->nextAt);
    tiff.Put16(at, static_cast<uint16_t>(order.size()));
    size_t slot = at + 2;
    for (const auto& [tag, old] : order) {
        if (old != 0) {
            std::memmove(out.data() + slot, out.data() + old, 12);
        } else {
            const bool unit = tag == tiff::kResolutionUnit;
            tiff.Put16(slot, tag);
            tiff.Put16(slot + 2, unit ? tiff::kTypeShort : tiff::kTypeRational);
            tiff.Put32(slot + 4, 1);
            if (unit) {
                tiff.Put32(slot + 8, 0);
                tiff.Put16(slot + 8, 2);
            } else {
                const size_t value = rationals + (tag == tiff::kXResolution ? 0 : 8);
                tiff.Put32(slot + 8, static_cast<uint32_t>(value));
                tiff.Put32(value, dpi);
                tiff.Put32(value + 4, 1);
            }
        }
        slot += 12;
    }
    tiff.Put32(slot, oldNext);
    tiff.Put32(4, static_cast<uint32_t>(at));
    return out;
}

std::optional<ByteBuffer> ExifForOutput(const ByteBuffer& source, bool keepGps, uint32_t width,
                                        uint32_t height, uint32_t dpi) {
    ByteBuffer out = source;
    Tiff tiff(out.data(), out.size());
    if (!tiff.Open()) {
        return std::nullopt;
    }
    const std::optional<Ifd> ifd0 = tiff.ReadIfd(tiff.U32(4));
    if (!ifd0) {
        return std::nullopt;
    }
    // What stays linked, so that clearing never touches it.
    std::vector<Range> kept = {{0, 8}};
    AddRanges(*ifd0, kept);
    // A second link would keep what unlinking the first one removes.
    if (CountOf(*ifd0, tiff::kGpsIfd) > 1 || CountOf(*ifd0, tiff::kExifIfd) > 1) {
        return std::nullopt;
    }
    const Entry* gpsEntry = Find(*ifd0, tiff::kGpsIfd);
    std::optional<Ifd> gps;
    if (gpsEntry) {
        gps = tiff.Follow(*gpsEntry);
        if (!gps) {
            return std::nullopt;
        }
        if (keepGps) {
            AddRanges(*gps, kept);
        }
    }
    std::optional<Ifd> exif;
    std::optional<Ifd> interop;
    if (const Entry* link = Find(*ifd0, tiff::kExifIfd)) {
        exif = tiff.Follow(*link);
        if (!exif) {
            return std::nullopt;
        }
        AddRanges(*exif, kept);
        if (const Entry* interopLink = Find(*exif, tiff::kInteropIfd)) {
            interop = tiff.Follow(*interopLink);
            if (!interop) {
                return std::nullopt;
            }
            AddRanges(*interop, kept);
        }
    }
    if (!Disjoint({&*ifd0, gps ? &*gps : nullptr, exif ? &*exif : nullptr,
                   interop ? &*interop : nullptr})) {
        return std::nullopt;
    }
    if (exif) {
        for (const Entry& e : exif->entries) {
            if (e.tag == tiff::kPixelXDimension) {
                tiff.PutUnsigned(e, width);
            } else if (e.tag == tiff::kPixelYDimension) {
                tiff.PutUnsigned(e, height);
            }
        }
    }
    for (const Entry& e : ifd0->entries) {
        if (e.tag == tiff::kOrientation && e.type == tiff::kTypeShort && e.count >= 1) {
            tiff.Put16(e.valueAt, 1);
        } else if (e.tag == tiff::kImageWidth) {
            tiff.PutUnsigned(e, width);
        } else if (e.tag == tiff::kImageLength) {
            tiff.PutUnsigned(e, height);
        }
    }
    SetResolution(tiff, *ifd0, dpi);

    if (gps && !keepGps) {
        // The coordinates must not stay behind as unlinked bytes either.
        std::vector<Range> gpsRanges;
        AddRanges(*gps, gpsRanges);
        for (const Range& r : gpsRanges) {
            if (OverlapsAny(r, kept)) {
                return std::nullopt;
            }
        }
        for (const Range& r : gpsRanges) {
            tiff.Clear(r);
        }
    }

    // The thumbnail: IFD1 and the image it points to.
    const uint32_t ifd1Offset = tiff.U32(ifd0->nextAt);
    if (ifd1Offset != 0) {
        if (const std::optional<Ifd> ifd1 = tiff.ReadIfd(ifd1Offset)) {
            std::vector<Range> thumb;
            AddRanges(*ifd1, thumb);
            const Entry* offset = Find(*ifd1, tiff::kThumbnailOffset);
            const Entry* length = Find(*ifd1, tiff::kThumbnailLength);
            if (!offset || !length) {
                offset = Find(*ifd1, tiff::kStripOffsets);
                length = Find(*ifd1, tiff::kStripByteCounts);
            }
            if (offset && length && offset->count == 1 && length->count == 1 &&
                offset->type == tiff::kTypeLong && length->type == tiff::kTypeLong) {
                const uint64_t begin = tiff.U32(offset->valueAt);
                const uint64_t end = begin + tiff.U32(length->valueAt);
                if (end <= out.size()) {
                    thumb.push_back({static_cast<size_t>(begin), static_cast<size_t>(end)});
                }
            }
            for (const Range& r : thumb) {
                if (!OverlapsAny(r, kept)) {
                    tiff.Clear(r);
                }
            }
        }
    }

    // Unlink: IFD0 ends without a next IFD, and loses its GPS entry by moving the later
    // entries and the link up by one.
    tiff.Put32(ifd0->nextAt, 0);
    if (gps && !keepGps) {
        const size_t from = gpsEntry->at + 12;
        const size_t end = ifd0->nextAt + 4;
        std::memmove(out.data() + gpsEntry->at, out.data() + from, end - from);
        std::memset(out.data() + end - 12, 0, 12);
        tiff.Put16(ifd0->at, static_cast<uint16_t>(ifd0->entries.size() - 1));
        // IFD0 is one entry shorter now (kept[1] is its region), so a second pass cuts the same.
        kept[1].end -= 12;
    }

    // Cut what was cleared at the end (usually the thumbnail), never a linked or non-zero byte.
    size_t keepTo = 8;
    for (const Range& r : kept) {
        keepTo = std::max(keepTo, r.end);
    }
    size_t lastNonZero = out.size();
    while (lastNonZero > keepTo && out[lastNonZero - 1] == 0) {
        --lastNonZero;
    }
    out.resize(lastNonZero);
    return out;
}

std::optional<ByteBuffer> IsoExifWithResolution(const uint8_t* payload, size_t size, uint32_t dpi) {
    if (payload == nullptr) {
        ByteBuffer out = {0, 0, 0, 0};
        const ByteBuffer tiff = *ExifWithResolution({}, dpi);
        out.insert(out.end(), tiff.begin(), tiff.end());
        return out;
    }
    if (size < 4) {
        return std::nullopt;
    }
    size_t headerAt = 4 + ((size_t{payload[0]} << 24) | (size_t{payload[1]} << 16) |
                           (size_t{payload[2]} << 8) | size_t{payload[3]});
    if (headerAt > size) {
        return std::nullopt;
    }
    if (size - headerAt >= 6 && std::memcmp(payload + headerAt, "Exif\0\0", 6) == 0) {
        headerAt += 6;
    }
    const std::optional<ByteBuffer> edited =
        ExifWithResolution(ByteBuffer(payload + headerAt, payload + size), dpi);
    if (!edited) {
        return std::nullopt;
    }
    ByteBuffer out(payload, payload + headerAt);
    out.insert(out.end(), edited->begin(), edited->end());
    return out;
}

}  // namespace korvale
