#include "TiffCropPaste.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <opencv2/core.hpp>

#include "EncoderLimits.h"
#include "Geometry.h"
#include "TiffEncode.h"
#include "TiffOpen.h"

namespace korvale {
namespace {

// The source, opened once: libtiff's handle owns the file descriptor that the rows are read
// from. Row r is `rowBytes` bytes at strips[r / rowsPerStrip] + (r % rowsPerStrip) * rowBytes.
struct SourceRows {
    TiffHandle tiff;
    int fd = -1;
    int width = 0;
    int height = 0;
    int channels = 0;
    size_t rowBytes = 0;
    uint32_t rowsPerStrip = 0;
    std::vector<uint64_t> strips;
};

template <typename T>
bool Field(TIFF* t, uint32_t tag, T& value) {
    return TIFFGetField(t, tag, &value) == 1;
}

// The layout when the file is a regular file this path handles, every row inside it.
std::optional<SourceRows> PlainRows(const std::string& path) {
    uint64_t fileSize = 0;
    TiffHandle tiff = OpenQuietTiff(path, &fileSize);
    if (!tiff) {
        return std::nullopt;
    }
    TIFF* t = tiff.get();
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t bits = 0;
    uint16_t channels = 0;
    uint16_t photometric = 0;
    uint16_t planar = PLANARCONFIG_CONTIG;
    uint16_t compression = COMPRESSION_NONE;
    uint16_t orientation = ORIENTATION_TOPLEFT;
    uint16_t format = SAMPLEFORMAT_UINT;
    uint32_t rowsPerStrip = 0;
    uint16_t extraCount = 0;
    uint16_t* extra = nullptr;
    if (TIFFIsTiled(t) || !Field(t, TIFFTAG_IMAGEWIDTH, width) ||
        !Field(t, TIFFTAG_IMAGELENGTH, height) || !Field(t, TIFFTAG_PHOTOMETRIC, photometric)) {
        return std::nullopt;
    }
    // The defaults where a tag is absent, as libtiff gives them.
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &channels);
    TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(t, TIFFTAG_ORIENTATION, &orientation);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    TIFFGetFieldDefaulted(t, TIFFTAG_EXTRASAMPLES, &extraCount, &extra);
    const bool grey = photometric == PHOTOMETRIC_MINISBLACK && channels == 1;
    const bool rgb = photometric == PHOTOMETRIC_RGB && channels == 3;
    if (!(grey || rgb) || bits != 8 || planar != PLANARCONFIG_CONTIG ||
        compression != COMPRESSION_NONE || orientation != ORIENTATION_TOPLEFT ||
        format != SAMPLEFORMAT_UINT || extraCount != 0 || width == 0 || height == 0 ||
        width > (1u << 30) / 4 || height > (1u << 30) || rowsPerStrip == 0) {
        return std::nullopt;
    }
    SourceRows rows;
    rows.fd = TIFFFileno(tiff.get());
    rows.width = static_cast<int>(width);
    rows.height = static_cast<int>(height);
    rows.channels = channels;
    rows.rowBytes = static_cast<size_t>(width) * channels;
    rows.rowsPerStrip = std::min(rowsPerStrip, height);
    const uint32_t stripCount = (height - 1) / rows.rowsPerStrip + 1;
    if (TIFFNumberOfStrips(t) != stripCount) {
        return std::nullopt;
    }
    rows.strips.resize(stripCount);
    for (uint32_t s = 0; s < stripCount; ++s) {
        int failed = 0;
        const uint64_t offset = TIFFGetStrileOffsetWithErr(t, s, &failed);
        const uint64_t count = TIFFGetStrileByteCountWithErr(t, s, &failed);
        const uint64_t inStrip =
            std::min<uint64_t>(rows.rowsPerStrip, height - s * uint64_t{rows.rowsPerStrip});
        const uint64_t needed = inStrip * rows.rowBytes;
        if (failed != 0 || count < needed || offset > fileSize || fileSize - offset < needed) {
            return std::nullopt;
        }
        rows.strips[s] = offset;
    }
    rows.tiff = std::move(tiff);
    return rows;
}

bool ReadFully(int fd, uint8_t* into, size_t size, uint64_t at) {
    while (size > 0) {
        const ssize_t got = ::pread(fd, into, size, static_cast<off_t>(at));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        into += got;
        size -= static_cast<size_t>(got);
        at += static_cast<uint64_t>(got);
    }
    return true;
}

}  // namespace

std::optional<ConvertResult> CropPasteTiffToTiff(const std::string& sourcePath, PixelSize target,
                                                 int anchor, const Rgb& margin,
                                                 std::optional<uint32_t> dpi,
                                                 std::vector<uint8_t>& bytes,
                                                 const OutputPieces& pieces) {
    const std::optional<SourceRows> source = PlainRows(sourcePath);
    if (!source) {
        return std::nullopt;
    }
    // The checks of the usual way, in its order.
    const PixelLayout pixel{static_cast<uint32_t>(source->channels), 1};
    if (IsValidAnchor(anchor) && EncoderRefuses(ImageFormat::Tiff, target, pixel)) {
        return ConvertResult::WriteFailed;
    }
    const ConversionGeometry geometry =
        CropPasteGeometry({source->width, source->height}, target, anchor);
    if (geometry.problem != GeometryProblem::None) {
        return geometry.problem == GeometryProblem::BadAnchor ? ConvertResult::BadAnchor
                                                              : ConvertResult::WriteFailed;
    }
    const Margins& m = geometry.margins;
    const Margins& cut = geometry.cut;
    const int channels = source->channels;
    const size_t outRowBytes = static_cast<size_t>(target.width) * channels;
    const size_t leftBytes = static_cast<size_t>(m.left) * channels;
    const size_t innerBytes = outRowBytes - leftBytes - static_cast<size_t>(m.right) * channels;
    const size_t cutLeftBytes = static_cast<size_t>(cut.left) * channels;
    // A row of margin, of the colour the usual way fills in, in the file's sample order.
    const cv::Scalar colour = BorderColour(margin, CV_8UC(channels));
    std::vector<uint8_t> marginRow(outRowBytes);
    for (size_t x = 0; x < outRowBytes; x += channels) {
        for (int c = 0; c < channels; ++c) {
            // OpenCV's order is BGR; the file's is RGB.
            marginRow[x + c] = cv::saturate_cast<uint8_t>(colour[channels == 1 ? 0 : 2 - c]);
        }
    }
    bool readFailed = false;
    bytes.clear();
    bytes.reserve(outRowBytes * static_cast<size_t>(target.height) + 64 * 1024);
    const TiffShape shape{target.width, target.height, channels, 1};
    const bool encoded = EncodeTiffRows(
        shape, dpi, kTiffCompression, bytes,
        [&](int y, int rows, uint8_t* data) {
            for (int r = 0; r < rows; ++r) {
                uint8_t* out = data + static_cast<size_t>(r) * outRowBytes;
                const int at = y + r;
                if (at < m.top || at >= target.height - m.bottom) {
                    std::memcpy(out, marginRow.data(), outRowBytes);
                    continue;
                }
                // The part of the source row that shows, read straight into place.
                const uint32_t row = static_cast<uint32_t>(cut.top + at - m.top);
                const uint64_t from = source->strips[row / source->rowsPerStrip] +
                                      (row % source->rowsPerStrip) * source->rowBytes +
                                      cutLeftBytes;
                std::memcpy(out, marginRow.data(), leftBytes);
                if (!ReadFully(source->fd, out + leftBytes, innerBytes, from)) {
                    readFailed = true;
                    return false;
                }
                std::memcpy(out + leftBytes + innerBytes, marginRow.data(),
                            outRowBytes - leftBytes - innerBytes);
            }
            return true;
        },
        pieces);
    if (readFailed) {
        return ConvertResult::ReadFailed;
    }
    return encoded ? ConvertResult::Ok : ConvertResult::WriteFailed;
}

}  // namespace korvale
