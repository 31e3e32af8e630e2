// PNG chunks made with zlib: the profile compressed, the packet as plain UTF-8 text.
#include "PngMetadata.h"

#include <zlib.h>

#include <cstring>

namespace korvale {
namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr size_t kIhdrEnd = 8 + 12 + 13;
constexpr size_t kMaxChunk = 0x7FFFFFFF;

void PutBe32(ByteBuffer& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<uint8_t>(value >> shift));
    }
}

void AppendChunk(ByteBuffer& out, const char* type, const ByteBuffer& data) {
    PutBe32(out, static_cast<uint32_t>(data.size()));
    const size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    const uLong crc =
        crc32(crc32(0, nullptr, 0), out.data() + typeAt, static_cast<uInt>(out.size() - typeAt));
    PutBe32(out, static_cast<uint32_t>(crc));
}

// iCCP data: a name, zero, compression method 0, the profile deflated; empty when zlib fails.
ByteBuffer ProfileChunk(const ByteBuffer& profile) {
    static constexpr char kName[] = "ICC profile";
    ByteBuffer data(kName, kName + sizeof kName);
    data.push_back(0);
    uLongf size = compressBound(static_cast<uLong>(profile.size()));
    const size_t at = data.size();
    data.resize(at + size);
    if (compress2(data.data() + at, &size, profile.data(), static_cast<uLong>(profile.size()),
                  Z_DEFAULT_COMPRESSION) != Z_OK) {
        return {};
    }
    data.resize(at + size);
    return data;
}

}  // namespace

ByteBuffer PngWithPieces(const ByteBuffer& encoded, const OutputPieces& pieces, int channels) {
    const bool withProfile =
        !pieces.iccProfile.empty() && ProfileFitsChannels(pieces.iccProfile, channels);
    if ((!withProfile && pieces.xmp.empty()) || encoded.size() < kIhdrEnd ||
        std::memcmp(encoded.data(), kSignature, sizeof kSignature) != 0 ||
        std::memcmp(encoded.data() + 8, "\0\0\0\x0dIHDR", 8) != 0) {
        return encoded;
    }
    ByteBuffer chunks;
    if (withProfile) {
        const ByteBuffer data = ProfileChunk(pieces.iccProfile);
        if (!data.empty() && data.size() <= kMaxChunk) {
            AppendChunk(chunks, "iCCP", data);
        }
    }
    if (!pieces.xmp.empty()) {
        // Keyword, zero; not compressed, method 0; no language tag, no translated keyword.
        static constexpr char kKey[] = "XML:com.adobe.xmp";
        ByteBuffer data(kKey, kKey + sizeof kKey);
        data.insert(data.end(), {0, 0, 0, 0});
        data.insert(data.end(), pieces.xmp.begin(), pieces.xmp.end());
        if (data.size() <= kMaxChunk) {
            AppendChunk(chunks, "iTXt", data);
        }
    }
    ByteBuffer out;
    out.reserve(encoded.size() + chunks.size());
    out.insert(out.end(), encoded.begin(), encoded.begin() + kIhdrEnd);
    out.insert(out.end(), chunks.begin(), chunks.end());
    out.insert(out.end(), encoded.begin() + kIhdrEnd, encoded.end());
    return out;
}

}  // namespace korvale
