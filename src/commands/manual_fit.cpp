// "Manual profile fit": the user walks through the standard scan file one
// reflection at a time, refits with changed controls as often as wanted,
// and decides which reflections go to the intensity file.
#include "commands/manual_fit.h"

#include <string>

#include "commands/fit_loop.h"
#include "core/exitint.h"
#include "core/store.h"
#include "operations/scan_walk.h"
#include "output/intensity_file.h"
#include "ui/command_numbers.h"
#include "ui/files.h"
#include "ui/fit_settings.h"
#include "ui/graphics.h"
#include "toolkit/toolkit.h"

namespace tarnivox {
namespace {

void panel_manual() {
    for (int item = 2; item <= 17; ++item) panel_status(item, 1);
    panel_status(18, -1);
    panel_status(19, -1);
    panel_status(20, 1);
    // Accepting (and its counterpart) needs a file to write to.
    const int usable = G.OUTOPEN == 1 ? 1 : 0;
    panel_status(11, usable);
    panel_status(12, usable);
}

// An accepted reflection is written as passed whatever the tests said:
// outcome "F", no rejection letter.
void mark_accepted() {
    std::string st = G.FITSTAT.padded();
    st[0] = 'F';
    st[1] = ' ';
    G.FITSTAT = st;
}

}  // namespace

void START_MANUAL_FIT() {
    G.FITMODE = 2;
    WRITE_FIT_PARAMETERS();
    if (have_reflection()) SET_FIT_PARAMETERS();
    WRITE_FIT_PARAMETERS();
    begin_fitting_window();
    panel_manual();
    if (have_reflection()) fit_current();
    show_fit();

    for (;;) {
        const int command = GMACTION();
        FitStep step = FitStep::Fitted;
        switch (command) {
            case GM_CLOSE: EXITINT("");
            case CMD_PANEL_EXIT:
                keep_typed_start_values();
                END_GRAPHICS();
                return;
            case CMD_PREVIOUS: step = step_and_fit(-1); break;
            case CMD_ACCEPT:
                if (have_reflection()) {
                    // A fit the tests rejected left no intensity of its own:
                    // the accepted record carries the summation over the
                    // expected peak.
                    const bool rejected = G.FITSTAT.padded()[0] == 'R';
                    mark_accepted();
                    write_int(rejected);
                }
                step = step_and_fit(0);
                break;
            case CMD_NEXT:
            case CMD_REJECT: step = step_and_fit(0); break;
            case CMD_REFIT:
                if (have_reflection()) fit_current();
                break;
            case CMD_GO_HKL:
            case CMD_GO_ISEQ: step = jump_and_fit(command); break;
            case CMD_EXPORT: EXPORT_SCAN(); break;
            default: fit_control_command(command); break;
        }
        if (step == FitStep::Leave) break;
        show_fit();
    }
    keep_typed_start_values();
    END_GRAPHICS();
}

}  // namespace tarnivox
