// The TIFF and Exif tag and field type numbers the header readers and editors use.
#pragma once

#include <cstdint>

namespace korvale::tiff {

constexpr uint16_t kImageWidth = 256;
constexpr uint16_t kImageLength = 257;
constexpr uint16_t kStripOffsets = 273;
constexpr uint16_t kOrientation = 274;
constexpr uint16_t kStripByteCounts = 279;
constexpr uint16_t kXResolution = 282;
constexpr uint16_t kYResolution = 283;
constexpr uint16_t kResolutionUnit = 296;
constexpr uint16_t kExtraSamples = 338;
constexpr uint16_t kXmlPacket = 700;
constexpr uint16_t kThumbnailOffset = 513;
constexpr uint16_t kThumbnailLength = 514;
constexpr uint16_t kExifIfd = 34665;
constexpr uint16_t kIccProfile = 34675;
constexpr uint16_t kGpsIfd = 34853;
constexpr uint16_t kPixelXDimension = 40962;
constexpr uint16_t kPixelYDimension = 40963;
constexpr uint16_t kInteropIfd = 40965;

constexpr uint16_t kTypeShort = 3;
constexpr uint16_t kTypeLong = 4;
constexpr uint16_t kTypeRational = 5;
constexpr uint16_t kTypeIfd = 13;

}  // namespace korvale::tiff
