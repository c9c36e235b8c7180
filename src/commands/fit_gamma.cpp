#include "commands/fit_gamma.h"

#include "commands/window_messages.h"
#include "core/exitint.h"
#include "core/store.h"
#include "operations/fwhm_law.h"
#include "ui/command_numbers.h"
#include "toolkit/toolkit.h"
#include "ui/widgets.h"
#include "ui/window_state.h"

namespace tarnivox {

void FIT_GAMMA() {
    WindowMessages shown;
    // Without a refinement list the operation says so, and no box follows.
    if (G.PREPFLAG != 1) {
        fit_fwhm_law(shown);
        return;
    }
    const FwhmLawResult law = fit_fwhm_law(shown);
    GMSETVALUESETTING_REAL(wid(FW_A), law.a);
    GMSETVALUESETTING_REAL(wid(FW_B), law.b);
    GMSETVALUESETTING_REAL(wid(FW_ESDA), law.esd_a);
    GMSETVALUESETTING_REAL(wid(FW_ESDB), law.esd_b);
    const int box = wid(DLG_FWHM);
    GMDRAWWINDOW(box);
    GMSETACTIVEWINDOW(box);
    for (;;) {
        const int command = modal_box_action(box);
        if (command == GM_CLOSE) EXITINT("");
        if (command == CMD_FW_QUIT) break;
        if (command == CMD_FW_SAVE) {
            // The values as the user may have edited them.
            save_fwhm_law(GMENQVALUESETTING(wid(FW_A)), GMENQVALUESETTING(wid(FW_B)));
            break;
        }
    }
    GMREMOVEWINDOW(box);
    GMSETACTIVEWINDOW(WS.MAINWIN);
}

}  // namespace tarnivox
