// A JPEG's Photoshop image resources (APP13), where IPTC lives, made true for an output.
#pragma once

#include <cstdint>
#include <optional>

#include "JpegSegments.h"

namespace korvale {

// The IPTC datasets of the place: 2:26 and 2:27 (content location code and name), 2:90 City,
// 2:92 Sub-location, 2:95 Province-State, 2:100 Country code, 2:101 Country name.
bool IsPlaceDataset(uint8_t record, uint8_t dataset);

// The resources (the bytes after "Photoshop 3.0\0") for an output of width x height at `dpi`:
// the thumbnails left out, the resolution resource set to dpi, the Exif and XMP resources made
// true as their own blocks are; without `keepPlace`, the place datasets removed from the IPTC
// resource (and its digest, which no longer matches, with them). A resource that cannot be read
// is left out, and a resource list that cannot be walked gives nullopt. An empty result means
// nothing is left to carry.
std::optional<ByteBuffer> PhotoshopForOutput(const ByteBuffer& resources, bool keepPlace,
                                             uint32_t width, uint32_t height, uint32_t dpi);

// The IPTC datasets without the place ones; nullopt when they cannot be walked.
std::optional<ByteBuffer> IptcWithoutPlace(const ByteBuffer& iptc);

}  // namespace korvale
