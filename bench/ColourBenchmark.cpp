// What the colour conversions cost on one A4 page at 300 DPI (2480x3508): CMYK through the
// standard profile (precalculated tables) and through one that is evaluated as it is, Display P3
// into sRGB at 8 and 16 bits, and the look at a profile that decides whether to convert. The
// transforms are made on the first iteration and kept, as in a run.
#include <benchmark/benchmark.h>

#include <lcms2.h>
#include <fstream>
#include <iterator>
#include <opencv2/core.hpp>

#include "ColourManage.h"

namespace {

using korvale::ByteBuffer;

cv::Mat Page(int type) {
    cv::Mat image(3508, 2480, type);
    cv::RNG rng(1);
    rng.fill(image, cv::RNG::UNIFORM, 0, CV_MAT_DEPTH(type) == CV_16U ? 65536 : 256);
    return image;
}

ByteBuffer DisplayP3() {
    const cmsCIExyY d65 = {0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries = {{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}};
    const cmsFloat64Number params[] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, params);
    cmsToneCurve* const curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&d65, &primaries, curves);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    ByteBuffer bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    cmsFreeToneCurve(curve);
    return bytes;
}

ByteBuffer FileBytes(const char* path) {
    std::ifstream file(path, std::ios::binary);
    return ByteBuffer((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

void Cmyk(benchmark::State& state, const ByteBuffer& profile) {
    const cv::Mat inks = Page(CV_8UC4);
    cv::Mat bgr;
    for (auto _ : state) {
        korvale::CmykToSrgb(inks, korvale::InkValues::Inverted, profile, bgr);
        benchmark::DoNotOptimize(bgr.data);
    }
}

void BM_CmykStandardProfile(benchmark::State& state) {
    Cmyk(state, korvale::StandardCmykProfile());
}
void BM_CmykEvaluatedProfile(benchmark::State& state) {
    Cmyk(state, FileBytes("/usr/share/color/icc/ghostscript/ps_cmyk.icc"));
}

void P3(benchmark::State& state, int type) {
    const ByteBuffer profile = DisplayP3();
    const cv::Mat page = Page(type);
    for (auto _ : state) {
        cv::Mat image = page;  // converted into a new image; the page stays
        korvale::ConvertToSrgb(image, profile);
        benchmark::DoNotOptimize(image.data);
    }
}
void BM_DisplayP3ToSrgb8(benchmark::State& state) {
    P3(state, CV_8UC3);
}
void BM_DisplayP3ToSrgb16(benchmark::State& state) {
    P3(state, CV_16UC3);
}

void BM_LookAtSrgbProfile(benchmark::State& state) {
    const ByteBuffer profile = FileBytes("/usr/share/color/icc/ghostscript/srgb.icc");
    for (auto _ : state) {
        benchmark::DoNotOptimize(korvale::LeavesSrgb(profile));
    }
}

}  // namespace

BENCHMARK(BM_CmykStandardProfile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CmykEvaluatedProfile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DisplayP3ToSrgb8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DisplayP3ToSrgb16)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LookAtSrgbProfile)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
