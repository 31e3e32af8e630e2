// A preset is a named target: width and height in pixels and a resolution in DPI.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace korvale {

struct Preset {
    std::string name;  // UTF-8, never empty in a stored preset
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t dpi = 0;

    bool operator==(const Preset& other) const {
        return name == other.name && width == other.width && height == other.height &&
               dpi == other.dpi;
    }
};

// File order is list order is combo-box order.
using PresetList = std::vector<Preset>;

// The same bounds as the main window's targets, so any preset can be applied as it stands.
constexpr uint32_t kPresetMinSize = 32;
constexpr uint32_t kPresetMaxSize = 65535;
constexpr uint32_t kPresetMaxDpi = 10000;
// Bytes of a name typed in the item editor; the file reader takes longer ones.
constexpr size_t kPresetNameMaxBytes = 40;
// The load stops once it holds more than 1024 presets, so this many come back from a file;
// the list editor must not let the list grow beyond it.
constexpr size_t kPresetLoadLimit = 1025;

}  // namespace korvale
