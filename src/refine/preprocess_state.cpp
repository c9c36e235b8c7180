// Whether a refinement list of fitted strong reflections exists, and the
// menu entries that need one.

#include "core/store.h"
#include "refine/commands.h"
#include "ui/toolkit/toolkit.h"
#include "ui/widgets.h"

namespace tarnivox {
namespace {

// Menu entries counted in menu order, separators included.
constexpr int kZref = 14;
constexpr int kCalcUb = 15;
constexpr int kCalcBackground = 16;
constexpr int kCalcFwhm = 17;
constexpr int kDeltaD = 18;

void set_entry(int entry, int status) {
    const int handle = wid(MENU_ENTRY(entry));
    if (handle != 0) GMSETWIDGETSTATUS(handle, status);
}

}  // namespace

// IFLAG 0: a new data set, no list yet.  Otherwise a list is stored; the
// delta-d check also needs the orientation matrix.  IOPT 1: the list came
// from the zero-point refinement, which is not offered again on it.
void SET_PREPROCESS(int iflag, int iopt) {
    if (iflag == 0) {
        G.PREPFLAG = 0;
        for (int entry : {kCalcUb, kCalcFwhm, kZref, kDeltaD}) set_entry(entry, 0);
    } else {
        G.PREPFLAG = 1;
        for (int entry : {kCalcUb, kCalcBackground, kCalcFwhm, kZref}) set_entry(entry, 1);
        if (G.UBFLAG != 0) set_entry(kDeltaD, 1);
    }
    if (iopt == 1) set_entry(kZref, 0);
}

}  // namespace tarnivox
