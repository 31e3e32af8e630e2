// Registering files as the window does (probe, merge, sort, duplicate walk, statistics):
// 10000 files into an empty list, and 1 file into a list of 9999.
#include <benchmark/benchmark.h>

#include "BenchSupport.h"
#include "ListStatistics.h"
#include "RegisterFiles.h"

namespace {

constexpr int kFiles = 10000;

// Recomputes the statistics like the window's refresh; the rows are drawn lazily by the view.
class StatisticsHost : public korvale::FileListHost {
public:
    explicit StatisticsHost(const korvale::FileList& list) : list_(list) {}
    void RefreshFileList() override { korvale::ComputeListStatistics(list_, statistics_); }
    void UpdateControlStates(bool) override {}

private:
    const korvale::FileList& list_;
    korvale::ListStatistics statistics_;
};

const std::vector<std::string>& Paths() {
    static const korvale::bench::SmallImageCorpus corpus(kFiles);
    return corpus.paths();
}

void BM_Register10000IntoEmptyList(benchmark::State& state) {
    const auto& paths = Paths();
    korvale::bench::QuietInteraction ui;
    for (auto _ : state) {
        korvale::FileList list;
        StatisticsHost host(list);
        korvale::RegisterFiles(list, paths, ui, host);
        benchmark::DoNotOptimize(list.size());
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_Register10000IntoEmptyList)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_Register1IntoListOf9999(benchmark::State& state) {
    const auto& paths = Paths();
    korvale::bench::QuietInteraction ui;
    korvale::FileList prepared;
    {
        StatisticsHost host(prepared);
        korvale::RegisterFiles(prepared, std::vector<std::string>(paths.begin() + 1, paths.end()),
                               ui, host);
    }
    const std::vector<std::string> one = {paths.front()};
    for (auto _ : state) {
        state.PauseTiming();
        korvale::FileList list = prepared;
        state.ResumeTiming();
        StatisticsHost host(list);
        korvale::RegisterFiles(list, one, ui, host);
        benchmark::DoNotOptimize(list.size());
    }
}
BENCHMARK(BM_Register1IntoListOf9999)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
