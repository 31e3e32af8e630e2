// What the two preset editors compute, apart from their widgets: the paper table and the
// millimetre calculation, the checks of an entered preset, and the changes of the edited list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Message.h"
#include "Preset.h"

namespace korvale {

// Identifiers of the item editor's fields that the checks name.
constexpr int kItemNameField = 1049;
constexpr int kItemWidthField = 1007;
constexpr int kItemHeightField = 1008;
constexpr int kItemDpiField = 1020;
constexpr int kMmWidthField = 1011;
constexpr int kMmHeightField = 1013;
constexpr int kCalcDpiField = 1051;

struct PresetFieldError {
    int field = 0;    // one of the identifiers above
    Message message;  // shown before the focus moves to that field
};

// Standard papers in portrait; the width is the shorter side. The B series is JIS B.
struct PaperSize {
    const char* name;
    int32_t widthMm;
    int32_t heightMm;
};
inline constexpr PaperSize kPaperSizes[] = {
    {"A1", 594, 841},     {"A2", 420, 594},     {"A3", 297, 420}, {"A4", 210, 297},
    {"A5", 148, 210},     {"A6", 105, 148},     {"A7", 74, 105},  {"A8", 52, 74},
    {"B1", 728, 1030},    {"B2", 515, 728},     {"B3", 364, 515}, {"B4", 257, 364},
    {"B5", 182, 257},     {"B6", 128, 182},     {"B7", 91, 128},  {"B8", 64, 91},
    {"ハガキ", 100, 148}, {"L判写真", 89, 127}, {"名刺", 55, 91}, {"Letter", 216, 279},
    {"Legal", 216, 356},
};
constexpr int kDefaultPaperIndex = 3;  // A4

// The DPI choices offered for the calculation.
inline constexpr int32_t kCalcDpiChoices[] = {72,  96,  144, 200, 300, 360,  400,
                                              500, 600, 720, 800, 900, 1000, 1200};
constexpr int kDefaultCalcDpiIndex = 4;  // 300

constexpr int32_t kMinMillimetres = 1;
constexpr int32_t kMaxMillimetres = 3000;
constexpr int32_t kMinCalcDpi = 1;
constexpr int32_t kMaxCalcDpi = 10000;

// (width, height) in millimetres of a paper in the chosen orientation.
std::pair<int32_t, int32_t> PaperMillimetres(const PaperSize& paper, bool landscape);

// Nearest whole number of pixels for a length in millimetres at a resolution.
int32_t MillimetresToPixels(int32_t millimetres, int32_t dpi);

struct PixelCalculation {
    int32_t width = 0;
    int32_t height = 0;
    int32_t dpi = 0;
};

// Reads the millimetre width, height and the DPI for the calculation as typed (leading digits
// only) and checks them in that order; the first refused one is the error and `pixels` is left
// unchanged. The results are not range-checked here: the entered preset's checks do that.
std::optional<PresetFieldError> CalculatePixels(std::string_view mmWidthText,
                                                std::string_view mmHeightText,
                                                std::string_view dpiText, PixelCalculation& pixels);

// The item editor's fields as typed.
struct PresetItemTexts {
    std::string name;
    std::string width;
    std::string height;
    std::string dpi;
};

// Checks name length, width, height and DPI in that order, then that the name is not empty.
// On success `preset` takes the four values; on failure it is left unchanged.
std::optional<PresetFieldError> CheckPresetItem(const PresetItemTexts& texts, Preset& preset);

// The list editor's buttons for a selection of `selected` rows, the first at `first` (-1 when
// none), in a list of `rows`.
struct ListButtons {
    bool add = false;
    bool edit = false;
    bool remove = false;
    bool up = false;
    bool down = false;
};
ListButtons ListButtonsFor(int selected, int first, int rows);

// Whether the list may grow: the next start reads back only kPresetLoadLimit presets.
bool CanAddPreset(const PresetList& presets);

// Inserts before `before`, or at the end when `before` is -1; returns the index it went to.
int InsertPresetBefore(PresetList& presets, int before, Preset preset);

// Removes the elements at the given indices (any order, duplicates ignored).
void RemovePresets(PresetList& presets, const std::vector<int>& indices);

// Swaps element `index` with its neighbour above (-1) or below (+1); false when there is none.
bool SwapWithNeighbour(PresetList& presets, int index, int direction);

}  // namespace korvale
