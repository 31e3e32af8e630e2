// The plan of a run over 10000 listed files: with the sizes as listed (what the window shows
// after every option change) and with every header read again (what the command line does).
// The output folder is the source folder, so every output exists and is looked at.
#include <benchmark/benchmark.h>

#include "BenchSupport.h"
#include "Plan.h"
#include "RegisterFiles.h"

namespace {

constexpr int kFiles = 10000;

class NoView : public korvale::FileListHost {
public:
    void RefreshFileList() override {}
    void UpdateControlStates(bool) override {}
};

struct Listed {
    korvale::bench::SmallImageCorpus corpus{kFiles};
    korvale::FileList list;
    korvale::BatchRequest request;

    Listed() {
        korvale::bench::QuietInteraction ui;
        NoView view;
        korvale::RegisterFiles(list, corpus.paths(), ui, view);
        const std::string& first = corpus.paths().front();
        request.outputFolder = first.substr(0, first.rfind('/'));
        request.keepAspect = true;
        request.saveFormat = korvale::SaveFormat::Jpeg;
    }
};

const Listed& Files() {
    static const Listed listed;
    return listed;
}

void BM_Plan10000(benchmark::State& state) {
    const Listed& files = Files();
    const auto sizes = static_cast<korvale::PlanSizes>(state.range(0));
    for (auto _ : state) {
        const auto plans = korvale::PlanBatch(files.request, files.list, sizes);
        benchmark::DoNotOptimize(plans.data());
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
    state.SetLabel(sizes == korvale::PlanSizes::AsListed ? "sizes as listed"
                                                         : "headers read again");
}
BENCHMARK(BM_Plan10000)
    ->Arg(static_cast<int>(korvale::PlanSizes::AsListed))
    ->Arg(static_cast<int>(korvale::PlanSizes::ProbedNow))
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
