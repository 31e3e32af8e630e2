// A JPEG XL file's resolution, which only its Exif holds: the container written again with its
// Exif box set (or added before the codestream), every other box copied byte for byte. A bare
// codestream is put into a container first.
#pragma once

#include <cstdint>
#include <optional>

#include "ByteSource.h"
#include "JpegSegments.h"
#include "ResolutionEdit.h"

namespace korvale {

// The file with its Exif box's resolution set (IsoExifWithResolution), or with an Exif box of
// the resolution alone added before the first codestream box. nullopt when the bytes are no
// whole JPEG XL file whose size header the probe reads, when it holds more than one Exif box or a
// compressed one, and when it keeps a JPEG for reconstruction whose Exif would change size.
std::optional<ByteBuffer> JxlWithResolution(const ByteBuffer& jxl, uint32_t dpi);

// Always a rewrite of the whole file (Insert) when it starts as a codestream or a container.
ResolutionEdit PlanJxlResolution(ByteSource& source, uint32_t dpi);

}  // namespace korvale
