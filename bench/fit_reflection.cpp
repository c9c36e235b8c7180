// FIT_REFLECTION on 96-step scans of an example data set: fit 1, the shape
// test fit and fit 2 for every reflection, with the controls read from the
// fitting-controls dialog as in the automatic run.  The scans are drawn
// once from the profile model with Poisson noise; each iteration loads the
// next one, sets its start values and fits it.  Beside it PKLSQ alone, the
// per-step pass (scalar and vectorised), and, where Ceres Solver is
// installed, its TinySolver (Levenberg-Marquardt) on the same scans, model,
// weights and start values, with the accuracy of both against the least-
// squares minimum in units of the esds.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <vector>

#if defined(TARNIVOX_HAVE_CERES)
#include <ceres/tiny_solver.h>
#endif

#include "core/angles.h"
#include "core/store.h"
#include "fitting/fitscan.h"
#include "fitting/pklsq.h"
#include "fitting/profile.h"
#include "fitting/scan_model.h"
#include "fitting/step_pass.h"
#include "ui/fit_settings.h"
#include "ui/graphics.h"
#include "toolkit/script/script_backend.h"

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
    long cycles = 0, fits = 0, held = 0, at_limit = 0;
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
        at_limit += icode == 2;
        held += limits.on && (par(P_ETA) == limits.lo || par(P_ETA) == limits.hi);
        ++fits;
        benchmark::DoNotOptimize(par);
    }
    state.SetItemsProcessed(fits);
    state.counters["cycles"] = static_cast<double>(cycles) / static_cast<double>(fits);
    state.counters["eta_held"] = static_cast<double>(held) / static_cast<double>(fits);
    state.counters["no_convergence"] = static_cast<double>(at_limit) / static_cast<double>(fits);
}
BENCHMARK(BM_Pklsq)->Arg(0)->Arg(1);

// One cycle's per-step pass over a 96-step doublet scan: argument 0 the
// scalar pass, 1 the vectorised pass on this processor's best set.
void BM_StepPass(benchmark::State& state) {
    make_data();
    load(g_scans[0]);
    SET_FIT_PARAMETERS();
    alignas(64) std::array<double, PADDED_STEPS> x{}, yp{}, w{}, yc{};
    for (int i = 0; i < NSTEPS; ++i) {
        const auto k = static_cast<std::size_t>(i);
        x[k] = G.STEPANG(i + 1);
        yp[k] = G.COUNTS(i + 1) + 1.0;
        w[k] = 1.0 / yp[k];
    }
    const StepData data{x.data(), yp.data(), w.data(), NSTEPS};
    const Doublet dbl = make_doublet(G.WAVE1, G.WAVE2, 0.0, G.ANGLES(1));
    std::array<double, 6> v{};
    for (int k = 0; k < 6; ++k) v[static_cast<std::size_t>(k)] = G.PAR(k + 1);
    const StepModel m = make_step_model(v, dbl, alpha2_position_factor(dbl, v[3]));
    StepSums sums;
    for (auto _ : state) {
        if (state.range(0) == 0)
            step_pass_scalar(data, m, yc.data(), sums);
        else
            step_pass(data, m, yc.data(), sums);
        benchmark::DoNotOptimize(sums);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(state.range(0) == 0 ? "scalar" : step_pass_target_name());
}
BENCHMARK(BM_StepPass)->Arg(0)->Arg(1);

#if defined(TARNIVOX_HAVE_CERES)

// The profile model of PKLSQ (BACKGROUND, FWHM, INTENSITY, POSITION, ETA
// refined, IRATIO held) as weighted residuals sqrt(w)*(Y' - y - 1) and
// their Jacobian, column by column, for TinySolver.
struct ProfileResiduals {
    using Scalar = double;
    enum { NUM_RESIDUALS = Eigen::Dynamic, NUM_PARAMETERS = 5 };
    const double* x;
    std::array<double, MAXSTEPS> yp{}, sw{};
    int n = NSTEPS;
    Doublet dbl;
    double ratio = 0.5;

    int NumResiduals() const { return n; }
    bool operator()(const double* p, double* r, double* jac) const {
        const std::array<double, 6> v{p[0], p[1], p[2], p[3], p[4], ratio};
        const PvShape shape = pv_shape(v[1], v[4]);
        const double pfac = alpha2_position_factor(dbl, v[3]);
        for (int i = 0; i < n; ++i) {
            const auto k = static_cast<std::size_t>(i);
            const PvTerms t1 = pv_terms(x[i] - v[3], shape);
            const PvTerms t2 = pv_terms(x[i] - v[3] - dbl.shift, shape);
            const double phi = t1.phi + ratio * t2.phi;
            r[i] = sw[k] * (yp[k] - (v[0] + v[2] * phi + 1.0));
            if (jac) {
                jac[i] = -sw[k];
                jac[i + n] = -sw[k] * v[2] * (t1.dh + ratio * t2.dh);
                jac[i + 2 * n] = -sw[k] * phi;
                jac[i + 3 * n] = -sw[k] * v[2] * (t1.dp + ratio * pfac * t2.dp);
                jac[i + 4 * n] = -sw[k] * v[2] * (t1.deta + ratio * t2.deta);
            }
        }
        return true;
    }
};

using Tiny = ceres::TinySolver<ProfileResiduals>;

ProfileResiduals residuals_of(const Scan& s) {
    load(s);
    ProfileResiduals f;
    f.x = G.STEPANG.data();
    f.dbl = make_doublet(G.WAVE1, G.WAVE2, 0.0, s.tth);
    for (int i = 0; i < NSTEPS; ++i) {
        const auto k = static_cast<std::size_t>(i);
        f.yp[k] = s.counts(i + 1) + 1.0;
        f.sw[k] = std::sqrt(f.yp[k] > 0.0 ? 1.0 / f.yp[k] : 1.0);
    }
    return f;
}

// TinySolver stopped where its parameter steps fall below tol relative to
// the parameters (the accuracy PKLSQ's 1 % of an esd reaches on these
// scans); its other criteria out of the way.
Tiny::Options tiny_options(double tol, int max_iterations) {
    Tiny::Options o;
    o.parameter_tolerance = tol;
    o.gradient_tolerance = 0.0;
    o.function_tolerance = 0.0;
    o.cost_threshold = 0.0;
    o.max_num_iterations = max_iterations;
    return o;
}

constexpr double PEER_TOLERANCE = 1.0e-4;

// Accuracy of PKLSQ and of TinySolver at PEER_TOLERANCE: the largest
// distance of a refined parameter from the minimum (TinySolver run to
// 1e-12), in esds of PKLSQ, as the median and the 95th percentile over
// the scans that both fitted.
struct Accuracy {
    double pklsq_median = 0, pklsq_p95 = 0, tiny_median = 0, tiny_p95 = 0;
};

Accuracy peer_accuracy() {
    static const Accuracy acc = [] {
        std::vector<double> ep, et;
        const Arr1<double, 2> wave{{G.WAVE1, G.WAVE2}};
        for (const Scan& s : g_scans) {
            load(s);
            SET_FIT_PARAMETERS();
            const Arr1<double, 6> start = G.PAR;
            ParArray par = start, esd;
            ScanArray ycalc;
            double rwp, gof;
            int icode;
            PKLSQ(G.STEPANG, G.COUNTS, NSTEPS, wave, 0.0, s.tth, par, G.IREF, ycalc, esd, rwp, gof, icode);
            ProfileResiduals f = residuals_of(s);
            Eigen::Matrix<double, 5, 1> best, tiny;
            for (int k = 0; k < 5; ++k) best(k) = tiny(k) = start(k + 1);
            Tiny exact;
            exact.options = tiny_options(1e-12, 500);
            exact.Solve(f, &best);
            Tiny peer;
            peer.options = tiny_options(PEER_TOLERANCE, 200);
            peer.Solve(f, &tiny);
            if (icode != 0) continue;
            double dp = 0, dt = 0;
            for (int k = 0; k < 5; ++k) {
                dp = std::max(dp, std::fabs(par(k + 1) - best(k)) / esd(k + 1));
                dt = std::max(dt, std::fabs(tiny(k) - best(k)) / esd(k + 1));
            }
            ep.push_back(dp);
            et.push_back(dt);
        }
        auto quantile = [](std::vector<double> v, double q) {
            std::sort(v.begin(), v.end());
            return v.empty() ? 0.0 : v[static_cast<std::size_t>(q * static_cast<double>(v.size() - 1))];
        };
        return Accuracy{quantile(ep, 0.5), quantile(ep, 0.95), quantile(et, 0.5), quantile(et, 0.95)};
    }();
    return acc;
}

void BM_TinySolverPeer(benchmark::State& state) {
    make_data();
    std::vector<ProfileResiduals> fs;
    std::vector<Eigen::Matrix<double, 5, 1>> starts;
    for (const Scan& s : g_scans) {
        fs.push_back(residuals_of(s));
        SET_FIT_PARAMETERS();
        Eigen::Matrix<double, 5, 1> p;
        for (int k = 0; k < 5; ++k) p(k) = G.PAR(k + 1);
        starts.push_back(p);
    }
    const Accuracy acc = peer_accuracy();
    Tiny solver;
    solver.options = tiny_options(PEER_TOLERANCE, 200);
    std::size_t i = 0;
    long iterations = 0, fits = 0;
    for (auto _ : state) {
        Eigen::Matrix<double, 5, 1> p = starts[i];
        solver.Solve(fs[i], &p);
        i = (i + 1) % fs.size();
        iterations += solver.summary.iterations;
        ++fits;
        benchmark::DoNotOptimize(p);
    }
    state.SetItemsProcessed(fits);
    state.counters["iterations"] = static_cast<double>(iterations) / static_cast<double>(fits);
    state.counters["err_med_esd"] = acc.tiny_median;
    state.counters["err_p95_esd"] = acc.tiny_p95;
    state.counters["pklsq_err_med_esd"] = acc.pklsq_median;
    state.counters["pklsq_err_p95_esd"] = acc.pklsq_p95;
}
BENCHMARK(BM_TinySolverPeer);

#endif  // TARNIVOX_HAVE_CERES

}  // namespace
}  // namespace tarnivox

BENCHMARK_MAIN();
