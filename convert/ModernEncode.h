// WebP (libwebp, its container by libwebpmux) and AVIF (libheif's AV1 encoder) outputs, each
// with its profile, Exif and XMP; neither format has a resolution field but Exif's.
#pragma once

#include <cstdint>
#include <opencv2/core.hpp>
#include <vector>

#include "JpegSegments.h"

namespace korvale {

struct ModernPieces {
    ByteBuffer iccProfile;  // fitting the image's channels, or empty
    ByteBuffer exif;        // the TIFF structure, holding the resolution; empty: none
    ByteBuffer xmp;
};

// `image` is 8 bits a channel, 1, 3 or 4 channels (BGR order, as OpenCV's). Quality 0 to 100;
// WebP at 100 is lossless. false when the encoder refuses.
bool EncodeWebp(const cv::Mat& image, int quality, const ModernPieces& pieces,
                std::vector<unsigned char>& bytes);
bool EncodeAvif(const cv::Mat& image, int quality, const ModernPieces& pieces,
                std::vector<unsigned char>& bytes);

}  // namespace korvale
