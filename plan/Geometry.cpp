// Geometry of resizing with margins and of crop-and-paste.
#include "Geometry.h"

#include <algorithm>

namespace korvale {
namespace {

// Column or row of an anchor: 0 start, 1 centre, 2 end.
struct AxisPlace {
    int before;
    int after;
};

AxisPlace SplitFree(int free, int place) {
    switch (place) {
        case 0:
            return {0, free};
        case 1:
            return {free / 2, free - free / 2};
        default:
            return {free, 0};
    }
}

}  // namespace

bool IsValidAnchor(int anchor) {
    // Tested as unsigned: negative indices are outside as well.
    return static_cast<unsigned>(anchor) < static_cast<unsigned>(kAnchorCount);
}

PixelSize FittedSize(PixelSize source, PixelSize target, bool keepAspect) {
    PixelSize fitted = target;
    if (keepAspect && source.width > 0 && source.height > 0) {
        const double sx = static_cast<double>(target.width) / source.width;
        const double sy = static_cast<double>(target.height) / source.height;
        if (sx > sy) {
            fitted.width = static_cast<int>(source.width * sy);
        } else if (sy > sx) {
            fitted.height = static_cast<int>(source.height * sx);
        }
        // A very elongated source would otherwise get a side of 0 pixels.
        fitted.width = std::max(fitted.width, 1);
        fitted.height = std::max(fitted.height, 1);
    }
    return fitted;
}

std::optional<Margins> AnchorMargins(int anchor, PixelSize placed, PixelSize target) {
    if (!IsValidAnchor(anchor)) {
        return std::nullopt;
    }
    const AxisPlace horizontal = SplitFree(target.width - placed.width, anchor % 3);
    const AxisPlace vertical = SplitFree(target.height - placed.height, anchor / 3);
    return Margins{horizontal.before, horizontal.after, vertical.before, vertical.after};
}

std::optional<CropPastePlan> PlanCropPaste(int anchor, PixelSize source, PixelSize target) {
    if (!IsValidAnchor(anchor)) {
        return std::nullopt;
    }
    CropPastePlan plan;
    auto axis = [](int sourceSide, int targetSide, int place, int& before, int& after,
                   int& offset) {
        const int free = targetSide - sourceSide;
        if (free > 0) {
            const AxisPlace split = SplitFree(free, place);
            before = split.before;
            after = split.after;
            offset = 0;
        } else {
            before = after = 0;
            offset = place == 0   ? 0
                     : place == 1 ? (sourceSide - targetSide) / 2
                                  : sourceSide - targetSide;
        }
    };
    axis(source.width, target.width, anchor % 3, plan.margins.left, plan.margins.right, plan.x);
    axis(source.height, target.height, anchor / 3, plan.margins.top, plan.margins.bottom, plan.y);
    return plan;
}

ConversionGeometry ResizeGeometry(PixelSize source, PixelSize target, bool keepAspect, int anchor) {
    ConversionGeometry geometry;
    geometry.target = target;
    if (target.width <= 0 || target.height <= 0) {
        geometry.problem = GeometryProblem::ZeroSide;
        return geometry;
    }
    geometry.placed = FittedSize(source, target, keepAspect);
    if (geometry.placed == target) {
        return geometry;
    }
    const std::optional<Margins> margins = AnchorMargins(anchor, geometry.placed, target);
    if (!margins) {
        geometry.problem = GeometryProblem::BadAnchor;
        return geometry;
    }
    geometry.margins = *margins;
    return geometry;
}

ConversionGeometry CropPasteGeometry(PixelSize source, PixelSize target, int anchor) {
    ConversionGeometry geometry;
    geometry.target = target;
    geometry.placed = source;
    const std::optional<CropPastePlan> plan = PlanCropPaste(anchor, source, target);
    if (!plan) {
        geometry.problem = GeometryProblem::BadAnchor;
        return geometry;
    }
    if (target.width <= 0 || target.height <= 0) {
        geometry.problem = GeometryProblem::ZeroSide;
        return geometry;
    }
    geometry.margins = plan->margins;
    // An axis that is cut has no margins; what is not kept of it is cut after the offset.
    if (plan->margins.left == 0 && plan->margins.right == 0) {
        geometry.cut.left = plan->x;
        geometry.cut.right = source.width - target.width - plan->x;
    }
    if (plan->margins.top == 0 && plan->margins.bottom == 0) {
        geometry.cut.top = plan->y;
        geometry.cut.bottom = source.height - target.height - plan->y;
    }
    return geometry;
}

}  // namespace korvale
