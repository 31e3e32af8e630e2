// Reading the pieces of PNG and TIFF sources, and the pieces made true for an output.
#include "SourceMetadata.h"

#include <zlib.h>

#include <cstring>

#include "HeaderWalk.h"
#include "ModernFormats.h"
#include "XmpEdit.h"

namespace korvale {
namespace {

// A piece larger than this is not read: no profile or packet a camera or editor writes comes
// near it, and a claim in a damaged header takes no more memory than this.
constexpr uint32_t kMaxPiece = 16u << 20;

// The `size` bytes at `at`, read only once the source is known to hold them all, so that a
// claimed size never allocates more than the file has.
ByteBuffer ReadPiece(ByteSource& source, uint64_t at, uint32_t size) {
    uint8_t last = 0;
    if (size == 0 || size > kMaxPiece || !source.ReadAt(at + size - 1, &last, 1)) {
        return {};
    }
    ByteBuffer piece(size);
    return source.ReadAt(at, piece.data(), size) ? piece : ByteBuffer{};
}

// A zlib stream inflated whole; empty when it is damaged, cut short or inflates past the bound.
ByteBuffer Inflated(const uint8_t* data, size_t size) {
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) {
        return {};
    }
    ByteBuffer out;
    stream.next_in = const_cast<Bytef*>(data);
    stream.avail_in = static_cast<uInt>(size);
    int status = Z_OK;
    while (status == Z_OK) {
        const size_t had = out.size();
        const size_t more = std::min<size_t>(std::max<size_t>(had, 64 * 1024), kMaxPiece - had);
        if (more == 0) {
            break;
        }
        out.resize(had + more);
        stream.next_out = out.data() + had;
        stream.avail_out = static_cast<uInt>(more);
        status = inflate(&stream, Z_NO_FLUSH);
        out.resize(had + more - stream.avail_out);
        if (status == Z_BUF_ERROR && stream.avail_in == 0) {
            break;  // cut short
        }
    }
    inflateEnd(&stream);
    return status == Z_STREAM_END ? out : ByteBuffer{};
}

// The text after a zero-terminated field of at most `limit` bytes starting at `at`; npos when
// there is no terminator in reach.
size_t AfterField(const ByteBuffer& data, size_t at, size_t limit) {
    if (at >= data.size()) {
        return std::string::npos;
    }
    const size_t reach = std::min(data.size(), at + limit + 1);
    const auto* zero = static_cast<const uint8_t*>(std::memchr(data.data() + at, 0, reach - at));
    return zero ? static_cast<size_t>(zero - data.data()) + 1 : std::string::npos;
}

// iCCP: name (1 to 79 bytes), zero, compression method 0, the zlib stream.
ByteBuffer PngProfile(const ByteBuffer& chunk) {
    const size_t method = AfterField(chunk, 0, 79);
    if (method == std::string::npos || method >= chunk.size() || chunk[method] != 0) {
        return {};
    }
    ByteBuffer profile = Inflated(chunk.data() + method + 1, chunk.size() - method - 1);
    return PlausibleProfile(profile) ? profile : ByteBuffer{};
}

// iTXt: keyword, zero, compression flag and method, language tag and translated keyword (each
// zero-terminated), the text.
ByteBuffer PngXmp(const ByteBuffer& chunk) {
    const size_t flags = AfterField(chunk, 0, 79);
    if (flags == std::string::npos || chunk.size() - flags < 2 || chunk[flags] > 1 ||
        chunk[flags + 1] != 0) {
        return {};
    }
    const size_t translated = AfterField(chunk, flags + 2, chunk.size());
    const size_t text = AfterField(chunk, translated, chunk.size());
    if (translated == std::string::npos || text == std::string::npos) {
        return {};
    }
    if (chunk[flags] == 1) {
        return Inflated(chunk.data() + text, chunk.size() - text);
    }
    return ByteBuffer(chunk.begin() + static_cast<long>(text), chunk.end());
}

// An IFD0 entry of bytes (BYTE or UNDEFINED) held past the entry itself.
ByteBuffer TiffBytes(ByteSource& source, const TiffEntry& entry) {
    if (!entry.present || (entry.type != 1 && entry.type != 7) || entry.count <= 4) {
        return {};
    }
    return ReadPiece(source, entry.value, entry.count);
}

}  // namespace

bool PlausibleProfile(const ByteBuffer& profile) {
    if (profile.size() < 128 || std::memcmp(profile.data() + 36, "acsp", 4) != 0) {
        return false;
    }
    const size_t declared = (static_cast<size_t>(profile[0]) << 24) | (profile[1] << 16) |
                            (profile[2] << 8) | profile[3];
    return declared >= 128 && declared <= profile.size();
}

bool ProfileFitsChannels(const ByteBuffer& profile, int channels) {
    if (profile.size() < 20) {
        return false;
    }
    const char* space = reinterpret_cast<const char*>(profile.data() + 16);
    return ((channels == 3 || channels == 4) && std::memcmp(space, "RGB ", 4) == 0) ||
           ((channels == 1 || channels == 2) && std::memcmp(space, "GRAY", 4) == 0);
}

SourceMetadata ReadPngMetadata(ByteSource& source) {
    SourceMetadata metadata;
    PngLayout layout;
    if (!WalkPng(source, layout)) {
        return metadata;
    }
    if (layout.iccpAt != 0) {
        metadata.iccProfile = PngProfile(ReadPiece(source, layout.iccpAt, layout.iccpLength));
    }
    if (layout.xmpAt != 0) {
        metadata.xmp = PngXmp(ReadPiece(source, layout.xmpAt, layout.xmpLength));
    }
    return metadata;
}

SourceMetadata ReadTiffMetadata(ByteSource& source) {
    SourceMetadata metadata;
    TiffLayout layout;
    if (!WalkTiff(source, layout)) {
        return metadata;
    }
    metadata.iccProfile = TiffBytes(source, layout.iccProfile);
    if (!PlausibleProfile(metadata.iccProfile)) {
        metadata.iccProfile.clear();
    }
    metadata.xmp = TiffBytes(source, layout.xmp);
    return metadata;
}

SourceMetadata ReadModernMetadata(ByteSource& source, ImageFormat format) {
    SourceMetadata metadata;
    uint64_t iccAt = 0;
    uint32_t iccLength = 0;
    ExifBlock exif;
    if (format == ImageFormat::Heif || format == ImageFormat::Avif) {
        HeifLayout heif;
        if (!WalkHeif(source, heif)) {
            return metadata;
        }
        iccAt = heif.iccAt;
        iccLength = heif.iccLength;
        exif = heif.exif;
    } else if (format == ImageFormat::Webp) {
        WebpLayout webp;
        if (!WalkWebp(source, webp)) {
            return metadata;
        }
        iccAt = webp.iccpAt;
        iccLength = webp.iccpLength;
        exif = webp.exif;
    } else if (format == ImageFormat::Jxl) {
        JxlLayout jxl;
        if (!WalkJxl(source, jxl)) {
            return metadata;
        }
        exif = jxl.exif;
        if (jxl.exifCompressed) {
            const auto at = jxl.inflatedExif.begin();
            metadata.exif.assign(at + static_cast<std::ptrdiff_t>(jxl.inflatedBlock.at),
                                 at + static_cast<std::ptrdiff_t>(jxl.inflatedBlock.end));
        }
    }
    if (iccAt != 0) {
        metadata.iccProfile = ReadPiece(source, iccAt, iccLength);
        if (!PlausibleProfile(metadata.iccProfile)) {
            metadata.iccProfile.clear();
        }
    }
    if (exif.at != 0 && exif.end > exif.at && exif.end - exif.at <= kMaxPiece) {
        metadata.exif = ReadPiece(source, exif.at, static_cast<uint32_t>(exif.end - exif.at));
    }
    return metadata;
}

OutputPieces PiecesForOutput(const SourceMetadata& metadata, MetadataPolicy policy, uint32_t width,
                             uint32_t height, uint32_t dpi) {
    OutputPieces pieces;
    pieces.iccProfile = metadata.iccProfile;
    if (policy != MetadataPolicy::None && !metadata.xmp.empty()) {
        if (std::optional<ByteBuffer> xmp =
                XmpForOutput(metadata.xmp, policy == MetadataPolicy::All, width, height, dpi)) {
            pieces.xmp = std::move(*xmp);
        }
    }
    return pieces;
}

}  // namespace korvale
