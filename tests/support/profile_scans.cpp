#include "support/profile_scans.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "core/store.h"
#include "import/stddata.h"
#include "ui/fit_settings.h"
#include "toolkit/script/script_backend.h"
#include "ui/widgets.h"
#include "ui/window_state.h"

namespace tarnivox::test {

void load_simulated_scan(const SimScan& s, CountRng* rng) {
    G.WAVE1 = s.wave1;
    G.WAVE2 = s.wave2;
    G.MONOSHIFT = s.mshift;
    G.NPTS = s.npts;
    G.STEP = s.step;
    G.SCALE = s.scale;
    G.ANGLES(1) = s.tth;
    G.ANGLES(2) = s.omega;
    G.RFLAG = 'S';
    for (int i = 1; i <= G.NPTS; ++i) G.STEPANG(i) = s.omega - (s.npts / 2) * s.step + (i - 1) * s.step;
    Arr1<double, MAXSTEPS> mean;
    model_counts(G.STEPANG, G.NPTS, s.truth, s.wave1, s.wave2, s.mshift, s.tth, mean);
    if (rng != nullptr) {
        draw_counts(*rng, mean, G.NPTS, G.COUNTS);
    } else {
        for (int i = 1; i <= G.NPTS; ++i) G.COUNTS(i) = mean(i);
    }
    derive_scan_values();
}

void load_counts(std::initializer_list<double> counts, double omega, double step, double tth) {
    G.NPTS = static_cast<int>(counts.size());
    G.STEP = step;
    G.SCALE = 1.0;
    G.ANGLES(1) = tth;
    G.ANGLES(2) = omega;
    int i = 0;
    for (double c : counts) G.COUNTS(++i) = c;
    derive_scan_values();
}

void make_fit_dialogs(std::string_view script) {
    auto backend = ScriptBackend::from_text(script);
    backend->echo = false;
    set_toolkit_backend(std::move(backend));
    WS.MAINWIN = GMCREATEMASTERWINDOW(0, 0, 40, 30, "Tarnivox", "main");
    const int fc = GMCREATECOMPLEXDIALOGUEBOX(WS.MAINWIN, 0, 0, 30, 12, "Fitting Controls & Results");
    wid(DLG_FITCTRL) = fc;
    auto value = [&](WidSlot s, const std::string& label, int cmd) {
        wid(s) = GMCREATEVALUEENTRY_REAL(fc, 0, 0, 3, 1, 0.0, 6, 3, cmd, label);
    };
    auto toggle = [&](WidSlot s, const std::string& label, int cmd) {
        wid(s) = GMCREATETOGGLEBUTTON(fc, 0, 0, 1, 1, label, 0, cmd);
    };
    for (int k = 1; k <= 7; ++k) {
        const std::string n = std::to_string(k);
        if (k <= 6) {
            value(FC_INPUT(k), "Input " + n, 0);
            toggle(FC_REFINE(k), "R " + n, 430 + k);
            toggle(FC_DEFAULT(k), "D " + n, 460 + k);
            value(FC_ESD(k), "Esd " + n, 0);
            value(FC_LOWER(k), "Lower " + n, 480 + k);
        }
        value(FC_REFINED(k), "Refined " + n, 0);
        toggle(FC_LIMIT_ON(k), "Limit " + n, 470 + k);
        value(FC_UPPER(k), "Upper " + n, 490 + k);
    }
    wid(FC_FLAGS) = GMCREATETEXTENTRY(fc, 0, 0, 3, 1, "", 6, 0, EntryKind::Display, "Flags");
    toggle(FC_SKIPWEAK, "Skip weak reflns", 428);

    const int pk = GMCREATECOMPLEXDIALOGUEBOX(WS.MAINWIN, 0, 0, 12, 8, "Peak parameter default values");
    wid(DLG_PKVALS) = pk;
    const WidSlot pk_slots[] = {PK_FWHMA, PK_FWHMB, PK_ETA, PK_RATIO, PK_WAVE1, PK_WAVE2};
    const char* pk_labels[] = {"a", "b", "Eta", "Iratio", "Wave1", "Wave2"};
    for (int i = 0; i < 6; ++i)
        wid(pk_slots[i]) = GMCREATEVALUEENTRY_REAL(pk, 0, 0, 3, 1, 0.0, 8, 6, 0, pk_labels[i]);
    wid(PK_QUIT) = GMCREATEPUSHBUTTON(pk, 0, 0, 3, 1, "Quit", 531);
    wid(PK_SAVE) = GMCREATEPUSHBUTTON(pk, 0, 0, 3, 1, "Save + Exit", 541);

    const int bg = GMCREATECOMPLEXDIALOGUEBOX(WS.MAINWIN, 0, 0, 12, 8, "Fixed Background Options");
    wid(DLG_BACKGROUND) = bg;
    const char* modes[] = {"None", "Spline", "Exp: BG = a exp(-b.2th) + c", "From scan using nstep_bg ="};
    for (int m = 0; m <= 3; ++m)
        wid(BG_RADIO(m)) = GMCREATERADIOBOX(bg, 0, 0, 6, 1, modes[m], m == 0, 562 + m, 1);
    wid(BG_A) = GMCREATEVALUEENTRY_REAL(bg, 0, 0, 3, 1, 0.0, 6, 3, 0, "a");
    wid(BG_B) = GMCREATEVALUEENTRY_REAL(bg, 0, 0, 3, 1, 0.0, 6, 3, 0, "b");
    wid(BG_C) = GMCREATEVALUEENTRY_REAL(bg, 0, 0, 3, 1, 0.0, 6, 3, 0, "c");
    wid(BG_NSTEP) = GMCREATEVALUEENTRY_REAL(bg, 0, 0, 3, 1, 0.0, 2, 0, 0, "nstep");
    wid(BG_QUIT) = GMCREATEPUSHBUTTON(bg, 0, 0, 3, 1, "Quit", 578);
    wid(BG_SAVE) = GMCREATEPUSHBUTTON(bg, 0, 0, 3, 1, "Save + Exit", 579);
}

void set_fit_flags(std::initializer_list<int> iref, std::initializer_list<int> ifix) {
    int k = 0;
    for (int f : iref) G.IREF(++k) = f;
    k = 0;
    for (int f : ifix) G.IFIX(++k) = f;
    G.ICHK.fill(0);
}

void set_dialog_flags(std::initializer_list<int> iref, std::initializer_list<int> ifix) {
    set_fit_flags(iref, ifix);
    WRITE_FIT_PARAMETERS();
}

}  // namespace tarnivox::test
