#include "fitting/integrate.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/angles.h"
#include "core/store.h"
#include "fitting/profile.h"
#include "refine/geometry.h"
#include "refine/offsets.h"

namespace tarnivox {

namespace {

// Half-widths of the expected peak region beyond each component, in FWHM:
// wide enough that an error of the expected position of a tenth of the
// width changes the profile share by well under 1 %.
constexpr double PEAK_REACH = 1.5;
// Background steps kept at each end of the scan.
constexpr int MIN_BACKGROUND_STEPS = 2;
// Below this share of the doublet's area the expected peak lies mostly
// outside the scan, and the scan says little about its intensity.
constexpr double MIN_PROFILE_SHARE = 0.25;

// Net counts at least this many esds above zero locate the peak better
// than the settings.
constexpr double MIN_I_OVER_SIGMA_FOR_CENTROID = 20.0;

struct ProfileShare {
    double share = 0.0;     // peak sum less q times the background sum
    double centroid = 0.0;  // omega centroid over the peak steps
};

// The expected doublet of unit alpha1 intensity at alpha1 position pos
// over the scan's steps: what P - q B keeps of it, and the centroid over
// the peak steps first..last of what is left there once the mean of the
// background steps is taken off, as it is taken off the counts.
ProfileShare profile_share(double pos, double h, double ratio2, const Doublet& d, int first, int last,
                           double q) {
    const double par[6] = {0.0, h, 1.0, pos, G.ETA0, ratio2};
    double peak = 0.0, background = 0.0;
    for (int i = 1; i <= G.NPTS; ++i)
        (i >= first && i <= last ? peak : background) += doublet_model(G.STEPANG(i), par, d);
    const double bmean = background / (G.NPTS - (last - first + 1));
    double moment = 0.0, weight = 0.0;
    for (int i = first; i <= last; ++i) {
        const double w = doublet_model(G.STEPANG(i), par, d) - bmean;
        moment += w * G.STEPANG(i);
        weight += w;
    }
    ProfileShare s;
    s.share = peak - q * background;
    s.centroid = weight > 0.0 ? moment / weight : pos;
    return s;
}

double sum_counts(int from, int to) {
    double s = 0.0;
    for (int i = from; i <= to; ++i) s += G.COUNTS(i);
    return s;
}

}  // namespace

bool steps_within(double lo, double hi, int& first, int& last) {
    first = last = 0;
    for (int i = 1; i <= G.NPTS; ++i) {
        if (G.STEPANG(i) < lo || G.STEPANG(i) > hi) continue;
        if (first == 0) first = i;
        last = i;
    }
    return first != 0;
}

NetSum net_over_background(int first, int last) {
    const int n = G.NPTS;
    const double p = sum_counts(first, last);
    const double b = sum_counts(1, first - 1) + sum_counts(last + 1, n);
    const int nb = n - (last - first + 1);
    const double q = static_cast<double>(last - first + 1) / nb;
    return {p - q * b, std::max(p + q * q * b, 0.0), b / nb};
}

void INTEGRATE(int& ierr) {
    ierr = 0;
    for (int i = 1; i <= 3; ++i) {
        int m = i;
        for (int j = i + 1; j <= 4; ++j)
            if (G.LIMS(j) < G.LIMS(m)) m = j;
        std::swap(G.LIMS(i), G.LIMS(m));
    }
    if (G.LIMS(1) < 1 || G.LIMS(4) > G.NPTS) {
        ierr = 1;
        return;
    }
    const double b = sum_counts(G.LIMS(1), G.LIMS(2)) + sum_counts(G.LIMS(3), G.LIMS(4));
    const double p = sum_counts(G.LIMS(2) + 1, G.LIMS(3) - 1);
    const int nb = (G.LIMS(2) - G.LIMS(1) + 1) + (G.LIMS(4) - G.LIMS(3) + 1);
    const int np = G.LIMS(3) - G.LIMS(2) - 1;
    const double ratio = static_cast<double>(np) / nb;
    // Negative counts (possible after scaling) must not put a NaN into the
    // esd written to the intensity file.
    G.INTSIG = std::sqrt(std::max(p + ratio * b, 0.0));
    G.INTI = p - ratio * b;
}

double expected_omega() {
    if (G.UBFLAG != 1) return G.ANGLES(2);
    double om = G.ANGLES(2);
    CALOMEGA(G.ANGLES, G.IHKL, om);
    // The offset shift carries the omega zero with it; an omega zero
    // refined without offsets is added on its own.
    const auto& x = G.XTALOFF;
    if (std::fabs(x(1)) + std::fabs(x(2)) + std::fabs(x(3)) < 1.0e-5) return om + G.OMZERO;
    Arr1<double, 3> aoff{};
    CALC_ANGOFF(G.ANGLES, aoff);
    return om + aoff(2);
}

int INTEGRATE_EXPECTED(ExpectedSum& r) {
    r = ExpectedSum{};
    const int n = G.NPTS;
    if (n < 2 * MIN_BACKGROUND_STEPS + 1 || n > MAXSTEPS) return 1;
    r.omega = expected_omega();
    const double h = G.FWHMA + G.FWHMB * std::tan(std::fabs(G.ANGLES(1)) / 2.0 / DEGRAD);
    const Doublet d = make_doublet(G.WAVE1, G.WAVE2, G.MSHIFT, G.ANGLES(1));
    const double ratio2 = d.two_lines ? G.A2RATIO : 0.0;
    if (!(h > 0.0) || !std::isfinite(r.omega)) return 1;
    const double lo = std::min(r.omega, r.omega + d.shift) - PEAK_REACH * h;
    const double hi = std::max(r.omega, r.omega + d.shift) + PEAK_REACH * h;

    int first = 0, last = 0;
    if (!steps_within(lo, hi, first, last)) return 1;
    first = std::max(first, MIN_BACKGROUND_STEPS + 1);
    last = std::min(last, n - MIN_BACKGROUND_STEPS);
    if (last < first) return 1;
    r.lims[0] = 1;
    r.lims[1] = first - 1;
    r.lims[2] = last + 1;
    r.lims[3] = n;

    const int nb = n - (last - first + 1);
    const double q = static_cast<double>(last - first + 1) / nb;
    const NetSum sum = net_over_background(first, last);
    const double net = sum.net, variance = sum.variance;

    // A strong peak tells where it lies better than the settings do (a
    // tenth of a width off costs a few parts in a thousand of the share,
    // which is many esds of such a peak): the profile share is then taken
    // at the position whose profile has the centroid the net counts have.
    const ProfileShare expected = profile_share(r.omega, h, ratio2, d, first, last, q);
    ProfileShare at = expected;
    if (net > MIN_I_OVER_SIGMA_FOR_CENTROID * std::sqrt(variance)) {
        const double bmean = sum.mean_background;
        double sx = 0.0, sn = 0.0;
        for (int i = first; i <= last; ++i) {
            sx += (G.COUNTS(i) - bmean) * G.STEPANG(i);
            sn += G.COUNTS(i) - bmean;
        }
        const double reach = 0.5 * h;
        double pos = r.omega;
        for (int it = 0; it < 2 && sn > 0.0; ++it) {
            const ProfileShare trial = it == 0 ? expected : profile_share(pos, h, ratio2, d, first, last, q);
            pos = std::clamp(pos + sx / sn - trial.centroid, r.omega - reach, r.omega + reach);
        }
        at = profile_share(pos, h, ratio2, d, first, last, q);
    }
    // The profile values are per degree: the share of the doublet's area
    // is their sum times the step.
    const double step = std::fabs(G.STEPANG(n) - G.STEPANG(1)) / (n - 1);
    if (!(expected.share * step >= MIN_PROFILE_SHARE * (1.0 + ratio2)) || !(at.share > 0.0) ||
        !std::isfinite(at.share))
        return 1;
    r.intensity = net / at.share * G.SCALE;
    r.sigma = std::sqrt(variance) / at.share * G.SCALE;
    return 0;
}

}  // namespace tarnivox
