// Editing an Exif block (the TIFF structure after "Exif\0\0") in place, so that nothing the
// edits do not name moves: maker notes keep the offsets they were written with.
#pragma once

#include <cstdint>
#include <optional>

#include "JpegSegments.h"

namespace korvale {

// The block made true for an output image of width x height pixels at `dpi` whose pixels are
// already turned upright: Orientation 1, the pixel dimensions, XResolution / YResolution at
// dpi/1 with ResolutionUnit inches (tags that are absent stay absent), the thumbnail (IFD1 and
// its data) unlinked and its bytes cleared, and, unless `keepGps`, the GPS IFD unlinked and its
// bytes cleared. Cleared bytes at the end are cut off. nullopt when the structure is malformed
// (an IFD or a value outside the block, an unknown byte order), so that nothing doubtful is
// carried.
std::optional<ByteBuffer> ExifForOutput(const ByteBuffer& tiff, bool keepGps, uint32_t width,
                                        uint32_t height, uint32_t dpi);

// Sets XResolution, YResolution and ResolutionUnit of IFD0 to `dpi` dots per inch where those
// tags exist, in place. false, with nothing changed, when IFD0 is malformed.
bool SetExifResolution(uint8_t* tiff, size_t size, uint32_t dpi);

// The block with XResolution / YResolution at dpi/1 and ResolutionUnit inches in IFD0, for
// formats whose only resolution is Exif's: set in place where the tags exist, otherwise IFD0 is
// written again at the end with them added (the other entries keep their bytes, so every value
// they point at stays where it is). An empty block gives a block of those three tags alone.
// nullopt when the structure is malformed.
std::optional<ByteBuffer> ExifWithResolution(const ByteBuffer& tiff, uint32_t dpi);

// The same for the Exif payload of an ISO base media file (a HEIF item, a JPEG XL box): a
// 4-byte big-endian offset to the TIFF header, then the bytes before it and the block, which
// some writers start with "Exif\0\0". The offset and the bytes before the block are kept. No
// payload
// (`payload` null) gives one of the three tags alone. nullopt when it is malformed.
std::optional<ByteBuffer> IsoExifWithResolution(const uint8_t* payload, size_t size, uint32_t dpi);

}  // namespace korvale
