// Reading width, height and resolution from BMP and JPEG headers without decoding pixels.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace korvale {

class ByteFile;

struct ImageHeaderInfo {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t dpi = 0;  // 0: the file states no usable resolution

    bool operator==(const ImageHeaderInfo& other) const {
        return width == other.width && height == other.height && dpi == other.dpi;
    }
};

// Picks the reader by extension (".bmp" in any case for BMP, everything else JPEG) and swaps
// width and height for an Exif orientation of 5 or more.
std::optional<ImageHeaderInfo> ProbeImageHeader(const std::string& path);

std::optional<ImageHeaderInfo> ProbeBmpHeader(const std::string& path);

// `dpi` is in/out: the caller sets it (normally to 0) and only the file's densities change it.
// `orientation` is set to 0 first, then to the Exif orientation if the file has one.
bool ProbeJpegHeader(const std::string& path, uint32_t& width, uint32_t& height, uint32_t& dpi,
                     int32_t& orientation);

// Reads IFD0 of the TIFF structure that starts at the stream's position. May set
// `orientation`; `exifDpi` is the horizontal resolution in dots per inch, or 0 when there is
// none. The stream position is undefined afterwards.
void ReadExifIfd0(ByteFile& stream, int32_t& orientation, uint32_t& exifDpi);

// BMP pixels per metre to DPI, rounded half up; a negative value gives 0.
uint32_t BmpDpiFromPixelsPerMetre(int32_t pixelsPerMetre);

}  // namespace korvale
