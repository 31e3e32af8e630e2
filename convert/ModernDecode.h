// Decoding HEIF and AVIF (libheif), WebP (libwebp) and JPEG XL (libjxl) into BGR or BGRA
// pixels of 8 bits a channel, or 16 when the file holds more than 8.
#pragma once

#include <opencv2/core/mat.hpp>
#include <string>

#include "ImageFormats.h"

namespace korvale {

enum class ModernDecodeResult {
    Decoded,     // `image` holds the picture upright (the file's own transformations applied)
    Failed,      // the file cannot be decoded: damaged, cut short, too large or unsupported
    NotHandled,  // not one of these formats
};

// HEIF and AVIF: irot and imir applied once, the Exif orientation not on top; deeper samples
// stretched to 16 bits. JPEG XL: its orientation applied; above 8 bits 16. WebP: 8 bits.
// Animations (WebP, JPEG XL) are refused. `lackedMemory` is set when an allocation failed.
ModernDecodeResult DecodeModern(const std::string& path, ImageFormat format, cv::Mat& image,
                                bool& lackedMemory);

}  // namespace korvale
