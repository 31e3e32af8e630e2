// Fuzz target: resolution stamping. The first four input bytes are the DPI (little-endian), the
// rest is the file. BMP and JPEG stamping must keep the file's size and write at most the
// density fields; a PNG, TIFF, WebP, HEIF or JPEG XL stamp must make the bytes that the copy in
// memory makes,
// and a changed file must read back with its size and the DPI. Every stamp gives the same bytes
// when repeated.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

#include "FuzzFiles.h"
#include "ImageHeader.h"
#include "ResolutionEdit.h"
#include "HeifEdit.h"
#include "JxlEdit.h"
#include "ResolutionStamp.h"
#include "WebpEdit.h"

using namespace korvale;

namespace {

// Offsets of the changed bytes.
std::vector<size_t> Changes(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after) {
    if (before.size() != after.size()) {
        std::abort();
    }
    std::vector<size_t> changed;
    for (size_t i = 0; i < before.size(); ++i) {
        if (before[i] != after[i]) {
            changed.push_back(i);
        }
    }
    return changed;
}

// Stamps and checks what every stamp must keep; returns the stamped bytes.
std::vector<uint8_t> StampAndCheck(const std::string& path, const std::vector<uint8_t>& file,
                                   uint32_t dpi, size_t firstAllowed, size_t lastAllowed) {
    fuzz::WriteWhole(path, file);
    StampResolution(path, dpi);
    const std::vector<uint8_t> once = fuzz::ReadWhole(path);
    for (const size_t at : Changes(file, once)) {
        if (at < firstAllowed || at > lastAllowed) {
            std::abort();
        }
    }
    StampResolution(path, dpi);
    if (!Changes(once, fuzz::ReadWhole(path)).empty()) {
        std::abort();
    }
    return once;
}

enum class Edited { Png, Tiff, Webp, Heif, Jxl };

std::optional<std::vector<uint8_t>> EditedCopy(Edited format, const std::vector<uint8_t>& file,
                                               uint32_t dpi) {
    switch (format) {
        case Edited::Png:
            return PngWithResolution(file, dpi);
        case Edited::Tiff:
            return TiffWithResolution(file, dpi);
        case Edited::Webp:
            return WebpWithResolution(file, dpi);
        case Edited::Heif:
            return HeifWithResolution(file, dpi);
        case Edited::Jxl:
            return JxlWithResolution(file, dpi);
    }
    return std::nullopt;
}

// A file of an edited format at `path`: returns whether the stamp changed the file.
bool StampEditAndCheck(const std::string& path, const std::vector<uint8_t>& file, uint32_t dpi,
                       Edited format) {
    fuzz::WriteWhole(path, file);
    const auto before = ProbeImageHeader(path);
    StampResolution(path, dpi);
    const std::vector<uint8_t> once = fuzz::ReadWhole(path);
    const auto copy = EditedCopy(format, file, dpi);
    if (once != (copy ? *copy : file)) {
        std::abort();
    }
    StampResolution(path, dpi);
    if (fuzz::ReadWhole(path) != once) {
        std::abort();
    }
    if (!copy) {
        return false;
    }
    const auto after = ProbeImageHeader(path);
    const uint32_t expected =
        format == Edited::Png ? BmpDpiFromPixelsPerMetre(BmpPixelsPerMetre(dpi)) : dpi;
    if (!before || !after || after->width != before->width || after->height != before->height ||
        after->dpi != expected) {
        std::abort();
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) {
        return 0;
    }
    const uint32_t dpi = static_cast<uint32_t>(data[0]) | (static_cast<uint32_t>(data[1]) << 8) |
                         (static_cast<uint32_t>(data[2]) << 16) |
                         (static_cast<uint32_t>(data[3]) << 24);
    const std::vector<uint8_t> file(data + 4, data + size);
    static const std::string bmpPath = fuzz::ScratchFile("stamp.bmp");
    static const std::string jpegPath = fuzz::ScratchFile("stamp.jpg");

    // BMP: the two pixels-per-metre fields at offsets 38 to 45.
    fuzz::WriteWhole(bmpPath, file);
    const auto before = ProbeBmpHeader(bmpPath);
    const std::vector<uint8_t> stampedBmp = StampAndCheck(bmpPath, file, dpi, 38, 45);
    // Both fields or nothing.
    if (stampedBmp != file &&
        (stampedBmp.size() < 46 ||
         !std::equal(stampedBmp.begin() + 38, stampedBmp.begin() + 42, stampedBmp.begin() + 42))) {
        std::abort();
    }
    if (before) {
        const auto after = ProbeBmpHeader(bmpPath);
        if (!after || after->width != before->width || after->height != before->height) {
            std::abort();
        }
        // A core header has no resolution; below the 32-bit field's limit the DPI comes back.
        const bool coreHeader = file[14] == 12 && file[15] == 0 && file[16] == 0 && file[17] == 0;
        if (!coreHeader && dpi <= 50000000 && after->dpi != dpi) {
            std::abort();
        }
    }

    // JPEG: five bytes (units and both densities) anywhere, and the probe still runs.
    const std::vector<uint8_t> stamped = StampAndCheck(jpegPath, file, dpi, 0, SIZE_MAX);
    const std::vector<size_t> changed = Changes(file, stamped);
    if (!changed.empty() && changed.back() - changed.front() >= 5) {
        std::abort();
    }
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t probedDpi = 0;
    int32_t orientation = 0;
    ProbeJpegHeader(jpegPath, width, height, probedDpi, orientation);

    static const std::string pngPath = fuzz::ScratchFile("stamp.png");
    static const std::string tiffPath = fuzz::ScratchFile("stamp.tif");
    static const std::string webpPath = fuzz::ScratchFile("stamp.webp");
    static const std::string heifPath = fuzz::ScratchFile("stamp.heic");
    static const std::string jxlPath = fuzz::ScratchFile("stamp.jxl");
    StampEditAndCheck(pngPath, file, dpi, Edited::Png);
    StampEditAndCheck(tiffPath, file, dpi, Edited::Tiff);
    StampEditAndCheck(webpPath, file, dpi, Edited::Webp);
    StampEditAndCheck(heifPath, file, dpi, Edited::Heif);
    StampEditAndCheck(jxlPath, file, dpi, Edited::Jxl);
    return 0;
}
