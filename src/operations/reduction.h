#pragma once
// Reducing a data file from another C++ program: open the data set in its
// format with its instrument parameter file, fit every reflection and write
// the intensity file, in one call.  The messages the window would show
// arrive in `messages`; `progress` hears each reflection and may stop the
// run (the file written so far is then kept as NAME.partial).
//
// The README shows a whole program.  Each call starts from a clean program state; the program state is one
// per process, so calls run one after another, not in parallel threads.

#include "operations/open_data_set.h"
#include "operations/reduce.h"

namespace tarnivox {

// The plan of a whole reduction, before any work: the data and parameter
// files readable, an output named and writable, and no output (the
// intensity file, its NAME.partial, the log) that is an input or another
// output.  Empty: fine; otherwise the reason, as the batch words it.
std::string plan_reduction(const OpenDataSetRequest& input, const ReductionRequest& request);

// Opens the data set and reduces it, after plan_reduction (a refused plan
// writes nothing and says why in `failure`).  A data set that cannot be opened, or
// has no reflection, writes nothing and says why in `failure`; an error
// that ends the program's run (a full disk) ends the call the same way.
ReductionResult reduce_data_file(const OpenDataSetRequest& input, const ReductionRequest& request,
                                 Progress& progress, Messages& messages);

}  // namespace tarnivox
