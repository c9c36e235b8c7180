// "Report": the window's adapter of the report operation.  The automatic
// run keeps its result (with the outcome of every reflection) in LAST_RUN;
// the report is built from it, the refinement in the store and the fit
// controls' width law, as the batch's --report is.
#include "commands/report.h"

#include <filesystem>
#include <system_error>

#include "core/store.h"
#include "import/formats.h"
#include "operations/run_report.h"
#include "toolkit/toolkit.h"

namespace tarnivox {

ReportableRun LAST_RUN;

namespace {

const bool registered = [] {
    register_outside_state_reset([] { LAST_RUN = ReportableRun{}; });
    return true;
}();

// The window's choices that shaped the run, for the report's table.
std::vector<std::pair<std::string, std::string>> window_choices(const ReductionResult& r) {
    std::vector<std::pair<std::string, std::string>> v;
    v.emplace_back("run", "Auto profile fit in the window");
    if (!r.output.empty()) v.emplace_back("output", r.output);
    v.emplace_back("rejected", G.REJOUT == 0 ? "omit" : "summation");
    return v;
}

}  // namespace

std::string open_data_file_path() {
    const std::filesystem::path p = std::string(G.WORKDIR.str()) + std::string(G.INFILE.str());
    std::error_code ec;
    const std::filesystem::path whole = std::filesystem::absolute(p, ec);
    return (ec ? p : whole).lexically_normal().string();
}

bool last_run_of_open_data_set() {
    return LAST_RUN.done && G.INOPEN == 1 && LAST_RUN.data_file == open_data_file_path();
}

RunReportRequest window_report_request() {
    RunReportRequest request;
    const std::string data = open_data_file_path();
    request.html = report_path_beside(data);
    request.data_file = data;
    const InputFormat* format = input_format(G.INFMT);
    request.format = format ? std::string(format->name) : std::string();
    request.options = window_choices(LAST_RUN.result);
    request.read = G.NREFREAD;
    request.elapsed_s = LAST_RUN.seconds;
    return request;
}

void WRITE_REPORT() {
    if (!last_run_of_open_data_set()) {
        GMDISPLAYMESSAGEBOX("TARNIVOX",
                            "There is no run to report yet: run Auto profile fit (Integrate menu) and press "
                            "Start; the report then describes that run.",
                            GM_ICON_INFORMATION, GM_BUTTONS_OK);
        return;
    }
    const RunReportRequest request = window_report_request();
    const report::ReportOutcome written =
        write_run_report(request, LAST_RUN.result, refinement_in_store(), FwhmLawResult{});
    if (written.status != 0) {
        GMDISPLAYERRORBOX("Tarnivox", written.message);
        return;
    }
    std::string text = "The report of the run is in " + request.html;
    if (!open_in_browser(request.html)) text += "\nNo browser could be started: open the file in one.";
    GMDISPLAYMESSAGEBOX("TARNIVOX", text, GM_ICON_NOTICE, GM_BUTTONS_OK);
}

}  // namespace tarnivox
