// Collecting a JPEG source's ICC profile, Exif block, XMP packet and Photoshop resources, and
// inserting them into an encoded JPEG.
#include "JpegMetadata.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "ExifEdit.h"
#include "PhotoshopEdit.h"
#include "XmpEdit.h"

namespace korvale {
namespace {

constexpr char kIccId[] = "ICC_PROFILE";  // with its terminating zero: 12 bytes
constexpr size_t kIccIdSize = sizeof kIccId;
constexpr size_t kIccHeader = kIccIdSize + 2;  // identifier, sequence number, chunk count
constexpr size_t kMaxPayload = 65533;
constexpr uint8_t kExifId[] = {'E', 'x', 'i', 'f', 0, 0};
constexpr char kXmpId[] = "http://ns.adobe.com/xap/1.0/";  // with its zero: 29 bytes
constexpr char kPhotoshopId[] = "Photoshop 3.0";           // with its zero: 14 bytes
// A header larger than this is not read for metadata (a profile can take 255 segments).
constexpr size_t kMaxHeaderBytes = 32u << 20;

bool StartsWith(const uint8_t* data, size_t size, const void* prefix, size_t length) {
    return size >= length && std::memcmp(data, prefix, length) == 0;
}

// The profile from its APP2 chunks: each sequence number from 1 to the count exactly once,
// and the profile's own header plausible.
ByteBuffer AssembleProfile(const uint8_t* data, const std::vector<JpegSegment>& segments) {
    std::vector<const JpegSegment*> chunks;
    size_t count = 0;
    for (const JpegSegment& s : segments) {
        const uint8_t* p = data + s.payloadAt;
        if (s.code != 0xE2 || !StartsWith(p, s.payloadSize, kIccId, kIccIdSize)) {
            continue;
        }
        if (s.payloadSize < kIccHeader) {
            return {};
        }
        const size_t sequence = p[kIccIdSize];
        const size_t total = p[kIccIdSize + 1];
        if (total == 0 || (count != 0 && total != count) || sequence < 1 || sequence > total) {
            return {};
        }
        count = total;
        chunks.resize(count, nullptr);
        if (chunks[sequence - 1]) {
            return {};
        }
        chunks[sequence - 1] = &s;
    }
    ByteBuffer profile;
    for (const JpegSegment* s : chunks) {
        if (!s) {
            return {};
        }
        const uint8_t* p = data + s->payloadAt + kIccHeader;
        profile.insert(profile.end(), p, p + s->payloadSize - kIccHeader);
    }
    return PlausibleProfile(profile) ? profile : ByteBuffer{};
}

// Whether a profile describes pixels of `components` channels.
bool ProfileFits(const ByteBuffer& profile, int components) {
    const char* space = reinterpret_cast<const char*>(profile.data() + 16);
    return (components == 3 && std::memcmp(space, "RGB ", 4) == 0) ||
           (components == 1 && std::memcmp(space, "GRAY", 4) == 0);
}

// The component count of the first frame header; 0 when there is none.
int FrameComponents(const uint8_t* data, const std::vector<JpegSegment>& segments) {
    for (const JpegSegment& s : segments) {
        const bool frame =
            s.code >= 0xC0 && s.code <= 0xCF && s.code != 0xC4 && s.code != 0xC8 && s.code != 0xCC;
        if (frame) {
            return s.payloadSize >= 6 ? data[s.payloadAt + 5] : 0;
        }
    }
    return 0;
}

}  // namespace

SourceMetadata ExtractJpegMetadata(const uint8_t* data, size_t size) {
    SourceMetadata metadata;
    const JpegHeaderWalk walk = WalkJpegHeader(data, size);
    if (!walk.complete) {
        return metadata;
    }
    metadata.iccProfile = AssembleProfile(data, walk.segments);
    for (const JpegSegment& s : walk.segments) {
        const uint8_t* p = data + s.payloadAt;
        if (s.code == 0xE1 && metadata.exif.empty() && s.payloadSize > sizeof kExifId &&
            StartsWith(p, s.payloadSize, kExifId, sizeof kExifId)) {
            metadata.exif.assign(p + sizeof kExifId, p + s.payloadSize);
        } else if (s.code == 0xE1 && metadata.xmp.empty() && s.payloadSize > sizeof kXmpId &&
                   StartsWith(p, s.payloadSize, kXmpId, sizeof kXmpId)) {
            metadata.xmp.assign(p + sizeof kXmpId, p + s.payloadSize);
        } else if (s.code == 0xED &&
                   StartsWith(p, s.payloadSize, kPhotoshopId, sizeof kPhotoshopId)) {
            // Resources too long for one segment go on in the next ones.
            metadata.photoshop.insert(metadata.photoshop.end(), p + sizeof kPhotoshopId,
                                      p + s.payloadSize);
        }
    }
    return metadata;
}

SourceMetadata ReadJpegMetadata(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    // Read more only while the walk runs off the end of what was read.
    ByteBuffer header;
    size_t chunk = 64 * 1024;
    for (;;) {
        const size_t had = header.size();
        header.resize(had + chunk);
        size_t got = 0;
        while (got < chunk) {
            const ssize_t n = ::read(fd, header.data() + had + got, chunk - got);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            got += static_cast<size_t>(n);
        }
        header.resize(had + got);
        const JpegHeaderWalk walk = WalkJpegHeader(header.data(), header.size());
        if (walk.complete || !walk.ranOut || got < chunk || header.size() >= kMaxHeaderBytes) {
            break;
        }
        chunk = std::min(header.size(), kMaxHeaderBytes - header.size());
    }
    ::close(fd);
    return ExtractJpegMetadata(header.data(), header.size());
}

ByteBuffer CarryJpegMetadata(const ByteBuffer& encoded, const SourceMetadata& metadata,
                             MetadataPolicy policy, uint32_t width, uint32_t height, uint32_t dpi) {
    const bool withExif = policy != MetadataPolicy::None && !metadata.exif.empty();
    const bool withXmp = policy != MetadataPolicy::None && !metadata.xmp.empty();
    const bool withPhotoshop = policy != MetadataPolicy::None && !metadata.photoshop.empty();
    if (!withExif && !withXmp && !withPhotoshop && metadata.iccProfile.empty()) {
        return encoded;
    }
    const bool keepPlace = policy == MetadataPolicy::All;
    const JpegHeaderWalk walk = WalkJpegHeader(encoded.data(), encoded.size());
    if (!walk.complete) {
        return encoded;
    }
    size_t insertAt = 2;
    if (!walk.segments.empty() && walk.segments[0].code == 0xE0 && walk.segments[0].markerAt == 2) {
        insertAt = walk.segments[0].end();
    }

    ByteBuffer block;
    if (withExif) {
        const std::optional<ByteBuffer> exif =
            ExifForOutput(metadata.exif, policy == MetadataPolicy::All, width, height, dpi);
        if (exif && exif->size() + sizeof kExifId <= kMaxPayload) {
            ByteBuffer payload(kExifId, kExifId + sizeof kExifId);
            payload.insert(payload.end(), exif->begin(), exif->end());
            AppendSegment(block, 0xE1, payload.data(), payload.size());
        }
    }
    if (withXmp) {
        // A packet too long for one segment would need extended XMP, which is not written.
        const std::optional<ByteBuffer> xmp =
            XmpForOutput(metadata.xmp, keepPlace, width, height, dpi);
        if (xmp && xmp->size() + sizeof kXmpId <= kMaxPayload) {
            ByteBuffer payload(kXmpId, kXmpId + sizeof kXmpId);
            payload.insert(payload.end(), xmp->begin(), xmp->end());
            AppendSegment(block, 0xE1, payload.data(), payload.size());
        }
    }
    const ByteBuffer& profile = metadata.iccProfile;
    constexpr size_t kChunkData = kMaxPayload - kIccHeader;
    const size_t chunks = (profile.size() + kChunkData - 1) / kChunkData;
    if (!profile.empty() && chunks <= 255 &&
        ProfileFits(profile, FrameComponents(encoded.data(), walk.segments))) {
        for (size_t i = 0; i < chunks; ++i) {
            const size_t from = i * kChunkData;
            const size_t size = std::min(kChunkData, profile.size() - from);
            ByteBuffer payload(kIccId, kIccId + kIccIdSize);
            payload.push_back(static_cast<uint8_t>(i + 1));
            payload.push_back(static_cast<uint8_t>(chunks));
            payload.insert(payload.end(), profile.begin() + static_cast<long>(from),
                           profile.begin() + static_cast<long>(from + size));
            AppendSegment(block, 0xE2, payload.data(), payload.size());
        }
    }
    if (withPhotoshop) {
        const std::optional<ByteBuffer> resources =
            PhotoshopForOutput(metadata.photoshop, keepPlace, width, height, dpi);
        constexpr size_t kPart = kMaxPayload - sizeof kPhotoshopId;
        for (size_t from = 0; resources && from < resources->size(); from += kPart) {
            const size_t size = std::min(kPart, resources->size() - from);
            ByteBuffer payload(kPhotoshopId, kPhotoshopId + sizeof kPhotoshopId);
            payload.insert(payload.end(), resources->begin() + static_cast<long>(from),
                           resources->begin() + static_cast<long>(from + size));
            AppendSegment(block, 0xED, payload.data(), payload.size());
        }
    }
    if (block.empty()) {
        return encoded;
    }
    ByteBuffer out;
    out.reserve(encoded.size() + block.size());
    out.insert(out.end(), encoded.begin(), encoded.begin() + static_cast<long>(insertAt));
    out.insert(out.end(), block.begin(), block.end());
    out.insert(out.end(), encoded.begin() + static_cast<long>(insertAt), encoded.end());
    return out;
}

}  // namespace korvale
