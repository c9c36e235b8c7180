// "Auto profile fit": every reflection of the standard scan file is fitted
// and written, one per timer tick, while the user watches the scan plot
// and may pause, resume, jump to a reflection or change the fit controls.
#include "commands/auto_fit.h"

#include "commands/fit_loop.h"
#include "commands/window_messages.h"
#include "core/exitint.h"
#include "core/store.h"
#include "operations/reduce.h"
#include "operations/scan_walk.h"
#include "ui/command_numbers.h"
#include "ui/files.h"
#include "ui/fit_settings.h"
#include "ui/graphics.h"
#include "toolkit/toolkit.h"

namespace tarnivox {
namespace {

constexpr int TIMER_INTERVAL = 50;

// Jump fields and their Go buttons, the reflection captions and angles.
constexpr int BROWSE_ITEMS[] = {5, 6, 7, 8, 9, 10, 13, 14, 15, 16, 17};

void panel_waiting() {
    panel_status(18, 1);
    panel_status(19, 0);
    panel_status(6, 1);
    panel_status(8, 1);
}

void panel_running() {
    panel_status(18, 0);
    panel_status(19, 1);
    // Jumps belong to a paused run: the position in the file is the progress.
    panel_status(6, 0);
    panel_status(8, 0);
}

void panel_initial() {
    for (int item = 2; item <= 20; ++item) panel_status(item, -1);
    for (int item : BROWSE_ITEMS) panel_status(item, 1);
    panel_waiting();
}

// false: the user cancelled the command.
bool make_sure_of_output_file() {
    while (G.OUTOPEN == 0) {
        const int answer =
            GMDISPLAYMESSAGEBOX("TARNIVOX", "No output datafile is open. Do you want to open a file?",
                                GM_ICON_INFORMATION, GM_BUTTONS_YESNOCANCEL);
        if (answer == GM_CANCEL) return false;
        if (answer != GM_YES) return true;  // go on without writing records
        OPEN_OUT();
    }
    return true;
}

void stop_timer() { GMDEFINETIMERCALLBACK(TIMER_INTERVAL, 0); }

}  // namespace

// The window's side of the run: the boxes are read into the request and
// the fit controls, the run fits one reflection per timer tick, and the
// scan and its fit are shown after each.
void START_AUTO_FIT() {
    if (!make_sure_of_output_file()) return;
    ReductionRequest request;
    request.from_first = false;  // the run starts on the reflection shown
    request.omit_rejected = G.REJOUT == 0;
    WindowMessages shown;
    // The user may type into "Fitting Controls & Results" at any time:
    // each reflection's start values come from the box.
    ReductionRun run(request, shown, [] {
        SET_FIT_PARAMETERS();
        READ_FIT_PARAMETERS();
    });
    int icancel = 0;
    RUN_PKVALS(icancel);
    if (icancel == 1) return;
    WRITE_FIT_PARAMETERS();
    if (have_reflection()) SET_FIT_PARAMETERS();
    WRITE_FIT_PARAMETERS();
    begin_fitting_window();
    panel_initial();
    show_fit();

    for (;;) {
        const int command = GMACTION();
        bool leave = false;
        switch (command) {
            case GM_CLOSE: stop_timer(); EXITINT("");
            case CMD_PANEL_EXIT:
                stop_timer();
                run.finish(true);
                END_GRAPHICS();
                return;
            case CMD_START:
                panel_running();
                GMDEFINETIMERCALLBACK(TIMER_INTERVAL, CMD_TICK);
                // A reflection already written before the pause is neither
                // written again nor refitted: the file holds each measurement
                // once and the summary counts it once.
                if (have_reflection() && !run.current_written()) run.next();
                break;
            case CMD_STOP:
                panel_waiting();
                stop_timer();
                break;
            case CMD_TICK: leave = !run.next(); break;
            case CMD_GO_HKL:
            case CMD_GO_ISEQ: {
                // A reflection reached by a jump is fitted and shown, neither
                // written nor counted: the summary counts what the file holds.
                const FittingState counted = G;
                leave = jump_and_fit(command) == FitStep::Leave;
                G.NFITC = counted.NFITC;
                G.NPASS2 = counted.NPASS2;
                break;
            }
            default: fit_control_command(command); break;
        }
        if (leave) break;
        show_fit();
    }

    stop_timer();
    panel_status(18, 1);
    END_GRAPHICS();
}

}  // namespace tarnivox
