#include "fitting/start_values.h"

#include <cmath>

#include "core/store.h"
#include "fitting/background.h"
#include "fitting/fitscan.h"

namespace tarnivox {
namespace {

constexpr double DEG_PER_RAD = 57.29578;

// FWHM = a + b*tan(|theta|) of the peak-parameter defaults.
double fwhm_from_model() { return G.FWHMA + G.FWHMB * std::tan(std::fabs(G.ANGLES(1)) / 2.0 / DEG_PER_RAD); }

double end_step_background() {
    if (G.NPTS < 1 || G.NPTS > MAXSTEPS) return 0.0;
    return (G.COUNTS(1) + G.COUNTS(G.NPTS)) / 2.0;
}

// BACKGROUND start value: the lookup of the chosen mode, or the mean of the
// end steps.  Without the lookup no balance test was made on this scan, so
// an unbalanced flag left by an earlier scan must not mark this one (it
// would print "U" and waive its RWP test).
double start_background() {
    if (G.IFIX(1) == 1) return GET_BACKGROUND(G.ANGLES(1));
    G.BGUNBAL = 0;
    return end_step_background();
}

// Step of the largest count; a scan without a maximum (all counts zero)
// has its peak expected at the scan centre.
double peak_step_position() {
    if (G.NPTS < 1 || G.NPTS > MAXSTEPS) return G.ANGLES(2);
    const int i = (G.IMAX >= 1 && G.IMAX <= G.NPTS) ? G.IMAX : G.NPTS / 2 + 1;
    return G.STEPANG(i);
}

}  // namespace

void set_start_values(const TypedStartValues* typed) {
    G.PAR(1) = start_background();
    if (G.IFIX(2) == 1) {
        G.PAR(2) = fwhm_from_model();
    } else if (typed != nullptr) {
        G.PAR(2) = typed->fwhm;
    }
    G.PAR(3) = (G.CMAX - G.PAR(1)) * G.PAR(2);
    G.PAR(4) = peak_step_position();
    if (G.IREF(4) != 1 && G.IFIX(4) == 1 && G.UBFLAG == 1) G.PAR(4) = omega_from_ub(G.PAR(4));
    if (G.IFIX(5) == 1) {
        G.PAR(5) = G.ETA0;
    } else if (typed != nullptr) {
        G.PAR(5) = typed->eta;
    }
    if (G.IFIX(6) == 1) {
        G.PAR(6) = G.A2RATIO;
    } else if (typed != nullptr) {
        G.PAR(6) = typed->ratio;
    }
}

void set_default_start_values() {
    G.PAR(1) = start_background();
    G.PAR(2) = fwhm_from_model();
    G.PAR(3) = G.CMAX * G.PAR(2);
    if (G.IREF(4) == 1) {
        G.PAR(4) = peak_step_position();
    } else if (G.UBFLAG == 1) {
        G.PAR(4) = omega_from_ub(G.PAR(4));
    }
    G.PAR(5) = G.ETA0;
    G.PAR(6) = G.RATIO0;
}

}  // namespace tarnivox
