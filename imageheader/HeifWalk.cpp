// The HEIF meta box: the primary item, its properties and the Exif item's place.
#include <algorithm>
#include <cstring>
#include <vector>

#include "IsoBoxes.h"
#include "ModernFormats.h"

namespace korvale {
namespace {

constexpr int kMaxTopBoxes = 64;
constexpr int kMaxMetaBoxes = 256;
constexpr int kMaxProperties = 1024;
constexpr uint32_t kMaxItems = 4096;

bool IsHeifBrand(uint32_t brand) {
    for (const uint32_t known : {FourCc("mif1"), FourCc("msf1"), FourCc("heic"), FourCc("heix"),
                                 FourCc("heim"), FourCc("heis"), FourCc("hevc"), FourCc("hevx"),
                                 FourCc("avif"), FourCc("avis"), FourCc("miaf"), FourCc("mif2")}) {
        if (brand == known) {
            return true;
        }
    }
    return false;
}

bool HasHeifBrand(ByteSource& source, const IsoBox& ftyp) {
    if (ftyp.end - ftyp.body < 8) {
        return false;
    }
    uint8_t field[4];
    // The major brand, then the compatible ones after the minor version.
    for (uint64_t at = ftyp.body; at + 4 <= ftyp.end && at < ftyp.body + 4 * 64; at += 4) {
        if (at == ftyp.body + 4) {
            continue;
        }
        if (!source.ReadAt(at, field, 4)) {
            return false;
        }
        if (IsHeifBrand(IsoBe32(field))) {
            return true;
        }
    }
    return false;
}

struct Location {
    uint32_t item = 0;
    unsigned method = 0;
    uint64_t offset = 0;  // of the first extent
    uint64_t length = 0;
    unsigned extents = 0;
};

struct Meta {
    uint32_t primary = 0;
    bool hasPrimary = false;
    uint32_t exifItem = 0;
    uint32_t primaryType = 0;
    std::vector<IsoBox> properties;  // ipco, in order (indices from 1)
    std::vector<uint16_t> primaryProperties;
    std::vector<std::pair<uint32_t, uint32_t>> itemTypes;
    std::vector<std::pair<uint32_t, uint64_t>> itemFlagsAt;
    IsoBox iinf, iloc, ipma, idat, iref;
    bool hasIinf = false, hasIloc = false, hasIpma = false, hasIdat = false, hasIref = false;
};

void ReadItemTypes(ByteSource& source, const IsoBox& iinf, Meta& meta) {
    BoxReader r(source, iinf.body, iinf.end);
    const auto version = static_cast<unsigned>(r.Read(1));
    r.Skip(3);
    const uint64_t count = r.Read(version == 0 ? 2 : 4);
    if (!r.ok()) {
        return;
    }
    uint64_t at = r.at();
    ForEachIsoBox(source, at, iinf.end, static_cast<int>(std::min<uint64_t>(count, kMaxItems)),
                  [&](const IsoBox& infe) {
                      if (infe.type != FourCc("infe")) {
                          return true;
                      }
                      BoxReader e(source, infe.body, infe.end);
                      const auto v = static_cast<unsigned>(e.Read(1));
                      e.Skip(3);
                      if (v < 2) {
                          return true;  // no item type in the oldest versions
                      }
                      const auto id = static_cast<uint32_t>(e.Read(v == 2 ? 2 : 4));
                      e.Skip(2);
                      const auto type = static_cast<uint32_t>(e.Read(4));
                      if (e.ok()) {
                          meta.itemTypes.emplace_back(id, type);
                          meta.itemFlagsAt.emplace_back(id, infe.body + 3);
                      }
                      return true;
                  });
}

// What iinf says of `item`: its type (0 when unknown) and where its flags byte lies (0 when
// not found); the last entry for it counts.
uint32_t TypeOf(const Meta& meta, uint32_t item) {
    uint32_t found = 0;
    for (const auto& [id, type] : meta.itemTypes) {
        found = id == item ? type : found;
    }
    return found;
}

uint64_t FlagsAt(const Meta& meta, uint32_t item) {
    uint64_t found = 0;
    for (const auto& [id, at] : meta.itemFlagsAt) {
        found = id == item ? at : found;
    }
    return found;
}

// An ispe property's width and height; false when it is cut short.
bool ReadIspe(ByteSource& source, const IsoBox& ispe, uint32_t& width, uint32_t& height) {
    BoxReader r(source, ispe.body, ispe.end);
    r.Skip(4);
    width = static_cast<uint32_t>(r.Read(4));
    height = static_cast<uint32_t>(r.Read(4));
    return r.ok();
}

// The first extent of `item` in iloc.
bool FindLocation(ByteSource& source, const IsoBox& iloc, uint32_t item, Location& found) {
    BoxReader r(source, iloc.body, iloc.end);
    const auto version = static_cast<unsigned>(r.Read(1));
    r.Skip(3);
    const auto sizes = static_cast<unsigned>(r.Read(2));
    const unsigned offsetSize = sizes >> 12;
    const unsigned lengthSize = (sizes >> 8) & 15;
    const unsigned baseSize = (sizes >> 4) & 15;
    const unsigned indexSize = version >= 1 ? sizes & 15 : 0;
    const uint64_t count = r.Read(version < 2 ? 2 : 4);
    for (uint64_t i = 0; r.ok() && i < std::min<uint64_t>(count, kMaxItems); ++i) {
        Location location;
        location.item = static_cast<uint32_t>(r.Read(version < 2 ? 2 : 4));
        if (version >= 1) {
            location.method = static_cast<unsigned>(r.Read(2) & 15);
        }
        r.Skip(2);  // data reference index
        const uint64_t base = r.Read(baseSize);
        const auto extents = static_cast<unsigned>(r.Read(2));
        bool overflows = false;
        for (unsigned e = 0; r.ok() && e < extents; ++e) {
            r.Read(indexSize);
            const uint64_t offset = r.Read(offsetSize);
            const uint64_t length = r.Read(lengthSize);
            if (e == 0) {
                location.offset = base + offset;
                location.length = length;
                overflows = base > UINT64_MAX - offset;
            }
        }
        if (location.item == item && extents > 0 && r.ok()) {
            location.extents = extents;
            found = location;
            return !overflows;
        }
    }
    return false;
}

// The properties associated with each of `items` (sorted), as (item, index) pairs.
std::vector<std::pair<uint32_t, uint16_t>> ItemProperties(ByteSource& source, const IsoBox& ipma,
                                                          const std::vector<uint32_t>& items) {
    std::vector<std::pair<uint32_t, uint16_t>> found;
    BoxReader r(source, ipma.body, ipma.end);
    const auto version = static_cast<unsigned>(r.Read(1));
    const uint64_t flags = r.Read(3);
    const uint64_t count = r.Read(4);
    for (uint64_t i = 0; r.ok() && i < std::min<uint64_t>(count, kMaxItems); ++i) {
        const auto item = static_cast<uint32_t>(r.Read(version < 1 ? 2 : 4));
        const bool wanted = std::binary_search(items.begin(), items.end(), item);
        const auto associations = static_cast<unsigned>(r.Read(1));
        for (unsigned a = 0; r.ok() && a < associations; ++a) {
            const uint64_t value = r.Read((flags & 1) != 0 ? 2 : 1);
            if (r.ok() && wanted) {
                found.emplace_back(
                    item, static_cast<uint16_t>((flags & 1) != 0 ? value & 0x7FFF : value & 0x7F));
            }
        }
    }
    return found;
}

void ReadPrimaryAssociations(ByteSource& source, const IsoBox& ipma, Meta& meta) {
    for (const auto& [item, index] : ItemProperties(source, ipma, {meta.primary})) {
        meta.primaryProperties.push_back(index);
    }
}

// Where each HEVC picture lies: the primary item, or the grid's tiles. Empty when one is not
// an hvc1 item of one extent in the file with an hvcC property.
std::vector<HeifLayout::CodedPicture> CodedPictures(ByteSource& source, const Meta& meta,
                                                    const HeifLayout& layout) {
    constexpr size_t kMaxPictures = 1024;
    constexpr uint64_t kMaxConfig = 1 << 20;
    std::vector<uint32_t> items =
        layout.grid ? std::vector<uint32_t>(layout.tiles) : std::vector<uint32_t>{meta.primary};
    // libheif converts a grid's tiles by their own colour descriptions, not the grid's: such
    // grids are left to it.
    if (items.empty() || items.size() > kMaxPictures || !meta.hasIloc ||
        (layout.grid && (layout.gridRows == 0 || layout.hasNclx))) {
        return {};
    }
    std::vector<uint32_t> sorted = items;
    std::sort(sorted.begin(), sorted.end());
    const auto properties = ItemProperties(source, meta.ipma, sorted);
    std::vector<HeifLayout::CodedPicture> pictures;
    for (const uint32_t item : items) {
        Location location;
        if (TypeOf(meta, item) != FourCc("hvc1") ||
            !FindLocation(source, meta.iloc, item, location) || location.method != 0 ||
            location.extents != 1 || location.length == 0) {
            return {};
        }
        HeifLayout::CodedPicture picture;
        picture.at = location.offset;
        picture.length = location.length;
        for (const auto& [id, index] : properties) {
            if (id != item || index == 0 || index > meta.properties.size()) {
                continue;
            }
            if (layout.grid && meta.properties[index - 1].type == FourCc("colr")) {
                return {};
            }
            const IsoBox& config = meta.properties[index - 1];
            if (config.type == FourCc("ispe") &&
                !ReadIspe(source, config, picture.width, picture.height)) {
                picture.width = picture.height = 0;
            }
            if (config.type == FourCc("hvcC") && config.end > config.body &&
                config.end - config.body <= kMaxConfig) {
                picture.configAt = config.body;
                picture.configLength = static_cast<uint32_t>(config.end - config.body);
            }
        }
        // Neither the configuration nor the extent may pass the end of the file.
        uint8_t last = 0;
        if (picture.configLength == 0 ||
            !source.ReadAt(picture.configAt + picture.configLength - 1, &last, 1) ||
            picture.at > UINT64_MAX - picture.length ||
            !source.ReadAt(picture.at + picture.length - 1, &last, 1)) {
            return {};
        }
        pictures.push_back(picture);
    }
    return pictures;
}

bool ReadMeta(ByteSource& source, const IsoBox& metaBox, Meta& meta) {
    // A full box: version and flags first.
    return ForEachIsoBox(source, metaBox.body + 4, metaBox.end, kMaxMetaBoxes,
                         [&](const IsoBox& b) {
                             if (b.type == FourCc("pitm") && !meta.hasPrimary) {
                                 BoxReader r(source, b.body, b.end);
                                 const auto version = static_cast<unsigned>(r.Read(1));
                                 r.Skip(3);
                                 meta.primary = static_cast<uint32_t>(r.Read(version == 0 ? 2 : 4));
                                 meta.hasPrimary = r.ok();
                             } else if (b.type == FourCc("iinf") && !meta.hasIinf) {
                                 meta.iinf = b;
                                 meta.hasIinf = true;
                             } else if (b.type == FourCc("iloc") && !meta.hasIloc) {
                                 meta.iloc = b;
                                 meta.hasIloc = true;
                             } else if (b.type == FourCc("iref") && !meta.hasIref) {
                                 meta.iref = b;
                                 meta.hasIref = true;
                             } else if (b.type == FourCc("idat") && !meta.hasIdat) {
                                 meta.idat = b;
                                 meta.hasIdat = true;
                             } else if (b.type == FourCc("iprp")) {
                                 ForEachIsoBox(source, b.body, b.end, 16, [&](const IsoBox& child) {
                                     if (child.type == FourCc("ipco") && meta.properties.empty()) {
                                         ForEachIsoBox(source, child.body, child.end,
                                                       kMaxProperties, [&](const IsoBox& property) {
                                                           meta.properties.push_back(property);
                                                           return true;
                                                       });
                                     } else if (child.type == FourCc("ipma") && !meta.hasIpma) {
                                         meta.ipma = child;
                                         meta.hasIpma = true;
                                     }
                                     return true;
                                 });
                             }
                             return true;
                         });
}

// The items the primary item's dimg reference names, in order.
std::vector<uint32_t> GridTiles(ByteSource& source, const IsoBox& iref, uint32_t primary) {
    std::vector<uint32_t> tiles;
    BoxReader head(source, iref.body, iref.end);
    const auto version = static_cast<unsigned>(head.Read(1));
    head.Skip(3);
    if (!head.ok()) {
        return tiles;
    }
    const unsigned idBytes = version == 0 ? 2 : 4;
    ForEachIsoBox(source, head.at(), iref.end, kMaxMetaBoxes, [&](const IsoBox& reference) {
        BoxReader r(source, reference.body, reference.end);
        const uint64_t from = r.Read(idBytes);
        const uint64_t count = r.Read(2);
        if (reference.type != FourCc("dimg") || from != primary || !r.ok()) {
            return true;
        }
        for (uint64_t i = 0; i < count && r.ok(); ++i) {
            const auto id = static_cast<uint32_t>(r.Read(idBytes));
            if (r.ok()) {
                tiles.push_back(id);
            }
        }
        return false;
    });
    return tiles;
}

bool ContainsAlphaUrn(ByteSource& source, const IsoBox& auxC) {
    char urn[64] = {};
    const uint64_t length = std::min<uint64_t>(auxC.end - auxC.body, sizeof urn - 1);
    if (length <= 4 || !source.ReadAt(auxC.body, urn, static_cast<size_t>(length))) {
        return false;
    }
    // AV1's and HEVC's names for an alpha plane.
    return std::strcmp(urn + 4, "urn:mpeg:mpegB:cicp:systems:auxiliary:alpha") == 0 ||
           std::strcmp(urn + 4, "urn:mpeg:hevc:2015:auxid:1") == 0;
}

// The item whose auxl reference names the primary item and whose auxC says alpha.
void FindAlphaItem(ByteSource& source, const Meta& meta, HeifLayout& layout) {
    BoxReader head(source, meta.iref.body, meta.iref.end);
    const auto version = static_cast<unsigned>(head.Read(1));
    head.Skip(3);
    if (!head.ok()) {
        return;
    }
    const unsigned idBytes = version == 0 ? 2 : 4;
    ForEachIsoBox(source, head.at(), meta.iref.end, kMaxMetaBoxes, [&](const IsoBox& reference) {
        BoxReader r(source, reference.body, reference.end);
        const auto from = static_cast<uint32_t>(r.Read(idBytes));
        const uint64_t count = r.Read(2);
        if (reference.type != FourCc("auxl") || !r.ok()) {
            return true;
        }
        bool toPrimary = false;
        for (uint64_t i = 0; i < count && r.ok(); ++i) {
            toPrimary = toPrimary || (r.Read(idBytes) == meta.primary && r.ok());
        }
        bool alpha = false;
        for (const auto& [item, index] : ItemProperties(source, meta.ipma, {from})) {
            alpha = alpha || (index != 0 && index <= meta.properties.size() &&
                              meta.properties[index - 1].type == FourCc("auxC") &&
                              ContainsAlphaUrn(source, meta.properties[index - 1]));
        }
        const uint64_t flagsAt = FlagsAt(meta, from);
        if (!toPrimary || !alpha || flagsAt == 0) {
            return true;
        }
        layout.alphaItem = from;
        layout.alphaLinkAt = reference.start + 4;
        layout.alphaFlagsAt = flagsAt;
        return false;
    });
}

bool Walk(ByteSource& source, HeifLayout& layout, bool codedPictures) {
    layout = HeifLayout{};
    IsoBox ftyp;
    if (!ReadIsoBox(source, 0, UINT64_MAX, ftyp) || ftyp.type != FourCc("ftyp") ||
        !HasHeifBrand(source, ftyp)) {
        return false;
    }
    IsoBox metaBox;
    bool hasMeta = false;
    ForEachIsoBox(source, ftyp.end, UINT64_MAX, kMaxTopBoxes, [&](const IsoBox& box) {
        if (box.type == FourCc("meta")) {
            metaBox = box;
            hasMeta = true;
            return false;
        }
        return true;
    });
    Meta meta;
    if (!hasMeta) {
        return false;
    }
    ReadMeta(source, metaBox, meta);
    if (!meta.hasPrimary || !meta.hasIpma) {
        return false;
    }
    if (meta.hasIinf) {
        ReadItemTypes(source, meta.iinf, meta);
    }
    for (const auto& [id, type] : meta.itemTypes) {
        if (id == meta.primary) {
            meta.primaryType = type;
        }
        if (type == FourCc("Exif") && meta.exifItem == 0) {
            meta.exifItem = id;
        }
    }
    layout.grid = meta.primaryType == FourCc("grid");
    layout.av1 = meta.primaryType == FourCc("av01");
    ReadPrimaryAssociations(source, meta.ipma, meta);

    bool sized = false;
    bool depthFound = false;
    uint64_t clapWidth = 0, clapHeight = 0;
    double clapX = 0, clapY = 0;
    for (const uint16_t index : meta.primaryProperties) {
        if (index == 0 || index > meta.properties.size()) {
            continue;
        }
        const IsoBox& p = meta.properties[index - 1];
        BoxReader r(source, p.body, p.end);
        if (p.type == FourCc("ispe") && !sized) {
            sized = ReadIspe(source, p, layout.storedWidth, layout.storedHeight);
        } else if (p.type == FourCc("irot")) {
            layout.rotation = static_cast<int>(r.Read(1) & 3);
        } else if (p.type == FourCc("imir")) {
            layout.mirrored = true;
            layout.mirrorAxis = static_cast<uint8_t>(r.Read(1) & 1);
        } else if (p.type == FourCc("clap")) {
            layout.clapped = true;
            // Width and height as fractions, rounded as decoders round them.
            const uint64_t wn = r.Read(4), wd = r.Read(4), hn = r.Read(4), hd = r.Read(4);
            const auto xn = static_cast<int32_t>(r.Read(4));
            const uint64_t xd = r.Read(4);
            const auto yn = static_cast<int32_t>(r.Read(4));
            const uint64_t yd = r.Read(4);
            if (r.ok() && wd != 0 && hd != 0 && xd != 0 && yd != 0 && wn < 0x80000000u &&
                hn < 0x80000000u) {
                clapWidth = (wn + wd / 2) / wd;
                clapHeight = (hn + hd / 2) / hd;
                // The centre is offset from the image's centre.
                clapX = static_cast<double>(xn) / static_cast<double>(xd);
                clapY = static_cast<double>(yn) / static_cast<double>(yd);
            }
        } else if (p.type == FourCc("colr") && (layout.iccAt == 0 || !layout.hasNclx)) {
            const uint64_t kind = r.Read(4);
            if (kind == FourCc("nclx") && !layout.hasNclx) {
                r.Skip(4);  // colour primaries, transfer characteristics
                layout.matrix = static_cast<uint16_t>(r.Read(2));
                layout.fullRange = (r.Read(1) & 0x80) != 0;
                layout.hasNclx = r.ok();
                if (!layout.hasNclx) {
                    layout.matrix = 2;
                    layout.fullRange = true;
                }
            } else if (r.ok() && layout.iccAt == 0 &&
                       (kind == FourCc("prof") || kind == FourCc("rICC")) &&
                       p.end - r.at() <= UINT32_MAX && p.end > r.at()) {
                layout.iccAt = r.at();
                layout.iccLength = static_cast<uint32_t>(p.end - r.at());
            }
        } else if (p.type == FourCc("pixi") && !depthFound) {
            r.Skip(4);
            if (r.Read(1) >= 1) {
                layout.bitDepth = static_cast<uint32_t>(r.Read(1));
                depthFound = r.ok();
            }
        } else if (p.type == FourCc("hvcC") && !depthFound) {
            r.Skip(17);  // to bitDepthLumaMinus8
            layout.bitDepth = static_cast<uint32_t>((r.Read(1) & 7) + 8);
            depthFound = r.ok();
        } else if (p.type == FourCc("av1C") && !depthFound) {
            r.Skip(2);
            const uint64_t bits = r.Read(1);
            layout.bitDepth = (bits & 0x40) == 0 ? 8 : (bits & 0x20) != 0 ? 12 : 10;
            depthFound = r.ok();
        }
    }
    if (!sized || layout.storedWidth == 0 || layout.storedHeight == 0) {
        return false;
    }
    // A grid's tiles carry the codec configuration.
    for (const IsoBox& p : meta.properties) {
        BoxReader r(source, p.body, p.end);
        if (!depthFound && p.type == FourCc("hvcC")) {
            r.Skip(17);  // to bitDepthLumaMinus8
            layout.bitDepth = static_cast<uint32_t>((r.Read(1) & 7) + 8);
            depthFound = r.ok();
        } else if (!depthFound && p.type == FourCc("av1C")) {
            r.Skip(2);
            const uint64_t bits = r.Read(1);
            layout.bitDepth = (bits & 0x40) == 0 ? 8 : (bits & 0x20) != 0 ? 12 : 10;
            depthFound = r.ok();
        }
        if (p.type == FourCc("hvcC") || p.type == FourCc("av1C")) {
            layout.av1 = layout.av1 || p.type == FourCc("av1C");
        }
        if (p.type == FourCc("auxC") && ContainsAlphaUrn(source, p)) {
            layout.alpha = true;
        }
    }
    if (!depthFound || layout.bitDepth < 8 || layout.bitDepth > 16) {
        layout.bitDepth = 8;
    }
    uint32_t width = layout.storedWidth;
    uint32_t height = layout.storedHeight;
    if (clapWidth >= 1 && clapHeight >= 1 && clapWidth <= width && clapHeight <= height) {
        width = static_cast<uint32_t>(clapWidth);
        height = static_cast<uint32_t>(clapHeight);
        const double left = clapX + (static_cast<double>(layout.storedWidth) - width) / 2;
        const double top = clapY + (static_cast<double>(layout.storedHeight) - height) / 2;
        if (left >= 0 && top >= 0 && left + width <= layout.storedWidth &&
            top + height <= layout.storedHeight) {
            layout.clapLeft = static_cast<uint32_t>(left);
            layout.clapTop = static_cast<uint32_t>(top);
            layout.clapWidth = width;
            layout.clapHeight = height;
        }
    }
    if (layout.rotation % 2 == 1) {
        std::swap(width, height);
    }
    layout.width = width;
    layout.height = height;

    Location grid;
    if (layout.grid && meta.hasIref && meta.hasIloc &&
        FindLocation(source, meta.iloc, meta.primary, grid) &&
        (grid.method == 0 || (grid.method == 1 && meta.hasIdat))) {
        // Version, flags, rows - 1, columns - 1, then the output size in 16 or 32 bits.
        const uint64_t base = grid.method == 1 ? meta.idat.body : 0;
        if (grid.offset <= UINT64_MAX - base - 12) {
            BoxReader r(source, base + grid.offset, base + grid.offset + grid.length);
            r.Skip(1);
            const uint64_t flags = r.Read(1);
            const auto rows = static_cast<uint32_t>(r.Read(1) + 1);
            const auto columns = static_cast<uint32_t>(r.Read(1) + 1);
            const unsigned sideBytes = (flags & 1) != 0 ? 4 : 2;
            const auto width = static_cast<uint32_t>(r.Read(sideBytes));
            const auto height = static_cast<uint32_t>(r.Read(sideBytes));
            layout.tiles = GridTiles(source, meta.iref, meta.primary);
            for (const uint32_t tile : layout.tiles) {
                layout.tileFlagsAt.push_back(FlagsAt(meta, tile));
            }
            if (r.ok() && layout.tiles.size() == size_t{rows} * columns) {
                layout.gridRows = rows;
                layout.gridColumns = columns;
                layout.gridWidth = width;
                layout.gridHeight = height;
            }
        }
    }

    if (codedPictures && !layout.av1) {
        layout.coded = CodedPictures(source, meta, layout);
    }
    if (codedPictures && layout.grid && layout.alpha && meta.hasIref) {
        FindAlphaItem(source, meta, layout);
    }

    Location exif;
    if (meta.exifItem != 0 && meta.hasIloc &&
        FindLocation(source, meta.iloc, meta.exifItem, exif) &&
        (exif.method == 0 || (exif.method == 1 && meta.hasIdat)) && exif.length >= 4) {
        const uint64_t base = exif.method == 1 ? meta.idat.body : 0;
        if (exif.offset <= UINT64_MAX - base - exif.length) {
            const uint64_t at = base + exif.offset;
            uint8_t field[4];
            uint8_t last = 0;
            // An extent longer than the file is no Exif block.
            if (source.ReadAt(at, field, 4) && source.ReadAt(at + exif.length - 1, &last, 1)) {
                const uint64_t headerOffset = IsoBe32(field);
                if (headerOffset <= exif.length - 4) {
                    layout.exifItem = meta.exifItem;
                    layout.exifPayloadAt = at;
                    layout.exifPayloadLength = exif.length;
                    layout.exif = {at + 4 + headerOffset, at + exif.length};
                }
            }
        }
    }
    return true;
}

}  // namespace

bool WalkHeif(ByteSource& source, HeifLayout& layout) {
    return Walk(source, layout, false);
}

bool WalkHeifPictures(ByteSource& source, HeifLayout& layout) {
    return Walk(source, layout, true);
}

}  // namespace korvale
