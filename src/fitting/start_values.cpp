#include "fitting/start_values.h"

#include <cmath>

#include "core/angles.h"
#include "core/store.h"
#include "fitting/background.h"
#include "fitting/fitscan.h"

namespace tarnivox {
namespace {

// FWHM = a + b*tan(|theta|) of the peak-parameter defaults.
double fwhm_from_model() { return G.FWHMA + G.FWHMB * std::tan(std::fabs(G.ANGLES(1)) / 2.0 / DEGRAD); }

double end_step_background() {
    if (G.NPTS < 1 || G.NPTS > MAXSTEPS) return 0.0;
    return (G.COUNTS(1) + G.COUNTS(G.NPTS)) / 2.0;
}

// BACKGROUND start value: the lookup of the chosen mode, or the mean of the
// end steps.  Without the lookup no balance test was made on this scan, so
// an unbalanced flag left by an earlier scan must not mark this one (it
// would print "U" and waive its RWP test).
double start_background() {
    if (G.IFIX(P_BACKGROUND) == 1) return GET_BACKGROUND(G.ANGLES(1));
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
    G.PAR(P_BACKGROUND) = start_background();
    if (G.IFIX(P_FWHM) == 1) {
        G.PAR(P_FWHM) = fwhm_from_model();
    } else if (typed != nullptr) {
        G.PAR(P_FWHM) = typed->fwhm;
    }
    G.PAR(P_INTENSITY) = (G.CMAX - G.PAR(P_BACKGROUND)) * G.PAR(P_FWHM);
    G.PAR(P_POSITION) = peak_step_position();
    if (G.IREF(P_POSITION) != 1 && G.IFIX(P_POSITION) == 1 && G.UBFLAG == 1) G.PAR(P_POSITION) = omega_from_ub(G.PAR(P_POSITION));
    if (G.IFIX(P_ETA) == 1) {
        G.PAR(P_ETA) = G.ETA0;
    } else if (typed != nullptr) {
        G.PAR(P_ETA) = typed->eta;
    }
    if (G.IFIX(P_IRATIO) == 1) {
        G.PAR(P_IRATIO) = G.A2RATIO;
    } else if (typed != nullptr) {
        G.PAR(P_IRATIO) = typed->ratio;
    }
}

void set_default_start_values() {
    G.PAR(P_BACKGROUND) = start_background();
    G.PAR(P_FWHM) = fwhm_from_model();
    G.PAR(P_INTENSITY) = G.CMAX * G.PAR(P_FWHM);
    if (G.IREF(P_POSITION) == 1) {
        G.PAR(P_POSITION) = peak_step_position();
    } else if (G.UBFLAG == 1) {
        G.PAR(P_POSITION) = omega_from_ub(G.PAR(P_POSITION));
    }
    G.PAR(P_ETA) = G.ETA0;
    G.PAR(P_IRATIO) = G.RATIO0;
}

}  // namespace tarnivox
