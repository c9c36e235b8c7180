#include "commands/fit_loop.h"

#include <cmath>
#include <string>

#include "operations/scan_walk.h"
#include "core/store.h"
#include "fitting/fitscan.h"
#include "import/reader_status.h"
#include "io/layout.h"
#include "io/units.h"
#include "ui/command_numbers.h"
#include "ui/fit_settings.h"
#include "ui/plotscan.h"
#include "toolkit/toolkit.h"
#include "ui/widgets.h"

namespace tarnivox {
namespace {

// The user has placed the scan file on this reflection.
void set_and_fit() {
    G.WALKED = 0;
    SET_FIT_PARAMETERS();
    fit_current();
}

}  // namespace

void fit_current() {
    READ_FIT_PARAMETERS();
    FIT_REFLECTION();
}

FitStep step_and_fit(int mode) {
    const Arr1<int, 3> none;
    const int status = read_reflection(mode, 0, none, false);
    if (ends_walk(status)) return FitStep::Leave;
    if (!have_reflection()) return FitStep::Ignored;
    set_and_fit();
    return FitStep::Fitted;
}

bool parse_hkl(std::string_view text, int hkl[3]) {
    std::string s(text);
    if (s.size() > 20) s.resize(20);  // the entry holds 20 characters
    int h = 0, k = 0, l = 0, nread = 0;
    if (read_free(s, {&h, &k, &l}, &nread) != READ_OK || nread != 3) return false;
    hkl[0] = h;
    hkl[1] = k;
    hkl[2] = l;
    return true;
}

FitStep jump_and_fit(int command) {
    Arr1<int, 3> hkl;
    int nref = 0;
    int mode = 0;
    if (command == CMD_GO_HKL) {
        const std::string text = wid(PANEL(5)) != 0 ? GMENQTEXTSETTING(wid(PANEL(5))) : std::string();
        int h[3];
        if (!parse_hkl(text, h)) return FitStep::Ignored;
        hkl = Arr1<int, 3>{{h[0], h[1], h[2]}};
        mode = 2;
    } else {
        const double v = wid(PANEL(7)) != 0 ? GMENQVALUESETTING(wid(PANEL(7))) : 0.0;
        if (!std::isfinite(v) || std::fabs(v) > 1.0e9) return FitStep::Ignored;
        nref = static_cast<int>(std::lround(v));
        mode = 1;
    }
    const int before = G.NREF;
    int status = read_reflection(mode, nref, hkl, false);
    if (ends_walk(status)) return FitStep::Leave;
    if (status == READER_NOT_FOUND) {
        // Not in the data set: go back to the reflection shown before.
        status = read_reflection(1, before, hkl, false);
        if (status == READER_READ_ERROR) return FitStep::Leave;
    }
    if (!have_reflection()) return FitStep::Ignored;
    set_and_fit();
    return FitStep::Fitted;
}

bool fit_control_command(int command) {
    if (command == CMD_FC_RESET) {
        if (have_reflection()) SET_DEFAULT_PARAMETERS();
        return true;
    }
    if (command >= CMD_FC_FIRST && command <= CMD_FC_LAST) {
        READ_FIT_PARAMETERS();
        if (have_reflection()) SET_FIT_PARAMETERS();
        return true;
    }
    return false;
}

void show_fit() {
    PLOTSCAN();
    WRITE_REFINED_PARAMETERS();
}

void panel_status(int item, int status) {
    if (const int h = wid(PANEL(item))) GMSETWIDGETSTATUS(h, status);
}

void keep_typed_start_values() { READ_FIT_PARAMETERS(); }

void begin_fitting_window() {
    for (int m = 1; m <= 4; ++m)
        if (const int h = wid(MENU_TITLE(m))) GMSETWIDGETSTATUS(h, 0);
    if (const int h = wid(DLG_FITCTRL)) GMDRAWWINDOW(h);
}

}  // namespace tarnivox
