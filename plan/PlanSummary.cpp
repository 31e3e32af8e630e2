// The plan line and the outliers of a batch.
#include "PlanSummary.h"

#include <cmath>

#include "Text.h"

namespace korvale {
namespace {

// Four signed sides as "上 824 / 下 824", only those of the wanted sign, top first as people read.
Message Sides(const Margins& sides, bool added) {
    const struct {
        MessageId name;
        int value;
    } all[] = {{MessageId::PlanTop, sides.top},
               {MessageId::PlanBottom, sides.bottom},
               {MessageId::PlanLeft, sides.left},
               {MessageId::PlanRight, sides.right}};
    Message text;
    for (const auto& side : all) {
        const int amount = added ? side.value : -side.value;
        if (amount > 0) {
            if (!text.empty()) {
                text += " / ";
            }
            text += Message(side.name) + (" " + std::to_string(amount));
        }
    }
    return text;
}

std::string Percent(double scale) {
    return FormatText("%.1f%%", scale * 100.0);
}

Message ProblemText(const FilePlan& plan) {
    switch (plan.problem) {
        case PlanProblem::NoExtension:
            return Message(MessageId::PlanNoExtension);
        case PlanProblem::UnreadableHeader:
            return Message(MessageId::PlanUnreadable);
        case PlanProblem::ZeroSide:
            return Message(MessageId::PlanZeroSide);
        case PlanProblem::BadAnchor:
            return Message(MessageId::BadAnchor);
        case PlanProblem::OutputIsFolder:
            return Message(MessageId::PlanOutputIsFolder);
        case PlanProblem::TooLargeForFormat:
            return Message(MessageId::PlanTooLargeForFormat);
        case PlanProblem::SameOutput:
            return Message(MessageId::PlanSameOutput,
                           {Number(static_cast<long long>(plan.sameOutputAs))});
        case PlanProblem::None:
            break;
    }
    return {};
}

bool HasGeometry(const FilePlan& plan) {
    return plan.problem == PlanProblem::None || plan.problem == PlanProblem::OutputIsFolder ||
           plan.problem == PlanProblem::TooLargeForFormat ||
           plan.problem == PlanProblem::SameOutput;
}

int64_t Area(int width, int height) {
    return static_cast<int64_t>(width) * height;
}

}  // namespace

Message PlanLine(const FilePlan& plan, BatchMethod method) {
    if (!plan.headerRead || plan.problem == PlanProblem::NoExtension ||
        plan.problem == PlanProblem::ZeroSide || plan.problem == PlanProblem::BadAnchor) {
        return ProblemText(plan);
    }
    Message line = FormatText("%d×%d → ", plan.source.width, plan.source.height);
    if (method == BatchMethod::DpiOnly) {
        line += Message(MessageId::PlanDpiOnly);
    } else if (method == BatchMethod::CropPaste) {
        line += Message(MessageId::PlanOneToOne);
    } else {
        const PixelSize& placed = plan.geometry.placed;
        const Message scale =
            plan.scaleX == plan.scaleY
                ? Message(Percent(plan.scaleX))
                : Message(MessageId::PlanScaleXY, {Percent(plan.scaleX), Percent(plan.scaleY)});
        line += Message(MessageId::PlanScaled,
                        {FormatText("%d×%d", placed.width, placed.height), scale});
    }
    const Message margins = Sides(plan.sides, true);
    const Message cuts = Sides(plan.sides, false);
    if (!margins.empty()) {
        line += Message(MessageId::PlanMargins, {margins});
    }
    if (!cuts.empty()) {
        line += Message(MessageId::PlanCuts, {cuts});
    }
    // The name shows what the format choice does to it.
    line += Message(MessageId::PlanOutput,
                    {(plan.outputName.empty() ? "" : plan.outputName + " ") +
                     FormatText("%d×%d", plan.output.width, plan.output.height)});
    const auto width = PrintMillimetres(plan.output.width, plan.outputDpi);
    const auto height = PrintMillimetres(plan.output.height, plan.outputDpi);
    if (width && height) {
        line += Message(MessageId::PlanPrint,
                        {FormatText("%u", plan.outputDpi), FormatText("%.1f", *width),
                         FormatText("%.1f", *height)});
    } else {
        line += Message(MessageId::PlanNoDpi);
    }
    if (plan.problem != PlanProblem::None) {
        line += Message(MessageId::PlanProblem, {ProblemText(plan)});
    } else if (plan.exists) {
        line += Message(MessageId::PlanExists, {plan.outputName});
    }
    return line;
}

double MarginShare(const FilePlan& plan) {
    const PixelSize& target = plan.geometry.target;
    const Margins& m = plan.geometry.margins;
    const int64_t all = Area(target.width, target.height);
    if (all <= 0) {
        return 0.0;
    }
    const int64_t inner = Area(target.width - m.left - m.right, target.height - m.top - m.bottom);
    return 1.0 - static_cast<double>(inner) / static_cast<double>(all);
}

double CutShare(const FilePlan& plan) {
    const PixelSize& placed = plan.geometry.placed;
    const Margins& c = plan.geometry.cut;
    const int64_t all = Area(placed.width, placed.height);
    if (all <= 0) {
        return 0.0;
    }
    const int64_t kept = Area(placed.width - c.left - c.right, placed.height - c.top - c.bottom);
    return 1.0 - static_cast<double>(kept) / static_cast<double>(all);
}

PlanOutliers FindOutliers(const std::vector<FilePlan>& plans) {
    PlanOutliers found;
    double enlargement = 1.0, reduction = 1.0, cut = 0.0, margin = 0.0;
    // Keeps the first file whose measure goes strictly beyond the best so far.
    auto consider = [](std::optional<size_t>& slot, double& best, double value, bool larger,
                       size_t index) {
        if (larger ? value > best : value < best) {
            best = value;
            slot = index;
        }
    };
    for (size_t i = 0; i < plans.size(); ++i) {
        const FilePlan& plan = plans[i];
        if (!HasGeometry(plan)) {
            continue;
        }
        // Area, so that a stretch in one direction and a squeeze in the other weigh fairly.
        const double area = plan.scaleX * plan.scaleY;
        consider(found.largestEnlargement, enlargement, area, true, i);
        consider(found.largestReduction, reduction, area, false, i);
        consider(found.mostCut, cut, CutShare(plan), true, i);
        consider(found.mostMargin, margin, MarginShare(plan), true, i);
    }
    return found;
}

}  // namespace korvale
