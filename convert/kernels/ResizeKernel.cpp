// Chooses the resize kernel for the CPU and plans the Lanczos 4 taps exactly as OpenCV does.
// This file is built for the baseline instruction set, so the weights are computed with the
// same floating-point operations (no fused multiply-add) as the library's own.
#include "ResizeKernel.h"

#include <cmath>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "LanczosRows.h"

namespace korvale {
namespace {

constexpr int kTaps = 8;
constexpr int kWeightScale = 1 << 11;

// Normalised Lanczos 4 window for a source position at fraction x past a whole pixel.
void Lanczos4Weights(float x, float* weights) {
    static const double s45 = 0.70710678118654752440084436210485;
    static const double cs[kTaps][2] = {{1, 0},  {-s45, -s45}, {0, 1},  {s45, -s45},
                                        {-1, 0}, {s45, s45},   {0, -1}, {-s45, s45}};
    float sum = 0;
    const double y0 = -(x + 3) * CV_PI * 0.25;
    const double s0 = std::sin(y0);
    const double c0 = std::cos(y0);
    for (int i = 0; i < kTaps; ++i) {
        const float offset = x + 3 - i;
        if (std::fabs(offset) >= 1e-6f) {
            const double y = -offset * CV_PI * 0.25;
            weights[i] = static_cast<float>((cs[i][0] * s0 + cs[i][1] * c0) / (y * y));
        } else {
            // On a whole pixel: that pixel alone, once normalised.
            weights[i] = 1e30f;
        }
        sum += weights[i];
    }
    sum = 1.f / sum;
    for (int i = 0; i < kTaps; ++i) {
        weights[i] *= sum;
    }
}

bool KernelApplies(const cv::Mat& source, cv::Size size, int interpolation) {
    const int channels = source.channels();
    return interpolation == cv::INTER_LANCZOS4 && source.depth() == CV_8U &&
           (channels == 1 || channels == 3 || channels == 4) && source.dims == 2 &&
           !source.empty() && size.width > 0 && size.height > 0 && size != source.size();
}

ResizeIsa Supported(ResizeIsa wanted) {
    const ResizeIsa best = DetectedResizeIsa();
    return static_cast<int>(wanted) <= static_cast<int>(best) ? wanted : best;
}

}  // namespace

LanczosAxis PlanLanczosAxis(int sourceLength, int destLength) {
    LanczosAxis axis;
    axis.first.resize(static_cast<size_t>(destLength));
    axis.coef.resize(static_cast<size_t>(destLength) * kTaps);
    // The scale is the reciprocal of the library's inverse scale, not source / dest: the two
    // differ in the last bit for some sizes.
    const double scale = 1. / (static_cast<double>(destLength) / sourceLength);
    float weights[kTaps];
    for (int d = 0; d < destLength; ++d) {
        float f = static_cast<float>((d + 0.5) * scale - 0.5);
        const int s = cvFloor(f);
        f -= s;
        axis.first[d] = s - kTaps / 2 + 1;
        Lanczos4Weights(f, weights);
        for (int k = 0; k < kTaps; ++k) {
            axis.coef[static_cast<size_t>(d) * kTaps + k] =
                cv::saturate_cast<int16_t>(weights[k] * kWeightScale);
        }
    }
    int begin = 0;
    while (begin < destLength && axis.first[begin] < 0) {
        ++begin;
    }
    int end = begin;
    while (end < destLength && axis.first[end] >= 0 && axis.first[end] + kTaps <= sourceLength) {
        ++end;
    }
    axis.inBegin = begin;
    axis.inEnd = end;
    return axis;
}

ResizeIsa DetectedResizeIsa() {
    static const ResizeIsa detected = [] {
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx2")) {
            return ResizeIsa::Avx2;
        }
        if (__builtin_cpu_supports("sse4.1")) {
            return ResizeIsa::Sse41;
        }
        return ResizeIsa::Library;
    }();
    return detected;
}

void ResizeImageWith(ResizeIsa isa, const cv::Mat& source, cv::Mat& dest, cv::Size size,
                     int interpolation) {
    isa = Supported(isa);
    if (isa == ResizeIsa::Library || !KernelApplies(source, size, interpolation)) {
        cv::resize(source, dest, size, 0, 0, interpolation);
        return;
    }
    // A destination sharing the source's pixels would be read while written.
    cv::Mat input = source;
    if (!dest.empty() && dest.datastart < source.dataend && source.datastart < dest.dataend) {
        input = source.clone();
    }
    dest.create(size, input.type());

    LanczosJob job;
    job.source = &input;
    job.dest = &dest;
    job.columns = PlanLanczosAxis(input.cols, size.width);
    job.rows = PlanLanczosAxis(input.rows, size.height);
    job.columnPairs.resize(static_cast<size_t>(size.width) * 4);
    for (size_t i = 0; i < job.columnPairs.size(); ++i) {
        const auto low = static_cast<uint16_t>(job.columns.coef[2 * i]);
        const auto high = static_cast<uint16_t>(job.columns.coef[2 * i + 1]);
        job.columnPairs[i] =
            static_cast<int32_t>(static_cast<uint32_t>(low) | (static_cast<uint32_t>(high) << 16));
    }

    const auto run = isa == ResizeIsa::Avx2 ? LanczosRowsAvx2 : LanczosRowsSse41;
    // Bands of rows on OpenCV's threads (one when the caller asked for one); each band
    // recomputes at most seven horizontal rows at its top.
    const int rows = size.height;
    const int bands = std::max(1, std::min(rows / 64, cv::getNumThreads() * 2));
    cv::parallel_for_(cv::Range(0, bands), [&](const cv::Range& range) {
        for (int band = range.start; band < range.end; ++band) {
            run(job, static_cast<int>(static_cast<int64_t>(rows) * band / bands),
                static_cast<int>(static_cast<int64_t>(rows) * (band + 1) / bands));
        }
    });
}

void ResizeImage(const cv::Mat& source, cv::Mat& dest, cv::Size size, int interpolation) {
    ResizeImageWith(DetectedResizeIsa(), source, dest, size, interpolation);
}

}  // namespace korvale
