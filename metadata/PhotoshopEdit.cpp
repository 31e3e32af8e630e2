// Walking and rebuilding Photoshop image resources and the IPTC datasets inside them.
#include "PhotoshopEdit.h"

#include <cstring>

#include "ExifEdit.h"
#include "XmpEdit.h"

namespace korvale {
namespace {

constexpr uint16_t kResolutionInfo = 0x03ED;
constexpr uint16_t kIptc = 0x0404;
constexpr uint16_t kOldThumbnail = 0x0409;
constexpr uint16_t kThumbnail = 0x040C;
constexpr uint16_t kExif = 0x0422;
constexpr uint16_t kXmp = 0x0424;
constexpr uint16_t kIptcDigest = 0x0425;

uint32_t Be16(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 8) | p[1];
}

uint32_t Be32(const uint8_t* p) {
    return (Be16(p) << 16) | Be16(p + 2);
}

void PutBe32(uint8_t* p, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(value >> (24 - 8 * i));
    }
}

struct Resource {
    uint32_t id = 0;
    const uint8_t* head = nullptr;  // signature, id and name, as written
    size_t headSize = 0;
    ByteBuffer data;
    bool kept = true;
};

bool KnownSignature(const uint8_t* p) {
    // Photoshop's own and the few other writers' signatures that readers accept.
    for (const char* signature : {"8BIM", "PHUT", "AgHg", "DCSR", "MeSa"}) {
        if (std::memcmp(p, signature, 4) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool IsPlaceDataset(uint8_t record, uint8_t dataset) {
    return record == 2 && (dataset == 26 || dataset == 27 || dataset == 90 || dataset == 92 ||
                           dataset == 95 || dataset == 100 || dataset == 101);
}

std::optional<ByteBuffer> IptcWithoutPlace(const ByteBuffer& iptc) {
    ByteBuffer out;
    out.reserve(iptc.size());
    size_t at = 0;
    while (at < iptc.size()) {
        if (iptc[at] != 0x1C) {
            // Padding to the end is tolerated, anything else is not IPTC.
            for (size_t i = at; i < iptc.size(); ++i) {
                if (iptc[i] != 0) {
                    return std::nullopt;
                }
            }
            break;
        }
        if (iptc.size() - at < 5) {
            return std::nullopt;
        }
        const uint8_t record = iptc[at + 1];
        const uint8_t dataset = iptc[at + 2];
        size_t header = 5;
        uint64_t length = Be16(&iptc[at + 3]);
        if (length & 0x8000) {
            // An extended length: its own size in bytes, then the length.
            const size_t bytes = length & 0x7FFF;
            if (bytes == 0 || bytes > 4 || iptc.size() - at - 5 < bytes) {
                return std::nullopt;
            }
            length = 0;
            for (size_t i = 0; i < bytes; ++i) {
                length = (length << 8) | iptc[at + 5 + i];
            }
            header += bytes;
        }
        if (iptc.size() - at - header < length) {
            return std::nullopt;
        }
        const size_t end = at + header + static_cast<size_t>(length);
        if (!IsPlaceDataset(record, dataset)) {
            out.insert(out.end(), iptc.begin() + static_cast<long>(at),
                       iptc.begin() + static_cast<long>(end));
        }
        at = end;
    }
    return out;
}

std::optional<ByteBuffer> PhotoshopForOutput(const ByteBuffer& resources, bool keepPlace,
                                             uint32_t width, uint32_t height, uint32_t dpi) {
    std::vector<Resource> list;
    size_t at = 0;
    while (resources.size() - at >= 12) {
        const uint8_t* p = resources.data() + at;
        if (!KnownSignature(p)) {
            return std::nullopt;
        }
        Resource resource;
        resource.id = Be16(p + 4);
        // A Pascal name padded to an even size, then the data's size.
        const size_t nameSize = (static_cast<size_t>(p[6]) + 2) & ~static_cast<size_t>(1);
        if (resources.size() - at < 6 + nameSize + 4) {
            return std::nullopt;
        }
        const size_t size = Be32(p + 6 + nameSize);
        const size_t dataAt = at + 6 + nameSize + 4;
        if (resources.size() - dataAt < size) {
            return std::nullopt;
        }
        resource.head = p;
        resource.headSize = 6 + nameSize;
        resource.data.assign(resources.begin() + static_cast<long>(dataAt),
                             resources.begin() + static_cast<long>(dataAt + size));
        list.push_back(std::move(resource));
        at = dataAt + size + (size & 1);
        if (at > resources.size()) {
            break;  // the last resource's padding may be missing
        }
    }
    bool iptcEdited = false;
    for (Resource& r : list) {
        if (r.id == kOldThumbnail || r.id == kThumbnail) {
            r.kept = false;
        } else if (r.id == kResolutionInfo) {
            // Horizontal and vertical resolution, 16.16 fixed point, in pixels per inch.
            r.kept = r.data.size() == 16;
            if (r.kept) {
                PutBe32(&r.data[0], dpi << 16);
                r.data[4] = 0;
                r.data[5] = 1;
                PutBe32(&r.data[8], dpi << 16);
                r.data[12] = 0;
                r.data[13] = 1;
            }
        } else if (r.id == kIptc && !keepPlace) {
            std::optional<ByteBuffer> kept = IptcWithoutPlace(r.data);
            r.kept = kept && !kept->empty();
            iptcEdited = iptcEdited || !kept || *kept != r.data;
            if (r.kept) {
                r.data = std::move(*kept);
            }
        } else if (r.id == kExif) {
            std::optional<ByteBuffer> exif = ExifForOutput(r.data, keepPlace, width, height, dpi);
            r.kept = exif.has_value();
            if (r.kept) {
                r.data = std::move(*exif);
            }
        } else if (r.id == kXmp) {
            std::optional<ByteBuffer> xmp = XmpForOutput(r.data, keepPlace, width, height, dpi);
            r.kept = xmp.has_value();
            if (r.kept) {
                r.data = std::move(*xmp);
            }
        }
    }
    ByteBuffer out;
    for (const Resource& r : list) {
        // The IPTC digest no longer matches an edited IPTC.
        if (!r.kept || (r.id == kIptcDigest && iptcEdited)) {
            continue;
        }
        out.insert(out.end(), r.head, r.head + r.headSize);
        uint8_t size[4];
        PutBe32(size, static_cast<uint32_t>(r.data.size()));
        out.insert(out.end(), size, size + 4);
        out.insert(out.end(), r.data.begin(), r.data.end());
        if (r.data.size() & 1) {
            out.push_back(0);
        }
    }
    return out;
}

}  // namespace korvale
