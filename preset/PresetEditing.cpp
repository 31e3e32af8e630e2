// The preset editors' arithmetic, checks and list changes.
#include "PresetEditing.h"

#include <utility>

#include "FieldValidation.h"
#include "Text.h"

namespace korvale {

std::pair<int32_t, int32_t> PaperMillimetres(const PaperSize& paper, bool landscape) {
    if (landscape) {
        return {paper.heightMm, paper.widthMm};
    }
    return {paper.widthMm, paper.heightMm};
}

int32_t MillimetresToPixels(int32_t millimetres, int32_t dpi) {
    // Whole millimetres at a whole DPI never land on an exact half, so adding 0.5 and cutting
    // gives the nearest integer.
    return static_cast<int32_t>(static_cast<double>(millimetres) * dpi / 25.4 + 0.5);
}

std::optional<PresetFieldError> CalculatePixels(std::string_view mmWidthText,
                                                std::string_view mmHeightText,
                                                std::string_view dpiText,
                                                PixelCalculation& pixels) {
    const int32_t mmWidth = ParseLeadingInt(mmWidthText).value;
    if (mmWidth < kMinMillimetres || mmWidth > kMaxMillimetres) {
        return PresetFieldError{kMmWidthField, Message(MessageId::MmWidthRange)};
    }
    const int32_t mmHeight = ParseLeadingInt(mmHeightText).value;
    if (mmHeight < kMinMillimetres || mmHeight > kMaxMillimetres) {
        return PresetFieldError{kMmHeightField, Message(MessageId::MmHeightRange)};
    }
    const int32_t dpi = ParseLeadingInt(dpiText).value;
    if (dpi < kMinCalcDpi || dpi > kMaxCalcDpi) {
        return PresetFieldError{kCalcDpiField, Message(MessageId::CalcDpiRange)};
    }
    pixels = {MillimetresToPixels(mmWidth, dpi), MillimetresToPixels(mmHeight, dpi), dpi};
    return std::nullopt;
}

std::optional<PresetFieldError> CheckPresetItem(const PresetItemTexts& texts, Preset& preset) {
    Preset entered;
    if (auto prompt = CheckByteLength(texts.name, kPresetNameMaxBytes)) {
        return PresetFieldError{kItemNameField, std::move(*prompt)};
    }
    entered.name = texts.name;
    if (auto prompt =
            CheckUnsignedField(texts.width, kPresetMinSize, kPresetMaxSize, entered.width)) {
        return PresetFieldError{kItemWidthField, std::move(*prompt)};
    }
    if (auto prompt =
            CheckUnsignedField(texts.height, kPresetMinSize, kPresetMaxSize, entered.height)) {
        return PresetFieldError{kItemHeightField, std::move(*prompt)};
    }
    if (auto prompt = CheckUnsignedField(texts.dpi, 0, kPresetMaxDpi, entered.dpi)) {
        return PresetFieldError{kItemDpiField, std::move(*prompt)};
    }
    if (entered.name.empty()) {
        return PresetFieldError{kItemNameField, Message(MessageId::NoPresetName)};
    }
    preset = std::move(entered);
    return std::nullopt;
}

ListButtons ListButtonsFor(int selected, int first, int rows) {
    ListButtons buttons;
    buttons.add = rows < static_cast<int>(kPresetLoadLimit);
    buttons.edit = selected == 1;
    buttons.remove = selected >= 1;
    buttons.up = selected == 1 && first > 0;
    buttons.down = selected == 1 && first >= 0 && first < rows - 1;
    return buttons;
}

bool CanAddPreset(const PresetList& presets) {
    return presets.size() < kPresetLoadLimit;
}

int InsertPresetBefore(PresetList& presets, int before, Preset preset) {
    const int size = static_cast<int>(presets.size());
    const int at = before < 0 || before > size ? size : before;
    presets.insert(presets.begin() + at, std::move(preset));
    return at;
}

void RemovePresets(PresetList& presets, const std::vector<int>& indices) {
    std::vector<bool> doomed(presets.size(), false);
    for (int index : indices) {
        if (index >= 0 && index < static_cast<int>(presets.size())) {
            doomed[static_cast<size_t>(index)] = true;
        }
    }
    size_t kept = 0;
    for (size_t i = 0; i < presets.size(); ++i) {
        if (!doomed[i]) {
            if (kept != i) {
                presets[kept] = std::move(presets[i]);
            }
            ++kept;
        }
    }
    presets.resize(kept);
}

bool SwapWithNeighbour(PresetList& presets, int index, int direction) {
    const int other = index + direction;
    const int size = static_cast<int>(presets.size());
    if (index < 0 || index >= size || other < 0 || other >= size) {
        return false;
    }
    std::swap(presets[static_cast<size_t>(index)], presets[static_cast<size_t>(other)]);
    return true;
}

}  // namespace korvale
