// The meta box walk and rewrite for a HEIF resolution edit; every field is checked against its
// box before it is read or written.
#include "HeifEdit.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "ExifEdit.h"
#include "IsoBoxes.h"
#include "ModernFormats.h"

namespace korvale {
namespace {

constexpr int kMaxBoxes = 4096;
constexpr uint64_t kMaxItems = 65536;

// Where a big-endian number of `size` bytes lies in the file.
struct Field {
    size_t at = 0;
    unsigned size = 0;
};

bool Fits(uint64_t value, unsigned size) {
    return size >= 8 || value < (uint64_t{1} << (8 * size));
}

void Put(ByteBuffer& b, const Field& field, uint64_t value) {
    for (unsigned i = 0; i < field.size; ++i) {
        b[field.at + i] = static_cast<uint8_t>(value >> (8 * (field.size - 1 - i)));
    }
}

void Append(ByteBuffer& out, uint64_t value, unsigned size) {
    for (unsigned i = 0; i < size; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * (size - 1 - i))));
    }
}

// Reads a field and notes where it lies, for the rewrite.
uint64_t ReadField(BoxReader& r, unsigned size, Field& field) {
    field = {static_cast<size_t>(r.at()), size};
    return r.Read(size);
}

struct Extent {
    Field offset;
    uint64_t offsetValue = 0;
    Field length;
    uint64_t lengthValue = 0;
};

struct Location {
    uint32_t item = 0;
    unsigned method = 0;
    Field methodField;  // version 1 and 2 only
    Field base;
    uint64_t baseValue = 0;
    std::vector<Extent> extents;
};

struct Iloc {
    IsoBox box;
    unsigned version = 0;
    unsigned offsetSize = 0, lengthSize = 0, baseSize = 0, indexSize = 0;
    Field count;
    std::vector<Location> items;
};

bool ReadIloc(const ByteBuffer& b, const IsoBox& box, Iloc& iloc) {
    iloc.box = box;
    MemorySource source(b);
    BoxReader r(source, box.body, box.end);
    iloc.version = static_cast<unsigned>(r.Read(1));
    r.Read(3);
    const auto sizes = static_cast<unsigned>(r.Read(2));
    iloc.offsetSize = sizes >> 12;
    iloc.lengthSize = (sizes >> 8) & 15;
    iloc.baseSize = (sizes >> 4) & 15;
    iloc.indexSize = iloc.version >= 1 ? sizes & 15 : 0;
    for (const unsigned size : {iloc.offsetSize, iloc.lengthSize, iloc.baseSize, iloc.indexSize}) {
        if (size != 0 && size != 4 && size != 8) {
            return false;
        }
    }
    const uint64_t count = ReadField(r, iloc.version < 2 ? 2 : 4, iloc.count);
    if (iloc.version > 2 || count > kMaxItems) {
        return false;
    }
    for (uint64_t i = 0; r.ok() && i < count; ++i) {
        Location location;
        location.item = static_cast<uint32_t>(r.Read(iloc.version < 2 ? 2 : 4));
        if (iloc.version >= 1) {
            location.method = static_cast<unsigned>(ReadField(r, 2, location.methodField) & 15);
        }
        r.Read(2);  // data reference index
        location.baseValue = ReadField(r, iloc.baseSize, location.base);
        const uint64_t extents = r.Read(2);
        for (uint64_t e = 0; r.ok() && e < extents; ++e) {
            Extent extent;
            r.Read(iloc.indexSize);
            extent.offsetValue = ReadField(r, iloc.offsetSize, extent.offset);
            extent.lengthValue = ReadField(r, iloc.lengthSize, extent.length);
            location.extents.push_back(extent);
        }
        iloc.items.push_back(std::move(location));
    }
    // Entries are added at the end of the box, so nothing may follow the last one.
    return r.ok() && r.at() == box.end;
}

struct Item {
    uint32_t id = 0;
    uint32_t type = 0;
};

// The infe entries' items; `entries` counts every entry box, whatever its type.
bool ReadItems(const ByteBuffer& b, const IsoBox& iinf, Field& countField, uint64_t& entries,
               std::vector<Item>& items) {
    MemorySource source(b);
    BoxReader r(source, iinf.body, iinf.end);
    const auto version = static_cast<unsigned>(r.Read(1));
    r.Read(3);
    const uint64_t count = ReadField(r, version == 0 ? 2 : 4, countField);
    if (!r.ok() || count > kMaxItems) {
        return false;
    }
    uint64_t seen = 0;
    const bool whole = ForEachIsoBox(source, r.at(), iinf.end, kMaxBoxes, [&](const IsoBox& infe) {
        ++seen;
        if (infe.type != FourCc("infe")) {
            return true;
        }
        BoxReader e(source, infe.body, infe.end);
        const auto v = static_cast<unsigned>(e.Read(1));
        e.Read(3);
        Item item;
        if (v >= 2) {
            item.id = static_cast<uint32_t>(e.Read(v == 2 ? 2 : 4));
            e.Read(2);
            item.type = static_cast<uint32_t>(e.Read(4));
        } else {
            item.id = static_cast<uint32_t>(e.Read(2));
        }
        if (e.ok()) {
            items.push_back(item);
        }
        return true;
    });
    entries = count;
    return whole && seen == count;
}

// A box whose size field is an ordinary 32-bit one, so that it can grow in place.
bool Resizable(const ByteBuffer& b, const IsoBox& box) {
    const uint32_t size = IsoBe32(b.data() + box.start);
    return box.body - box.start == 8 && size == box.end - box.start;
}

// Whether the boxes from `from` to `end` end with one whose size is stated: one that runs to
// the end of its container would take in whatever is added after it.
bool EndsWithSizedBox(const ByteBuffer& b, uint64_t from, uint64_t end) {
    MemorySource source(b);
    bool sized = true;
    const bool whole = ForEachIsoBox(source, from, end, kMaxBoxes, [&](const IsoBox& box) {
        sized = IsoBe32(b.data() + box.start) != 0;
        return true;
    });
    return whole && sized;
}

struct Insertion {
    uint64_t at;
    int depth;  // deeper boxes' bytes go first where two insertions meet
    ByteBuffer bytes;
};

}  // namespace

ResolutionEdit PlanHeifResolution(ByteSource& source, uint32_t) {
    HeifLayout layout;
    return WholeRewriteIf(WalkHeif(source, layout));
}

std::optional<ByteBuffer> HeifWithResolution(const ByteBuffer& b, uint32_t dpi) {
    MemorySource source(b);
    HeifLayout layout;
    if (!WalkHeif(source, layout)) {
        return std::nullopt;
    }
    std::vector<IsoBox> top;
    if (!ForEachIsoBox(source, 0, b.size(), kMaxBoxes,
                       [&](const IsoBox& box) {
                           top.push_back(box);
                           return true;
                       }) ||
        top.empty() || top.back().end != b.size()) {
        return std::nullopt;
    }
    const IsoBox* meta = nullptr;
    bool movie = false;
    for (const IsoBox& box : top) {
        if (box.type == FourCc("meta")) {
            if (meta != nullptr) {
                return std::nullopt;
            }
            meta = &box;
        }
        movie = movie || box.type == FourCc("moov");
    }
    if (meta == nullptr) {
        return std::nullopt;
    }
    IsoBox iinf, ilocBox, iref, idat;
    bool hasIinf = false, hasIloc = false, hasIref = false, hasIdat = false, twice = false;
    uint32_t primary = 0;
    bool hasPrimary = false;
    const bool whole =
        ForEachIsoBox(source, meta->body + 4, meta->end, kMaxBoxes, [&](const IsoBox& box) {
            const auto take = [&](IsoBox& into, bool& has) {
                twice = twice || has;
                into = box;
                has = true;
            };
            if (box.type == FourCc("iinf")) {
                take(iinf, hasIinf);
            } else if (box.type == FourCc("iloc")) {
                take(ilocBox, hasIloc);
            } else if (box.type == FourCc("iref")) {
                take(iref, hasIref);
            } else if (box.type == FourCc("idat")) {
                take(idat, hasIdat);
            } else if (box.type == FourCc("pitm")) {
                BoxReader r(source, box.body, box.end);
                const auto version = r.Read(1);
                r.Read(3);
                primary = static_cast<uint32_t>(r.Read(version == 0 ? 2 : 4));
                twice = twice || hasPrimary;
                hasPrimary = r.ok();
            }
            return true;
        });
    Iloc iloc;
    Field itemCount;
    uint64_t entries = 0;
    std::vector<Item> items;
    if (!whole || twice || !hasIinf || !hasIloc || !hasPrimary || !ReadIloc(b, ilocBox, iloc) ||
        !ReadItems(b, iinf, itemCount, entries, items)) {
        return std::nullopt;
    }
    std::vector<uint32_t> exifItems;
    uint32_t largestId = 0;
    for (const Item& item : items) {
        largestId = std::max(largestId, item.id);
        if (item.type == FourCc("Exif")) {
            exifItems.push_back(item.id);
        }
    }
    for (const Location& location : iloc.items) {
        largestId = std::max(largestId, location.item);
    }
    if (exifItems.size() > 1) {
        return std::nullopt;  // which one a reader takes is not ours to guess
    }

    ByteBuffer out = b;
    if (exifItems.size() == 1) {
        Location* location = nullptr;
        for (Location& l : iloc.items) {
            if (l.item == exifItems.front()) {
                if (location != nullptr) {
                    return std::nullopt;
                }
                location = &l;
            }
        }
        if (location == nullptr || location->extents.size() != 1 || location->method > 1 ||
            (location->method == 1 && !hasIdat)) {
            return std::nullopt;
        }
        const Extent& extent = location->extents.front();
        const uint64_t base = location->method == 1 ? idat.body : 0;
        const uint64_t length = extent.lengthValue;
        if (location->baseValue > b.size() || extent.offsetValue > b.size() ||
            base + location->baseValue + extent.offsetValue > b.size() || length == 0 ||
            length > b.size() - (base + location->baseValue + extent.offsetValue)) {
            return std::nullopt;
        }
        const size_t at = static_cast<size_t>(base + location->baseValue + extent.offsetValue);
        const std::optional<ByteBuffer> exif =
            IsoExifWithResolution(b.data() + at, static_cast<size_t>(length), dpi);
        if (!exif) {
            return std::nullopt;
        }
        if (exif->size() == length) {
            std::copy(exif->begin(), exif->end(), out.begin() + static_cast<std::ptrdiff_t>(at));
            return out;
        }
        // The grown block goes into a data box of its own at the end; the old bytes stay
        // unreferenced, so no other item moves.
        const uint64_t newAt = b.size() + 8;
        if (IsoBe32(b.data() + top.back().start) == 0 || !Fits(newAt, iloc.offsetSize) ||
            iloc.offsetSize == 0 || !Fits(exif->size(), iloc.lengthSize) || iloc.lengthSize == 0) {
            return std::nullopt;
        }
        if (location->method == 1) {
            Put(out, location->methodField, 0);
        }
        Put(out, location->base, 0);
        Put(out, extent.offset, newAt);
        Put(out, extent.length, exif->size());
        AppendIsoBox(out, FourCc("mdat"), exif->data(), exif->size());
        return out;
    }

    // A new item: its infe, its location and its cdsc reference to the primary image.
    const uint32_t id = largestId + 1;
    const bool wideIds = id > 0xFFFF || primary > 0xFFFF;
    const unsigned iinfVersion = b[iinf.body];
    const unsigned irefVersion = hasIref ? b[iref.body] : (wideIds ? 1 : 0);
    if (movie || largestId >= 0xFFFFFFFEu || (iloc.version < 2 && id > 0xFFFF) ||
        (irefVersion == 0 && wideIds) || (iinfVersion == 0 && entries >= 0xFFFF) ||
        (iloc.version < 2 && iloc.items.size() >= 0xFFFF) || iloc.offsetSize == 0 ||
        iloc.lengthSize == 0 || !Resizable(b, *meta) || !Resizable(b, iinf) ||
        !Resizable(b, ilocBox) || (hasIref && !Resizable(b, iref)) ||
        IsoBe32(b.data() + top.back().start) == 0 ||
        !EndsWithSizedBox(b, meta->body + 4, meta->end) ||
        !EndsWithSizedBox(b, iinf.body + (iinfVersion == 0 ? 6 : 8), iinf.end) ||
        (hasIref && !EndsWithSizedBox(b, iref.body + 4, iref.end))) {
        return std::nullopt;
    }
    const ByteBuffer exif = *IsoExifWithResolution(nullptr, 0, dpi);

    ByteBuffer infe;
    const bool wideInfe = id > 0xFFFF;
    Append(infe, wideInfe ? 3 : 2, 1);
    Append(infe, 0, 3);
    Append(infe, id, wideInfe ? 4 : 2);
    Append(infe, 0, 2);  // not protected
    Append(infe, FourCc("Exif"), 4);
    infe.push_back(0);  // no name
    ByteBuffer infeBox;
    AppendIsoBox(infeBox, FourCc("infe"), infe.data(), infe.size());

    ByteBuffer reference;
    const unsigned idBytes = irefVersion == 0 ? 2 : 4;
    Append(reference, id, idBytes);
    Append(reference, 1, 2);
    Append(reference, primary, idBytes);
    ByteBuffer cdsc;
    AppendIsoBox(cdsc, FourCc("cdsc"), reference.data(), reference.size());
    ByteBuffer irefBytes = cdsc;
    if (!hasIref) {
        ByteBuffer body;
        Append(body, irefVersion, 1);
        Append(body, 0, 3);
        body.insert(body.end(), cdsc.begin(), cdsc.end());
        irefBytes.clear();
        AppendIsoBox(irefBytes, FourCc("iref"), body.data(), body.size());
    }

    const size_t entrySize = (iloc.version < 2 ? 2 : 4) + (iloc.version >= 1 ? 2 : 0) + 2 +
                             iloc.baseSize + 2 + iloc.indexSize + iloc.offsetSize + iloc.lengthSize;
    const uint64_t grown = infeBox.size() + entrySize + irefBytes.size();
    const uint64_t newAt = b.size() + grown + 8;
    if (!Fits(newAt, iloc.offsetSize) || !Fits(exif.size(), iloc.lengthSize) ||
        meta->end - meta->start + grown > 0xFFFFFFFFu) {
        return std::nullopt;
    }
    ByteBuffer entry;
    Append(entry, id, iloc.version < 2 ? 2 : 4);
    if (iloc.version >= 1) {
        Append(entry, 0, 2);  // in the file itself
    }
    Append(entry, 0, 2);
    Append(entry, 0, iloc.baseSize);
    Append(entry, 1, 2);
    Append(entry, 0, iloc.indexSize);
    Append(entry, newAt, iloc.offsetSize);
    Append(entry, exif.size(), iloc.lengthSize);

    // Data after the meta box moves by what it grew; data before it and in idat stays.
    const uint64_t metaEnd = meta->end;
    for (const Location& location : iloc.items) {
        if (location.method != 0) {
            continue;
        }
        if (location.baseValue != 0 && location.baseValue >= metaEnd) {
            if (!Fits(location.baseValue + grown, iloc.baseSize)) {
                return std::nullopt;
            }
            Put(out, location.base, location.baseValue + grown);
            continue;
        }
        for (const Extent& extent : location.extents) {
            if (extent.offsetValue > UINT64_MAX - location.baseValue) {
                return std::nullopt;
            }
            const uint64_t at = location.baseValue + extent.offsetValue;
            if (at >= meta->start && at < metaEnd) {
                return std::nullopt;  // inside the boxes that grow
            }
            if (at < metaEnd) {
                continue;
            }
            if (!Fits(extent.offsetValue + grown, iloc.offsetSize)) {
                return std::nullopt;
            }
            Put(out, extent.offset, extent.offsetValue + grown);
        }
    }
    const auto grow = [&](const IsoBox& box, uint64_t by) {
        Put(out, Field{static_cast<size_t>(box.start), 4}, box.end - box.start + by);
    };
    grow(*meta, grown);
    grow(iinf, infeBox.size());
    grow(ilocBox, entrySize);
    if (hasIref) {
        grow(iref, cdsc.size());
    }
    Put(out, itemCount, entries + 1);
    Put(out, iloc.count, iloc.items.size() + 1);

    std::vector<Insertion> insertions = {{iinf.end, 1, infeBox}, {ilocBox.end, 1, entry}};
    insertions.push_back(hasIref ? Insertion{iref.end, 1, irefBytes}
                                 : Insertion{metaEnd, 0, irefBytes});
    std::stable_sort(insertions.begin(), insertions.end(),
                     [](const Insertion& x, const Insertion& y) {
                         return x.at != y.at ? x.at < y.at : x.depth > y.depth;
                     });
    ByteBuffer rebuilt;
    rebuilt.reserve(out.size() + grown + exif.size() + 8);
    uint64_t copied = 0;
    for (const Insertion& insertion : insertions) {
        rebuilt.insert(rebuilt.end(), out.begin() + static_cast<std::ptrdiff_t>(copied),
                       out.begin() + static_cast<std::ptrdiff_t>(insertion.at));
        rebuilt.insert(rebuilt.end(), insertion.bytes.begin(), insertion.bytes.end());
        copied = insertion.at;
    }
    rebuilt.insert(rebuilt.end(), out.begin() + static_cast<std::ptrdiff_t>(copied), out.end());
    AppendIsoBox(rebuilt, FourCc("mdat"), exif.data(), exif.size());
    return rebuilt;
}

}  // namespace korvale
