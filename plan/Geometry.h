// The geometry of both methods as pure functions: the keep-aspect fit, the margins that an
// anchor gives, and the per-axis pad-or-cut of crop-and-paste.
#pragma once

#include <optional>

namespace korvale {

struct PixelSize {
    int width = 0;
    int height = 0;
    bool operator==(const PixelSize& o) const { return width == o.width && height == o.height; }
};

struct Margins {
    int left = 0;
    int right = 0;
    int top = 0;
    int bottom = 0;
    bool operator==(const Margins& o) const {
        return left == o.left && right == o.right && top == o.top && bottom == o.bottom;
    }
    bool any() const { return left != 0 || right != 0 || top != 0 || bottom != 0; }
};

constexpr int kAnchorCount = 9;  // 0 top-left ... 4 centre ... 8 bottom-right

bool IsValidAnchor(int anchor);

// The size the source is scaled to. Without keep-aspect it is the target. With it, the largest
// size of the source's proportions inside the target, the free side truncated; a side that
// truncates to 0 becomes 1 pixel.
PixelSize FittedSize(PixelSize source, PixelSize target, bool keepAspect);

// Margins that place an image of `placed` size inside `target` (placed fits inside) at the
// anchor; the odd pixel of a centred direction goes right or down. nullopt for an invalid anchor.
std::optional<Margins> AnchorMargins(int anchor, PixelSize placed, PixelSize target);

struct CropPastePlan {
    Margins margins;  // canvas padding around the source
    int x = 0;        // top-left corner of the written region in the padded canvas
    int y = 0;
};

// Each axis on its own: padded when the target is larger, cut at the anchor when it is not
// (a centred cut rounds the offset down). nullopt for an invalid anchor.
std::optional<CropPastePlan> PlanCropPaste(int anchor, PixelSize source, PixelSize target);

// What stops a conversion in its geometry, in the order the conversion tests it.
enum class GeometryProblem { None, ZeroSide, BadAnchor };

// Where every pixel of one output comes from: the source is scaled (resize) or kept at 1:1
// (crop-and-paste) to `placed`, then `cut` is taken off its sides and `margins` are added
// around what remains, giving `target`. Both conversions take their geometry from here.
struct ConversionGeometry {
    GeometryProblem problem = GeometryProblem::None;
    PixelSize target;
    PixelSize placed;
    Margins margins;  // added, never negative
    Margins cut;      // taken off the placed image, never negative
};

// The resize method: fitted size and margins at the anchor. ZeroSide for a target without
// pixels; BadAnchor only when margins arise (a stretch to the target needs no anchor).
ConversionGeometry ResizeGeometry(PixelSize source, PixelSize target, bool keepAspect, int anchor);

// The crop-and-paste method. The anchor is judged before the target, as the conversion does.
ConversionGeometry CropPasteGeometry(PixelSize source, PixelSize target, int anchor);

}  // namespace korvale
