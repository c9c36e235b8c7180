#pragma once
// What a batch reduction makes of the analysis of its finished run: the
// figures of the CIF fragment and the decay correction of the intensity
// file.

#include <string>
#include <vector>

#include "operations/reduce.h"
#include "operations/run_report.h"
#include "output/cif_records.h"
#include "report/report.h"

namespace tarnivox {

// The decay correction of a finished intensity file.
struct DecayCorrection {
    bool done = false;
    std::string failure;  // why it could not be made
    double decay_pct = report::NONE, esd_pct = report::NONE;
    bool flagged = false;
    double factor_min = report::NONE, factor_max = report::NONE;
    int rescaled = 0;
    std::vector<std::string> dropped;  // reflections whose corrected values no longer fit their record
};

// Rescales I and sigma of every reflection of the intensity file `source`
// (form `form`) by the decay curve fitted to the standards, at the
// reflection's measurement order, and puts the result in place as
// `target`; the outcomes of the run place the records.  All or nothing: a
// fit that is no number, or whose level 1 + c t falls to 0.2 or below (or
// rises to 5) anywhere in the run, corrects nothing and `target` is not
// touched.  The log, when open, gets a record of what was done.
DecayCorrection correct_decay(const std::string& source, const std::string& target, IntensityForm form,
                              const std::vector<ReflectionOutcome>& outcomes,
                              const report::StandardsAnalysis& standards);

// The text a user reads of a correction that was made.
std::string decay_correction_notice(const DecayCorrection& d, const std::string& path);

}  // namespace tarnivox
