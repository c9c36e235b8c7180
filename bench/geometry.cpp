// CALOMEGA and the crystal-offset refinement on 1000 reflections, with the
// inverse of UB held between calls (cached) and inverted on every call.
// The two must give identical results; the bench refuses to time them
// otherwise.

#include "refine/geometry.h"

#include <benchmark/benchmark.h>

#include <cmath>

#include <filesystem>

#include "commands/preprocess.h"
#include "core/store.h"
#include "io/units.h"
#include "refine/offsets.h"
#include "refine/ub_lsq.h"
#include "ui/graphics.h"
#include "toolkit/script/script_backend.h"

namespace tarnivox {
namespace {

constexpr int NREF = 1000;

// A monoclinic crystal in a general orientation, 1000 reflections at their
// bisecting settings (0.70926 A), omegas displaced as by a crystal offset.
void make_data() {
    reset_store();
    set_toolkit_backend(ScriptBackend::from_text(""));
    script_backend()->echo = false;
    G.WAVE1 = EULER_WAVE;
    G.PARITY = Arr1<int, 4>{{1, 1, 1, 1}};
    G.GONCON1 = 200.0;
    Arr1<double, 7> cell{{8.4, 10.2, 13.9, 90.0, 101.0, 90.0, 0.0}};
    Mat3 b;
    CALCB(cell, b);
    const double x = 0.3, y = -0.7, z = 1.1;  // rotation angles, radians
    Mat3 r;
    const double cx = std::cos(x), sx = std::sin(x), cy = std::cos(y), sy = std::sin(y), cz = std::cos(z),
                 sz = std::sin(z);
    r(1, 1) = cz * cy, r(1, 2) = cz * sy * sx - sz * cx, r(1, 3) = cz * sy * cx + sz * sx;
    r(2, 1) = sz * cy, r(2, 2) = sz * sy * sx + cz * cx, r(2, 3) = sz * sy * cx - cz * sx;
    r(3, 1) = -sy, r(3, 2) = cy * sx, r(3, 3) = cy * cx;
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) G.UB(i, j) = r(i, 1) * b(1, j) + r(i, 2) * b(2, j) + r(i, 3) * b(3, j);
    G.XTALOFF = Arr1<double, 3>{{0.1, -0.05, 0.07}};
    int n = 0;
    for (int h = -6; h <= 6 && n < NREF; ++h)
        for (int k = -7; k <= 7 && n < NREF; ++k)
            for (int l = 1; l <= 9 && n < NREF; ++l) {
                Indices ih{{h, k, l}};
                Angles a;
                IH_TO_EULER(ih, a);
                if (a(1) == 0.0) continue;
                Arr1<double, 3> aoff;
                CALC_ANGOFF(a, aoff);
                ++n;
                G.TTHREF(n) = a(1);
                G.OMREF(n) = a(2) + aoff(2);
                G.CHIREF(n) = a(3);
                G.PHIREF(n) = a(4);
                for (int j = 1; j <= 3; ++j) G.IHREF(n, j) = ih(j);
            }
    G.NUBREF = n;
    G.XTALOFF.fill(0.0);
}

double calomega_all(const AngTable& ang, const IhTable& ih) {
    double s = 0.0;
    for (int n = 1; n <= G.NUBREF; ++n) {
        double om = ang(n, 2);
        CALOMEGA(table_angles(ang, n), table_indices(ih, n), om);
        s += om;
    }
    return s;
}

void BM_CALOMEGA(benchmark::State& state) {
    make_data();
    static AngTable ang;
    static IhTable ih;
    refinement_list_tables(ang, ih);
    set_ub_inverse_cache(false);
    const double fresh = calomega_all(ang, ih);
    set_ub_inverse_cache(true);
    const double cached = calomega_all(ang, ih);
    if (fresh != cached || G.NUBREF != NREF) {
        state.SkipWithError("cached and fresh inverses differ");
        return;
    }
    set_ub_inverse_cache(state.range(0) != 0);
    for (auto _ : state) benchmark::DoNotOptimize(calomega_all(ang, ih));
    state.SetItemsProcessed(state.iterations() * G.NUBREF);
    state.SetLabel(state.range(0) ? "cached UB inverse" : "UB inverted per call");
}
BENCHMARK(BM_CALOMEGA)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_LSQ_WITHOFF(benchmark::State& state) {
    Mat3 ub[2];
    Arr1<double, 3> off[2];
    for (int c = 0; c < 2; ++c) {
        make_data();
        set_ub_inverse_cache(c == 1);
        int ierr = 0;
        LSQ_WITHOFF(0, ierr);
        ub[c] = G.UB;
        off[c] = G.XTALOFF;
    }
    if (!(ub[0] == ub[1]) || !(off[0] == off[1])) {
        state.SkipWithError("cached and fresh inverses differ");
        return;
    }
    set_ub_inverse_cache(state.range(0) != 0);
    for (auto _ : state) {
        state.PauseTiming();
        make_data();
        set_ub_inverse_cache(state.range(0) != 0);
        state.ResumeTiming();
        int ierr = 0;
        LSQ_WITHOFF(0, ierr);
        benchmark::DoNotOptimize(G.UB);
    }
    state.SetLabel(state.range(0) ? "cached UB inverse" : "UB inverted per call");
}
BENCHMARK(BM_LSQ_WITHOFF)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2);

// "Calc UB" with crystal offsets and omega zero on a list of 1000 entries:
// the refinement, the log table of 1000 records and the results box.
void BM_UB_FIT_WithOffsets(benchmark::State& state) {
    const std::filesystem::path log = std::filesystem::temp_directory_path() / "tarnivox_bench_ubfit.log";
    for (auto _ : state) {
        state.PauseTiming();
        make_data();
        set_toolkit_backend(ScriptBackend::from_text(
            "toggle \"Unit Cell Refinement\" \"Refine crystal offsets\" on\n"
            "toggle \"Unit Cell Refinement\" \"Refine omega zero\" on\n"
            "press \"Unit Cell Refinement\" Refine\n"
            "press \"Cell Refinement Results\" Ok\n"));
        script_backend()->echo = false;
        GRAPHICS_SETUP();
        set_ub_inverse_cache(true);
        open_unit(LU_LOG, log.string(), OpenMode::Replace, true);
        G.LOGOPEN = 1;
        G.UBFLAG = 0;
        state.ResumeTiming();
        UB_FIT();
        state.PauseTiming();
        close_unit(LU_LOG);
        if (G.UBFLAG != 1) state.SkipWithError("the refinement failed");
        state.ResumeTiming();
    }
    std::filesystem::remove(log);
    state.counters["entries"] = G.NUBREF;
}
BENCHMARK(BM_UB_FIT_WithOffsets)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace tarnivox

BENCHMARK_MAIN();
