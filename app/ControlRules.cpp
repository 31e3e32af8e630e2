// The main window's control rules.
#include "ControlRules.h"

#include "Text.h"

namespace korvale {

std::vector<std::pair<int, bool>> ControlStates(const ControlStateInputs& in) {
    const bool i = in.interactive;
    const bool any = in.fileCount > 0;
    // Controls of what DPI-only ignores.
    const bool used = i && !in.dpiOnly;
    std::vector<std::pair<int, bool>> states = {
        {1012, i},  // file list
        {2, i},     // close
        {1000, i},  // add
        {kAddFolderId, i},
        {1032, i && in.selectedRows > 0},
        {1033, i && any},
        {1063, i && any},
        {1064, i && in.fileCount >= 2},
        {1024, i},
        {1025, i},
        {1065, i},
        {1022, used && !in.crop},
        {1055, used && !in.crop},
        {1028, used && (in.crop || in.keepAspect)},
        {1026, used && (in.crop || in.keepAspect)},
        {1056, used && (in.crop || in.keepAspect)},
        {1015, i},
        {1016, i},
    };
    for (int arrow : {1048, 1049, 1050, 1051, 1029, 1030, 1031, 1052, 1043, 1044, 1045, 1054}) {
        states.emplace_back(arrow, i && any);
    }
    const struct {
        int check, field, spin;
        bool ticked;
        bool usable;
    } targets[] = {{1057, 1007, 1009, in.applyWidth, used},
                   {1058, 1008, 1010, in.applyHeight, used},
                   {1059, 1020, 1021, in.applyDpi, i}};
    for (const auto& t : targets) {
        states.emplace_back(t.check, t.usable);
        states.emplace_back(t.field, t.usable && t.ticked);
        states.emplace_back(t.spin, t.usable && t.ticked);
    }
    states.insert(states.end(), {{1035, i && in.presetSelected},
                                 {1034, i},
                                 {1036, i},
                                 {1037, used},
                                 {1038, used},
                                 {1039, used},
                                 {1067, used},
                                 {1068, used},
                                 {1075, used},
                                 {1076, used},
                                 {1046, used},
                                 {1066, used},
                                 {1074, used},
                                 {1070, i},
                                 {1072, i},
                                 {1073, i},
                                 {1013, i && any},
                                 {1014, !i}});
    return states;
}

const std::vector<ArrowButton>& ArrowButtons() {
    using Q = QuantityStatistics;
    using L = ListStatistics;
    static const std::vector<ArrowButton> buttons = {
        {1048, 1007, &Q::minimum, &L::width},  {1049, 1007, &Q::maximum, &L::width},
        {1050, 1007, &Q::average, &L::width},  {1051, 1007, &Q::mode, &L::width},
        {1029, 1008, &Q::minimum, &L::height}, {1030, 1008, &Q::maximum, &L::height},
        {1031, 1008, &Q::average, &L::height}, {1052, 1008, &Q::mode, &L::height},
        {1043, 1020, &Q::minimum, &L::dpi},    {1044, 1020, &Q::maximum, &L::dpi},
        {1045, 1020, &Q::average, &L::dpi},    {1054, 1020, &Q::mode, &L::dpi},
    };
    return buttons;
}

std::string StatisticFieldText(const ListStatistics& statistics, const ArrowButton& button) {
    const uint32_t value = (statistics.*button.quantity).*button.statistic;
    return FormatText("%d", static_cast<int>(value));
}

int JpegQualityAfter(int code, int position, int quality) {
    switch (code) {
        case 0:
            return quality > 0 ? quality - 1 : quality;
        case 1:
            return quality < 100 ? quality + 1 : quality;
        case 2:
            return quality - 10 < 0 ? 0 : quality - 10;
        case 3:
            return quality + 10 > 100 ? 100 : quality + 10;
        case 4:
        case 5:
            return position;
        case 6:
            return 0;
        case 7:
            return 100;
        default:
            return quality;
    }
}

}  // namespace korvale
