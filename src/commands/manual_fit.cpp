// "Manual profile fit": the user walks through the standard scan file one
// reflection at a time, refits with changed controls as often as wanted,
// and decides which reflections go to the intensity file.
#include "commands/manual_fit.h"

#include "commands/fit_loop.h"
#include "commands/window_messages.h"
#include "core/exitint.h"
#include "core/store.h"
#include "operations/manual_fit.h"
#include "operations/scan_walk.h"
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

}  // namespace

// The window's side of the walk: each button is read into a step, with
// the fit-control box as it stands, and the reflection reached is shown.
void START_MANUAL_FIT() {
    WindowMessages shown;
    ManualFit walk(shown);
    // Without a data set the box has said what to do; the main window
    // stays as it was.
    if (!walk.open()) return;
    WRITE_FIT_PARAMETERS();
    begin_fitting_window();
    panel_manual();
    if (have_reflection()) show_step(walk.step(move_request(ManualStep::Current)));
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
            case CMD_PREVIOUS: step = show_step(walk.step(move_request(ManualStep::Previous))); break;
            case CMD_ACCEPT: step = show_step(walk.step(move_request(ManualStep::Accept))); break;
            case CMD_NEXT: step = show_step(walk.step(move_request(ManualStep::Next))); break;
            case CMD_REJECT: step = show_step(walk.step(move_request(ManualStep::Reject))); break;
            case CMD_REFIT: {
                // The controls as they stand, typed start values included.
                ManualFitRequest refit;
                refit.step = ManualStep::Refit;
                refit.controls = fit_controls_in_box();
                refit.skip_weak = skip_weak_in_box();
                walk.step(refit);
                break;
            }
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
