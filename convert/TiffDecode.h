// Decoding the TIFF layouts that OpenCV's reader gets wrong or refuses, with libtiff directly:
// separate planes deeper than 8 bits, 2- and 4-bit grey and palettes, 1-bit palettes, CIE L*a*b*,
// 32-bit unsigned grey and CMYK. Every other TIFF is left to OpenCV, whose pixels are right for
// it.
#pragma once

#include <opencv2/core/mat.hpp>
#include <string>

namespace korvale {

enum class TiffDecodeResult {
    Decoded,     // `image` holds the pixels, turned by the Orientation tag
    Failed,      // a layout of the list above that is damaged or has no sound decoding here
    NotHandled,  // not a TIFF, a file that cannot be opened, or a layout OpenCV decodes
};

// Grey comes out as one 8-bit channel, palettes and L*a*b* as BGR (8 or 16 bits as stored, any
// alpha of L*a*b* dropped), separate planes as OpenCV gives contiguous samples of that depth
// (grey, BGR or BGRA; 16-bit unsigned, 32- or 64-bit floating), and 32-bit unsigned grey as
// floating values from 0 to 1. CMYK of 8 or 16 bits (and an unassociated alpha) becomes sRGB
// through the file's profile (ColourManage.h), BGR or BGRA of that depth, and `srgb`, when
// given, says so. `lackedMemory` is set when an allocation failed.
TiffDecodeResult DecodeTiff(const std::string& path, cv::Mat& image, bool& lackedMemory,
                            bool* srgb = nullptr);

}  // namespace korvale
