// The plan of an 8-bit Lanczos 4 resize, shared by the kernels built for each instruction set.
#pragma once

#include <cstdint>
#include <opencv2/core/mat.hpp>
#include <vector>

namespace korvale {

// Taps of one axis: output index i reads the eight source indices first[i] .. first[i] + 7,
// clamped to the image, with the weights coef[8 i] .. coef[8 i + 7] in 11-bit fixed point.
struct LanczosAxis {
    std::vector<int> first;
    std::vector<int16_t> coef;
    // Output indices whose taps all lie inside the source: [inBegin, inEnd).
    int inBegin = 0;
    int inEnd = 0;
};

LanczosAxis PlanLanczosAxis(int sourceLength, int destLength);

struct LanczosJob {
    const cv::Mat* source = nullptr;
    cv::Mat* dest = nullptr;
    LanczosAxis columns;
    LanczosAxis rows;
    // Per output column four words, each the weights of taps (2k, 2k + 1) as its low and high
    // halves: the operand of a multiply-add over a pair of neighbouring taps.
    std::vector<int32_t> columnPairs;
};

// Fills output rows [rowBegin, rowEnd) of job.dest. Each kernel lives in a translation unit
// built for its instruction set and runs only where the CPU has it.
void LanczosRowsSse41(const LanczosJob& job, int rowBegin, int rowEnd);
void LanczosRowsAvx2(const LanczosJob& job, int rowBegin, int rowEnd);

}  // namespace korvale
