// Registering files as the window does (probe, merge, sort, duplicate walk, statistics):
// 10000 files into an empty list, and 1 file into a list of 9999.
#include <benchmark/benchmark.h>

#include "BenchCorpus.h"
#include "ListStatistics.h"
#include "RegisterFiles.h"

namespace {

constexpr int kFiles = 10000;

class Quiet : public korvale::UserInteraction {
public:
    void ShowMessage(const std::string&, korvale::MessageIcon) override {}
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    korvale::OverwriteChoice AskOverwrite(const std::string&) override {
        return korvale::OverwriteChoice::Cancel;
    }
    void PumpEvents() override {}
    std::optional<std::vector<std::string>> ChooseImageFiles() override { return {}; }
    std::optional<korvale::Rgb> ChooseColour(const korvale::Rgb&) override { return {}; }
    std::optional<std::string> ChooseFolder(const std::string&, const std::string&) override {
        return {};
    }
};

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
    Quiet ui;
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
    Quiet ui;
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
