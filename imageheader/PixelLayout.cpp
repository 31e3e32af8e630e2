// The decoded pixel of a file from its header: what the decoders hand over for each layout.
#include <algorithm>

#include "ByteFile.h"
#include "ByteSource.h"
#include "HeaderWalk.h"
#include "ImageFormats.h"
#include "ImageHeader.h"

namespace korvale {

std::optional<PixelLayout> ProbeBmpPixel(const std::string& path) {
    WalkedBmp walked;
    if (!walked.Open(path)) {
        return std::nullopt;
    }
    const BmpLayout& bmp = walked.layout();
    // A core header holds the bit count where the info header holds its planes, and palette
    // entries of three bytes; the entries lie between it and the pixels.
    const bool core = bmp.infoSize == 12;
    if (!core) {
        // A header that ends before the compression, or before the colour count a palette
        // needs, says nothing about them.
        const std::optional<uint32_t> compression = bmp.Le32At(30);
        if (bmp.infoSize < 40 || !compression || *compression != 0) {
            return std::nullopt;  // as the probe: only uncompressed info headers are listed
        }
    }
    const std::optional<uint32_t> bits = bmp.Le16At(core ? 24 : 28);
    if (!bits) {
        return std::nullopt;
    }
    if (*bits > 8) {
        return PixelLayout{3, 1};  // a fourth channel is dropped, as BMP sources always were
    }
    const std::optional<uint32_t> counted = core ? bmp.Le32At(10) : bmp.Le32At(46);
    if (!counted) {
        return std::nullopt;
    }
    // A palette of greys only decodes to one channel; entries the file lacks count as black.
    const uint32_t entrySize = core ? 3 : 4;
    const uint32_t used = core ? (*counted > 26 ? (*counted - 26) / 3 : 0) : *counted;
    const uint32_t entries = std::min<uint32_t>(core        ? std::min(used, 1u << *bits)
                                                : used == 0 ? 1u << *bits
                                                            : used,
                                                256);
    const uint64_t palette = 14 + static_cast<uint64_t>(bmp.infoSize);
    for (uint32_t i = 0; i < entries; ++i) {
        uint8_t entry[4];
        if (!walked.source().ReadAt(palette + uint64_t{entrySize} * i, entry, entrySize)) {
            break;
        }
        if (entry[0] != entry[1] || entry[1] != entry[2]) {
            return PixelLayout{3, 1};
        }
    }
    return PixelLayout{1, 1};
}

std::optional<PixelLayout> ProbeJpegPixel(const std::string& path) {
    uint32_t width = 0, height = 0, dpi = 0, components = 0;
    int32_t orientation = 0;
    if (!ProbeJpegHeader(path, width, height, dpi, orientation, &components) || components == 0) {
        return std::nullopt;
    }
    return PixelLayout{components == 1 ? 1u : 3u, 1};
}

std::optional<PixelLayout> ProbePngPixel(const std::string& path) {
    WalkedPng walked;
    if (!walked.Open(path)) {
        return std::nullopt;
    }
    const PngLayout& png = walked.layout();
    const uint32_t bytes = png.bitDepth == 16 ? 2 : 1;
    switch (png.colourType) {
        case 0:
            // Transparency given by tRNS becomes an alpha channel, for grey as for colours.
            return PixelLayout{png.hasTransparency ? 4u : 1u, bytes};
        case 2:
        case 3:
            return PixelLayout{png.hasTransparency ? 4u : 3u, bytes};
        case 4:
        case 6:
            return PixelLayout{4, bytes};
        default:
            return std::nullopt;
    }
}

std::optional<PixelLayout> ProbeTiffPixel(const std::string& path) {
    WalkedTiff walked;
    if (!walked.Open(path)) {
        return std::nullopt;
    }
    const TiffLayout& tiff = walked.layout();
    ByteSource& source = walked.source();
    // BitsPerSample holds one value per sample; from three on they lie at an offset.
    uint32_t bits = 1;  // the default
    const TiffEntry& b = tiff.bitsPerSample;
    if (b.present && b.type == 3 && b.count >= 1) {
        uint8_t first[2] = {b.field[0], b.field[1]};
        if (b.count > 2 && !source.ReadAt(b.value, first, sizeof first)) {
            return std::nullopt;
        }
        bits = tiff.Get16(first);
    }
    const uint32_t samples = tiff.samplesPerPixel.present ? tiff.ScalarOf(tiff.samplesPerPixel) : 1;
    if (samples == 0) {
        return std::nullopt;
    }
    const bool photometricGiven = tiff.photometric.present;
    const uint32_t photometric = tiff.ScalarOf(tiff.photometric);
    // LogLuv and LogL (what OpenCV writes for floating images) decode to floats.
    if (photometricGiven && (photometric == 32844 || photometric == 32845)) {
        return PixelLayout{photometric == 32845 ? 3u : 1u, 4};
    }
    uint32_t bytes = 0;
    if (bits >= 1 && bits <= 8) {
        bytes = 1;
    } else if (bits == 16 || bits == 32 || bits == 64) {
        bytes = bits / 8;
    }
    if (bytes == 0) {
        return std::nullopt;
    }
    // Grey stays one channel, extra samples dropped.
    if (photometricGiven && photometric <= 1) {
        return PixelLayout{1, bytes};
    }
    // Palettes give colours; L*a*b* becomes colours, its alpha dropped.
    if (photometricGiven && (photometric == 3 || photometric == 8)) {
        return PixelLayout{3, bytes};
    }
    // CMYK becomes colours, with an alpha when it has a fifth sample.
    if (photometricGiven && photometric == 5) {
        return PixelLayout{samples >= 5 ? 4u : 3u, bytes};
    }
    return PixelLayout{samples == 1 ? 1u : samples <= 3 ? 3u : 4u, bytes};
}

std::optional<PixelLayout> ProbePixelLayout(const std::string& path) {
    return EntryOf(FormatOfName(path)).pixel(path);
}

}  // namespace korvale
