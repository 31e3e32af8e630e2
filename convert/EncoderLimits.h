// What an output holds per pixel, known before any pixel is made: the memory bound of the work
// ahead counts with it.
#pragma once

#include "BatchRequest.h"
#include "Geometry.h"
#include "ImageHeader.h"

namespace korvale {

// The largest pixel a decoded image of the program may have: four channels of 8 bytes.
constexpr PixelLayout kLargestPixel{4, 8};

// The pixel of an output in `output` format made from a source of `source` format decoded as
// `decoded`, as FitForOutput and the encoding make it: TIFF keeps it, PNG holds 1 or 2 bytes
// a channel, BMP and JPEG 1, with the alpha of a PNG or TIFF source blended away.
PixelLayout OutputPixel(PixelLayout decoded, ImageFormat source, ImageFormat output);

}  // namespace korvale
