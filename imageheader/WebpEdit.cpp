// The RIFF walk for a WebP resolution edit; every chunk must lie inside the container.
#include "WebpEdit.h"

#include <cstring>
#include <vector>

#include "ByteSource.h"
#include "ExifEdit.h"

namespace korvale {
namespace {

constexpr uint8_t kExifFlag = 0x08;
constexpr uint8_t kAlphaFlag = 0x10;
constexpr uint8_t kExifPrefix[6] = {'E', 'x', 'i', 'f', 0, 0};

struct Chunk {
    size_t at;    // the chunk's header
    size_t size;  // its payload, without the pad byte
    bool Is(const ByteBuffer& b, const char* fourcc) const {
        return std::memcmp(b.data() + at, fourcc, 4) == 0;
    }
    size_t End() const { return at + 8 + size + (size & 1); }
};

uint32_t Le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void PutLe(ByteBuffer& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

void AppendChunk(ByteBuffer& out, const char* fourcc, const uint8_t* payload, size_t size) {
    out.insert(out.end(), fourcc, fourcc + 4);
    PutLe(out, static_cast<uint32_t>(size), 4);
    out.insert(out.end(), payload, payload + size);
    if (size & 1) {
        out.push_back(0);
    }
}

// The chunks of a whole container; empty when anything does not add up.
std::vector<Chunk> ChunksOf(const ByteBuffer& b) {
    if (b.size() < 20 || std::memcmp(b.data(), "RIFF", 4) != 0 ||
        std::memcmp(b.data() + 8, "WEBP", 4) != 0) {
        return {};
    }
    const uint64_t end = 8 + static_cast<uint64_t>(Le32(b.data() + 4));
    if (end > b.size() || end < 20) {
        return {};
    }
    std::vector<Chunk> chunks;
    uint64_t at = 12;
    while (at < end) {
        if (end - at < 8) {
            return {};
        }
        const uint64_t size = Le32(b.data() + at + 4);
        if (size > end - at - 8) {
            return {};
        }
        chunks.push_back({static_cast<size_t>(at), static_cast<size_t>(size)});
        at += 8 + size + (size & 1);
    }
    return chunks;
}

// The VP8X payload for a simple file: its canvas from the bitstream's own header.
std::optional<ByteBuffer> ExtendedHeaderFor(const ByteBuffer& b, const Chunk& image) {
    const uint8_t* p = b.data() + image.at + 8;
    uint32_t width = 0;
    uint32_t height = 0;
    uint8_t flags = kExifFlag;
    if (image.Is(b, "VP8 ") && image.size >= 10 && p[3] == 0x9D && p[4] == 0x01 && p[5] == 0x2A) {
        width = (p[6] | (p[7] << 8)) & 0x3FFF;
        height = (p[8] | (p[9] << 8)) & 0x3FFF;
    } else if (image.Is(b, "VP8L") && image.size >= 5 && p[0] == 0x2F) {
        const uint32_t bits = Le32(p + 1);
        width = (bits & 0x3FFF) + 1;
        height = ((bits >> 14) & 0x3FFF) + 1;
        if ((bits >> 28) & 1) {
            flags |= kAlphaFlag;
        }
    } else {
        return std::nullopt;
    }
    if (width == 0 || height == 0) {
        return std::nullopt;
    }
    ByteBuffer header = {flags, 0, 0, 0};
    PutLe(header, width - 1, 3);
    PutLe(header, height - 1, 3);
    return header;
}

}  // namespace

ResolutionEdit PlanWebpResolution(ByteSource& source, uint32_t) {
    uint8_t head[12];
    return WholeRewriteIf(source.ReadAt(0, head, sizeof head) &&
                          std::memcmp(head, "RIFF", 4) == 0 &&
                          std::memcmp(head + 8, "WEBP", 4) == 0);
}

std::optional<ByteBuffer> WebpWithResolution(const ByteBuffer& b, uint32_t dpi) {
    const std::vector<Chunk> chunks = ChunksOf(b);
    if (chunks.empty()) {
        return std::nullopt;
    }
    ByteBuffer exif;
    const Chunk* oldExif = nullptr;
    for (const Chunk& chunk : chunks) {
        if (chunk.Is(b, "EXIF")) {
            if (oldExif != nullptr) {
                return std::nullopt;  // which one a reader takes is not ours to guess
            }
            oldExif = &chunk;
        }
    }
    if (oldExif != nullptr) {
        const uint8_t* p = b.data() + oldExif->at + 8;
        // Some writers put the JPEG segment's identifier first; it is kept.
        const bool prefixed = oldExif->size >= 6 && std::memcmp(p, kExifPrefix, 6) == 0;
        const size_t skip = prefixed ? 6 : 0;
        std::optional<ByteBuffer> edited =
            ExifWithResolution(ByteBuffer(p + skip, p + oldExif->size), dpi);
        if (!edited) {
            return std::nullopt;
        }
        exif.assign(p, p + skip);
        exif.insert(exif.end(), edited->begin(), edited->end());
    } else {
        exif = *ExifWithResolution({}, dpi);
    }

    ByteBuffer out = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'E', 'B', 'P'};
    out.reserve(b.size() + exif.size() + 64);
    if (!chunks.front().Is(b, "VP8X")) {
        if (chunks.size() != 1) {
            return std::nullopt;  // a simple file holds its image alone
        }
        const std::optional<ByteBuffer> header = ExtendedHeaderFor(b, chunks.front());
        if (!header) {
            return std::nullopt;
        }
        AppendChunk(out, "VP8X", header->data(), header->size());
    } else if (chunks.front().size < 10) {
        return std::nullopt;
    }
    bool placed = false;
    for (const Chunk& chunk : chunks) {
        if (&chunk == oldExif || (chunk.Is(b, "XMP ") && !placed)) {
            AppendChunk(out, "EXIF", exif.data(), exif.size());
            placed = true;
            if (&chunk == oldExif) {
                continue;
            }
        }
        const size_t copied = out.size();
        out.insert(out.end(), b.begin() + static_cast<std::ptrdiff_t>(chunk.at),
                   b.begin() + static_cast<std::ptrdiff_t>(chunk.End()));
        if (chunk.Is(b, "VP8X")) {
            out[copied + 8] |= kExifFlag;
        }
    }
    if (!placed) {
        AppendChunk(out, "EXIF", exif.data(), exif.size());
    }
    if (out.size() - 8 > 0xFFFFFFFEu) {
        return std::nullopt;
    }
    const uint32_t riff = static_cast<uint32_t>(out.size() - 8);
    for (int i = 0; i < 4; ++i) {
        out[4 + static_cast<size_t>(i)] = static_cast<uint8_t>(riff >> (8 * i));
    }
    return out;
}

}  // namespace korvale
