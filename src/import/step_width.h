#pragma once
// The omega step width of a data file that does not carry it (Huber, Febo).
// The reader asks whoever opened the file: a run without a window (the
// batch, a library user) supplies it as a source; without one the window's
// "Omega step size" box asks the user.

#include <functional>

namespace tarnivox {

using StepWidthSource = std::function<double()>;

// Installs the source; an empty one returns to the box.
void set_step_width_source(StepWidthSource source);

// The step width for the file being read, recorded in the log.
void ASK_STEP_WIDTH(double& step);

}  // namespace tarnivox
