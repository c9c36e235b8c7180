// The reduction report of a data set of about 2,000 reflections: every
// analysis, the plots, the HTML page and the separate SVG files.  Set
// against bench_batch_reduce (the reduction of the 2,000-reflection CAD4
// example), it should add at most a tenth to the reduction; so should the
// decay correction of the written intensity file.
#include "report/report.h"

#include <benchmark/benchmark.h>

#include <filesystem>

#include "../tests/report/report_sim.h"
#include "io/layout.h"
#include "io/units.h"
#include "output/formats.h"
#include "output/intensity_file.h"
#include "output/intensity_rescale.h"

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

// The decay correction of a finished SHELX file of 2,000 reflections:
// read, every record placed and rescaled, written beside it and renamed.
void BM_DecayCorrectionOf2000Records(benchmark::State& state) {
    testing::Truth tr;
    tr.decay = 0.05;
    tr.stol_max = 0.42;
    const ReportInput in = testing::simulated_run(tr);
    const StandardsAnalysis sa = analyse_standards(in.refl);
    const auto dir = std::filesystem::temp_directory_path() / "tarnivox_bench_decay";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "run.hkl").string();
    std::string text;
    std::vector<WrittenReflection> written;
    for (const ReportReflection& r : in.refl) {
        double fsig = r.sigma;
        int d1 = 0, d2 = 0;
        if (record_decimals(true, r.i, fsig, d1, d2) != RecordFit::Fits) continue;
        text += format_record("(3I4,1X,F7." + std::to_string(d1) + ",1X,F7." + std::to_string(d2) + ",'   1')",
                              {r.hkl[0], r.hkl[1], r.hkl[2], r.i, fsig}) +
                "\n";
        written.push_back({r.seq, r.hkl, r.i});
    }
    const auto factor = [&](int seq) {
        return decay_factor(sa.overall, run_fraction(seq, sa.seq_first, sa.seq_last));
    };
    for (auto _ : state) {
        state.PauseTiming();
        write_whole_file(path, text);
        state.ResumeTiming();
        const RescaleResult r = rescale_intensity_file(path, INTFMT_SHELX, written, factor);
        benchmark::DoNotOptimize(r.rescaled);
    }
    state.counters["records"] = static_cast<double>(written.size());
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_DecayCorrectionOf2000Records)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tarnivox::report

BENCHMARK_MAIN();
