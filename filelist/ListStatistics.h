// Minimum, maximum, truncated average and mode (ties to the largest value) of the width, height
// and DPI of the listed files, and the texts that the window shows for the list.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "FileList.h"

namespace korvale {

struct QuantityStatistics {
    uint32_t minimum = UINT32_MAX;
    uint32_t maximum = 0;
    uint32_t average = 0;
    uint32_t mode = 0;
};

struct ListStatistics {
    QuantityStatistics width;
    QuantityStatistics height;
    QuantityStatistics dpi;
};

// Recomputes the statistics. With an empty list the minima and maxima are reset and the
// averages and modes keep their former values (nothing shows or uses them then).
void ComputeListStatistics(const FileList& list, ListStatistics& statistics);

// The twelve value texts, width first, then height, then DPI, each as minimum, maximum,
// average, mode, formatted "%u "; all empty for an empty list.
std::array<std::string, 12> StatisticTexts(const ListStatistics& statistics, bool listEmpty);

// The file count text, "%d ".
std::string FileCountText(size_t count);

enum class FileColumn { Number = 0, Name = 1, Width = 2, Height = 3, Dpi = 4 };
constexpr int kFileColumnCount = 5;

// The text of one list cell: the 1-based row number, the name after the last "/", or a number.
std::string FileCellText(const FileList& list, size_t row, FileColumn column);

}  // namespace korvale
