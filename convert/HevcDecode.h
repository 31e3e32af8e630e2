// The HEVC pictures of a HEIC or HEIF file decoded by libavcodec, fed directly from the file:
// on one core it decodes a phone's picture in some two thirds of the time libheif's libde265
// takes, and a run decodes on every core at once.
#pragma once

#include <opencv2/core/mat.hpp>

#include "ModernFormats.h"

namespace korvale {

class ByteFile;

enum class HevcResult {
    Decoded,
    LeftToLibheif,  // `image` empty: the caller asks libheif, which decides
    Refused,        // a grid whose tiles are not the size their ispe says: a read failure
};

// The picture as libheif would give it before its transformations: 8-bit 4:2:0, 4:2:2 or
// 4:4:4 pictures converted to BGR by the nclx matrix (BT.601 when none), a grid's tiles put in
// their places and cut to its size. Anything else (deeper samples, alpha, other matrices, a
// crop, a grid whose size is not its ispe, damaged data) is left to libheif, except a grid
// whose tiles are not the size their ispe says, which libheif composes from memory it never
// wrote.
HevcResult DecodeHevcPictures(ByteFile& file, const HeifLayout& layout, cv::Mat& image);

}  // namespace korvale
