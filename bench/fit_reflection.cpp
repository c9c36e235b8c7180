// FIT_REFLECTION on 96-step scans of an example data set: fit 1, the shape
// test fit and fit 2 for every reflection, with the controls read from the
// fitting-controls dialog as in the automatic run.  The scans are drawn
// once from the profile model with Poisson noise; each iteration loads the
// next one, sets its start values and fits it.

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "core/angles.h"
#include "core/store.h"
#include "fitting/fitscan.h"
#include "fitting/pklsq.h"
#include "fitting/profile.h"
#include "fitting/scan_model.h"
#include "ui/fit_settings.h"
#include "ui/graphics.h"
#include "ui/toolkit/script/script_backend.h"

namespace tarnivox {
namespace {

constexpr int NSCANS = 256;
constexpr int NSTEPS = 96;

struct Scan {
    double tth, step;
    Arr1<double, MAXSTEPS> counts;
};

std::vector<Scan> g_scans;

// Mo radiation, 2theta 5..120 deg, FWHM 0.08 + 0.05 tan(theta), eta 0.3..0.7,
// background 5..100 counts, 300 to 30000 counts in the peak.
void make_data() {
    reset_store();
    set_toolkit_backend(ScriptBackend::from_text(""));
    script_backend()->echo = false;
    GRAPHICS_SETUP();
    G.WAVE1 = 0.70930;
    G.WAVE2 = 0.71359;
    G.NWAVE = 2;
    G.A2RATIO = 0.5;
    G.FWHMA = 0.08;
    G.FWHMB = 0.05;
    G.ETA0 = 0.5;
    G.IREF = Arr1<int, 6>{{1, 1, 1, 1, 1, 0}};
    G.IFIX = Arr1<int, 6>{{0, 1, 0, 0, 1, 1}};
    G.ICHK = Arr1<int, 7>{{1, 1, 1, 1, 1, 0, 1}};
    G.PARLO = Arr1<double, 6>{{-1.0, 0.02, 0.0, 0.5, 0.0, 0.4}};
    G.PARHI = Arr1<double, 6>{{1e6, 1.0, 1e9, 0.5, 1.0, 0.6}};
    G.RWPLIM = 0.5;
    WRITE_FIT_PARAMETERS();

    CountRng rng = make_count_rng(42);
    g_scans.resize(NSCANS);
    for (Scan& s : g_scans) {
        s.tth = 5.0 + 115.0 * uniform01(rng);
        const double fwhm =
            (0.08 + 0.05 * std::tan(s.tth / 2.0 / DEGRAD)) * (0.9 + 0.2 * uniform01(rng));
        const double shift = make_doublet(G.WAVE1, G.WAVE2, 0.0, s.tth).shift;
        s.step = (8.0 * fwhm + shift) / (NSTEPS - 1);
        const double counts = 300.0 * std::pow(100.0, uniform01(rng));
        Arr1<double, 6> truth{{5.0 * std::pow(20.0, uniform01(rng)), fwhm, counts * s.step / 1.5,
                               -shift / 2.0, 0.3 + 0.4 * uniform01(rng), 0.5}};
        Arr1<double, MAXSTEPS> x, mean;
        for (int i = 1; i <= NSTEPS; ++i) x(i) = -(NSTEPS / 2) * s.step + (i - 1) * s.step;
        model_counts(x, NSTEPS, truth, G.WAVE1, G.WAVE2, 0.0, s.tth, mean);
        draw_counts(rng, mean, NSTEPS, s.counts);
    }
}

// What reading a scan does to the current record.
void load(const Scan& s) {
    G.NPTS = NSTEPS;
    G.STEP = s.step;
    G.SCALE = 1.0;
    G.ANGLES(1) = s.tth;
    G.ANGLES(2) = 0.0;
    G.CMAX = 0.0;
    for (int i = 1; i <= NSTEPS; ++i) {
        G.COUNTS(i) = s.counts(i);
        G.STEPANG(i) = -(NSTEPS / 2) * s.step + (i - 1) * s.step;
        if (s.counts(i) > G.CMAX) {
            G.CMAX = s.counts(i);
            G.IMAX = i;
        }
    }
    const double th = s.tth / 2.0 / DEGRAD;
    G.A2SHIFT = std::asin(G.WAVE2 / G.WAVE1 * std::sin(th)) * DEGRAD - s.tth / 2.0;
}

void BM_FitReflection(benchmark::State& state) {
    make_data();
    std::size_t i = 0;
    long cycles = 0, fits = 0, passed = 0;
    for (auto _ : state) {
        load(g_scans[i]);
        i = (i + 1) % g_scans.size();
        SET_FIT_PARAMETERS();
        FIT_REFLECTION();
        cycles += last_pklsq_cycles();
        passed += G.FITSTAT.padded()[0] == 'F';
        ++fits;
        benchmark::DoNotOptimize(G.FITI);
    }
    state.SetItemsProcessed(fits);
    state.counters["passed"] = static_cast<double>(passed) / static_cast<double>(fits);
    state.counters["fit2_cycles"] = static_cast<double>(cycles) / static_cast<double>(fits);
}
BENCHMARK(BM_FitReflection);

// The least squares alone: fit 1 from the start values; argument 1 holds
// eta within [0, 1] as the judged fit does while the eta test is on.
void BM_Pklsq(benchmark::State& state) {
    make_data();
    std::size_t i = 0;
    long cycles = 0, fits = 0, held = 0;
    const Arr1<double, 2> wave{{G.WAVE1, G.WAVE2}};
    const EtaLimits limits{state.range(0) == 1, 0.0, 1.0};
    std::vector<Arr1<double, 6>> starts;
    for (const Scan& s : g_scans) {
        load(s);
        SET_FIT_PARAMETERS();
        starts.push_back(G.PAR);
    }
    ParArray esd;
    ScanArray ycalc;
    double rwp, gof;
    int icode;
    for (auto _ : state) {
        load(g_scans[i]);
        ParArray par = starts[i];
        i = (i + 1) % g_scans.size();
        PKLSQ(G.STEPANG, G.COUNTS, NSTEPS, wave, 0.0, G.ANGLES(1), par, G.IREF, ycalc, esd, rwp, gof, icode,
              limits);
        cycles += last_pklsq_cycles();
        held += limits.on && (par(P_ETA) == limits.lo || par(P_ETA) == limits.hi);
        ++fits;
        benchmark::DoNotOptimize(par);
    }
    state.SetItemsProcessed(fits);
    state.counters["cycles"] = static_cast<double>(cycles) / static_cast<double>(fits);
    state.counters["eta_held"] = static_cast<double>(held) / static_cast<double>(fits);
}
BENCHMARK(BM_Pklsq)->Arg(0)->Arg(1);

}  // namespace
}  // namespace tarnivox

BENCHMARK_MAIN();
