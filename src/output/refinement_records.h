#pragma once
// The log records of the runs that work on the refinement list:
// preprocessing's summary, the refinement of UB and the cell, the width
// law, Zref and the delta-d/d check.  Each is written only while the log is
// open.

#include <string>

#include "refine/zref.h"

namespace tarnivox {

// Preprocessing: the raised threshold (when raised_to > 0) and the heading
// and summary of the fits.
void log_preprocess_summary(double threshold, double raised_to, int stored, int qualified);

// The refinement of UB and the cell.  The heading starts every refinement.
void log_ub_heading();
// The kind of refinement that succeeded: 0 unconstrained, 1..6 the crystal
// system (constrained), with offsets, or with the omega zero point (logged
// before its refinement runs, as it always has been).
enum class UbMethod { Plain, Symmetry, Offsets, OmegaZero };
void log_ub_method(UbMethod method, int crystal_system = 0);
// The list as it was fed to the least squares and why the refinement failed.
void log_ub_failure(const std::string& reason);
// The table of observed and calculated angles, UB, the cell with its esds
// (or that it has none), the omega fit figures, the zero point and offsets,
// and their esds when they were refined.
void log_ub_results(bool with_offsets, bool zero_refined, bool offsets_refined);

// The width law as fitted, from how many of how many widths.
void log_width_law(int fitted, int used, bool all_widths, double a, double esd_a, double b, double esd_b);
// The law made the one the fits use ("Save values").
void log_saved_width_law(double a, double b);

// Zref: the heading, each group's settings, a group that gave no result,
// and a group's results.
void log_zref_heading();
void log_zref_group(int number, const Arr1<int, 3>& hkl, const ZrefSettings& settings);
void log_zref_failure(int ierr);
void log_zref_result(const ZrefResults& res, double phi);

// Delta-d/d: the heading, one line per entry (without a value when it has
// no d-spacing), and the minimum, maximum and average.
void log_delta_d_heading();
void log_delta_d_entry(const Arr1<int, 3>& hkl, double tth_obs, double tth_cal, const double* ratio);
void log_delta_d_summary(double min, double max, double average);

}  // namespace tarnivox
