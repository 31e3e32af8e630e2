// The output pixel and the encoders' limits, by the format table.
#include "EncoderLimits.h"

#include <algorithm>
#include <cstdint>

namespace korvale {

PixelLayout OutputPixel(PixelLayout decoded, ImageFormat source, ImageFormat output) {
    const ImageFormatEntry& to = EntryOf(output);
    const bool blended = !to.alpha && decoded.channels == 4 && EntryOf(source).alpha;
    return {blended ? 3u : decoded.channels, std::min(decoded.bytesPerChannel, to.widestChannel)};
}

bool EncoderRefuses(ImageFormat format, PixelSize size, PixelLayout pixel) {
    if (size.width <= 0 || size.height <= 0) {
        return false;  // no image to encode: the geometry says why
    }
    const ImageFormatEntry& entry = EntryOf(format);
    if (entry.maxSide > 0 && (size.width > entry.maxSide || size.height > entry.maxSide)) {
        return true;
    }
    return entry.fileBytes != nullptr &&
           entry.fileBytes(static_cast<uint64_t>(size.width), static_cast<uint64_t>(size.height),
                           pixel) > entry.maxFileBytes;
}

}  // namespace korvale
