// The format table, and the lookups by name that everything else goes through.
#include "ImageFormats.h"

#include <algorithm>
#include <cstdlib>

#include "HeifEdit.h"
#include "JxlEdit.h"
#include "ResolutionCopy.h"
#include "ResolutionEdit.h"
#include "ResolutionStamp.h"
#include "Text.h"
#include "WebpEdit.h"

namespace korvale {
namespace {

// OpenCV 4.6's BMP writer: rows padded to four bytes, and one channel brings a 256-colour grey
// palette.
uint64_t BmpFileBytes(uint64_t width, uint64_t height, PixelLayout pixel) {
    const uint64_t row = (width * pixel.channels + 3) & ~uint64_t{3};
    const uint64_t header = 14 + 40 + (pixel.channels == 1 ? 1024 : 0);
    return row * height + header;
}

// The encoder puts as many rows into a strip as fit in 8 KiB, at least one.
constexpr uint64_t kTiffStripBytes = 8192;
// The tags, the alpha marking and the resolution.
constexpr uint64_t kTiffRoom = 64 * 1024;

// Classic uncompressed TIFF: header, pixels, and an offset and a byte count for each strip.
uint64_t TiffFileBytes(uint64_t width, uint64_t height, PixelLayout pixel) {
    const uint64_t row = width * pixel.bytes();
    const uint64_t rowsPerStrip = std::max<uint64_t>(1, kTiffStripBytes / row);
    const uint64_t strips = (height + rowsPerStrip - 1) / rowsPerStrip;
    return 8 + row * height + 8 * strips + kTiffRoom;
}

ImageFormatEntry Bmp() {
    ImageFormatEntry bmp{};
    bmp.format = ImageFormat::Bmp;
    bmp.extensions = {"bmp"};
    bmp.offered = 1;
    bmp.probe = ProbeBmpHeader;
    bmp.pixel = ProbeBmpPixel;
    bmp.stamp = StampBmpResolution;
    bmp.withResolution = BmpWithResolution;
    bmp.outputDpi = OutputDpi::Stamp;
    bmp.alpha = false;
    bmp.widestChannel = 1;
    bmp.uncompressed = true;
    bmp.maxFileBytes = 0x7FFFFFFF;  // the writer's signed size field
    bmp.fileBytes = BmpFileBytes;
    return bmp;
}

ImageFormatEntry Jpeg() {
    ImageFormatEntry jpeg{};
    jpeg.format = ImageFormat::Jpeg;
    // The file dialog has never offered ".jpe"; outputs have always been written with it.
    jpeg.extensions = {"jpg", "jpeg", "jpe"};
    jpeg.offered = 2;
    jpeg.probe = ProbeJpegImageHeader;
    jpeg.pixel = ProbeJpegPixel;
    jpeg.stamp = StampJpegResolution;
    jpeg.withResolution = JpegWithResolution;
    jpeg.outputDpi = OutputDpi::Stamp;
    jpeg.alpha = false;
    jpeg.widestChannel = 1;
    jpeg.maxSide = 65500;  // libjpeg's
    return jpeg;
}

ImageFormatEntry Png() {
    ImageFormatEntry png{};
    png.format = ImageFormat::Png;
    png.extensions = {"png"};
    png.offered = 1;
    png.probe = ProbePngHeader;
    png.pixel = ProbePngPixel;
    png.stamp = StampPngResolution;
    png.withResolution = PngWithResolution;
    png.outputDpi = OutputDpi::Rebuild;
    png.alpha = true;
    png.widestChannel = 2;
    png.maxSide = 1000000;  // libpng's
    return png;
}

ImageFormatEntry Tiff() {
    ImageFormatEntry tiff{};
    tiff.format = ImageFormat::Tiff;
    tiff.extensions = {"tif", "tiff"};
    tiff.offered = 2;
    tiff.probe = ProbeTiffHeader;
    tiff.pixel = ProbeTiffPixel;
    tiff.stamp = StampTiffResolution;
    tiff.withResolution = TiffWithResolution;
    tiff.outputDpi = OutputDpi::Encoder;
    tiff.alpha = true;
    tiff.widestChannel = 8;  // every depth the decoders give
    tiff.uncompressed = true;
    tiff.maxFileBytes = 0xFFFFFFFF;  // classic TIFF's 32-bit offsets
    tiff.fileBytes = TiffFileBytes;
    return tiff;
}

// No resolution is written into such a file without re-encoding it.
StampOutcome NotStampable(const std::string&, uint32_t) {
    return {StampOutcome::Kind::Unsupported, 0};
}

std::optional<std::vector<uint8_t>> NoResolutionCopy(const std::vector<uint8_t>&, uint32_t) {
    return std::nullopt;
}

// Decoded by libheif, libwebp and libjxl to 8 or 16 bits a channel, alpha kept.
ImageFormatEntry ReadOnly(ImageFormat format, std::array<std::string_view, 4> extensions,
                          size_t offered,
                          std::optional<ImageHeaderInfo> (*probe)(const std::string&),
                          std::optional<PixelLayout> (*pixel)(const std::string&)) {
    ImageFormatEntry entry{};
    entry.format = format;
    entry.extensions = extensions;
    entry.offered = offered;
    entry.probe = probe;
    entry.pixel = pixel;
    entry.stamp = NotStampable;
    entry.withResolution = NoResolutionCopy;
    entry.outputDpi = OutputDpi::Rebuild;
    entry.writable = false;
    entry.editsResolution = false;
    entry.alpha = true;
    entry.widestChannel = 2;
    return entry;
}

// The resolution of a file is changed in its Exif item (HeifEdit.h).
ImageFormatEntry Heif() {
    ImageFormatEntry heif =
        ReadOnly(ImageFormat::Heif, {"heic", "heif", "hif"}, 3, ProbeHeifHeader, ProbeHeifPixel);
    heif.stamp = StampHeifResolution;
    heif.withResolution = HeifWithResolution;
    heif.editsResolution = true;
    return heif;
}

// Written 8 bits a channel by libheif's AV1 encoder, its Exif (and so its DPI) given to it.
ImageFormatEntry Avif() {
    ImageFormatEntry avif = Heif();
    avif.format = ImageFormat::Avif;
    avif.extensions = {"avif"};
    avif.offered = 1;
    avif.writable = true;
    avif.outputDpi = OutputDpi::Encoder;
    avif.widestChannel = 1;
    avif.maxSide = 16384;  // the largest side libheif's encoder takes as one image
    return avif;
}

// Written by libwebp with its Exif chunk; the resolution of a file is changed in its Exif
// chunk (WebpEdit.h).
ImageFormatEntry Webp() {
    ImageFormatEntry webp =
        ReadOnly(ImageFormat::Webp, {"webp"}, 1, ProbeWebpHeader, ProbeWebpPixel);
    webp.stamp = StampWebpResolution;
    webp.withResolution = WebpWithResolution;
    webp.outputDpi = OutputDpi::Encoder;
    webp.writable = true;
    webp.editsResolution = true;
    webp.widestChannel = 1;
    webp.maxSide = 16383;  // the format's 14-bit sides
    return webp;
}

// The resolution of a file is changed in its Exif box (JxlEdit.h).
ImageFormatEntry Jxl() {
    ImageFormatEntry jxl = ReadOnly(ImageFormat::Jxl, {"jxl"}, 1, ProbeJxlHeader, ProbeJxlPixel);
    jxl.stamp = StampJxlResolution;
    jxl.withResolution = JxlWithResolution;
    jxl.editsResolution = true;
    return jxl;
}

}  // namespace

const std::vector<ImageFormatEntry>& ImageFormats() {
    static const std::vector<ImageFormatEntry> formats = {Bmp(),  Jpeg(), Png(),  Tiff(),
                                                          Heif(), Avif(), Webp(), Jxl()};
    return formats;
}

const ImageFormatEntry& EntryOf(ImageFormat format) {
    for (const ImageFormatEntry& entry : ImageFormats()) {
        if (entry.format == format) {
            return entry;
        }
    }
    std::abort();  // every format has its entry (the format tests check it)
}

std::optional<ImageFormat> FormatOfExtension(std::string_view name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view extension = name.substr(dot + 1);
    for (const ImageFormatEntry& entry : ImageFormats()) {
        for (std::string_view known : entry.extensions) {
            if (!known.empty() && EqualsIgnoreAsciiCase(extension, known)) {
                return entry.format;
            }
        }
    }
    return std::nullopt;
}

ImageFormat FormatOfName(std::string_view name) {
    return FormatOfExtension(name).value_or(ImageFormat::Jpeg);
}

std::optional<ImageFormat> OutputFormatOfName(std::string_view name) {
    const std::optional<ImageFormat> format = FormatOfExtension(name);
    if (format && !EntryOf(*format).writable) {
        return std::nullopt;
    }
    return format;
}

std::string OutputExtension(ImageFormat format) {
    return "." + std::string(EntryOf(format).extensions[0]);
}

// Picked by the name's format, as the table says.
StampOutcome StampResolution(const std::string& path, uint32_t dpi) {
    return EntryOf(FormatOfName(path)).stamp(path, dpi);
}

std::optional<ByteBuffer> WithResolution(const std::string& name, const ByteBuffer& bytes,
                                         uint32_t dpi) {
    return EntryOf(FormatOfName(name)).withResolution(bytes, dpi);
}

}  // namespace korvale
