// Fuzz target: the header probe (BMP, JPEG with JFIF and Exif) on arbitrary file contents.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <utility>

#include "ByteFile.h"
#include "FuzzFiles.h"
#include "ImageHeader.h"

using namespace korvale;

namespace {

struct Paths {
    std::string bmp = fuzz::ScratchFile("probe.bmp");
    std::string jpeg = fuzz::ScratchFile("probe.jpg");
};

const Paths& ProbePaths() {
    // One inode under both names, so one write serves the BMP and the JPEG branch.
    static const Paths paths = [] {
        Paths made;
        fuzz::WriteWhole(made.bmp, nullptr, 0);
        if (::link(made.bmp.c_str(), made.jpeg.c_str()) != 0) {
            std::abort();
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

    // The Exif reader on its own, as if the whole input were the TIFF block of an APP1 segment.
    ByteFile stream;
    if (stream.Open(paths.bmp, ByteFile::Access::Read)) {
        int32_t exifOrientation = 0;
        uint32_t exifDpi = 0;
        ReadExifIfd0(stream, exifOrientation, exifDpi);
    }
    return 0;
}
