#pragma once
// "Manual profile fit": the user walks through the standard scan file one
// reflection at a time, refits with changed controls as often as wanted,
// and decides which reflections go to the intensity file.  Each step of
// the walk is one request: the step, and the fit controls as the user has
// set them (switches, typed start values, limit tests); its result is the
// fit of the reflection reached and the record the intensity file takes
// for it.  The file position of the standard scan file is the walk's
// cursor, as for every other command.

#include <array>
#include <optional>
#include <string>

#include "core/store.h"
#include "operations/operation.h"
#include "operations/scan_walk.h"

namespace tarnivox {

enum class ManualStep {
    Current,    // fit the reflection in the scan record, from start values computed for it
    Refit,      // fit it again from the start values as given, not recomputed
    Previous,   // the reflection before it
    Next,       // the one after it, the current one not written
    Reject,     // as Next
    Accept,     // the current one written as passed, whatever the tests said; then Next
    ToIndices,  // the first reflection with `hkl`
    ToNumber,   // the reflection numbered `number`
};

struct ManualFitRequest {
    ManualStep step = ManualStep::Current;
    std::array<int, 3> hkl{};  // ToIndices
    int number = 0;            // ToNumber
    // Refine and start-value switches, typed start values, limit tests and
    // limits.  When absent, the last ones given (at first the store's when
    // the walk began); a refit then starts from the start values of the
    // last fit.  The fit's own results never become start values.
    std::optional<FitControls> controls;
    // The "Skip weak reflns" switch; when absent, the last one given.
    std::optional<int> skip_weak;
};

struct ManualFitResult {
    bool fitted = false;     // a reflection was fitted and is in the scan record
    bool ended = false;      // the end of the data set (or a read error) ends manual fitting
    bool accepted = false;   // Accept was given for a reflection (written when a file is open)
    int accepted_sequence = 0;
    // The controls the fit began from; for a reflection newly reached, with
    // the start values computed for it (what the input column shows).
    FitControls start;
    int sequence = 0;  // NREF
    std::array<int, 3> hkl{};
    std::array<double, 6> par{}, esd{};  // refined BACKGROUND ... IRATIO and their esds
    double rwp = 0.0;
    std::string status;      // the five fit-status characters
    char letter = ' ';       // 'F' passed, 'R' rejected
    double intensity = 0.0;  // integrated intensity and esd as fitted
    double sigma = 0.0;
    // The intensity and esd the record of this reflection takes when it
    // is accepted (Lorentz-polarisation corrected; for a rejected fit, the
    // summation over the expected peak); writable is false when the record
    // would be refused (no valid esd).
    bool writable = false;
    double written_intensity = 0.0;
    double written_sigma = 0.0;
};

// The walk through the data set.  Made once per "Manual profile fit"; the
// window fills each request from its buttons and the fit-control box.
class ManualFit {
public:
    // Without a data set there is nothing to walk: open() is false and the
    // messages have been told what to do.
    explicit ManualFit(Messages& messages);

    bool open() const { return open_; }
    ManualFitResult step(const ManualFitRequest& request);

private:
    void put_controls_in_force(const ManualFitRequest& request, bool recompute_start);
    ManualFitResult fit(const ManualFitRequest& request, bool recompute_start);

    Messages& messages_;
    bool open_ = false;
    FitControls controls_;    // as the user set them
    int skip_weak_ = 0;
    FitControls last_start_;  // what the last fit started from
};

}  // namespace tarnivox
