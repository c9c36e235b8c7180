// The reduction report of a data set of about 2,000 reflections: every
// analysis, the plots, the HTML page and the separate SVG files.  Set
// against bench_batch_reduce (the reduction of the 2,000-reflection CAD4
// example), it should add at most a tenth to the reduction.
#include "report/report.h"

#include <benchmark/benchmark.h>

#include <filesystem>

#include "../tests/report/report_sim.h"

namespace tarnivox::report {
namespace {

void BM_ReportOf2000Reflections(benchmark::State& state) {
    testing::Truth tr;
    tr.decay = 0.05;
    tr.stol_max = 0.42;
    ReportInput in = testing::simulated_run(tr);
    in.decay_correct = true;
    const auto dir = std::filesystem::temp_directory_path() / "tarnivox_bench_report";
    std::filesystem::create_directories(dir);
    for (auto _ : state) {
        const ReportOutcome out = write_report(in, (dir / "run.html").string(),
                                               state.range(0) != 0 ? (dir / "plots").string() : "");
        benchmark::DoNotOptimize(out.status);
    }
    state.counters["reflections"] = static_cast<double>(in.refl.size());
    std::filesystem::remove_all(dir);
}
// Argument 1: also each plot as its own SVG file.
BENCHMARK(BM_ReportOf2000Reflections)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The analyses alone, without drawing or writing.
void BM_ReportAnalysesOf2000Reflections(benchmark::State& state) {
    testing::Truth tr;
    tr.stol_max = 0.42;
    const ReportInput in = testing::simulated_run(tr);
    for (auto _ : state) benchmark::DoNotOptimize(analyse_run(in).merging.rint);
}
BENCHMARK(BM_ReportAnalysesOf2000Reflections)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tarnivox::report

BENCHMARK_MAIN();
