// The probe and the decoded pixel of HEIF, WebP and JPEG XL files, from their header walks.
#include <utility>

#include "ByteFile.h"
#include "ByteSource.h"
#include "ImageHeader.h"
#include "ModernFormats.h"

namespace korvale {
namespace {

// Opens the file, walks its header and hands the walk's result, with the file still open (the
// Exif block is read from it), to `use`.
template <typename Layout, bool (*Walk)(ByteSource&, Layout&), typename Use>
auto Walked(const std::string& path, Use use)
    -> decltype(use(std::declval<ByteSource&>(), std::declval<const Layout&>())) {
    ByteFile file;
    if (!file.Open(path, ByteFile::Access::Read)) {
        return std::nullopt;
    }
    FileSource source(file);
    Layout layout;
    if (!Walk(source, layout)) {
        return std::nullopt;
    }
    return use(source, layout);
}

template <typename Layout>
uint32_t ExifDpi(ByteSource& source, const Layout& layout) {
    return ExifBlockDpi(source, layout.exif);
}

uint32_t ExifDpi(ByteSource& source, const JxlLayout& layout) {
    return JxlExifDpi(source, layout);
}

template <typename Layout, bool (*Walk)(ByteSource&, Layout&)>
std::optional<ImageHeaderInfo> Probe(const std::string& path) {
    return Walked<Layout, Walk>(path, [](ByteSource& source, const Layout& layout) {
        return std::optional<ImageHeaderInfo>(
            ImageHeaderInfo{layout.width, layout.height, ExifDpi(source, layout)});
    });
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
    return Walked<HeifLayout, WalkHeif>(path, [](ByteSource&, const HeifLayout& heif) {
        return std::optional<PixelLayout>(
            PixelLayout{heif.alpha ? 4u : 3u, heif.bitDepth > 8 ? 2u : 1u});
    });
}

std::optional<PixelLayout> ProbeWebpPixel(const std::string& path) {
    return Walked<WebpLayout, WalkWebp>(path, [](ByteSource&, const WebpLayout& webp) {
        return std::optional<PixelLayout>(PixelLayout{webp.alpha ? 4u : 3u, 1});
    });
}

std::optional<PixelLayout> ProbeJxlPixel(const std::string& path) {
    return Walked<JxlLayout, WalkJxl>(path, [](ByteSource&, const JxlLayout& jxl) {
        const bool wide = jxl.floatSamples || jxl.bitsPerSample > 8;
        return std::optional<PixelLayout>(
            PixelLayout{jxl.extraChannels > 0 ? 4u : 3u, wide ? 2u : 1u});
    });
}

}  // namespace korvale
