// The main window's control rules as plain functions: which controls can be used, what each
// arrow button copies where, and the JPEG quality slider's own arithmetic.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "ListStatistics.h"

namespace korvale {

// Beyond the template: the button that adds a folder.
inline constexpr int kAddFolderId = 1080;

struct ControlStateInputs {
    bool interactive = true;  // false while a batch runs
    int fileCount = 0;
    int selectedRows = 0;
    bool crop = false;            // radio button 1025 selected
    bool dpiOnly = false;         // radio button 1065 selected: sizes, scaling and format unused
    bool keepAspect = false;      // check box 1055 ticked (a disabled tick still counts)
    bool presetSelected = false;  // list 1034 has a selection
    bool applyWidth = false;      // check boxes 1057, 1058, 1059 ticked
    bool applyHeight = false;
    bool applyDpi = false;
};

// (control identifier, enabled) in the order the window applies them.
std::vector<std::pair<int, bool>> ControlStates(const ControlStateInputs& in);

// The twelve arrow buttons: which statistic each copies into which target field.
struct ArrowButton {
    int id;
    int targetField;  // 1007, 1008 or 1020
    uint32_t QuantityStatistics::*statistic;
    QuantityStatistics ListStatistics::*quantity;
};
const std::vector<ArrowButton>& ArrowButtons();

// The text an arrow button writes: the statistic as signed decimal ("%d"), no blank.
std::string StatisticFieldText(const ListStatistics& statistics, const ArrowButton& button);

// Slider notifications: 0 line down, 1 line up, 2 page down, 3 page up, 4 thumb released,
// 5 thumb dragged, 6 to the minimum, 7 to the maximum, 8 and above nothing.
int JpegQualityAfter(int code, int position, int quality);

}  // namespace korvale
