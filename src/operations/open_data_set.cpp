#include "operations/open_data_set.h"

#include <filesystem>
#include <utility>

#include "core/store.h"
#include "import/convert.h"
#include "import/stddata.h"
#include "import/step_width.h"
#include "io/file_records.h"
#include "io/units.h"
#include "output/log_file.h"
#include "params/parameters.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;

// The folder with its separator, as the program keeps WORKDIR.
std::string folder_of(const std::string& path) {
    const std::string parent = fs::path(path).parent_path().string();
    return parent.empty() ? parent : parent + "/";
}

std::string name_of(const std::string& path) { return fs::path(path).filename().string(); }

// The step width the request gives, for the import of a file without one;
// the source installed before (the window's box) comes back after.
class StepWidthGiven {
public:
    explicit StepWidthGiven(double step) : previous_(current_step_width_source()) {
        set_step_width_source([step] { return step; });
    }
    ~StepWidthGiven() { set_step_width_source(std::move(previous_)); }
    StepWidthGiven(const StepWidthGiven&) = delete;
    StepWidthGiven& operator=(const StepWidthGiven&) = delete;

private:
    StepWidthSource previous_;
};

// The smallest omega step the program takes, as its step-size box does.
constexpr double SMALLEST_STEP = 0.001;

OpenDataSetResult failed(OpenDataSetResult r, std::string_view title, std::string text, Messages& messages) {
    r.failure = text;
    messages.message(Message{std::string(title), std::move(text), MessageKind::Error});
    return r;
}

}  // namespace

OpenDataSetResult open_data_set(const OpenDataSetRequest& request, Messages& messages) {
    MessageRoute route(messages);
    OpenDataSetResult r;
    if (G.LUSCR == 0) G.LUSCR = LU_SCAN;
    // Huber and Febo files do not carry their step width: it must be given.
    const InputFormat* format = input_format(request.format);
    const bool needs_step = format != nullptr && format->asks_step;
    if (needs_step && !request.step)
        return failed(r, "Tarnivox", "The omega step width of this data file must be given", messages);
    if (needs_step && !(*request.step >= SMALLEST_STEP))
        return failed(r, "Tarnivox", "  Step size too small", messages);

    // The data file, and the log named after it.
    if (G.INOPEN == 1) close_unit(LU_INPUT);
    G.INOPEN = 0;
    if (open_unit(LU_INPUT, request.data, OpenMode::Read) != 0)
        return failed(r, "Tarnivox", "Error opening file: Try again", messages);
    G.WORKDIR = folder_of(request.data);
    G.INFILE = name_of(request.data);
    G.INOPEN = 1;
    // A new data set has no refinement list yet.
    G.PREPFLAG = 0;
    if (const std::string failure = open_automatic_log(request.data, request.log); failure.empty())
        r.log = request.log.empty() ? automatic_log_path(request.data) : request.log;
    else
        messages.message(Message{"Tarnivox", failure, MessageKind::Error});
    G.INFMT = request.format;

    // The instrument parameter file.
    close_unit(LU_PARAM);
    if (open_unit(LU_PARAM, request.parameters, OpenMode::Read) != 0)
        return failed(
            r, "ERROR",
            "Error opening file: Try again\n" + name_of(request.parameters) + ": " + open_failure_reason(),
            messages);
    log_parameter_file_opened(name_of(request.parameters));
    READ_PARAMETERS();

    // The import, then the first reflection into the scan record.
    const StepWidthGiven step(request.step.value_or(SMALLEST_STEP));
    int status = 0;
    CONVERT_FILE(status);
    if (G.LOGOPEN == 1) WRITE_INPUT(LU_LOG);
    status = 0;
    SKIP_HEADER_STDDATA(G.LUSCR, status);
    const Arr1<int, 3> none;
    status = 0;
    READ_SCAN_STDDATA(G.LUSCR, 0, 0, none, status);
    G.WALKED = 0;

    r.opened = true;
    r.read = G.NREFREAD;
    r.refused = G.NREFBAD;
    r.title = std::string(G.TITLE.str());
    r.ub_known = G.UBFLAG == 1;
    for (int i = 1; i <= 7; ++i) r.cell[static_cast<std::size_t>(i - 1)] = G.CELL(i);
    return r;
}

bool open_log(const std::string& path, Messages& messages) {
    MessageRoute route(messages);
    if (open_chosen_log(path) == 0) {
        WRITE_LOG_HEADER();
        return true;
    }
    messages.message(Message{"ERROR", "Error opening LOG file: Try again", MessageKind::Error});
    return false;
}

}  // namespace tarnivox
