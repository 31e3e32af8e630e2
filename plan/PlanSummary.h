// What the window says about a plan: one line per file, and the files whose plan is
// most extreme, so that the worst cases of a large batch can be checked first.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "Message.h"
#include "Plan.h"

namespace korvale {

// The plan of one file in one line, for example "4000×3000 → 2480×1860（62.0%）、余白 上 824 /
// 下 824、出力 a.jpg 2480×3508、300 DPI、印刷サイズ 210.0×297.0 mm".
Message PlanLine(const FilePlan& plan, BatchMethod method);

// Share of the output that is margin, and share of the placed source that is cut away (0 to 1).
double MarginShare(const FilePlan& plan);
double CutShare(const FilePlan& plan);

// List positions of the most extreme plans; empty where no file scales up, scales down, is cut
// or gets margins. Files that would stop the run are left out; ties go to the earlier file.
struct PlanOutliers {
    std::optional<size_t> largestEnlargement;
    std::optional<size_t> largestReduction;
    std::optional<size_t> mostCut;
    std::optional<size_t> mostMargin;
};
PlanOutliers FindOutliers(const std::vector<FilePlan>& plans);

}  // namespace korvale
