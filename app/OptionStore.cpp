// Loading and saving the options through the settings store.
#include "OptionStore.h"

#include "Text.h"

namespace korvale {
namespace {

int32_t ReadOption(const SettingsStore& store, OptionId id, int64_t high) {
    const OptionKey& key = kOptionKeys[id];
    const int32_t value = store.ReadInt(key.name).value_or(key.defaultValue);
    switch (key.rule) {
        case ReadRule::UnsignedRange: {
            const int64_t asUnsigned = static_cast<uint32_t>(value);
            return asUnsigned >= key.low && asUnsigned <= high ? value : key.defaultValue;
        }
        case ReadRule::SignedRange:
            return value >= key.low && value <= high ? value : key.defaultValue;
        case ReadRule::AnyInteger:
        case ReadRule::Text:
            break;
    }
    return value;
}

int32_t ReadOption(const SettingsStore& store, OptionId id) {
    return ReadOption(store, id, kOptionKeys[id].high);
}

int32_t FieldNumber(const std::string& text) {
    return ParseLeadingInt(text).value;
}

}  // namespace

BatchOptions LoadBatchOptions(const SettingsStore& store, size_t presetCount) {
    BatchOptions options;
    options.method =
        ReadOption(store, kOptionMode) != 0 ? BatchMethod::CropPaste : BatchMethod::Resize;
    options.interpolation =
        static_cast<InterpolationChoice>(ReadOption(store, kOptionInterpolation));
    options.keepAspect = ReadOption(store, kOptionKeepAspect) != 0;
    options.anchor = ReadOption(store, kOptionAnchor);
    options.marginRed = ReadOption(store, kOptionMarginRed);
    options.marginGreen = ReadOption(store, kOptionMarginGreen);
    options.marginBlue = ReadOption(store, kOptionMarginBlue);
    options.applyWidth = ReadOption(store, kOptionApplyWidth) != 0;
    options.applyHeight = ReadOption(store, kOptionApplyHeight) != 0;
    options.applyDpi = ReadOption(store, kOptionApplyDpi) != 0;
    options.targetWidth = ReadOption(store, kOptionTargetWidth);
    options.targetHeight = ReadOption(store, kOptionTargetHeight);
    options.targetDpi = static_cast<uint32_t>(ReadOption(store, kOptionTargetDpi));
    options.presetIndex =
        presetCount == 0 ? -1
                         : ReadOption(store, kOptionPreset, static_cast<int64_t>(presetCount) - 1);
    switch (ReadOption(store, kOptionSaveFormat)) {
        case 0:
            options.saveFormat = SaveFormat::Bmp;
            break;
        case 1:
            options.saveFormat = SaveFormat::Jpeg;
            break;
        case 3:
            options.saveFormat = SaveFormat::Png;
            break;
        case 4:
            options.saveFormat = SaveFormat::Tiff;
            break;
        case 5:
            options.saveFormat = SaveFormat::Webp;
            break;
        case 6:
            options.saveFormat = SaveFormat::Avif;
            break;
        default:
            options.saveFormat = SaveFormat::SameAsSource;
            break;
    }
    options.jpegQuality = ReadOption(store, kOptionJpegQuality);
    options.outputFolder = store.ReadText(kOptionKeys[kOptionOutputFolder].name).value_or("");
    options.dpiOnly = ReadOption(store, kOptionDpiOnly) != 0;
    options.metadata = static_cast<MetadataPolicy>(ReadOption(store, kOptionMetadata));
    options.keepTree = ReadOption(store, kOptionKeepTree) != 0;
    options.onClash = static_cast<ClashRule>(ReadOption(store, kOptionOnClash));
    options.keepGoing = ReadOption(store, kOptionKeepGoing) != 0;
    options.toSrgb = ReadOption(store, kOptionToSrgb) != 0;
    return options;
}

namespace {

// The options that are stored only once chosen, as the controls show them.
std::vector<StoredValue> ChosenValuesOf(const OptionControls& c) {
    return {
        {kOptionKeepTree, c.keepTree ? 1 : 0, {}},
        {kOptionOnClash,
         c.clashIndex < 0 ? kOptionKeys[kOptionOnClash].defaultValue : c.clashIndex,
         {}},
        {kOptionKeepGoing, c.keepGoing ? 1 : 0, {}},
        {kOptionToSrgb, c.toSrgb ? 1 : 0, {}},
    };
}

}  // namespace

std::vector<StoredValue> StoredValuesOf(const OptionControls& c) {
    // The stored values are SaveFormat's: 2 stays "元と同じ", PNG, TIFF, WebP and AVIF come
    // after it.
    const int32_t saveFormat =
        c.saveFormatIndex >= 0 && c.saveFormatIndex <= 6 ? c.saveFormatIndex : 2;
    std::vector<StoredValue> values = {
        {kOptionMode, c.methodIndex == 0 ? 0 : 1, {}},
        {kOptionInterpolation, c.interpolationIndex < 0 ? 4 : c.interpolationIndex, {}},
        {kOptionKeepAspect, c.keepAspect ? 1 : 0, {}},
        {kOptionAnchor, c.anchorIndex < 0 ? kAnchorCentre : c.anchorIndex, {}},
        {kOptionMarginRed, c.marginRed, {}},
        {kOptionMarginGreen, c.marginGreen, {}},
        {kOptionMarginBlue, c.marginBlue, {}},
        {kOptionApplyWidth, c.applyWidth ? 1 : 0, {}},
        {kOptionApplyHeight, c.applyHeight ? 1 : 0, {}},
        {kOptionApplyDpi, c.applyDpi ? 1 : 0, {}},
        {kOptionTargetWidth, FieldNumber(c.widthText), {}},
        {kOptionTargetHeight, FieldNumber(c.heightText), {}},
        {kOptionTargetDpi, FieldNumber(c.dpiText), {}},
        {kOptionPreset, c.presetIndex < 0 ? 0 : c.presetIndex, {}},
        {kOptionSaveFormat, saveFormat, {}},
        {kOptionJpegQuality, c.jpegQuality, {}},
        {kOptionOutputFolder, 0, c.folderText},
        {kOptionDpiOnly, c.dpiOnly ? 1 : 0, {}},
        {kOptionMetadata,
         c.metadataIndex < 0 ? kOptionKeys[kOptionMetadata].defaultValue : c.metadataIndex,
         {}},
    };
    for (const StoredValue& value : ChosenValuesOf(c)) {
        if (value.number != kOptionKeys[value.id].defaultValue) {
            values.push_back(value);
        }
    }
    return values;
}

std::optional<FileError> SaveBatchOptions(const OptionControls& controls, SettingsStore& store) {
    std::vector<StoredValue> values = StoredValuesOf(controls);
    for (const StoredValue& value : ChosenValuesOf(controls)) {
        // Switched back to the default: the older choice must not stay.
        const OptionKey& key = kOptionKeys[value.id];
        if (value.number == key.defaultValue && store.ReadInt(key.name).has_value()) {
            values.push_back(value);
        }
    }
    for (const StoredValue& value : values) {
        const OptionKey& key = kOptionKeys[value.id];
        if (key.rule == ReadRule::Text) {
            store.WriteText(key.name, value.text);
        } else {
            store.WriteInt(key.name, value.number);
        }
    }
    return store.Flush();
}

}  // namespace korvale
