// What an output holds per pixel and what the encoders refuse, known before any pixel is made:
// the plan says it, the memory bound of the work ahead counts with it, and the run stops on it
// before it allocates an image it could not write.
#pragma once

#include "BatchRequest.h"
#include "Geometry.h"
#include "ImageFormats.h"
#include "ImageHeader.h"

namespace korvale {

// The largest pixel a decoded image of the program may have: four channels of 8 bytes.
constexpr PixelLayout kLargestPixel{4, 8};

// The pixel of an output in `output` format made from a source of `source` format decoded as
// `decoded`, as FitForOutput and the encoding make it: channels no wider than the output's
// widest (TIFF keeps them, PNG holds 1 or 2 bytes, BMP and JPEG 1), and the alpha of a source
// that has it blended away where the output holds none.
PixelLayout OutputPixel(PixelLayout decoded, ImageFormat source, ImageFormat output);

// Whether the encoder of `format` refuses an image of `size` with pixels of `pixel`, by the
// limits of its entry in the format table: JPEG sides above 65500 (libjpeg's limit), PNG sides
// above 1000000 (libpng's), a BMP file of more than 2^31 - 1 bytes (the encoder's size field),
// an uncompressed TIFF that its 32-bit offsets cannot reach the end of (with room for the tags,
// the alpha marking and the resolution).
bool EncoderRefuses(ImageFormat format, PixelSize size, PixelLayout pixel);

}  // namespace korvale
