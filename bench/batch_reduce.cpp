// `tarnivox reduce` against the script-backend run with the same choices,
// over the 2,000-reflection CAD4 example: open, import, fit and write every
// reflection into a SHELX file, end.  The batch adds its planning, the
// progress bookkeeping, the summary and a clean program state per data
// set; it should cost at most a tenth more than the script run.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../tests/support/large_example.h"
#include "batch.h"
#include "core/store.h"
#include "io/units.h"
#include "params/defaults.h"
#include "tarnivox_main.h"
#include "toolkit/script/script_backend.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;

fs::path working_copy() {
    const fs::path dir = fs::temp_directory_path() / "tarnivox_bench_batch";
    fs::remove_all(dir);
    fs::create_directories(dir / "bin");
    fs::copy_file(test::large_example_dir() / "cad4_large.dat", dir / "cad4_large.dat");
    test::write_open_background_parameters(dir / "cad4_large.par");
    set_program_path((dir / "bin" / "tarnivox").string());
    return dir;
}

void BM_ScriptBackendRun(benchmark::State& state) {
    const fs::path dir = working_copy();
    const std::string script =
        "file cad4_large.dat 7\n"
        "press \"Input Data file Format\" \"Enraf CAD4\"\n"
        "press \"Input Data file Format\" OK\n"
        "browse cad4_large.par\n"
        "press File \"Open output file\"\n"
        "file cad4_large.hkl 2\n"
        "press Integrate \"Auto profile fit\"\n"
        "press \"Peak parameter default values\" \"Save + Exit\"\n"
        "press main Start\n"
        "close\nanswer yes\n";
    for (auto _ : state) {
        auto backend = ScriptBackend::from_text(script, dir.string());
        backend->echo = false;
        set_toolkit_backend(std::move(backend));
        close_all_units();
        reset_store();
        RunOptions options;
        options.headless = true;
        options.defaults_file = false;
        if (run_program(options) != 0) state.SkipWithError("the script run failed");
    }
    state.counters["reflections"] = G.NFITC(1);
}
BENCHMARK(BM_ScriptBackendRun)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_BatchReduce(benchmark::State& state) {
    const fs::path dir = working_copy();
    BatchOptions options;
    options.data = {(dir / "cad4_large.dat").string()};
    options.format = "cad4";
    options.par = (dir / "cad4_large.par").string();
    options.quiet = true;
    for (auto _ : state) {
        std::vector<BatchChoices> plan;
        if (!plan_batch(options, plan).empty()) state.SkipWithError("the batch was refused");
        if (run_batch(options, plan) != 0) state.SkipWithError("the batch run failed");
    }
    state.counters["reflections"] = G.NFITC(1);
}
BENCHMARK(BM_BatchReduce)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
}  // namespace tarnivox

BENCHMARK_MAIN();
