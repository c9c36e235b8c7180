// Whether a refinement list of fitted strong reflections exists, and the
// menu entries that need one.
#include "ui/preprocess_state.h"

#include "core/store.h"
#include "toolkit/toolkit.h"
#include "ui/widgets.h"

namespace tarnivox {
namespace {

void set_entry(WidSlot entry, int status) {
    const int handle = wid(entry);
    if (handle != 0) GMSETWIDGETSTATUS(handle, status);
}

}  // namespace

// IFLAG 0: a new data set, no list yet.  Otherwise a list is stored; the
// delta-d check also needs the orientation matrix.  IOPT 1: the list came
// from the zero-point refinement, which is not offered again on it.
void SET_PREPROCESS(int iflag, int iopt) {
    if (iflag == 0) {
        G.PREPFLAG = 0;
        for (WidSlot entry : {MENU_CALC_UB, MENU_CALC_FWHM, MENU_ZREF, MENU_DELTA_D}) set_entry(entry, 0);
    } else {
        G.PREPFLAG = 1;
        for (WidSlot entry : {MENU_CALC_UB, MENU_CALC_BACKGROUND, MENU_CALC_FWHM, MENU_ZREF})
            set_entry(entry, 1);
        if (G.UBFLAG != 0) set_entry(MENU_DELTA_D, 1);
    }
    if (iopt == 1) set_entry(MENU_ZREF, 0);
}

}  // namespace tarnivox
