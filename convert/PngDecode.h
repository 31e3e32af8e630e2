// Decoding PNG files with the system's libpng, with the settings OpenCV's imread uses for
// IMREAD_UNCHANGED, so the pixels are the same, except that a grey image's tRNS chunk becomes
// alpha as a colour image's does (OpenCV drops it); the library's error and warning messages,
// which OpenCV leaves to libpng's printing defaults, are dropped instead.
#pragma once

#include <opencv2/core/mat.hpp>
#include <string>

namespace korvale {

enum class PngDecodeResult {
    Decoded,     // `image` holds the pixels as stored (no orientation applied)
    Failed,      // a PNG that cannot be decoded: damaged, cut short or too large
    NotHandled,  // not a PNG, or a file that cannot be opened
};

// 8 or 16 bits per channel as stored; grey stays one channel, grey with alpha or a tRNS chunk
// becomes BGRA, colour BGR, or BGRA when it has alpha or a tRNS chunk. `lackedMemory` is set
// when an allocation failed.
PngDecodeResult DecodePng(const std::string& path, cv::Mat& image, bool& lackedMemory);

}  // namespace korvale
