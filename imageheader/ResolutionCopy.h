// A file's bytes with only its resolution changed: no pixel byte is decoded or touched.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "JpegSegments.h"

namespace korvale {

// BMP: both pixels-per-metre fields (a 12-byte core header has none and stays as it is).
// nullopt when the bytes are not a BMP.
std::optional<ByteBuffer> BmpWithResolution(const ByteBuffer& bmp, uint32_t dpi);

// JPEG: the densities of its JFIF segment, or a JFIF segment inserted after the start marker
// when it has none; the resolution tags of its Exif block follow where they exist. The
// orientation and everything else stay. nullopt when the bytes are not a JPEG.
std::optional<ByteBuffer> JpegWithResolution(const ByteBuffer& jpeg, uint32_t dpi);

// By the format `name` is read as, as the stamp picks its branch: ".bmp" in any case for BMP,
// ".png" PNG (its pHYs chunk), ".tif" and ".tiff" TIFF (the resolution tags of IFD0), everything
// else JPEG.
std::optional<ByteBuffer> WithResolution(const std::string& name, const ByteBuffer& bytes,
                                         uint32_t dpi);

}  // namespace korvale
