// The pixel of an output.
#include "EncoderLimits.h"

namespace korvale {

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

}  // namespace korvale
