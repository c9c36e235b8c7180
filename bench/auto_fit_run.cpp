// "Auto profile fit" over the 2,000-reflection CAD4 example through the
// headless script backend: the whole program from opening the data file
// to the end of the run (import, fit, plot and write of every reflection),
// and the automatic run alone on the imported data set; and "Preprocess"
// over the same imported data set, which fits every reflection as well.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../tests/support/large_example.h"
#include "commands/auto_fit.h"
#include "commands/preprocess.h"
#include "core/exitint.h"
#include "core/store.h"
#include "import/convert.h"
#include "import/stddata.h"
#include "io/units.h"
#include "params/defaults.h"
#include "params/parameters.h"
#include "tarnivox_main.h"
#include "ui/graphics.h"
#include "toolkit/script/script_backend.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;

const fs::path kExample = test::large_example_dir();

// A working folder with the example; its instrument limits are widened to
// accept any background so that every reflection is fitted, integrated and
// written as in a real run.
fs::path working_copy() {
    const fs::path dir = fs::temp_directory_path() / "tarnivox_bench_auto_fit";
    fs::remove_all(dir);
    fs::create_directories(dir / "bin");
    fs::copy_file(kExample / "cad4_large.dat", dir / "cad4_large.dat");
    test::write_open_background_parameters(dir / "cad4_large.par");
    set_program_path((dir / "bin" / "tarnivox").string());
    return dir;
}

ScriptBackend* install(const std::string& script, const fs::path& dir) {
    auto b = ScriptBackend::from_text(script, dir.string());
    b->echo = false;
    ScriptBackend* raw = b.get();
    set_toolkit_backend(std::move(b));
    return raw;
}

void BM_WholeRunScriptBackend(benchmark::State& state) {
    const fs::path dir = working_copy();
    const std::string script =
        "file cad4_large.dat\n"
        "toggle \"Input Data file Format\" \"Enraf CAD4\" on\n"
        "press \"Input Data file Format\" OK\n"
        "browse cad4_large.par\n"
        "command 314\n"
        "file out.hkl 2\n"
        "command 322\n"
        "press \"Peak parameter default values\" \"Save + Exit\"\n"
        "press main Start\n"
        "close\nanswer yes\n";
    for (auto _ : state) {
        reset_store();
        close_all_units();
        fs::remove(dir / "out.hkl");
        install(script, dir);
        try {
            TARNIVOX_MAIN();
        } catch (const ProgramEnd& e) {
            finish_run(e);
        }
    }
    state.counters["reflections"] = G.NREF;
}
BENCHMARK(BM_WholeRunScriptBackend)->Unit(benchmark::kMillisecond)->Iterations(3);

// The example imported and its first reflection read, as "Open data file"
// leaves it, with the window built and `script` to answer the command.
void imported_example(const fs::path& dir, const std::string& script) {
    reset_store();
    close_all_units();
    install(script, dir);
    GRAPHICS_SETUP();
    G.INFMT = 7;
    G.INFILE = "cad4_large.dat";
    open_unit(LU_INPUT, (dir / "cad4_large.dat").string(), OpenMode::Read);
    open_unit(LU_PARAM, (dir / "cad4_large.par").string(), OpenMode::Read);
    test::import_and_read_first_reflection();
}

int fitted_reflections() {
    int n = 0;
    for (int i = 1; i <= 11; ++i) n += G.NFITC(i);
    return n;
}

void BM_AutoFitOnlyScriptBackend(benchmark::State& state) {
    const fs::path dir = working_copy();
    int reflections = 0;
    for (auto _ : state) {
        state.PauseTiming();
        imported_example(dir,
                         "press \"Peak parameter default values\" \"Save + Exit\"\n"
                         "press main Start\n");
        open_unit(LU_OUTPUT, (dir / "out.int").string(), OpenMode::Replace);
        G.OUTOPEN = 1;
        G.INTFMT = 1;
        state.ResumeTiming();
        START_AUTO_FIT();
        reflections = fitted_reflections();
    }
    state.counters["reflections"] = reflections;
}
BENCHMARK(BM_AutoFitOnlyScriptBackend)->Unit(benchmark::kMillisecond)->Iterations(3);

// Preprocessing fits each reflection once (one pass, no intensity record)
// and keeps the strong ones; it should take no longer than the automatic run.
void BM_PreprocessOnlyScriptBackend(benchmark::State& state) {
    const fs::path dir = working_copy();
    int reflections = 0;
    for (auto _ : state) {
        state.PauseTiming();
        imported_example(dir, "press \"Preprocessing Control\" Go\n");
        state.ResumeTiming();
        START_PREPROCESS();
        reflections = fitted_reflections();
    }
    state.counters["reflections"] = reflections;
    state.counters["stored"] = G.NUBREF;
}
BENCHMARK(BM_PreprocessOnlyScriptBackend)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace tarnivox

BENCHMARK_MAIN();
