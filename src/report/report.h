#pragma once
// The reduction report: every analysis of the run, its plots, one
// self-contained HTML page (inline CSS and SVG, nothing fetched when it is
// viewed, printable) and each plot as its own SVG file.

#include <string>
#include <vector>

#include "report/analyses.h"
#include "report/merging.h"
#include "report/report_input.h"
#include "report/svg_plot.h"

namespace tarnivox::report {

struct ReportFigures {
    StandardsAnalysis standards;  // of the intensities as measured
    bool decay_corrected = false;
    StandardsAnalysis standards_corrected;  // after the decay correction, when applied
    Histogram i_over_sigma;
    std::vector<Shell> shells;
    WilsonFit wilson;
    MergeStats merging;
    Diagnostics diagnostics;
    Limits limits;
};

// One line of the report's first table: a figure of merit judged against
// a stated threshold.
struct Verdict {
    enum class Level { None, Good, Doubtful, Bad };  // no judgement, green, amber, red
    std::string name;       // e.g. "R(int)"
    std::string value;      // as shown (HTML)
    std::string threshold;  // what green and amber mean (HTML)
    Level level = Level::None;
    std::string reason;  // one line for amber and red (HTML)
};
struct ReportFigures;
std::vector<Verdict> verdicts(const ReportInput& in, const ReportFigures& fig);

// All analyses.  With `in.decay_correct` the intensity statistics are of
// the decay-corrected intensities.
ReportFigures analyse_run(const ReportInput& in);
std::vector<Plot> report_plots(const ReportInput& in, const ReportFigures& fig);
std::string report_html(const ReportInput& in, const ReportFigures& fig, const std::vector<Plot>& plots);

struct ReportOutcome {
    int status = 0;  // 0 written; 1 a file could not be written (message says which and why)
    std::string message;
    std::vector<std::string> written;  // files written, the page first
    ReportFigures figures;
};

// Writes the page to html_path and, unless plots_dir is empty, each plot
// as plots_dir/<id>.svg (the folder is made when missing).  Each file is
// written whole as NAME.partial and renamed over NAME.
ReportOutcome write_report(const ReportInput& in, const std::string& html_path, const std::string& plots_dir);
// The same with the analyses already made (analyse_run of the same input).
ReportOutcome write_report(const ReportInput& in, const ReportFigures& figures, const std::string& html_path,
                           const std::string& plots_dir);

}  // namespace tarnivox::report
