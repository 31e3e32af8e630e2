// The probe and the decoded pixel of HEIF, WebP and JPEG XL files, from their header walks.
#include "ByteFile.h"
#include "ByteSource.h"
#include "ImageHeader.h"
#include "ModernFormats.h"

namespace korvale {
namespace {

template <typename Layout, bool (*Walk)(ByteSource&, Layout&)>
std::optional<ImageHeaderInfo> Probe(const std::string& path) {
    ByteFile file;
    if (!file.Open(path, ByteFile::Access::Read)) {
        return std::nullopt;
    }
    FileSource source(file);
    Layout layout;
    if (!Walk(source, layout)) {
        return std::nullopt;
    }
    return ImageHeaderInfo{layout.width, layout.height, ExifBlockDpi(source, layout.exif)};
}

template <typename Layout, bool (*Walk)(ByteSource&, Layout&)>
std::optional<Layout> Walked(const std::string& path) {
    ByteFile file;
    if (!file.Open(path, ByteFile::Access::Read)) {
        return std::nullopt;
    }
    FileSource source(file);
    Layout layout;
    if (!Walk(source, layout)) {
        return std::nullopt;
    }
    return layout;
}

}  // namespace

std::optional<ImageHeaderInfo> ProbeHeifHeader(const std::string& path) {
    return Probe<HeifLayout, WalkHeif>(path);
}

std::optional<ImageHeaderInfo> ProbeWebpHeader(const std::string& path) {
    return Probe<WebpLayout, WalkWebp>(path);
}

std::optional<ImageHeaderInfo> ProbeJxlHeader(const std::string& path) {
    return Probe<JxlLayout, WalkJxl>(path);
}

std::optional<PixelLayout> ProbeHeifPixel(const std::string& path) {
    const std::optional<HeifLayout> heif = Walked<HeifLayout, WalkHeif>(path);
    if (!heif) {
        return std::nullopt;
    }
    return PixelLayout{heif->alpha ? 4u : 3u, heif->bitDepth > 8 ? 2u : 1u};
}

std::optional<PixelLayout> ProbeWebpPixel(const std::string& path) {
    const std::optional<WebpLayout> webp = Walked<WebpLayout, WalkWebp>(path);
    if (!webp) {
        return std::nullopt;
    }
    return PixelLayout{webp->alpha ? 4u : 3u, 1};
}

std::optional<PixelLayout> ProbeJxlPixel(const std::string& path) {
    const std::optional<JxlLayout> jxl = Walked<JxlLayout, WalkJxl>(path);
    if (!jxl) {
        return std::nullopt;
    }
    const bool wide = jxl->floatSamples || jxl->bitsPerSample > 8;
    return PixelLayout{jxl->extraChannels > 0 ? 4u : 3u, wide ? 2u : 1u};
}

}  // namespace korvale
