// The main window's rules: enabling, arrow-button texts and the quality slider's arithmetic.
#include <gtest/gtest.h>

#include <map>

#include "ControlRules.h"

namespace korvale {
namespace {

std::map<int, bool> States(const ControlStateInputs& in) {
    std::map<int, bool> states;
    for (const auto& [id, enabled] : ControlStates(in)) {
        EXPECT_EQ(states.count(id), 0u) << "control " << id << " set twice";
        states[id] = enabled;
    }
    return states;
}

const int kArrows[] = {1048, 1049, 1050, 1051, 1029, 1030, 1031, 1052, 1043, 1044, 1045, 1054};

TEST(ControlStates, DependOnTheNumberOfFilesAndTheSelection) {
    const struct {
        int files, selected;
        bool remove, removeAll, removeOdd, removeEven, arrowsAndRun;
    } cases[] = {
        {0, 0, false, false, false, false, false}, {1, 0, false, true, true, false, true},
        {1, 1, true, true, true, false, true},     {2, 0, false, true, true, true, true},
        {2, 2, true, true, true, true, true},
    };
    for (const auto& c : cases) {
        ControlStateInputs in;
        in.fileCount = c.files;
        in.selectedRows = c.selected;
        auto s = States(in);
        EXPECT_EQ(s[1032], c.remove) << c.files << "/" << c.selected;
        EXPECT_EQ(s[1033], c.removeAll) << c.files;
        EXPECT_EQ(s[1063], c.removeOdd) << c.files;
        EXPECT_EQ(s[1064], c.removeEven) << c.files;
        EXPECT_EQ(s[1013], c.arrowsAndRun) << c.files;
        for (int arrow : kArrows) {
            EXPECT_EQ(s[arrow], c.arrowsAndRun) << arrow;
        }
        for (int always : {1012, 2, 1000, 1024, 1025, 1015, 1016, 1034, 1036, 1037, 1038, 1039,
                           1046, 1057, 1058, 1059}) {
            EXPECT_TRUE(s[always]) << always;
        }
        EXPECT_FALSE(s[1014]);
    }
}

TEST(ControlStates, MethodAndKeepAspectDecideInterpolationAndMargins) {
    const struct {
        bool crop, keep;
        bool interpolation, margins;
    } cases[] = {
        {false, false, true, false},
        {false, true, true, true},
        {true, false, false, true},
        {true, true, false, true},
    };
    for (const auto& c : cases) {
        ControlStateInputs in;
        in.crop = c.crop;
        in.keepAspect = c.keep;
        auto s = States(in);
        EXPECT_EQ(s[1022], c.interpolation) << c.crop << c.keep;
        EXPECT_EQ(s[1055], c.interpolation) << c.crop << c.keep;
        for (int margin : {1028, 1026, 1056}) {
            EXPECT_EQ(s[margin], c.margins) << margin << " " << c.crop << c.keep;
        }
    }
}

// DPI only ignores the sizes, the scaling and the format: their controls show it. The DPI
// target, the folder and the method buttons stay usable.
TEST(ControlStates, DpiOnlyDisablesWhatItIgnores) {
    ControlStateInputs in;
    in.fileCount = 3;
    in.keepAspect = true;
    in.applyWidth = in.applyHeight = in.applyDpi = true;
    in.presetSelected = true;
    auto before = States(in);
    in.dpiOnly = true;
    auto s = States(in);
    const int ignored[] = {1057, 1007, 1009, 1058, 1008, 1010, 1022, 1055, 1028, 1026, 1056,
                           1037, 1038, 1039, 1067, 1068, 1075, 1076, 1046, 1066, 1074};
    for (int id : ignored) {
        EXPECT_TRUE(before[id]) << id;
        EXPECT_FALSE(s[id]) << id;
        before.erase(id);
        s.erase(id);
    }
    EXPECT_EQ(s, before) << "every other control as without DPI only";
    EXPECT_TRUE(s[1065] && s[1059] && s[1020] && s[1021] && s[1015] && s[1013]);
    in.interactive = false;
    EXPECT_FALSE(States(in)[1065]);
}

TEST(ControlStates, TicksEnableTheirFieldsAndPresetSelectionTheApplyButton) {
    ControlStateInputs in;
    in.applyWidth = false;
    in.applyHeight = true;
    in.applyDpi = true;
    auto s = States(in);
    EXPECT_FALSE(s[1007]);
    EXPECT_FALSE(s[1009]);
    EXPECT_TRUE(s[1008]);
    EXPECT_TRUE(s[1010]);
    EXPECT_TRUE(s[1020]);
    EXPECT_TRUE(s[1021]);
    EXPECT_FALSE(s[1035]);
    in.presetSelected = true;
    EXPECT_TRUE(States(in)[1035]);
}

TEST(ControlStates, DuringARunOnlyStopIsUsable) {
    ControlStateInputs in;
    in.interactive = false;
    in.fileCount = 5;
    in.selectedRows = 2;
    in.crop = true;
    in.presetSelected = true;
    in.applyWidth = in.applyHeight = in.applyDpi = true;
    for (const auto& [id, enabled] : ControlStates(in)) {
        EXPECT_EQ(enabled, id == 1014) << id;
    }
}

TEST(ArrowButtons, CopyTheirStatisticAsPlainSignedDecimal) {
    ListStatistics statistics;
    statistics.width = {600, 800, 850, 800};
    statistics.height = {400, 500, 450, 400};
    statistics.dpi = {0, 300, 150, UINT32_MAX};
    std::map<int, std::pair<int, std::string>> got;
    for (const ArrowButton& button : ArrowButtons()) {
        got[button.id] = {button.targetField, StatisticFieldText(statistics, button)};
    }
    const std::map<int, std::pair<int, std::string>> expected = {
        {1048, {1007, "600"}}, {1049, {1007, "800"}}, {1050, {1007, "850"}}, {1051, {1007, "800"}},
        {1029, {1008, "400"}}, {1030, {1008, "500"}}, {1031, {1008, "450"}}, {1052, {1008, "400"}},
        {1043, {1020, "0"}},   {1044, {1020, "300"}}, {1045, {1020, "150"}}, {1054, {1020, "-1"}},
    };
    EXPECT_EQ(got, expected);
}

TEST(JpegQualityAfter, StepsClampAtTheEnds) {
    const struct {
        int code, position, quality, expected;
    } cases[] = {
        {3, 0, 95, 100}, {2, 0, 5, 0},    {1, 0, 100, 100}, {0, 0, 0, 0},     {0, 0, 50, 49},
        {1, 0, 50, 51},  {2, 0, 50, 40},  {3, 0, 50, 60},   {4, 37, 50, 37},  {5, 63, 50, 63},
        {6, 0, 50, 0},   {7, 0, 50, 100}, {8, 10, 50, 50},  {12, 10, 50, 50},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(JpegQualityAfter(c.code, c.position, c.quality), c.expected)
            << "code " << c.code << " from " << c.quality;
    }
}

}  // namespace
}  // namespace korvale
