// Fuzz target: crop-and-paste of a TIFF into a TIFF output, made strip by strip from the
// source's bytes. The first six input bytes are the target's width and height (1 to 64 each),
// the anchor (0 to 9, 9 being invalid) and the margin's three components; the rest is the file.
// Whatever the file says, only its own bytes are read, and an output that is made is a TIFF of
// the target's size with the DPI, made the same way twice.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "ByteSource.h"
#include "FuzzFiles.h"
#include "HeaderWalk.h"
#include "TiffCropPaste.h"

using namespace korvale;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 6) {
        return 0;
    }
    const PixelSize target{1 + data[0] % 64, 1 + data[1] % 64};
    const int anchor = data[2] % 10;
    const Rgb margin{data[3], data[4], data[5]};
    static const std::string path = fuzz::ScratchFile("source.tif");
    fuzz::WriteWhole(path, data + 6, size - 6);

    std::vector<uint8_t> first;
    const std::optional<ConvertResult> result =
        CropPasteTiffToTiff(path, target, anchor, margin, 300, first);
    if (!result || *result != ConvertResult::Ok) {
        return 0;
    }
    MemorySource source(first);
    TiffLayout layout;
    if (!WalkTiff(source, layout) || layout.ScalarOf(layout.width) != uint32_t(target.width) ||
        layout.ScalarOf(layout.height) != uint32_t(target.height)) {
        std::abort();
    }
    std::vector<uint8_t> second;
    if (CropPasteTiffToTiff(path, target, anchor, margin, 300, second) != ConvertResult::Ok ||
        second != first) {
        std::abort();
    }
    return 0;
}
