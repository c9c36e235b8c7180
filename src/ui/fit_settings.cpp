#include "ui/fit_settings.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "core/store.h"
#include "fitting/start_values.h"
#include "params/parameters.h"
#include "ui/command_numbers.h"
#include "ui/modal.h"
#include "toolkit/toolkit.h"
#include "ui/widgets.h"
#include "ui/window_state.h"

namespace tarnivox {

namespace {

double value_of(WidSlot s) { return GMENQVALUESETTING(wid(s)); }
int toggle_of(WidSlot s) { return GMENQTOGGLESWITCH(wid(s)) != 0 ? 1 : 0; }
void show_value(WidSlot s, double v) { GMSETVALUESETTING_REAL(wid(s), v); }

// The routines that exchange values with a dialog leave the store as it is
// when the dialog has not been built (no windows, as in batch checks).
bool built(WidSlot dialog) { return wid(dialog) != 0; }

void read_switches(FitControls& c) {
    for (int k = 1; k <= 6; ++k) {
        c.IREF(k) = toggle_of(FC_REFINE(k));
        c.IFIX(k) = toggle_of(FC_DEFAULT(k));
    }
}

}  // namespace

FitControls fit_controls_in_box() {
    FitControls c = G;
    if (!built(DLG_FITCTRL)) return c;
    read_switches(c);
    for (int k = 1; k <= 6; ++k) c.PAR(k) = value_of(FC_INPUT(k));
    for (int k = 1; k <= 7; ++k) c.ICHK(k) = toggle_of(FC_LIMIT_ON(k));
    for (int k = 1; k <= 6; ++k) {
        if (c.ICHK(k) == 1) {
            c.PARLO(k) = value_of(FC_LOWER(k));
            c.PARHI(k) = value_of(FC_UPPER(k));
        }
    }
    if (c.ICHK(CHK_RWP) == 1) c.RWPLIM = value_of(FC_UPPER(CHK_RWP));
    return c;
}

FitControls start_choices_in_box() {
    FitControls c = G;
    if (!built(DLG_FITCTRL)) return c;
    read_switches(c);
    for (int k : {P_FWHM, P_ETA, P_IRATIO}) c.PAR(k) = value_of(FC_INPUT(k));
    return c;
}

int skip_weak_in_box() { return built(DLG_FITCTRL) ? toggle_of(FC_SKIPWEAK) : G.SKIPWEAK; }

void READ_FIT_PARAMETERS() {
    if (!built(DLG_FITCTRL)) return;
    static_cast<FitControls&>(G) = fit_controls_in_box();
    G.SKIPWEAK = skip_weak_in_box();
}

void show_fit_controls(const FitControls& c) {
    if (!built(DLG_FITCTRL)) return;
    for (int k = 1; k <= 6; ++k) {
        show_value(FC_INPUT(k), c.PAR(k));
        GMSETTOGGLESWITCH(wid(FC_REFINE(k)), c.IREF(k));
        GMSETTOGGLESWITCH(wid(FC_DEFAULT(k)), c.IFIX(k));
    }
    for (int k = 1; k <= 7; ++k) {
        const int on = c.ICHK(k) == 1 ? 1 : 0;
        GMSETTOGGLESWITCH(wid(FC_LIMIT_ON(k)), on);
        if (k <= 6) {
            GMSETWIDGETSTATUS(wid(FC_LOWER(k)), on);
            GMSETWIDGETSTATUS(wid(FC_UPPER(k)), on);
            if (on == 1) {
                show_value(FC_LOWER(k), c.PARLO(k));
                show_value(FC_UPPER(k), c.PARHI(k));
            }
        } else {
            GMSETWIDGETSTATUS(wid(FC_UPPER(CHK_RWP)), on);
            if (on == 1) show_value(FC_UPPER(CHK_RWP), c.RWPLIM);
        }
    }
    GMSETTOGGLESWITCH(wid(FC_SKIPWEAK), G.SKIPWEAK);
    GMDRAWWINDOW(wid(DLG_FITCTRL));
}

void WRITE_FIT_PARAMETERS() { show_fit_controls(G); }

void WRITE_REFINED_PARAMETERS() {
    if (!built(DLG_FITCTRL)) return;
    for (int k = 1; k <= 6; ++k) {
        show_value(FC_REFINED(k), G.PAR(k));
        show_value(FC_ESD(k), G.PARESD(k));
    }
    show_value(FC_REFINED(7), G.RWP);
    std::string flags(1, G.RFLAG_SAVE);
    flags += G.FITSTAT.padded();
    GMSETTEXTSETTING(wid(FC_FLAGS), flags);
}

void SET_FIT_PARAMETERS() {
    if (built(DLG_FITCTRL)) {
        const FitControls c = start_choices_in_box();
        for (int k = 1; k <= 6; ++k) {
            G.IREF(k) = c.IREF(k);
            G.IFIX(k) = c.IFIX(k);
        }
        G.SKIPWEAK = skip_weak_in_box();
        const TypedStartValues typed{c.PAR(P_FWHM), c.PAR(P_ETA), c.PAR(P_IRATIO)};
        set_start_values(&typed);
    } else {
        set_start_values(nullptr);
    }
    WRITE_FIT_PARAMETERS();
}

void SET_DEFAULT_PARAMETERS() {
    READ_PARAMETERS();
    set_default_start_values();
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
    // Closing the main window while the box is up leaves it unstored.
    if (wait_modal(dlg, {CMD_PK_QUIT, CMD_PK_SAVE}, CMD_PK_QUIT) == CMD_PK_SAVE) {
        READ_PKVALS();
        icancel = 0;
    }
    GMREMOVEWINDOW(dlg);
    GMSETACTIVEWINDOW(WS.MAINWIN);
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
