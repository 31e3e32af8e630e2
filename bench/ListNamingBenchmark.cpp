// Naming a list read as a stream (korvale-cli run --files-from): time per path and the bytes
// held per path, for 100000 paths in 10 folders (no file is read but the output folder's
// listing), with the refusal check and with numbered names.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "ListNaming.h"

namespace {

std::vector<std::string> Paths(size_t count) {
    std::vector<std::string> paths;
    paths.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        paths.push_back("/srv/scans/box" + std::to_string(i % 10) + "/page-" + std::to_string(i) +
                        ".tif");
    }
    return paths;
}

void Naming(benchmark::State& state, korvale::ClashRule rule) {
    const std::vector<std::string> paths = Paths(static_cast<size_t>(state.range(0)));
    korvale::BatchRequest request;
    request.outputFolder = "/nonexistent-output/";
    request.saveFormat = korvale::SaveFormat::Jpeg;
    request.onClash = rule;
    const auto read = [&](const korvale::ListNaming::PathVisitor& visit) {
        for (size_t i = 0; i < paths.size(); ++i) {
            visit(i, paths[i]);
        }
    };
    size_t held = 0, peak = 0;
    for (auto _ : state) {
        const korvale::ListNaming naming(request, read);
        held = naming.heldBytes();
        peak = naming.peakBytes();
        benchmark::DoNotOptimize(naming.clashes().size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.counters["held B/path"] = static_cast<double>(held) / static_cast<double>(paths.size());
    state.counters["peak B/path"] = static_cast<double>(peak) / static_cast<double>(paths.size());
}

void BM_NamingRefuse(benchmark::State& state) {
    Naming(state, korvale::ClashRule::Refuse);
}
void BM_NamingNumber(benchmark::State& state) {
    Naming(state, korvale::ClashRule::Number);
}
BENCHMARK(BM_NamingRefuse)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NamingNumber)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
