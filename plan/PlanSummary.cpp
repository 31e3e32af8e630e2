// The plan line and the outliers of a batch.
#include "PlanSummary.h"

#include <cmath>

#include "Text.h"

namespace korvale {
namespace {

// Four signed sides as "上 824 / 下 824", only those of the wanted sign, top first as people read.
std::string Sides(const Margins& sides, bool added) {
    const struct {
        const char* name;
        int value;
    } all[] = {{"上", sides.top}, {"下", sides.bottom}, {"左", sides.left}, {"右", sides.right}};
    std::string text;
    for (const auto& side : all) {
        const int amount = added ? side.value : -side.value;
        if (amount > 0) {
            text += (text.empty() ? "" : " / ") + FormatText("%s %d", side.name, amount);
        }
    }
    return text;
}

std::string Percent(double scale) {
    return FormatText("%.1f%%", scale * 100.0);
}

std::string ProblemText(const FilePlan& plan) {
    switch (plan.problem) {
        case PlanProblem::NoExtension:
            return "拡張子がないため、出力ファイル名を決められません。";
        case PlanProblem::UnreadableHeader:
            return "画像ファイルを読み込めません。";
        case PlanProblem::ZeroSide:
            return "幅または高さが 0 です。";
        case PlanProblem::BadAnchor:
            return "配置の基準が異常です。";
        case PlanProblem::OutputIsFolder:
            return "出力先に同じ名前のフォルダがあります。";
        case PlanProblem::TooLargeForFormat:
            return "この大きさの画像は出力形式では書き込めません。";
        case PlanProblem::SameOutput:
            return FormatText("%zu 番のファイルと出力ファイルが重なるため、実行できません。",
                              plan.sameOutputAs);
        case PlanProblem::None:
            break;
    }
    return "";
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

std::string PlanLine(const FilePlan& plan, BatchMethod method) {
    if (!plan.headerRead || plan.problem == PlanProblem::NoExtension ||
        plan.problem == PlanProblem::ZeroSide || plan.problem == PlanProblem::BadAnchor) {
        return ProblemText(plan);
    }
    std::string line = FormatText("%d×%d → ", plan.source.width, plan.source.height);
    if (method == BatchMethod::DpiOnly) {
        line += "解像度のみ変更";
    } else if (method == BatchMethod::CropPaste) {
        line += "等倍";
    } else {
        const PixelSize& placed = plan.geometry.placed;
        line += FormatText("%d×%d（", placed.width, placed.height);
        line += plan.scaleX == plan.scaleY
                    ? Percent(plan.scaleX)
                    : "横 " + Percent(plan.scaleX) + " / 縦 " + Percent(plan.scaleY);
        line += "）";
    }
    const std::string margins = Sides(plan.sides, true);
    const std::string cuts = Sides(plan.sides, false);
    if (!margins.empty()) {
        line += "、余白 " + margins;
    }
    if (!cuts.empty()) {
        line += "、切り取り " + cuts;
    }
    // The name shows what the format choice does to it.
    line += "、出力 " + (plan.outputName.empty() ? "" : plan.outputName + " ") +
            FormatText("%d×%d", plan.output.width, plan.output.height);
    const auto width = PrintMillimetres(plan.output.width, plan.outputDpi);
    const auto height = PrintMillimetres(plan.output.height, plan.outputDpi);
    if (width && height) {
        line += FormatText("、%u DPI、印刷サイズ %.1f×%.1f mm", plan.outputDpi, *width, *height);
    } else {
        line += "、DPI なし（印刷サイズは決まりません）";
    }
    if (plan.problem != PlanProblem::None) {
        line += "。" + ProblemText(plan);
    } else if (plan.exists) {
        line += "。" + plan.outputName + " は既にあり、実行時に上書きを確認します。";
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
