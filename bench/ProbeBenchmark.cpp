// Probing 10000 small files (half BMP, half JPEG as OpenCV writes them) against the floor of a
// bare open / read 64 bytes / close loop over the same files.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "BenchSupport.h"
#include "ImageHeader.h"

namespace {

constexpr int kFiles = 10000;

const std::vector<std::string>& Paths() {
    static const korvale::bench::SmallImageCorpus corpus(kFiles);
    return corpus.paths();
}

void BM_OpenRead64CloseFloor(benchmark::State& state) {
    const auto& paths = Paths();
    for (auto _ : state) {
        for (const std::string& path : paths) {
            char buffer[64];
            const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            benchmark::DoNotOptimize(::read(fd, buffer, sizeof buffer));
            ::close(fd);
        }
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_OpenRead64CloseFloor)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_ProbeImageHeader(benchmark::State& state) {
    const auto& paths = Paths();
    for (auto _ : state) {
        for (const std::string& path : paths) {
            auto info = korvale::ProbeImageHeader(path);
            benchmark::DoNotOptimize(info);
        }
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_ProbeImageHeader)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
