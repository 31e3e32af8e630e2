// Reading width, height and resolution from image headers without decoding pixels.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace korvale {

class ByteFile;
class ByteSource;

struct ImageHeaderInfo {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t dpi = 0;  // 0: the file states no usable resolution

    bool operator==(const ImageHeaderInfo& other) const {
        return width == other.width && height == other.height && dpi == other.dpi;
    }
};

// Picks the reader of the format the name is read as (FormatOfName in ImageFormats.h): by
// extension in any case, ".bmp" BMP, ".png" PNG, ".tif" and ".tiff" TIFF, everything else JPEG.
std::optional<ImageHeaderInfo> ProbeImageHeader(const std::string& path);

// ProbeJpegHeader's fields, width and height swapped for an Exif orientation of 5 or more.
std::optional<ImageHeaderInfo> ProbeJpegImageHeader(const std::string& path);

std::optional<ImageHeaderInfo> ProbeBmpHeader(const std::string& path);

// IHDR width and height, swapped for an eXIf Orientation of 5 to 8; the DPI from a pHYs chunk
// in pixels per metre (unit 1), rounded as for BMP. No pHYs before the image data, or unit 0,
// gives 0.
std::optional<ImageHeaderInfo> ProbePngHeader(const std::string& path);

// Classic TIFF in either byte order: IFD0's ImageWidth and ImageLength (SHORT or LONG, 1 or
// more), swapped for an Orientation of 5 to 8. The DPI comes from XResolution by
// ResolutionUnit: inches (also when the unit is absent) truncated as the Exif resolution is,
// centimetres times 2.54 rounded half up as a JFIF density in dots per centimetre is; no unit
// gives 0.
std::optional<ImageHeaderInfo> ProbeTiffHeader(const std::string& path);

// DPI from a TIFF XResolution of numerator / denominator in the given ResolutionUnit.
uint32_t TiffDpi(uint32_t numerator, uint32_t denominator, uint16_t unit);

// `dpi` is in/out: the caller sets it (normally to 0) and only the file's densities change it.
// `orientation` is set to 0 first, then to the Exif orientation if the file has one.
// `components`, when given, receives the frame's component count.
bool ProbeJpegHeader(const std::string& path, uint32_t& width, uint32_t& height, uint32_t& dpi,
                     int32_t& orientation, uint32_t* components = nullptr);

// A decoded pixel: its channels (alpha included) and the bytes of each.
struct PixelLayout {
    uint32_t channels = 0;
    uint32_t bytesPerChannel = 0;

    uint32_t bytes() const { return channels * bytesPerChannel; }
    bool operator==(const PixelLayout& o) const {
        return channels == o.channels && bytesPerChannel == o.bytesPerChannel;
    }
};

// The pixel that decoding the file gives, as its header states it (the reader is picked as
// ProbeImageHeader picks it): 1 channel for grey, 3 for colour and palettes, 4 with alpha or
// transparency; 1 byte a channel up to 8 bits, else 2, 4 or 8. nullopt when the header does
// not say (unreadable, or a layout no decoder here takes).
std::optional<PixelLayout> ProbePixelLayout(const std::string& path);

// The readers of each format, as ProbePixelLayout picks them.
std::optional<PixelLayout> ProbeBmpPixel(const std::string& path);
std::optional<PixelLayout> ProbeJpegPixel(const std::string& path);
std::optional<PixelLayout> ProbePngPixel(const std::string& path);
std::optional<PixelLayout> ProbeTiffPixel(const std::string& path);

// HEIF (HEIC, AVIF): the primary item's size as shown (clap, then irot; imir keeps it); WebP:
// the VP8, VP8L or VP8X canvas size; JPEG XL: the codestream's size header, turned by its
// orientation. The DPI from the file's Exif block (XResolution in inches), else 0.
std::optional<ImageHeaderInfo> ProbeHeifHeader(const std::string& path);
std::optional<ImageHeaderInfo> ProbeWebpHeader(const std::string& path);
std::optional<ImageHeaderInfo> ProbeJxlHeader(const std::string& path);
// 3 channels, 4 with alpha; 2 bytes a channel for HEIF above 8 bits and JPEG XL above 8.
std::optional<PixelLayout> ProbeHeifPixel(const std::string& path);
std::optional<PixelLayout> ProbeWebpPixel(const std::string& path);
std::optional<PixelLayout> ProbeJxlPixel(const std::string& path);

// Reads IFD0 of the TIFF structure that starts at the stream's position. May set
// `orientation`; `exifDpi` is the horizontal resolution in dots per inch, or 0 when there is
// none. Bytes at or past `end` are not read (a PNG's eXIf chunk ends there). The stream position
// is undefined afterwards.
void ReadExifIfd0(ByteFile& stream, int32_t& orientation, uint32_t& exifDpi,
                  uint64_t end = UINT64_MAX);
// The same over a block that lies at [at, end) of `source`.
void ReadExifIfd0(ByteSource& source, uint64_t at, uint64_t end, int32_t& orientation,
                  uint32_t& exifDpi);

// BMP pixels per metre to DPI, rounded half up; a negative value gives 0.
uint32_t BmpDpiFromPixelsPerMetre(int32_t pixelsPerMetre);

}  // namespace korvale
