// Encoder limits of OpenCV 4.6's BMP writer, libjpeg, libpng and classic TIFF.
#include "EncoderLimits.h"

#include <algorithm>
#include <cstdint>

namespace korvale {
namespace {

constexpr int kJpegMaxSide = 65500;
constexpr int kPngMaxSide = 1000000;
constexpr uint64_t kBmpMaxFile = 0x7FFFFFFF;
constexpr uint64_t kTiffMaxFile = 0xFFFFFFFF;
constexpr uint64_t kTiffRoom = 64 * 1024;
// The encoder puts as many rows into a strip as fit in 8 KiB, at least one.
constexpr uint64_t kTiffStripBytes = 8192;

}  // namespace

PixelLayout OutputPixel(PixelLayout decoded, ImageFormat source, ImageFormat output) {
    switch (output) {
        case ImageFormat::Tiff:
            return decoded;
        case ImageFormat::Png:
            return {decoded.channels, decoded.bytesPerChannel <= 1 ? 1u : 2u};
        case ImageFormat::Bmp:
        case ImageFormat::Jpeg:
            break;
    }
    const bool blended =
        decoded.channels == 4 && (source == ImageFormat::Png || source == ImageFormat::Tiff);
    return {blended ? 3u : decoded.channels, 1};
}

bool EncoderRefuses(ImageFormat format, PixelSize size, PixelLayout pixel) {
    if (size.width <= 0 || size.height <= 0) {
        return false;  // no image to encode: the geometry says why
    }
    const auto width = static_cast<uint64_t>(size.width);
    const auto height = static_cast<uint64_t>(size.height);
    switch (format) {
        case ImageFormat::Jpeg:
            return size.width > kJpegMaxSide || size.height > kJpegMaxSide;
        case ImageFormat::Png:
            return size.width > kPngMaxSide || size.height > kPngMaxSide;
        case ImageFormat::Bmp: {
            // Rows padded to four bytes; one channel brings a 256-colour grey palette.
            const uint64_t row = (width * pixel.channels + 3) & ~uint64_t{3};
            const uint64_t header = 14 + 40 + (pixel.channels == 1 ? 1024 : 0);
            return row * height + header > kBmpMaxFile;
        }
        case ImageFormat::Tiff: {
            const uint64_t row = width * pixel.bytes();
            const uint64_t rowsPerStrip = std::max<uint64_t>(1, kTiffStripBytes / row);
            const uint64_t strips = (height + rowsPerStrip - 1) / rowsPerStrip;
            // Header, pixels, and an offset and a byte count for each strip.
            return 8 + row * height + 8 * strips + kTiffRoom > kTiffMaxFile;
        }
    }
    return false;
}

}  // namespace korvale
