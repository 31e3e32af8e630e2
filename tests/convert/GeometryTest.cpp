// The geometry of both methods, as tables.
#include <gtest/gtest.h>

#include <ostream>

#include "Geometry.h"

namespace korvale {

void PrintTo(const PixelSize& s, std::ostream* os) {
    *os << s.width << "x" << s.height;
}
void PrintTo(const Margins& m, std::ostream* os) {
    *os << "L" << m.left << " R" << m.right << " T" << m.top << " B" << m.bottom;
}

namespace {

struct FitCase {
    const char* name;
    PixelSize source;
    PixelSize target;
    bool keepAspect;
    int anchor;
    PixelSize fitted;
    Margins margins;
};

void PrintTo(const FitCase& c, std::ostream* os) {
    *os << c.name;
}

class ResizeGeometry : public ::testing::TestWithParam<FitCase> {};

TEST_P(ResizeGeometry, FitsAndPlaces) {
    const FitCase& c = GetParam();
    const PixelSize fitted = FittedSize(c.source, c.target, c.keepAspect);
    EXPECT_EQ(fitted, c.fitted);
    EXPECT_EQ(AnchorMargins(c.anchor, fitted, c.target), c.margins);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ResizeGeometry,
    ::testing::Values(
        FitCase{"Landscape4000x3000Centre",
                {4000, 3000},
                {1000, 1000},
                true,
                4,
                {1000, 750},
                {0, 0, 125, 125}},
        FitCase{"Portrait3000x4000TopLeft",
                {3000, 4000},
                {1000, 1000},
                true,
                0,
                {750, 1000},
                {0, 250, 0, 0}},
        FitCase{"HD1920x1080Centre",
                {1920, 1080},
                {1000, 1000},
                true,
                4,
                {1000, 562},
                {0, 0, 219, 219}},
        FitCase{"OddRowGoesToTheBottom",
                {1001, 1000},
                {1000, 1000},
                true,
                4,
                {1000, 999},
                {0, 0, 0, 1}},
        FitCase{"EqualFactors", {640, 480}, {800, 600}, true, 4, {800, 600}, {0, 0, 0, 0}},
        FitCase{"OnlyWidthAppliedShrinks",
                {2000, 1000},
                {1000, 1000},
                true,
                7,
                {1000, 500},
                {0, 0, 500, 0}},
        FitCase{"OnlyWidthAppliedGrows",
                {2000, 1000},
                {3000, 1000},
                true,
                5,
                {2000, 1000},
                {1000, 0, 0, 0}},
        FitCase{"WithoutKeepAspectStretches",
                {4000, 3000},
                {1000, 1000},
                false,
                4,
                {1000, 1000},
                {0, 0, 0, 0}},
        FitCase{"SideTruncatingToZeroBecomesOne",
                {3, 1000},
                {100, 100},
                true,
                4,
                {1, 100},
                {49, 50, 0, 0}},
        FitCase{
            "CentreOddColumnGoesRight", {100, 100}, {105, 50}, true, 4, {50, 50}, {27, 28, 0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AnchorMargins, EveryAnchorAgainstItsEdges) {
    // dx = 5, dy = 3
    const Margins expected[kAnchorCount] = {
        {0, 5, 0, 3}, {2, 3, 0, 3}, {5, 0, 0, 3}, {0, 5, 1, 2}, {2, 3, 1, 2},
        {5, 0, 1, 2}, {0, 5, 3, 0}, {2, 3, 3, 0}, {5, 0, 3, 0},
    };
    for (int anchor = 0; anchor < kAnchorCount; ++anchor) {
        EXPECT_EQ(AnchorMargins(anchor, {10, 10}, {15, 13}), expected[anchor]) << anchor;
    }
    EXPECT_EQ(AnchorMargins(9, {10, 10}, {15, 13}), std::nullopt);
    EXPECT_EQ(AnchorMargins(-1, {10, 10}, {15, 13}), std::nullopt);
}

struct CropCase {
    const char* name;
    PixelSize source;
    PixelSize target;
    int anchor;
    Margins margins;
    int x;
    int y;
};

void PrintTo(const CropCase& c, std::ostream* os) {
    *os << c.name;
}

class CropPasteGeometry : public ::testing::TestWithParam<CropCase> {};

TEST_P(CropPasteGeometry, PadsOrCutsEachAxis) {
    const CropCase& c = GetParam();
    const auto plan = PlanCropPaste(c.anchor, c.source, c.target);
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->margins, c.margins);
    EXPECT_EQ(plan->x, c.x);
    EXPECT_EQ(plan->y, c.y);
    // The region always lies inside the padded canvas.
    EXPECT_LE(plan->x + c.target.width, c.source.width + plan->margins.left + plan->margins.right);
    EXPECT_LE(plan->y + c.target.height,
              c.source.height + plan->margins.top + plan->margins.bottom);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CropPasteGeometry,
    ::testing::Values(
        CropCase{"CutWidthPadHeightCentre", {1200, 800}, {1000, 1000}, 4, {0, 0, 100, 100}, 100, 0},
        CropCase{"OddCutGoesRight", {1003, 1000}, {1000, 1000}, 4, {0, 0, 0, 0}, 1, 0},
        CropCase{"OneOverCutsLastColumnAndRow", {1001, 1001}, {1000, 1000}, 4, {0, 0, 0, 0}, 0, 0},
        CropCase{"BottomRightCorner", {1200, 1200}, {1000, 1000}, 8, {0, 0, 0, 0}, 200, 200},
        CropCase{"TopLeftPadding", {800, 600}, {1000, 1000}, 0, {0, 200, 0, 400}, 0, 0},
        CropCase{"BottomCentreOddPadding", {801, 600}, {1000, 1000}, 7, {99, 100, 400, 0}, 0, 0},
        CropCase{"SameSize", {640, 480}, {640, 480}, 4, {0, 0, 0, 0}, 0, 0},
        CropCase{"TopRightCutBoth", {1500, 900}, {1000, 800}, 2, {0, 0, 0, 0}, 500, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PlanCropPaste, InvalidAnchorEvenWithoutMarginOrCut) {
    EXPECT_EQ(PlanCropPaste(9, {10, 10}, {10, 10}).has_value(), false);
    EXPECT_EQ(PlanCropPaste(-1, {10, 10}, {10, 10}).has_value(), false);
}

}  // namespace
}  // namespace korvale
