// Fuzz target: the header probe (BMP, JPEG with JFIF and Exif, PNG, TIFF) and the decoded
// pixel read from the same headers, on arbitrary file contents.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "ByteFile.h"
#include "ByteSource.h"
#include "FuzzFiles.h"
#include "HeaderWalk.h"
#include "ImageHeader.h"

using namespace korvale;

namespace {

struct Paths {
    std::string bmp = fuzz::ScratchFile("probe.bmp");
    std::string jpeg = fuzz::ScratchFile("probe.jpg");
    std::string png = fuzz::ScratchFile("probe.png");
    std::string tiff = fuzz::ScratchFile("probe.tif");
};

const Paths& ProbePaths() {
    // One inode under every name, so one write serves every branch.
    static const Paths paths = [] {
        Paths made;
        fuzz::WriteWhole(made.bmp, nullptr, 0);
        for (const std::string* name : {&made.jpeg, &made.png, &made.tiff}) {
            if (::link(made.bmp.c_str(), name->c_str()) != 0) {
                std::abort();
            }
        }
        return made;
    }();
    return paths;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Paths& paths = ProbePaths();
    fuzz::WriteWhole(paths.bmp, data, size);

    if (const auto bmp = ProbeImageHeader(paths.bmp)) {
        // A core header holds 16-bit sides; an info header is held to 1..32767.
        if (bmp->width > 0xFFFF || bmp->height > 0xFFFF) {
            std::abort();
        }
    }

    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t dpi = 0;
    int32_t orientation = 0;
    const bool jpegFound = ProbeJpegHeader(paths.jpeg, width, height, dpi, orientation);
    const auto jpeg = ProbeImageHeader(paths.jpeg);
    if (jpegFound != jpeg.has_value()) {
        std::abort();
    }
    if (jpeg) {
        if (orientation >= 5) {
            std::swap(width, height);
        }
        if (!(*jpeg == ImageHeaderInfo{width, height, dpi})) {
            std::abort();
        }
    }

    // PNG: sides within the format's range; the walk over the bytes in memory agrees with the
    // one over the file.
    const std::vector<uint8_t> bytes(data, data + size);
    MemorySource memory(bytes);
    PngLayout png;
    const bool pngWalked = WalkPng(memory, png);
    const auto pngInfo = ProbeImageHeader(paths.png);
    if (pngWalked != pngInfo.has_value()) {
        std::abort();
    }
    if (pngInfo) {
        // As stored, or turned by an eXIf orientation.
        const bool asIs = pngInfo->width == png.width && pngInfo->height == png.height;
        const bool turned = pngInfo->width == png.height && pngInfo->height == png.width;
        if ((!asIs && !turned) || png.width < 1 || png.width > 0x7FFFFFFF || png.height < 1 ||
            png.height > 0x7FFFFFFF) {
            std::abort();
        }
    }

    // TIFF: a result needs an IFD0 read whole and both sides of at least 1.
    TiffLayout tiff;
    const bool tiffWalked = WalkTiff(memory, tiff);
    const auto tiffInfo = ProbeImageHeader(paths.tiff);
    if (tiffInfo && (!tiffWalked || tiffInfo->width == 0 || tiffInfo->height == 0)) {
        std::abort();
    }

    // The decoded pixel: only layouts a decoder hands over.
    for (const std::string* path : {&paths.bmp, &paths.jpeg, &paths.png, &paths.tiff}) {
        if (const auto pixel = ProbePixelLayout(*path)) {
            const uint32_t c = pixel->channels;
            const uint32_t b = pixel->bytesPerChannel;
            if ((c != 1 && c != 3 && c != 4) || (b != 1 && b != 2 && b != 4 && b != 8)) {
                std::abort();
            }
        }
    }

    // The Exif reader on its own, as if the whole input were the TIFF block of an APP1 segment.
    ByteFile stream;
    if (stream.Open(paths.bmp, ByteFile::Access::Read)) {
        int32_t exifOrientation = 0;
        uint32_t exifDpi = 0;
        ReadExifIfd0(stream, exifOrientation, exifDpi);
    }
    return 0;
}
