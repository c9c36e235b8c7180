#pragma once
// The reduction report of an automatic run ("--report" of the batch, the
// window's "Report"): the report's input built from the run's results and
// the refinement in the store, then the page and its plots written.

#include <string>
#include <utility>
#include <vector>

#include "operations/fwhm_law.h"
#include "operations/reduce.h"
#include "operations/refine_cell.h"
#include "output/cif_records.h"
#include "report/report.h"

namespace tarnivox {

struct RunReportRequest {
    std::string html;   // the page
    std::string plots;  // the folder of the plots as SVG files; empty: none
    std::string data_file;
    std::string format;  // the format's name as the user chose it
    std::string laue;    // Laue class of the merging figures; empty: no merging
    std::vector<std::pair<std::string, std::string>> options;  // as the user gave them
    int read = 0;                        // reflections the import took
    double elapsed_s = report::NONE;     // wall time of the reduction
    bool decay_correct = false;          // intensities scaled by the standards' decay curve
};

// The report's input: every reflection of the run in the order of
// measurement (the run must have collected its outcomes), the cell of the
// store, omega zero and offsets where `refined` refined them, and the width
// law a weak-profile run learned (`law`), else the fit controls' law.
report::ReportInput report_input(const RunReportRequest& request, const ReductionResult& fit,
                                 const RefineCellResult& refined, const FwhmLawResult& law);

// The omega zero and offsets of the store, as the last cell refinement left
// them: refined where it gave them an esd.
RefineCellResult refinement_in_store();

// The report beside a data file: its folder, its name up to the first '.',
// then "_report.html" (as its log is NAME_Tarnivox.log).
std::string report_path_beside(const std::string& data_path);

// The items the CIF fragment takes from the analysis of a run: the decay
// when the standards measured one, the interval of the standards, R(int),
// R(sigma) and the unique totals when the data were merged (else the totals
// of the reflections measured), the theta and index limits.
CifFigures cif_figures(const report::ReportFigures& f);

// Builds the input and writes the page (and the plots).
report::ReportOutcome write_run_report(const RunReportRequest& request, const ReductionResult& fit,
                                       const RefineCellResult& refined, const FwhmLawResult& law);

}  // namespace tarnivox
