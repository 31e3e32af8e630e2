// The plan of a run over 10000 listed files: with the sizes as listed (what the window shows
// after every option change) and with every header read again (what the command line does).
// The output folder is the source folder, so every output exists and is looked at.
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include "BatchClashes.h"
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

// The batch-wide check alone: into an empty folder (no output exists yet), and in place (every
// output exists and each source is looked at too).
void BM_Clashes10000(benchmark::State& state) {
    const Listed& files = Files();
    korvale::BatchRequest request = files.request;
    char empty[] = "/tmp/korvale-bench-out-XXXXXX";
    const bool inPlace = state.range(0) != 0;
    if (!inPlace) {
        if (::mkdtemp(empty) == nullptr) {
            state.SkipWithError("no temporary folder");
            return;
        }
        request.outputFolder = empty;
    }
    const std::vector<std::string> outputs = korvale::OutputPaths(request, files.list);
    for (auto _ : state) {
        const korvale::OutputOverlaps overlaps = korvale::FindOverlaps(files.list, outputs);
        benchmark::DoNotOptimize(overlaps.replacedSources.data());
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
    state.SetLabel(inPlace ? "in place, every output exists" : "into an empty folder");
    if (!inPlace) {
        ::rmdir(empty);
    }
}
BENCHMARK(BM_Clashes10000)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
