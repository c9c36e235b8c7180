#pragma once
// The scan plot in the main window's graphics frame: observed counts, the
// alpha1 and alpha2 components of the current profile, the fitted profile,
// background-limit and peak-position marks, and the panel fields of the
// reflection shown.

#include "core/array.h"
#include "core/store.h"

namespace tarnivox {

// Draws the current scan and fills the panel's hkl, number and angle fields.
void PLOTSCAN();

// out(i) = par(1) + par(3) c PSVOIGT(x(i); par(4), par(5), par(2)) for
// i = 1..n, with c = 1 for mode 1 (alpha1) and c = par(6) for mode 2 (the
// alpha2 component; the caller puts the alpha2 position into par(4)).
void CALC_PROFILE(int mode, const Arr1<double, MAXSTEPS>& x, const Arr1<double, 6>& par, int n,
                  Arr1<double, MAXSTEPS>& out);

// Polyline through (XSCALE (x(i) - x(1)), YSCALE y(i) + XAXISY), i = 1..n.
void PLOT_DATA(const Arr1<double, MAXSTEPS>& x, const Arr1<double, MAXSTEPS>& y, int n, int colour);

// Activates and clears the graphics frame and reads its size into FRAMEW
// and FRAMEH.
void PLOT_START();

}  // namespace tarnivox
