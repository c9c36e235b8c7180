// The window's side of preprocessing and of the cell refinement: the boxes
// are read into requests, the operations run, and their results and
// messages are shown.

#include "commands/preprocess.h"

#include "commands/fit_loop.h"
#include "commands/window_messages.h"
#include "core/exitint.h"
#include "core/store.h"
#include "operations/preprocess.h"
#include "operations/scan_walk.h"
#include "ui/command_numbers.h"
#include "ui/dialogs.h"
#include "ui/fit_settings.h"
#include "ui/graphics.h"
#include "ui/plotscan.h"
#include "ui/preprocess_state.h"
#include "toolkit/toolkit.h"
#include "ui/widgets.h"

namespace tarnivox {
namespace {

constexpr int TICK_INTERVAL = 10;

// The reflection display of the main window during preprocessing: the
// indices and number fields with their captions and the four angles.
constexpr int DISPLAY_ITEMS[] = {5, 7, 9, 10, 13, 14, 15, 16, 17};

void running() {
    panel_status(1, 0);
    panel_status(18, 0);
    panel_status(19, 1);
    GMDEFINETIMERCALLBACK(TICK_INTERVAL, CMD_TICK);
}

void paused() {
    panel_status(1, 1);
    panel_status(18, 1);
    panel_status(19, 0);
    GMDEFINETIMERCALLBACK(TICK_INTERVAL, 0);
}

void stop_ticks() { GMDEFINETIMERCALLBACK(TICK_INTERVAL, 0); }

// The choices of the "Preprocessing Control" box; the fit controls are
// those of the "Fitting Controls & Results" box, read into the store.
PreprocessRequest preprocess_request() {
    READ_FIT_PARAMETERS();
    PreprocessRequest request;
    if (wid(PRE_ISIG) != 0) request.min_i_sigma = GMENQVALUESETTING(wid(PRE_ISIG));
    request.keep_strongest = G.PREPRAISE == 1;
    return request;
}

}  // namespace

void START_PREPROCESS() {
    // Without a data set there is nothing to preprocess: the box says what to do.
    WindowMessages shown;
    if (!data_set_to_walk(shown)) return;
    WRITE_FIT_PARAMETERS();
    if (have_reflection()) SET_FIT_PARAMETERS();
    WRITE_FIT_PARAMETERS();
    begin_fitting_window();
    const int box = wid(DLG_PREPROCESS);
    GMDRAWWINDOW(box);
    for (;;) {
        const int command = modal_box_action(box);
        switch (command) {
            case GM_CLOSE: EXITINT("");
            case CMD_PANEL_EXIT:
            case CMD_PRE_QUIT:
                GMREMOVEWINDOW(box);
                END_GRAPHICS();
                return;
            case CMD_PRE_GO: PREPROCESS(); return;
            default: fit_control_command(command); break;
        }
    }
}

void PREPROCESS() {
    const PreprocessRequest request = preprocess_request();
    // The boxes wait until the window has been set back after the run.
    MessageList messages;
    PreprocessRun run(request, messages);

    GMREMOVEWINDOW(wid(DLG_PREPROCESS));
    for (int item = 2; item <= 20; ++item) panel_status(item, -1);
    for (int item : DISPLAY_ITEMS) panel_status(item, 1);
    running();

    for (bool more = true; more;) {
        switch (GMACTION()) {
            case GM_CLOSE: stop_ticks(); EXITINT("");
            case CMD_STOP: paused(); break;
            case CMD_START: running(); break;
            case CMD_PANEL_EXIT:
                run.stop();
                more = false;
                break;
            case CMD_TICK:
                more = run.next();
                if (more) {
                    PLOTSCAN();
                    WRITE_REFINED_PARAMETERS();
                } else {
                    stop_ticks();
                }
                break;
            default: break;
        }
    }
    keep_typed_start_values();
    if (run.result().list_full) {
        // The list overflowed: the run is abandoned.
        show_messages(messages);
        panel_status(1, 1);
        END_GRAPHICS();
        return;
    }
    if (!run.result().stopped) panel_status(1, 1);
    END_GRAPHICS();
    show_messages(messages);
    SET_PREPROCESS(1, 0);
}

void UB_FIT() {
    if (G.NUBREF < 3) {
        WindowMessages shown;
        refine_cell({}, shown);
        return;
    }
    int go = 0, offsets = 0, zero = 0, isym = 0;
    for (;;) {
        RUN_REFINEMENT_BOX(go, offsets, zero, isym);
        if (go == 0) return;
        // A constrained refinement needs its crystal system: the box comes
        // back until one is chosen or the constraint is switched off.
        if (isym != 0 || GMENQTOGGLESWITCH(wid(REF_SYMMETRY)) != 1) break;
        GMDISPLAYERRORBOX("Tarnivox", "Symmetry constrained: choose a crystal system from the list");
    }
    RefineCellRequest request;
    request.offsets = offsets == 1;
    request.omega_zero = zero == 1;
    request.crystal_system = isym;

    WAITBOX(1);
    MessageList messages;
    const RefineCellResult result = refine_cell(request, messages);
    WAITBOX(0);
    show_messages(messages);
    if (!result.refined) return;
    RUN_RESULTS_BOX(result.reflections);
    if (const int h = wid(MENU_DELTA_D)) GMSETWIDGETSTATUS(h, 1);
}

}  // namespace tarnivox
