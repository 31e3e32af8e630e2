// Decoding JPEG files with the system's libjpeg, exactly as OpenCV's imread decodes them, but
// with the library's warnings counted instead of printed.
#pragma once

#include <opencv2/core/mat.hpp>
#include <string>

namespace korvale {

enum class JpegDecodeResult {
    Decoded,     // `image` holds the pixels, turned by the Exif orientation
    Failed,      // a JPEG that cannot be decoded
    NotHandled,  // not a JPEG, or a kind left to OpenCV (CMYK, Motion JPEG, huge)
};

struct JpegDecodeNotes {
    bool lackedMemory = false;  // the decoder or the image could not get memory
    bool damaged = false;       // the decoder warned: data cut short or corrupt, made up
};

// Decodes `path` when it is a JPEG of a kind this handles: colour (3 channels, BGR) when it has
// more than one component, else grey, as imread with IMREAD_ANYCOLOR gives it.
JpegDecodeResult DecodeJpeg(const std::string& path, cv::Mat& image, JpegDecodeNotes& notes);

}  // namespace korvale
