// Decoding JPEG files with the system's libjpeg, exactly as OpenCV's imread decodes them, but
// with the library's warnings counted instead of printed.
#pragma once

#include <opencv2/core/mat.hpp>
#include <string>

namespace korvale {

enum class JpegDecodeResult {
    Decoded,     // `image` holds the pixels, turned by the Exif orientation
    Failed,      // a JPEG that cannot be decoded
    NotHandled,  // not a JPEG, or a kind left to OpenCV (Motion JPEG, huge, unknown 4 channels)
};

struct JpegDecodeNotes {
    bool lackedMemory = false;  // the decoder or the image could not get memory
    bool damaged = false;       // the decoder warned: data cut short or corrupt, made up
    int fullWidth = 0;          // the size at full scale, turned by the Exif orientation
    int fullHeight = 0;
    bool srgb = false;  // CMYK or YCCK converted into sRGB: its profile no longer applies
};

// Turns a decoded image by an Exif orientation (1 to 8) as OpenCV turns the images it decodes;
// other values leave it as it is.
void ApplyOrientation(int orientation, cv::Mat& image);

// Decodes `path` when it is a JPEG of a kind this handles: colour (3 channels, BGR) when it has
// more than one component, else grey, as imread with IMREAD_ANYCOLOR gives it; CMYK and YCCK
// converted into sRGB through their profile (ColourManage.h), Adobe's inverted inks read as
// such. With
// `minLongSide` above 0 the decoder's own scaling (1/2, 1/4, 1/8) makes the image as small as
// it can while its longer side keeps at least that many pixels: far cheaper than full scale.
JpegDecodeResult DecodeJpeg(const std::string& path, cv::Mat& image, JpegDecodeNotes& notes,
                            int minLongSide = 0);

}  // namespace korvale
