// A WebP file's resolution, which only its Exif holds: the RIFF container rewritten with an
// EXIF chunk (and the VP8X header that announces it), every image chunk copied byte for byte.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ByteSource.h"
#include "JpegSegments.h"
#include "ResolutionEdit.h"

namespace korvale {

// The file with its EXIF chunk's resolution set (ExifWithResolution), or with an EXIF chunk
// of the resolution alone added before XMP (or at the end); a simple VP8 or VP8L file gets the
// VP8X header first. nullopt when the bytes are no whole WebP container.
std::optional<ByteBuffer> WebpWithResolution(const ByteBuffer& webp, uint32_t dpi);

// Always a rewrite of the whole file (Insert) when it starts as a WebP container.
ResolutionEdit PlanWebpResolution(ByteSource& source, uint32_t dpi);

}  // namespace korvale
