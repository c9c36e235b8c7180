#pragma once
// "Report" (Utilities): the reduction report of the window's last automatic
// run, written beside the data file as NAME_report.html, named in a box and
// shown in the system's browser.

#include <string>

#include "operations/reduce.h"
#include "operations/run_report.h"

namespace tarnivox {

// The automatic run that ended last, as "Report" needs it.  A new run
// replaces it; it belongs to the data set it reduced.
struct ReportableRun {
    bool done = false;
    std::string data_file;   // the data set the run reduced, as a whole path
    ReductionResult result;  // with one outcome per reflection written
    double seconds = 0.0;    // from Start to the end of the run
};
extern ReportableRun LAST_RUN;

// The data file open in the window, as a whole path.
std::string open_data_file_path();

// Whether LAST_RUN reduced the data set open now.
bool last_run_of_open_data_set();

// The report's request for LAST_RUN: the page beside the data file, the
// window's choices.
RunReportRequest window_report_request();

void WRITE_REPORT();

}  // namespace tarnivox
