// Fuzz target: reading the stored options from an arbitrary settings file. The first input byte
// is the number of presets, the rest is the file; the record must obey every read rule.
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>

#include "FuzzFiles.h"
#include "OptionStore.h"
#include "SettingsStore.h"

using namespace korvale;

namespace {

bool Valid(const BatchOptions& o, size_t presetCount) {
    const auto interpolation = static_cast<int32_t>(o.interpolation);
    const bool presetOk =
        presetCount == 0 ? o.presetIndex == -1
                         : o.presetIndex >= 0 && static_cast<size_t>(o.presetIndex) < presetCount;
    return interpolation >= 0 && interpolation < kInterpolationCount && o.anchor >= 0 &&
           o.anchor < kAnchorCount && o.marginRed >= 0 && o.marginRed <= kMarginMax &&
           o.marginGreen >= 0 && o.marginGreen <= kMarginMax && o.marginBlue >= 0 &&
           o.marginBlue <= kMarginMax && o.targetWidth >= kTargetMinSize &&
           o.targetWidth <= kTargetMaxSize && o.targetHeight >= kTargetMinSize &&
           o.targetHeight <= kTargetMaxSize && o.targetDpi <= kTargetMaxDpi && o.jpegQuality >= 0 &&
           o.jpegQuality <= kJpegQualityMax && presetOk;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const size_t presetCount = data[0];
    static const std::string path = fuzz::ScratchFile("korvale.conf");
    fuzz::WriteWhole(path, data + 1, size - 1);
    // QSettings keeps a file's contents by name and reads it again only when its size or
    // modification time differs: give every input its own time. (A fresh name per input would
    // grow that cache, and the leak check would then scan the heap after every input.)
    static time_t serial = 0;
    const struct timespec times[2] = {{++serial, 0}, {serial, 0}};
    if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) {
        std::abort();
    }
    const BatchOptions options = LoadBatchOptions(SettingsStore::ForFile(path), presetCount);
    if (!Valid(options, presetCount)) {
        std::abort();
    }
    return 0;
}
