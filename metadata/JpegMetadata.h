// What a JPEG output carries from its source: the ICC profile always, the Exif block, the XMP
// packet and the IPTC (Photoshop) resources as the policy says, made true for the output.
#pragma once

#include <cstdint>
#include <string>

#include "JpegSegments.h"
#include "SourceMetadata.h"

namespace korvale {

// The profile, Exif block, XMP packet and Photoshop resources of a JPEG's header bytes. A header
// with any malformed or truncated segment in front of the scan gives nothing at all.
SourceMetadata ExtractJpegMetadata(const uint8_t* data, size_t size);

// Reads the segments in front of the scan of the file at `path` (not its pixels) and extracts
// them as above; nothing for a file that is not a JPEG or cannot be read.
SourceMetadata ReadJpegMetadata(const std::string& path);

// `encoded` (a JPEG as the encoder wrote it) with the source's Exif, XMP and IPTC (per
// `policy`, made true for width x height at dpi) and profile inserted after its start marker
// and JFIF segment.
// A profile whose colour space does not match the output's channels is left out. Anything
// doubtful leaves that piece out; `encoded` comes back unchanged when it is not a JPEG.
ByteBuffer CarryJpegMetadata(const ByteBuffer& encoded, const SourceMetadata& metadata,
                             MetadataPolicy policy, uint32_t width, uint32_t height, uint32_t dpi);

}  // namespace korvale
