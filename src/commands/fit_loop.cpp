#include "commands/fit_loop.h"

#include <cmath>
#include <string>

#include "commands/window_messages.h"
#include "core/store.h"
#include "io/layout.h"
#include "io/units.h"
#include "operations/fit_controls.h"
#include "operations/scan_walk.h"
#include "ui/command_numbers.h"
#include "ui/fit_settings.h"
#include "ui/plotscan.h"
#include "toolkit/toolkit.h"
#include "ui/widgets.h"

namespace tarnivox {

ManualFitRequest move_request(ManualStep step) {
    ManualFitRequest request;
    request.step = step;
    request.controls = start_choices_in_box();
    request.skip_weak = skip_weak_in_box();
    return request;
}

FitStep show_step(const ManualFitResult& r) {
    if (r.ended) return FitStep::Leave;
    if (!r.fitted) return FitStep::Ignored;
    show_fit_controls(r.start);
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
    ManualFitRequest request = move_request(ManualStep::ToNumber);
    if (command == CMD_GO_HKL) {
        const std::string text = wid(PANEL(5)) != 0 ? GMENQTEXTSETTING(wid(PANEL(5))) : std::string();
        int h[3];
        if (!parse_hkl(text, h)) return FitStep::Ignored;
        request.step = ManualStep::ToIndices;
        request.hkl = {h[0], h[1], h[2]};
    } else {
        const double v = wid(PANEL(7)) != 0 ? GMENQVALUESETTING(wid(PANEL(7))) : 0.0;
        if (!std::isfinite(v) || std::fabs(v) > 1.0e9) return FitStep::Ignored;
        request.number = static_cast<int>(std::lround(v));
    }
    WindowMessages shown;
    ManualFit walk(shown);
    if (!walk.open()) return FitStep::Leave;
    return show_step(walk.step(request));
}

bool fit_control_command(int command) {
    if (command == CMD_FC_RESET) {
        if (have_reflection()) {
            WindowMessages shown;
            reset_fit_controls(shown);
            WRITE_FIT_PARAMETERS();
        }
        return true;
    }
    if (command >= CMD_FC_FIRST && command <= CMD_FC_LAST) {
        change_fit_controls(fit_controls_in_box(), skip_weak_in_box());
        if (have_reflection()) WRITE_FIT_PARAMETERS();
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
