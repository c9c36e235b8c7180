#pragma once
// The window's own state: the handles of the main window, the graphics
// frame and every widget, and the geometry of the plot frame.  None of it
// is data of a reduction, so it lives with the window code rather than in
// the program's store; the numerics and the operations never see it.

#include "core/array.h"

namespace tarnivox {

struct WindowState {
    int MAINWIN = 0;
    int GFRAME = 0;
    Arr2<int, 10, 120> WID;  // widget handles by (group, item)
    int NPANEL = 20;
    double FRAMEW = 300.0;
    double FRAMEH = 200.0;
    double XAXISY = 20.0;
    double XSCALE = 0.0;  // plot scale factors shared by the scan and data-set plots
    double YSCALE = 0.0;
};

// The one window of this program.  reset_store() returns it to its start
// values together with the store, as a fresh program start would.
extern WindowState WS;

}  // namespace tarnivox
