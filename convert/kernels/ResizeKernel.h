// Image scaling behind one call: a vectorised Lanczos 4 resize for 8-bit images that writes the
// same bytes as OpenCV's, chosen by CPU features at run time; cv::resize for everything else.
#pragma once

#include <opencv2/core/mat.hpp>

namespace korvale {

// The instruction sets the Lanczos kernel is built for; Library means cv::resize itself.
enum class ResizeIsa { Library, Sse41, Avx2 };

// The best set this CPU runs.
ResizeIsa DetectedResizeIsa();

// Same contract and same bytes as cv::resize(source, dest, size, 0, 0, interpolation): dest is
// (re)created unless it already has the size and type, so a view into a canvas is filled in
// place. Throws what cv::resize throws.
void ResizeImage(const cv::Mat& source, cv::Mat& dest, cv::Size size, int interpolation);

// The same with a chosen instruction set; one the CPU lacks falls back to the next lower one.
// For tests and benchmarks.
void ResizeImageWith(ResizeIsa isa, const cv::Mat& source, cv::Mat& dest, cv::Size size,
                     int interpolation);

}  // namespace korvale
