// The Lanczos 4 resize of the W1 workload (4000x3000 -> 2480x1860, three channels) on one
// thread, as a batch run calls it: cv::resize against the kernel for each instruction set.
#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "ResizeKernel.h"

namespace {

const cv::Mat& Source() {
    static const cv::Mat source = [] {
        cv::Mat image(3000, 4000, CV_8UC3);
        cv::RNG rng(1);
        rng.fill(image, cv::RNG::UNIFORM, 0, 256);
        // Smooth it a little, so it looks more like a photograph than noise (the cost is the
        // same; only the values differ).
        cv::GaussianBlur(image, image, cv::Size(5, 5), 0);
        return image;
    }();
    return source;
}

const cv::Size kTarget(2480, 1860);

void Run(benchmark::State& state, korvale::ResizeIsa isa) {
    const cv::Mat& source = Source();
    const int threads = cv::getNumThreads();
    cv::setNumThreads(static_cast<int>(state.range(0)));
    cv::Mat dest;
    for (auto _ : state) {
        if (isa == korvale::ResizeIsa::Library) {
            cv::resize(source, dest, kTarget, 0, 0, cv::INTER_LANCZOS4);
        } else {
            korvale::ResizeImageWith(isa, source, dest, kTarget, cv::INTER_LANCZOS4);
        }
        benchmark::DoNotOptimize(dest.data);
    }
    cv::setNumThreads(threads);
    state.SetItemsProcessed(state.iterations());
}

void BM_OpenCvResizeLanczos4(benchmark::State& state) {
    Run(state, korvale::ResizeIsa::Library);
}
void BM_KernelSse41Lanczos4(benchmark::State& state) {
    Run(state, korvale::ResizeIsa::Sse41);
}
void BM_KernelAvx2Lanczos4(benchmark::State& state) {
    Run(state, korvale::ResizeIsa::Avx2);
}

// The argument is OpenCV's thread count: 1 as in a batch run, 2 for one image on both cores.
BENCHMARK(BM_OpenCvResizeLanczos4)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_KernelSse41Lanczos4)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_KernelAvx2Lanczos4)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
