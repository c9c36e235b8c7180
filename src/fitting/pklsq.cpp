#include "fitting/pklsq.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "fitting/profile.h"
#include "fitting/step_pass.h"
#include "refine/linear_algebra.h"

namespace tarnivox {

namespace {

constexpr int MAX_CYCLES = 200;
constexpr int LDA = 6;
// Damping: cycle c moves the parameters by min(DAMPING_STEP * c,
// DAMPING_MAX) of the computed shift, so that the first cycles from rough
// start values do not overshoot.
constexpr double DAMPING_STEP = 0.1;
constexpr double DAMPING_MAX = 0.7;
// Converged when every shift is below this fraction of its esd.
constexpr double CONVERGED_SHIFT = 0.01;
// A diagonal element below this is a parameter the scan does not define.
constexpr double MIN_DIAGONAL = 1.0e-20;
// Pivot tolerance of MXLNEQ on the unit-diagonal matrix.
constexpr double PIVOT_TOLERANCE = 1.0e-6;
// gof times the variance inflation below this: ill-conditioned.
constexpr double MIN_CONDITION = 1.0e-8;

int g_cycles = 0;
[[maybe_unused]] const bool cycles_reset_registered = (register_outside_state_reset([] { g_cycles = 0; }), true);

// Normal equations of one cycle over the refined parameters, packed in the
// order of k (column-major, leading dimension 6, as MXLNEQ takes them).
struct NormalEquations {
    std::array<double, LDA * LDA> a{};
    std::array<double, LDA> b{};
    double swr2 = 0.0;  // sum of w*r^2
    double swy2 = 0.0;  // sum of w*Y'^2
};

// One pass over the scan: the profile (with the +1 offset) into yc and
// the normal equations of the refined parameters, packed in the order of k.
void accumulate(const StepData& s, const std::array<double, 6>& v, const Doublet& dbl, double pfac,
                const std::array<int, 6>& idx, int nvar, double* yc, NormalEquations& ne) {
    StepSums sums;
    step_pass(s, make_step_model(v, dbl, pfac), yc, sums);
    ne = NormalEquations{};
    ne.swr2 = sums.swr2;
    ne.swy2 = sums.swy2;
    for (int j = 0; j < nvar; ++j) {
        const int kj = idx[static_cast<std::size_t>(j)];
        ne.b[static_cast<std::size_t>(j)] = sums.b[static_cast<std::size_t>(kj)];
        for (int l = 0; l <= j; ++l) {
            const double e = sums.a[static_cast<std::size_t>(tri(kj, idx[static_cast<std::size_t>(l)]))];
            ne.a[static_cast<std::size_t>(l + j * LDA)] = e;
            ne.a[static_cast<std::size_t>(j + l * LDA)] = e;
        }
    }
}

bool all_finite(const NormalEquations& ne, int nvar) {
    if (!std::isfinite(ne.swr2) || !std::isfinite(ne.swy2)) return false;
    for (int j = 0; j < nvar; ++j) {
        if (!std::isfinite(ne.b[j])) return false;
        for (int l = 0; l <= j; ++l)
            if (!std::isfinite(ne.a[l + j * LDA])) return false;
    }
    return true;
}

// The shifts of one cycle from its normal equations: the matrix is scaled
// to unit diagonal, inverted in place (ne.a then holds the inverse of the
// unscaled matrix) and applied to the right-hand side.  inflation: the
// diagonal of the inverse of the unit-diagonal matrix, the variance
// inflation of each parameter free of its unit.  false: a parameter the
// scan does not define, or a singular matrix.
bool solve_shifts(NormalEquations& ne, int nvar, std::array<double, 6>& inflation, std::array<double, 6>& shift) {
    std::array<double, 6> s{};
    for (int j = 0; j < nvar; ++j) {
        const double diag = ne.a[static_cast<std::size_t>(j * LDA + j)];
        if (diag < MIN_DIAGONAL) return false;
        s[static_cast<std::size_t>(j)] = 1.0 / std::sqrt(diag);
    }
    for (int j = 0; j < nvar; ++j)
        for (int l = 0; l < nvar; ++l) ne.a[l + j * LDA] *= s[l] * s[j];

    double det = 0.0;
    int npiv = 0;
    MXLNEQ(ne.a.data(), nvar, LDA, det, npiv, PIVOT_TOLERANCE, 0);
    if (npiv != nvar) return false;
    for (int j = 0; j < nvar; ++j) inflation[j] = ne.a[j * LDA + j];
    for (int j = 0; j < nvar; ++j) {
        for (int l = 0; l < nvar; ++l) ne.a[l + j * LDA] *= s[l] * s[j];
    }
    for (int j = 0; j < nvar; ++j) {
        double sum = 0.0;
        for (int l = 0; l < nvar; ++l) sum += ne.a[j + l * LDA] * ne.b[l];
        shift[j] = sum;
    }
    return true;
}

// The normal equations of the same cycle without the parameter at packed
// index drop: the system of the others while that one is held.
NormalEquations without(const NormalEquations& ne, int nvar, int drop) {
    NormalEquations r;
    r.swr2 = ne.swr2;
    r.swy2 = ne.swy2;
    for (int j = 0, jj = 0; j < nvar; ++j) {
        if (j == drop) continue;
        r.b[static_cast<std::size_t>(jj)] = ne.b[static_cast<std::size_t>(j)];
        for (int l = 0, ll = 0; l < nvar; ++l) {
            if (l == drop) continue;
            r.a[static_cast<std::size_t>(ll + jj * LDA)] = ne.a[static_cast<std::size_t>(l + j * LDA)];
            ++ll;
        }
        ++jj;
    }
    return r;
}

// While eta sits at one of its limits and the shift of the full system
// points beyond it, the limit is binding: the shifts of the other
// parameters are those of the system without eta, and eta stays.  False
// when that system is singular.
bool hold_at_limit(const NormalEquations& system, int nvar, int je, std::array<double, 6>& shift) {
    std::array<double, 6> rest{};
    if (nvar > 1) {
        NormalEquations reduced = without(system, nvar, je);
        std::array<double, 6> inflation{};
        if (!solve_shifts(reduced, nvar - 1, inflation, rest)) return false;
    }
    for (int j = 0; j < nvar; ++j)
        shift[static_cast<std::size_t>(j)] = j < je    ? rest[static_cast<std::size_t>(j)]
                                             : j == je ? 0.0
                                                       : rest[static_cast<std::size_t>(j - 1)];
    return true;
}

}  // namespace

int last_pklsq_cycles() { return g_cycles; }

void PKLSQ(const ScanArray& x, const ScanArray& y, int n, const Arr1<double, 2>& wave, double mshift,
           double tth, ParArray& par, const Arr1<int, 6>& iflag, ScanArray& ycalc, ParArray& esd, double& rwp,
           double& gof, int& icode, const EtaLimits& eta_limits) {
    const Doublet dbl = make_doublet(wave(1), wave(2), mshift, tth);
    if (!dbl.two_lines) par(P_IRATIO) = 0.0;

    std::array<int, 6> idx{};
    int nvar = 0;
    for (int k = 1; k <= 6; ++k)
        if (iflag(k) == 1) idx[static_cast<std::size_t>(nvar++)] = k - 1;
    g_cycles = 0;
    // No esd survives from an earlier scan: a fit that stops before its
    // first complete cycle (too few steps, a singular first matrix) has no
    // esds of its own, and the extended intensity record carries them.
    esd.fill(0.0);
    if (nvar >= n || n > MAXSTEPS) {
        // Nor agreement values: no profile was calculated for this scan.
        rwp = 0.0;
        gof = 0.0;
        icode = 3;
        return;
    }

    // The steps as the pass reads them: contiguous, padded with steps of
    // weight 0 to a whole number of vectors.
    // (Only the padding after the last step is cleared: a fit of a short
    // scan does not pay for clearing 500 steps.)
    alignas(64) std::array<double, PADDED_STEPS> xs;
    alignas(64) std::array<double, PADDED_STEPS> yp;
    alignas(64) std::array<double, PADDED_STEPS> wt;
    alignas(64) std::array<double, PADDED_STEPS> yc;
    for (int i = 0; i < n; ++i) {
        const auto k = static_cast<std::size_t>(i);
        xs[k] = x(i + 1);
        yp[k] = y(i + 1) + 1.0;
        wt[k] = yp[k] > 0.0 ? 1.0 / yp[k] : 1.0;
    }
    for (int i = n; i < (n + STEP_PAD - 1) / STEP_PAD * STEP_PAD; ++i) {
        const auto k = static_cast<std::size_t>(i);
        xs[k] = yp[k] = wt[k] = yc[k] = 0.0;
    }
    const StepData scan{xs.data(), yp.data(), wt.data(), n};

    std::array<double, 6> v{};
    for (int k = 0; k < 6; ++k) v[static_cast<std::size_t>(k)] = par(k + 1);
    // Packed index of a bounded eta, -1 when eta is free or fixed.
    int je = -1;
    if (eta_limits.on && eta_limits.lo <= eta_limits.hi) {
        for (int j = 0; j < nvar; ++j)
            if (idx[static_cast<std::size_t>(j)] == P_ETA - 1) je = j;
    }
    constexpr std::size_t E = P_ETA - 1;
    if (je >= 0) {
        v[E] = std::clamp(v[E], eta_limits.lo, eta_limits.hi);
        par(P_ETA) = v[E];
    }

    icode = 0;
    bool converged = false;
    NormalEquations ne;
    for (int cycle = 1;; ++cycle) {
        const double f = std::min(DAMPING_STEP * cycle, DAMPING_MAX);
        if (cycle > MAX_CYCLES) {
            icode = 2;
            break;
        }
        g_cycles = cycle;
        accumulate(scan, v, dbl, alpha2_position_factor(dbl, v[3]), idx, nvar, yc.data(), ne);
        rwp = ne.swy2 > 0.0 ? std::sqrt(ne.swr2 / ne.swy2) : 0.0;
        gof = ne.swr2 / (n - nvar);
        if (!all_finite(ne, nvar)) {
            // Absurd parameters (overflowing profile): report, keep the last
            // finite values and never pass a NaN on.
            if (!std::isfinite(rwp)) rwp = 0.0;
            if (!std::isfinite(gof)) gof = 0.0;
            icode = 1;
            break;
        }
        if (converged || nvar == 0) break;

        std::array<double, 6> inflation{};
        std::array<double, 6> shift{};
        NormalEquations system;
        if (je >= 0) system = ne;  // solve_shifts inverts ne in place
        if (!solve_shifts(ne, nvar, inflation, shift)) {
            icode = 1;
            break;
        }
        bool held = false;
        if (je >= 0) {
            const double outward = shift[static_cast<std::size_t>(je)];
            held = (v[E] <= eta_limits.lo && outward < 0.0) || (v[E] >= eta_limits.hi && outward > 0.0);
            if (held && !hold_at_limit(system, nvar, je, shift)) {
                icode = 1;
                break;
            }
        }

        converged = true;
        const double sgof = std::max(gof, 1.0);
        std::array<double, 6> nv = v;
        std::array<double, 6> ne_esd{};
        for (int j = 0; j < nvar && icode == 0; ++j) {
            const int k = idx[j];
            const double ainv = ne.a[j * LDA + j];
            nv[k] += f * shift[j];
            // Ill-conditioned (a broken inverse, or a fit with no misfit at
            // all).  Judged on the unit-free inverse: the variance of a
            // precisely measured position (esd below 1e-4 deg) is no sign
            // of trouble.
            if (gof * inflation[j] < MIN_CONDITION || !(ainv > 0.0) || !std::isfinite(nv[k])) {
                icode = 1;
                break;
            }
            ne_esd[j] = std::sqrt(sgof * ainv);
            if (std::fabs(shift[j] / ne_esd[j]) > CONVERGED_SHIFT) converged = false;
        }
        if (icode != 0) break;
        if (je >= 0 && !held && (nv[E] < eta_limits.lo || nv[E] > eta_limits.hi)) {
            // The step stops eta at the limit it would cross; the others
            // take their full step and the next cycle decides whether the
            // limit holds.
            nv[E] = std::clamp(nv[E], eta_limits.lo, eta_limits.hi);
            converged = false;
        }
        v = nv;
        for (int j = 0; j < nvar; ++j) {
            par(idx[j] + 1) = v[idx[j]];
            esd(idx[j] + 1) = ne_esd[j];
        }
    }
    for (int i = 0; i < n; ++i) ycalc(i + 1) = yc[static_cast<std::size_t>(i)] - 1.0;
}

}  // namespace tarnivox
