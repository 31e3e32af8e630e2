// Fuzz target: the CSV reader and the preset reading rules on an arbitrary preset file. Every
// preset read must survive a save and a second read unchanged.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "CsvLoader.h"
#include "FuzzFiles.h"
#include "PresetStore.h"

using namespace korvale;

namespace {

PresetReadResult ReadPresetFile(const std::string& path) {
    CCSVLoader loader;
    if (!loader.Open(path)) {
        std::abort();
    }
    return ReadPresets(loader);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = fuzz::ScratchFile("KVPreset.csv");
    fuzz::WriteWhole(path, data, size);

    // Raw records: at least one field each, none with more ordinary bytes than the cap (a doubled
    // quote inside a quoted field is kept even past it).
    CCSVLoader loader;
    if (!loader.Open(path)) {
        std::abort();
    }
    std::vector<std::string> fields;
    for (int count; (count = loader.ReadRecord(fields)) != -1;) {
        if (count < 1 || static_cast<size_t>(count) > fields.size()) {
            std::abort();
        }
        for (int i = 0; i < count; ++i) {
            const std::string& field = fields[static_cast<size_t>(i)];
            if (field.size() - std::count(field.begin(), field.end(), '"') >
                CCSVLoader::kFieldCap) {
                std::abort();
            }
        }
    }
    if (loader.ReadFailed()) {
        std::abort();
    }
    loader.Close();

    const PresetReadResult read = ReadPresetFile(path);
    if (read.presets.size() > kPresetLoadLimit || read.errorCount < 0) {
        std::abort();
    }
    for (const Preset& preset : read.presets) {
        if (preset.name.empty() || preset.width < kPresetMinSize || preset.width > kPresetMaxSize ||
            preset.height < kPresetMinSize || preset.height > kPresetMaxSize ||
            preset.dpi > kPresetMaxDpi) {
            std::abort();
        }
    }

    std::string saved;
    for (const Preset& preset : read.presets) {
        saved += FormatPresetLine(preset);
    }
    fuzz::WriteWhole(path, reinterpret_cast<const uint8_t*>(saved.data()), saved.size());
    const PresetReadResult reread = ReadPresetFile(path);
    if (reread.presets != read.presets || reread.errorCount != 0 || reread.readFailed) {
        std::abort();
    }
    return 0;
}
