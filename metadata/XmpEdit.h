// XMP packets made true for an output, and kept without the place where the user asks so.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "JpegSegments.h"

namespace korvale {

// Whether a property, by its namespace URI and local name, tells where the picture was taken or
// what place it shows (GPS coordinates, city, state, country, location structures).
bool IsPlaceProperty(std::string_view uri, std::string_view local);

// `packet` as an output of width x height pixels at `dpi`, turned upright, says it: the TIFF
// and Exif size, resolution and orientation properties that are present take the values the
// Exif made true for it takes, and the thumbnails and the link to extended XMP (neither of which
// is carried) are removed; without `keepPlace`, every place property is removed as well. Only
// the changed tags are rewritten; everything else stays byte for byte. nullopt when the packet
// is not well-formed XML as XMP writes it (a DOCTYPE, an unbound prefix, unbalanced tags), so
// that nothing doubtful is carried.
std::optional<ByteBuffer> XmpForOutput(const ByteBuffer& packet, bool keepPlace, uint32_t width,
                                       uint32_t height, uint32_t dpi);

}  // namespace korvale
