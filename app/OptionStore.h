// The stored options: one table of value names with their defaults and read rules, and the
// load and save of the options through the settings store.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "BatchOptions.h"
#include "SettingsStore.h"

namespace korvale {

enum class ReadRule {
    AnyInteger,     // every integer is accepted; the record decides what it means
    UnsignedRange,  // accepted when in [low, high] read as unsigned, so a negative one is too large
    SignedRange,    // accepted when in [low, high]
    Text,
};

struct OptionKey {
    const char* name;
    ReadRule rule;
    int32_t defaultValue;  // also what an out-of-range value gives
    int64_t low;
    int64_t high;  // for Preset: replaced by the number of presets minus one
};

// In the order the values are read and written.
enum OptionId : size_t {
    kOptionMode,
    kOptionInterpolation,
    kOptionKeepAspect,
    kOptionAnchor,
    kOptionMarginRed,
    kOptionMarginGreen,
    kOptionMarginBlue,
    kOptionApplyWidth,
    kOptionApplyHeight,
    kOptionApplyDpi,
    kOptionTargetWidth,
    kOptionTargetHeight,
    kOptionTargetDpi,
    kOptionPreset,
    kOptionSaveFormat,
    kOptionJpegQuality,
    kOptionOutputFolder,
    kOptionDpiOnly,
    kOptionMetadata,
    kOptionKeepTree,
    kOptionOnClash,
    kOptionKeepGoing,
    kOptionToSrgb,
    kOptionCount,
};

inline constexpr std::array<OptionKey, kOptionCount> kOptionKeys = {{
    {"Mode", ReadRule::AnyInteger, static_cast<int32_t>(kOptionDefaults.method), 0, 0},
    {"IP", ReadRule::UnsignedRange, kOptionDefaults.interpolation, 0, kInterpolationCount - 1},
    {"HoldAspect", ReadRule::AnyInteger, kOptionDefaults.keepAspect, 0, 0},
    {"Crop", ReadRule::UnsignedRange, kOptionDefaults.anchor, 0, kAnchorCount - 1},
    {"SpR", ReadRule::UnsignedRange, kOptionDefaults.marginComponent, 0, kMarginMax},
    {"SpG", ReadRule::UnsignedRange, kOptionDefaults.marginComponent, 0, kMarginMax},
    {"SpB", ReadRule::UnsignedRange, kOptionDefaults.marginComponent, 0, kMarginMax},
    {"ApplySizeX", ReadRule::AnyInteger, kOptionDefaults.applyWidth, 0, 0},
    {"ApplySizeY", ReadRule::AnyInteger, kOptionDefaults.applyHeight, 0, 0},
    {"ApplyDPI", ReadRule::AnyInteger, kOptionDefaults.applyDpi, 0, 0},
    {"SizeX", ReadRule::SignedRange, kOptionDefaults.targetWidth, kTargetMinSize, kTargetMaxSize},
    {"SizeY", ReadRule::SignedRange, kOptionDefaults.targetHeight, kTargetMinSize, kTargetMaxSize},
    {"DPI", ReadRule::UnsignedRange, static_cast<int32_t>(kOptionDefaults.targetDpi), 0,
     kTargetMaxDpi},
    {"Preset", ReadRule::SignedRange, 0, 0, -1},
    {"Format", ReadRule::AnyInteger, static_cast<int32_t>(kOptionDefaults.saveFormat), 0, 0},
    {"JQ", ReadRule::UnsignedRange, kOptionDefaults.jpegQuality, 0, kJpegQualityMax},
    {"Folder", ReadRule::Text, 0, 0, 0},
    // Keys a store from before these options lacks: absent, they give the default.
    {"DpiOnly", ReadRule::AnyInteger, kOptionDefaults.dpiOnly, 0, 0},
    {"Metadata", ReadRule::UnsignedRange, static_cast<int32_t>(kOptionDefaults.metadata), 0,
     kMetadataCount - 1},
    // Written only once they differ from their default, so that a store stays as it was
    // until one of these options is chosen.
    {"KeepTree", ReadRule::AnyInteger, kOptionDefaults.keepTree, 0, 0},
    {"OnClash", ReadRule::UnsignedRange, static_cast<int32_t>(kOptionDefaults.onClash), 0,
     kClashRuleCount - 1},
    {"KeepGoing", ReadRule::AnyInteger, kOptionDefaults.keepGoing, 0, 0},
    {"ToSrgb", ReadRule::AnyInteger, kOptionDefaults.toSrgb, 0, 0},
}};

// The options after the read rules. An absent or non-integer value gives its default, and so
// does one outside its range. `Preset` is read only when there are presets; with none the
// record's presetIndex is -1 (nothing selected).
BatchOptions LoadBatchOptions(const SettingsStore& store, size_t presetCount);

struct StoredValue {
    OptionId id;
    int32_t number = 0;  // every value but Folder
    std::string text;    // Folder
};

// What closing the window stores, in table order: the numbers of the fields as atoi reads
// them, without any range test; 4 for an interpolation or anchor list without a selection and
// 0 for a preset list without one. KeepTree, OnClash, KeepGoing and ToSrgb only where they
// differ from their default.
std::vector<StoredValue> StoredValuesOf(const OptionControls& controls);

// Writes StoredValuesOf(controls), and the default of KeepTree, OnClash, KeepGoing or ToSrgb
// where the store holds another value; std::nullopt when they are on disk, else which file and why
// not.
std::optional<FileError> SaveBatchOptions(const OptionControls& controls, SettingsStore& store);

}  // namespace korvale
