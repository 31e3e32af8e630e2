// A HEIF or AVIF file's resolution, which only its Exif item holds. The item is rewritten where
// it lies when its size stays; otherwise the new Exif goes into a data box at the end and the
// item's location points there. A file without one gets an Exif item describing the primary
// image, and every location after the meta box moves by what the meta box grew. The image data
// is copied byte for byte.
#pragma once

#include <cstdint>
#include <optional>

#include "ByteSource.h"
#include "JpegSegments.h"
#include "ResolutionEdit.h"

namespace korvale {

// The file with its Exif item's resolution set (IsoExifWithResolution), or with an Exif item
// of the resolution alone added. nullopt when the bytes are no whole HEIF file, when it holds
// more than one Exif item or one in pieces, and when a field that must change is too narrow for
// the new value or lies in a box whose offsets would move with the meta box (a movie's).
std::optional<ByteBuffer> HeifWithResolution(const ByteBuffer& heif, uint32_t dpi);

// Always a rewrite of the whole file (Insert) when it starts with a HEIF file type box.
ResolutionEdit PlanHeifResolution(ByteSource& source, uint32_t dpi);

}  // namespace korvale
