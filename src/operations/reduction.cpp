#include "operations/reduction.h"

#include "core/exitint.h"
#include "io/units.h"

namespace tarnivox {

ReductionResult reduce_data_file(const OpenDataSetRequest& input, const ReductionRequest& request,
                                 Progress& progress, Messages& messages) {
    close_all_units();
    reset_store();
    ReductionResult r;
    try {
        const OpenDataSetResult opened = open_data_set(input, messages);
        if (!opened.opened) {
            r.failure = opened.failure;
        } else if (opened.read == 0) {
            r.failure = "No reflection read from data file";
        } else {
            r = reduce(request, progress, messages);
        }
    } catch (const ProgramEnd& end) {
        r.complete = false;
        // The message with the place of the file at fault, as the batch gives it.
        r.failure = shown_text_with_place(end);
        if (r.failure.empty()) r.failure = end.message;
    }
    // The log is finished with the run; an unfinished output stays NAME.partial.
    if (r.complete)
        close_all_units();
    else
        abandon_all_units();
    return r;
}

}  // namespace tarnivox
