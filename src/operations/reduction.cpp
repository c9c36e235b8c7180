#include "operations/reduction.h"

#include <filesystem>

#include "core/exitint.h"
#include "io/file_records.h"
#include "operations/output_plan.h"
#include "io/units.h"

namespace tarnivox {

namespace {

namespace fs = std::filesystem;

std::string absolute(const std::string& path) {
    std::error_code ec;
    const fs::path a = fs::absolute(path, ec);
    return ec ? path : a.lexically_normal().string();
}

}  // namespace

std::string plan_reduction(const OpenDataSetRequest& input, const ReductionRequest& request) {
    if (request.output.empty()) return "no output file given: name the intensity file to write";
    const std::string data = absolute(input.data), par = absolute(input.parameters), out = absolute(request.output);
    if (std::string e = unreadable_file("data file", data); !e.empty()) return e;
    if (std::string e = unreadable_file("parameter file", par); !e.empty()) return e;
    if (std::string e = unwritable_file("output", out); !e.empty()) return e;
    const std::string of = " of " + fs::path(data).filename().string();
    const std::string log = input.log.empty() ? automatic_log_path(data) : absolute(input.log);
    OutputPlan plan;
    plan.add("parameter file", par, false);
    plan.add("data file", data, false);
    plan.add("output" + of, out, true);
    plan.add("unfinished output" + of, out + ".partial", true);
    plan.add("log" + of, log, true);
    return plan.collision();
}

ReductionResult reduce_data_file(const OpenDataSetRequest& input, const ReductionRequest& request,
                                 Progress& progress, Messages& messages) {
    close_all_units();
    reset_store();
    ReductionResult r;
    // Refused before anything is opened or written, as the batch refuses it.
    if (std::string refused = plan_reduction(input, request); !refused.empty()) {
        r.failure = refused;
        messages.message(Message{"Tarnivox", refused, MessageKind::Error});
        return r;
    }
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
