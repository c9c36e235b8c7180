#pragma once
// The refinement list of strong, well-fitted reflections: which fitted
// scans enter it, storing one, and the per-entry comparison of observed and
// calculated angles that the UB fit reports.

#include "refine/geometry.h"

namespace tarnivox {

// I/sigma threshold of preprocessing: a typed value below 3.0 acts as 3.0,
// so that no reflection weaker than three esds fixes the orientation.
double preprocess_threshold(double typed);

// Whether the fitted current scan belongs in the list: an ordinary
// reflection (not a standard) whose fitted intensity over its esd is above
// the threshold (strictly), with finite fitted values.
bool qualifies_for_list(double threshold);

// Stores the fitted current scan as the next entry: indices, 2theta, the
// fitted peak position as omega, chi, phi, fitted FWHM with its esd and
// the fitted background.  0, or 1 when the list already holds MAXREFLIST
// entries (nothing stored).
int ADD_TO_REFINEMENT_LIST();

// Takes entry m (1..NUBREF) out of the list, the later entries moving up
// one place so that the list keeps the order of the data set.
void remove_from_refinement_list(int m);

// Observed against calculated angles of list entry n with the current UB
// (the reciprocal cell already derived).
struct UbTableRow {
    double tth_cal = 0.0;  // calculated 2theta, with the sign of the observed one
    double om_ub = 0.0;    // omega at which UB indexes the entry best
    double om_off = 0.0;   // omega shift of the crystal offsets (and OMZERO with them)
    double om_calc = 0.0;  // om_ub + om_off
    double del = 0.0;      // observed omega - calculated omega
};
UbTableRow ub_table_row(int n, bool with_offsets);

}  // namespace tarnivox
