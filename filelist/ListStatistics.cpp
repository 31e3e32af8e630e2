// Statistics of the file list and the texts shown for it.
#include "ListStatistics.h"

#include <algorithm>
#include <vector>

#include "Text.h"

namespace korvale {
namespace {

QuantityStatistics Compute(std::vector<uint32_t> values, const QuantityStatistics& former) {
    QuantityStatistics result;
    if (values.empty()) {
        result.average = former.average;
        result.mode = former.mode;
        return result;
    }
    std::sort(values.begin(), values.end());
    result.minimum = values.front();
    result.maximum = values.back();
    uint64_t sum = 0;  // 10000 values of 32 bits overflow a 32-bit sum
    for (uint32_t v : values) {
        sum += v;
    }
    result.average = static_cast<uint32_t>(sum / values.size());
    // Walk the runs of equal values in ascending order; ">=" hands ties to the larger value.
    size_t bestCount = 0;
    for (size_t runStart = 0; runStart < values.size();) {
        size_t runEnd = runStart;
        while (runEnd < values.size() && values[runEnd] == values[runStart]) {
            ++runEnd;
        }
        if (runEnd - runStart >= bestCount) {
            bestCount = runEnd - runStart;
            result.mode = values[runStart];
        }
        runStart = runEnd;
    }
    return result;
}

}  // namespace

void ComputeListStatistics(const FileList& list, ListStatistics& statistics) {
    std::vector<uint32_t> widths, heights, dpis;
    widths.reserve(list.size());
    heights.reserve(list.size());
    dpis.reserve(list.size());
    for (const FileEntry& entry : list) {
        widths.push_back(entry.width);
        heights.push_back(entry.height);
        dpis.push_back(entry.dpi);
    }
    statistics.width = Compute(std::move(widths), statistics.width);
    statistics.height = Compute(std::move(heights), statistics.height);
    statistics.dpi = Compute(std::move(dpis), statistics.dpi);
}

std::array<std::string, 12> StatisticTexts(const ListStatistics& statistics, bool listEmpty) {
    std::array<std::string, 12> texts;
    if (listEmpty) {
        return texts;
    }
    size_t i = 0;
    for (const QuantityStatistics* q : {&statistics.width, &statistics.height, &statistics.dpi}) {
        for (uint32_t value : {q->minimum, q->maximum, q->average, q->mode}) {
            texts[i++] = FormatText("%u ", value);
        }
    }
    return texts;
}

std::string FileCountText(size_t count) {
    return FormatText("%d ", static_cast<int>(count));
}

std::string FileCellText(const FileList& list, size_t row, FileColumn column) {
    const FileEntry& entry = list[row];
    switch (column) {
        case FileColumn::Number:
            return FormatText("%d", static_cast<int>(row + 1));
        case FileColumn::Name:
            return std::string(FileNameOf(entry.path));
        case FileColumn::Width:
            return FormatText("%u", entry.width);
        case FileColumn::Height:
            return FormatText("%u", entry.height);
        case FileColumn::Dpi:
            return FormatText("%u", entry.dpi);
    }
    return {};
}

}  // namespace korvale
