#include "params/fit_settings.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "core/store.h"
#include "fitting/background.h"
#include "fitting/fitscan.h"
#include "params/parameters.h"
#include "ui/toolkit/toolkit.h"
#include "ui/widgets.h"

namespace tarnivox {

namespace {

constexpr int CMD_PK_QUIT = 531;
constexpr int CMD_PK_SAVE = 541;
constexpr double DEG_PER_RAD = 57.29578;

double value_of(WidSlot s) { return GMENQVALUESETTING(wid(s)); }
int toggle_of(WidSlot s) { return GMENQTOGGLESWITCH(wid(s)) != 0 ? 1 : 0; }
void show_value(WidSlot s, double v) { GMSETVALUESETTING_REAL(wid(s), v); }

// The routines that exchange values with a dialog leave the store as it is
// when the dialog has not been built (no windows, as in batch checks).
bool built(WidSlot dialog) { return wid(dialog) != 0; }

void read_switches() {
    for (int k = 1; k <= 6; ++k) {
        G.IREF(k) = toggle_of(FC_REFINE(k));
        G.IFIX(k) = toggle_of(FC_DEFAULT(k));
    }
    G.SKIPWEAK = toggle_of(FC_SKIPWEAK);
}

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

void READ_FIT_PARAMETERS() {
    if (!built(DLG_FITCTRL)) return;
    read_switches();
    for (int k = 1; k <= 6; ++k) G.PAR(k) = value_of(FC_INPUT(k));
    for (int k = 1; k <= 7; ++k) G.ICHK(k) = toggle_of(FC_LIMIT_ON(k));
    for (int k = 1; k <= 6; ++k) {
        if (G.ICHK(k) == 1) {
            G.PARLO(k) = value_of(FC_LOWER(k));
            G.PARHI(k) = value_of(FC_UPPER(k));
        }
    }
    if (G.ICHK(7) == 1) G.RWPLIM = value_of(FC_UPPER(7));
}

void WRITE_FIT_PARAMETERS() {
    if (!built(DLG_FITCTRL)) return;
    for (int k = 1; k <= 6; ++k) {
        show_value(FC_INPUT(k), G.PAR(k));
        GMSETTOGGLESWITCH(wid(FC_REFINE(k)), G.IREF(k));
        GMSETTOGGLESWITCH(wid(FC_DEFAULT(k)), G.IFIX(k));
    }
    for (int k = 1; k <= 7; ++k) {
        const int on = G.ICHK(k) == 1 ? 1 : 0;
        GMSETTOGGLESWITCH(wid(FC_LIMIT_ON(k)), on);
        if (k <= 6) {
            GMSETWIDGETSTATUS(wid(FC_LOWER(k)), on);
            GMSETWIDGETSTATUS(wid(FC_UPPER(k)), on);
            if (on == 1) {
                show_value(FC_LOWER(k), G.PARLO(k));
                show_value(FC_UPPER(k), G.PARHI(k));
            }
        } else {
            GMSETWIDGETSTATUS(wid(FC_UPPER(7)), on);
            if (on == 1) show_value(FC_UPPER(7), G.RWPLIM);
        }
    }
    GMSETTOGGLESWITCH(wid(FC_SKIPWEAK), G.SKIPWEAK);
    GMDRAWWINDOW(wid(DLG_FITCTRL));
}

void WRITE_REFINED_PARAMETERS() {
    if (!built(DLG_FITCTRL)) return;
    for (int k = 1; k <= 6; ++k) {
        show_value(FC_REFINED(k), G.PAR(k));
        show_value(FC_ESD(k), G.PARESD(k));
    }
    show_value(FC_REFINED(7), G.RWP);
    GMSETTEXTSETTING(wid(FC_FLAGS), std::string(1, G.RFLAG_SAVE) + G.FITSTAT.padded());
}

void SET_FIT_PARAMETERS() {
    if (built(DLG_FITCTRL)) read_switches();
    G.PAR(1) = start_background();
    if (G.IFIX(2) == 1) {
        G.PAR(2) = fwhm_from_model();
    } else if (built(DLG_FITCTRL)) {
        G.PAR(2) = value_of(FC_INPUT(2));
    }
    G.PAR(3) = (G.CMAX - G.PAR(1)) * G.PAR(2);
    G.PAR(4) = peak_step_position();
    if (G.IREF(4) != 1 && G.IFIX(4) == 1 && G.UBFLAG == 1) G.PAR(4) = omega_from_ub(G.PAR(4));
    if (G.IFIX(5) == 1) {
        G.PAR(5) = G.ETA0;
    } else if (built(DLG_FITCTRL)) {
        G.PAR(5) = value_of(FC_INPUT(5));
    }
    if (G.IFIX(6) == 1) {
        G.PAR(6) = G.A2RATIO;
    } else if (built(DLG_FITCTRL)) {
        G.PAR(6) = value_of(FC_INPUT(6));
    }
    WRITE_FIT_PARAMETERS();
}

void SET_DEFAULT_PARAMETERS() {
    READ_PARAMETERS();
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
    WRITE_FIT_PARAMETERS();
}

void WRITE_PKVALS() {
    if (!built(DLG_PKVALS)) return;
    show_value(PK_FWHMA, G.FWHMA);
    show_value(PK_FWHMB, G.FWHMB);
    show_value(PK_ETA, G.ETA0);
    show_value(PK_WAVE1, G.WAVE1);
    if (G.NWAVE == 2) {
        show_value(PK_RATIO, G.RATIO0);
        show_value(PK_WAVE2, G.WAVE2);
    } else {
        show_value(PK_WAVE2, 0.0);
    }
}

void READ_PKVALS() {
    if (!built(DLG_PKVALS)) return;
    G.FWHMA = value_of(PK_FWHMA);
    G.FWHMB = value_of(PK_FWHMB);
    G.ETA0 = value_of(PK_ETA);
    G.RATIO0 = value_of(PK_RATIO);
    G.A2RATIO = G.RATIO0;
    G.WAVE1 = value_of(PK_WAVE1);
    if (G.A2RATIO > 0.01) G.WAVE2 = value_of(PK_WAVE2);
}

void RUN_PKVALS(int& icancel) {
    const int dlg = wid(DLG_PKVALS);
    icancel = 1;
    if (dlg == 0) return;
    WRITE_PKVALS();
    GMDRAWWINDOW(dlg);
    GMSETACTIVEWINDOW(dlg);
    for (;;) {
        const int cmd = GMACTION();
        if (cmd == CMD_PK_SAVE) {
            READ_PKVALS();
            icancel = 0;
            break;
        }
        // Closing the main window while the box is up leaves it unstored
        // rather than waiting for a button that can no longer be pressed.
        if (cmd == CMD_PK_QUIT || cmd == GM_CLOSE) break;
    }
    GMREMOVEWINDOW(dlg);
    GMSETACTIVEWINDOW(G.MAINWIN);
}

void WRITE_BGVALS() {
    if (!built(DLG_BACKGROUND)) return;
    for (int mode = 0; mode <= 3; ++mode) GMSETTOGGLESWITCH(wid(BG_RADIO(mode)), G.IBACK == mode ? 1 : 0);
    show_value(BG_A, G.BGEXPA);
    show_value(BG_B, G.BGEXPB);
    show_value(BG_C, G.BGEXPC);
    show_value(BG_NSTEP, G.NBACK);
    const int exp_mode = G.IBACK == 2 ? 1 : 0;
    GMSETWIDGETSTATUS(wid(BG_A), exp_mode);
    GMSETWIDGETSTATUS(wid(BG_B), exp_mode);
    // c and the step count share one place in the box: the one the mode
    // needs is shown.
    GMSETWIDGETSTATUS(wid(BG_C), G.IBACK == 3 ? -1 : exp_mode);
    GMSETWIDGETSTATUS(wid(BG_NSTEP), G.IBACK == 3 ? 1 : -1);
}

void READ_BGVALS() {
    if (!built(DLG_BACKGROUND)) return;
    for (int mode = 0; mode <= 3; ++mode)
        if (toggle_of(BG_RADIO(mode)) == 1) G.IBACK = mode;
    if (G.IBACK == 2) {
        G.BGEXPA = value_of(BG_A);
        G.BGEXPB = value_of(BG_B);
        G.BGEXPC = value_of(BG_C);
    } else if (G.IBACK == 3) {
        const double nstep = value_of(BG_NSTEP);
        G.NBACK = std::isfinite(nstep) ? static_cast<int>(std::clamp(nstep, -99.0, 99.0)) : G.NBACK;
    }
}

}  // namespace tarnivox
