// PNG pHYs and TIFF resolution tags: patched in place, or inserted without moving any byte that
// an offset in the file points to.
#include "ResolutionEdit.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <unordered_set>
#include <utility>

#include "HeaderWalk.h"
#include "TiffTags.h"

namespace korvale {
namespace {

using tiff::kResolutionUnit;
using tiff::kXResolution;
using tiff::kYResolution;
constexpr uint16_t kShort = tiff::kTypeShort;
constexpr uint16_t kRational = tiff::kTypeRational;

void PutBe32(uint8_t* p, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(value >> (24 - 8 * i));
    }
}

// The 9 data bytes of a pHYs chunk and their CRC (taken over the type and the data).
std::array<uint8_t, 13> PhysDataAndCrc(uint32_t dpi) {
    const auto pixelsPerMetre = static_cast<uint32_t>(BmpPixelsPerMetre(dpi));
    uint8_t typed[13] = {'p', 'H', 'Y', 's'};
    PutBe32(typed + 4, pixelsPerMetre);
    PutBe32(typed + 8, pixelsPerMetre);
    typed[12] = 1;
    std::array<uint8_t, 13> out{};
    std::copy(typed + 4, typed + 13, out.begin());
    PutBe32(out.data() + 9, static_cast<uint32_t>(crc32(crc32(0, nullptr, 0), typed, 13)));
    return out;
}

bool Overlap(uint64_t a, uint64_t aSize, uint64_t b, uint64_t bSize) {
    return a < b + bSize && b < a + aSize;
}

bool IsRationalOfOne(const TiffEntry& entry) {
    return entry.present && entry.type == kRational && entry.count == 1;
}

bool Readable(const TiffLayout& tiff) {
    return tiff.ScalarOf(tiff.width) != 0 && tiff.ScalarOf(tiff.height) != 0;
}

std::array<uint8_t, 8> Rational(const TiffLayout& tiff, uint32_t dpi) {
    std::array<uint8_t, 8> out{};
    tiff.Put32(out.data(), dpi);
    tiff.Put32(out.data() + 4, 1);
    return out;
}

}  // namespace

ResolutionEdit PlanBmpResolution(ByteSource& source, uint32_t dpi) {
    BmpLayout bmp;
    if (!WalkBmp(source, bmp) || bmp.infoSize < 40) {
        return {};
    }
    const auto value = static_cast<uint32_t>(BmpPixelsPerMetre(dpi));
    std::vector<uint8_t> fields(8);
    for (size_t i = 0; i < 4; ++i) {
        fields[i] = fields[i + 4] = static_cast<uint8_t>(value >> (8 * i));
    }
    // Past width, height, planes, bit count, compression and image size.
    return {ResolutionEdit::Kind::InPlace, {{38, std::move(fields)}}};
}

ResolutionEdit PlanPngResolution(ByteSource& source, uint32_t dpi) {
    ResolutionEdit edit;
    PngLayout png;
    if (!WalkPng(source, png) || png.damagedPhys) {
        return edit;
    }
    if (png.hasPhys) {
        const std::array<uint8_t, 13> bytes = PhysDataAndCrc(dpi);
        edit.kind = ResolutionEdit::Kind::InPlace;
        edit.patches.push_back({png.physAt, {bytes.begin(), bytes.end()}});
    } else if (png.firstIdat != 0) {
        edit.kind = ResolutionEdit::Kind::Insert;
    }
    return edit;
}

ResolutionEdit PlanTiffResolution(ByteSource& source, uint32_t dpi) {
    ResolutionEdit edit;
    TiffLayout tiff;
    if (!WalkTiff(source, tiff) || !Readable(tiff)) {
        return edit;
    }
    edit.kind = ResolutionEdit::Kind::Insert;
    const TiffEntry& x = tiff.xResolution;
    const TiffEntry& y = tiff.yResolution;
    const TiffEntry& unit = tiff.resolutionUnit;
    if (!IsRationalOfOne(x) || !IsRationalOfOne(y) || !unit.present || unit.type != kShort ||
        unit.count != 1) {
        return edit;
    }
    // A value written in place must not land on the header, the IFD or the other value.
    const uint64_t ifdSize = 2 + 12 * static_cast<uint64_t>(tiff.entryCount) + 4;
    for (const TiffEntry* rational : {&x, &y}) {
        uint8_t probe[8];
        if (!source.ReadAt(rational->value, probe, sizeof probe) ||
            Overlap(rational->value, 8, 0, 8) || Overlap(rational->value, 8, tiff.ifd0, ifdSize)) {
            return edit;
        }
    }
    if (x.value != y.value && Overlap(x.value, 8, y.value, 8)) {
        return edit;
    }
    const std::array<uint8_t, 8> rational = Rational(tiff, dpi);
    uint8_t inch[2];
    tiff.Put16(inch, 2);
    edit.kind = ResolutionEdit::Kind::InPlace;
    edit.patches.push_back({x.value, {rational.begin(), rational.end()}});
    edit.patches.push_back({y.value, {rational.begin(), rational.end()}});
    edit.patches.push_back({unit.at + 8, {inch, inch + 2}});
    return edit;
}

namespace {

// Readers stop at an IFD that the chain reached before. The old IFD0 is no longer the first,
// so a link back to it (or any other loop) would show it as one more page: the link that closes
// a loop is cut, and the chain ends where readers ended it. So is a link to an IFD that did not
// fit in the old bytes: it would now lead into the new IFD and its values. A cut is written only
// where it cannot land on the header or the new IFD and its values; for a link that lies there
// (a chain through the header, say), the chain ends at the last link before it that may be
// written.
void CutChainLoop(std::vector<uint8_t>& tiff, const TiffLayout& layout, uint64_t linkAt,
                  uint32_t oldFirst, size_t oldSize) {
    uint64_t writable = linkAt;  // the new IFD's own link
    const auto cut = [&](uint64_t at) {
        layout.Put32(tiff.data() + (at >= 8 && at + 4 <= oldSize ? at : writable), 0);
    };
    // Far more IFDs than any file has; each costs a read of a few bytes.
    constexpr size_t kMaxIfds = 1u << 16;
    std::unordered_set<uint32_t> seen = {oldFirst};
    while (seen.size() < kMaxIfds) {
        const uint32_t ifd = layout.Get32(tiff.data() + linkAt);
        if (ifd == 0) {
            return;
        }
        if (!seen.insert(ifd).second || uint64_t{ifd} + 2 > oldSize) {
            cut(linkAt);
            return;
        }
        const uint64_t nextAt = uint64_t{ifd} + 2 + 12 * uint64_t{layout.Get16(tiff.data() + ifd)};
        if (nextAt + 4 > oldSize) {
            cut(linkAt);
            return;
        }
        if (linkAt >= 8 && linkAt + 4 <= oldSize) {
            writable = linkAt;
        }
        linkAt = nextAt;
    }
}

std::vector<uint8_t> Patched(const std::vector<uint8_t>& bytes, const ResolutionEdit& edit) {
    std::vector<uint8_t> out = bytes;
    for (const BytePatch& patch : edit.patches) {
        std::copy(patch.bytes.begin(), patch.bytes.end(),
                  out.begin() + static_cast<std::ptrdiff_t>(patch.offset));
    }
    return out;
}

}  // namespace

std::optional<std::vector<uint8_t>> PngWithResolution(const std::vector<uint8_t>& png,
                                                      uint32_t dpi) {
    MemorySource source(png);
    const ResolutionEdit edit = PlanPngResolution(source, dpi);
    if (edit.kind == ResolutionEdit::Kind::None) {
        return std::nullopt;
    }
    if (edit.kind == ResolutionEdit::Kind::InPlace) {
        return Patched(png, edit);
    }
    PngLayout layout;
    WalkPng(source, layout);
    uint8_t chunk[21] = {0, 0, 0, 9, 'p', 'H', 'Y', 's'};
    const std::array<uint8_t, 13> data = PhysDataAndCrc(dpi);
    std::copy(data.begin(), data.end(), chunk + 8);
    std::vector<uint8_t> out = png;
    out.insert(out.begin() + static_cast<std::ptrdiff_t>(layout.firstIdat), std::begin(chunk),
               std::end(chunk));
    return out;
}

std::optional<std::vector<uint8_t>> TiffWithResolution(const std::vector<uint8_t>& tiff,
                                                       uint32_t dpi) {
    MemorySource source(tiff);
    const ResolutionEdit edit = PlanTiffResolution(source, dpi);
    if (edit.kind == ResolutionEdit::Kind::None) {
        return std::nullopt;
    }
    if (edit.kind == ResolutionEdit::Kind::InPlace) {
        return Patched(tiff, edit);
    }
    TiffLayout layout;
    WalkTiff(source, layout);
    using Entry = std::array<uint8_t, 12>;
    std::vector<Entry> entries;
    const uint8_t* first = tiff.data() + layout.ifd0 + 2;
    for (uint32_t i = 0; i < layout.entryCount; ++i) {
        Entry entry;
        std::copy(first + 12 * i, first + 12 * i + 12, entry.begin());
        const uint16_t tag = layout.Get16(entry.data());
        if (tag != kXResolution && tag != kYResolution && tag != kResolutionUnit) {
            entries.push_back(entry);
        }
    }
    if (entries.size() + 3 > 0xFFFF) {
        return std::nullopt;
    }
    // Word-aligned as TIFF wants it; the values follow the IFD.
    const uint64_t ifdAt = tiff.size() + (tiff.size() & 1);
    const uint64_t valuesAt = ifdAt + 2 + 12 * (entries.size() + 3) + 4;
    if (valuesAt + 16 > UINT32_MAX) {
        return std::nullopt;
    }
    const auto entryOf = [&layout](uint16_t tag, uint16_t type, uint64_t value) {
        Entry entry{};
        layout.Put16(entry.data(), tag);
        layout.Put16(entry.data() + 2, type);
        layout.Put32(entry.data() + 4, 1);
        if (type == kShort) {
            layout.Put16(entry.data() + 8, static_cast<uint16_t>(value));
        } else {
            layout.Put32(entry.data() + 8, static_cast<uint32_t>(value));
        }
        return entry;
    };
    entries.push_back(entryOf(kXResolution, kRational, valuesAt));
    entries.push_back(entryOf(kYResolution, kRational, valuesAt + 8));
    entries.push_back(entryOf(kResolutionUnit, kShort, 2));
    // Readers expect the tags in ascending order.
    std::stable_sort(entries.begin(), entries.end(), [&layout](const Entry& a, const Entry& b) {
        return layout.Get16(a.data()) < layout.Get16(b.data());
    });

    std::vector<uint8_t> out = tiff;
    out.reserve(valuesAt + 16);
    out.resize(ifdAt, 0);
    uint8_t field[4];
    layout.Put16(field, static_cast<uint16_t>(entries.size()));
    out.insert(out.end(), field, field + 2);
    for (const Entry& entry : entries) {
        out.insert(out.end(), entry.begin(), entry.end());
    }
    // The link to the next IFD stays, so later images and thumbnails are kept.
    const uint8_t* next = first + 12 * layout.entryCount;
    const uint64_t linkAt = out.size();
    out.insert(out.end(), next, next + 4);
    const std::array<uint8_t, 8> rational = Rational(layout, dpi);
    out.insert(out.end(), rational.begin(), rational.end());
    out.insert(out.end(), rational.begin(), rational.end());
    layout.Put32(out.data() + 4, static_cast<uint32_t>(ifdAt));
    CutChainLoop(out, layout, linkAt, layout.ifd0, tiff.size());
    return out;
}

int32_t BmpPixelsPerMetre(uint32_t dpi) {
    // 64 bits: DPI values from source headers can exceed what the 32-bit product holds.
    const uint64_t value = (static_cast<uint64_t>(dpi) * 10000 + 127) / 254;
    return static_cast<int32_t>(std::min<uint64_t>(value, INT32_MAX));
}

}  // namespace korvale
