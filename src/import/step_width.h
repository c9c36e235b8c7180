#pragma once
// The omega step width of a data file that does not carry it (Huber, Febo).
// The reader asks whoever opened the file, through the source it installed:
// the window asks the user in its "Omega step size" box, a run without a
// window (the batch, a library user) gives the value it was told.  The step
// given is written to the log, as the intensities are integrated with it.

#include <functional>

namespace tarnivox {

// Gives the step width in degrees.
using StepWidthSource = std::function<double()>;

// Installs the source; an empty one leaves none.  Every store reset
// removes it: a source belongs to the run that installed it.
void set_step_width_source(StepWidthSource source);
StepWidthSource current_step_width_source();

// The step width for the file being read, recorded in the log.  False when
// no source is installed: `step` is left as it was, and the reader refuses
// the header rather than integrate with a step nobody gave.
bool ASK_STEP_WIDTH(double& step);

}  // namespace tarnivox
