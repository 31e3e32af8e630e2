// The preset editors' arithmetic, checks and list changes, without widgets.
#include <gtest/gtest.h>

#include "FieldValidation.h"
#include "MessageWords.h"
#include "PresetEditing.h"

namespace korvale {
namespace {

TEST(CalculatePixels, RoundsToTheNearestPixel) {
    const struct {
        const char *mmWidth, *mmHeight, *dpi;
        int32_t width, height, usedDpi;
    } cases[] = {
        {"210", "297", "300", 2480, 3508, 300},
        {"216", "279", "96", 816, 1054, 96},
        {"89", "127", "300", 1051, 1500, 300},
        {"1", "1", "72", 3, 3, 72},
        {"1", "1", "1", 0, 0, 1},
        {"3000", "1", "10000", 1181102, 394, 10000},
        {"210", "297", "300 dpi", 2480, 3508, 300},  // the DPI box is read like atoi
    };
    for (const auto& c : cases) {
        PixelCalculation pixels;
        EXPECT_EQ(CalculatePixels(c.mmWidth, c.mmHeight, c.dpi, pixels), std::nullopt) << c.dpi;
        EXPECT_EQ(pixels.width, c.width) << c.mmWidth << " mm at " << c.dpi;
        EXPECT_EQ(pixels.height, c.height) << c.mmHeight << " mm at " << c.dpi;
        EXPECT_EQ(pixels.dpi, c.usedDpi);
    }
}

TEST(CalculatePixels, RefusesTheFirstFieldOutOfRange) {
    const std::string width = "幅(mm)は 1～3000 の範囲で指定してください。";
    const std::string height = "高さ(mm)は 1～3000 の範囲で指定してください。";
    const std::string dpi = "計算用DPIは 1～10000 の範囲で指定してください。";
    const struct {
        const char *mmWidth, *mmHeight, *dpi;
        int field;
        const std::string& message;
    } cases[] = {
        {"", "297", "300", kMmWidthField, width},
        {"3001", "297", "300", kMmWidthField, width},
        {"99999999999", "297", "300", kMmWidthField, width},
        {"0", "0", "0", kMmWidthField, width},
        {"210", "0", "0", kMmHeightField, height},
        {"210", "297", "0", kCalcDpiField, dpi},
        {"210", "297", "10001", kCalcDpiField, dpi},
        {"210", "297", "-300", kCalcDpiField, dpi},
    };
    for (const auto& c : cases) {
        PixelCalculation pixels{7, 7, 7};
        const auto error = CalculatePixels(c.mmWidth, c.mmHeight, c.dpi, pixels);
        ASSERT_TRUE(error.has_value()) << c.mmWidth << " " << c.mmHeight << " " << c.dpi;
        EXPECT_EQ(error->field, c.field) << c.mmWidth << " " << c.mmHeight << " " << c.dpi;
        EXPECT_EQ(error->message, c.message);
        EXPECT_EQ(pixels.width, 7);
    }
}

TEST(PaperMillimetres, LandscapeSwapsTheSides) {
    const PaperSize& b5 = kPaperSizes[12];
    ASSERT_STREQ(b5.name, "B5");
    EXPECT_EQ(PaperMillimetres(b5, false), std::make_pair(182, 257));
    EXPECT_EQ(PaperMillimetres(b5, true), std::make_pair(257, 182));
}

TEST(CheckPresetItem, ChecksInOrderAndTheEmptyNameLast) {
    const std::string kanji13 = "あいうえおかきくけこさしす";  // 39 bytes
    const std::string range = Japanese(PromptIntegerRange(32, 65535));
    const struct {
        PresetItemTexts texts;
        int field;  // 0: accepted
        std::string message;
    } cases[] = {
        {{"A4", "2480", "3508", "300"}, 0, ""},
        {{"x", "32", "65535", "0"}, 0, ""},  // DPI 0 is a legal preset value
        {{kanji13, "32", "32", "0"}, 0, ""},
        {{kanji13 + "せ", "32", "32", "0"}, kItemNameField, Japanese(PromptMaxBytes(40))},
        {{std::string(41, 'a'), "", "", ""}, kItemNameField, Japanese(PromptMaxBytes(40))},
        {{"A4", "31", "3508", "300"}, kItemWidthField, range},
        {{"A4", "1181102", "3508", "300"}, kItemWidthField, range},
        {{"A4", "", "3508", "300"}, kItemWidthField, Japanese(PromptInteger())},
        {{"A4", "2480", "65536", "300"}, kItemHeightField, range},
        {{"A4", "2480", "3508", "10001"}, kItemDpiField, Japanese(PromptIntegerRange(0, 10000))},
        {{"", "2480", "3508", "300"}, kItemNameField, "プリセット名を設定してください。"},
        {{"", "0", "3508", "300"}, kItemWidthField, range},  // the range before the empty name
    };
    for (const auto& c : cases) {
        Preset preset{"old", 1, 2, 3};
        const auto error = CheckPresetItem(c.texts, preset);
        if (c.field == 0) {
            EXPECT_EQ(error, std::nullopt) << c.texts.name << " " << c.texts.width;
            EXPECT_EQ(preset.name, c.texts.name);
            EXPECT_EQ(std::to_string(preset.dpi), c.texts.dpi);
            continue;
        }
        ASSERT_TRUE(error.has_value()) << c.texts.name << " " << c.texts.width;
        EXPECT_EQ(error->field, c.field) << c.texts.name << " " << c.texts.width;
        EXPECT_EQ(error->message, c.message);
        EXPECT_EQ(preset, (Preset{"old", 1, 2, 3}));
    }
}

TEST(ListButtonsFor, FollowTheSelectionAndTheListLimit) {
    const struct {
        int selected, first, rows;
        bool add, edit, remove, up, down;
    } cases[] = {
        {0, -1, 5, true, false, false, false, false},
        {1, 0, 5, true, true, true, false, true},
        {1, 2, 5, true, true, true, true, true},
        {1, 4, 5, true, true, true, true, false},
        {2, 1, 5, true, false, true, false, false},
        {1, 0, 1, true, true, true, false, false},
        {0, -1, 0, true, false, false, false, false},
        {0, -1, 1024, true, false, false, false, false},
        {0, -1, 1025, false, false, false, false, false},
    };
    for (const auto& c : cases) {
        const ListButtons b = ListButtonsFor(c.selected, c.first, c.rows);
        EXPECT_EQ((std::vector<bool>{b.add, b.edit, b.remove, b.up, b.down}),
                  (std::vector<bool>{c.add, c.edit, c.remove, c.up, c.down}))
            << c.selected << " selected from " << c.first << " of " << c.rows;
    }
}

TEST(PresetListChanges, RemoveAndSwapKeepTheOthersInOrder) {
    PresetList list = {{"a", 32, 32, 0}, {"b", 32, 32, 0}, {"c", 32, 32, 0}, {"d", 32, 32, 0}};
    RemovePresets(list, {3, 1, 3});
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].name + list[1].name, "ac");
    EXPECT_FALSE(SwapWithNeighbour(list, 0, -1));
    EXPECT_FALSE(SwapWithNeighbour(list, 1, +1));
    EXPECT_TRUE(SwapWithNeighbour(list, 1, -1));
    EXPECT_EQ(list[0].name + list[1].name, "ca");
    EXPECT_EQ(InsertPresetBefore(list, -1, {"e", 32, 32, 0}), 2);
    EXPECT_EQ(InsertPresetBefore(list, 1, {"f", 32, 32, 0}), 1);
    EXPECT_EQ(list[0].name + list[1].name + list[2].name + list[3].name, "cfae");
}

}  // namespace
}  // namespace korvale
