#include "operations/manual_fit.h"

#include "fitting/fitscan.h"
#include "import/reader_status.h"
#include "operations/fit_controls.h"
#include "operations/reduce.h"
#include "operations/scan_walk.h"
#include "output/intensity_file.h"

namespace tarnivox {
namespace {

// An accepted reflection is written as passed whatever the tests said:
// outcome "F", no rejection letter.
void mark_accepted() {
    std::string st = G.FITSTAT.padded();
    st[0] = 'F';
    st[1] = ' ';
    G.FITSTAT = st;
}

bool fit_rejected() { return G.FITSTAT.padded()[0] == 'R'; }

}  // namespace

ManualFit::ManualFit(Messages& messages) : messages_(messages) {
    open_ = data_set_to_walk(messages_);
    if (open_) G.FITMODE = 2;
    controls_ = G;
    last_start_ = G;
    skip_weak_ = G.SKIPWEAK;
}

void ManualFit::put_controls_in_force(const ManualFitRequest& request, bool recompute_start) {
    // A reflection newly reached starts from values computed for it under
    // the switches, with the typed FWHM, eta and ratio where the model's
    // are not chosen; a refit starts from the values as they stand.
    if (request.controls) controls_ = *request.controls;
    if (request.skip_weak) skip_weak_ = *request.skip_weak;
    if (recompute_start) {
        change_fit_controls(controls_, skip_weak_);
        return;
    }
    static_cast<FitControls&>(G) = request.controls ? *request.controls : last_start_;
    G.SKIPWEAK = skip_weak_;
}

ManualFitResult ManualFit::fit(const ManualFitRequest& request, bool recompute_start) {
    ManualFitResult r;
    put_controls_in_force(request, recompute_start);
    r.start = static_cast<const FitControls&>(G);
    last_start_ = r.start;
    FIT_REFLECTION();
    r.fitted = true;
    r.sequence = G.NREF;
    r.hkl = {G.IHKL(1), G.IHKL(2), G.IHKL(3)};
    for (int k = 1; k <= 6; ++k) {
        r.par[static_cast<std::size_t>(k - 1)] = G.PAR(k);
        r.esd[static_cast<std::size_t>(k - 1)] = G.PARESD(k);
    }
    r.rwp = G.RWP;
    r.status = G.FITSTAT.padded();
    r.letter = r.status.empty() ? ' ' : r.status[0];
    r.intensity = G.FITI;
    r.sigma = G.FITSIG;
    r.writable = corrected_intensity(fit_rejected(), r.written_intensity, r.written_sigma) && r.written_sigma > 0.0;
    return r;
}

ManualFitResult ManualFit::step(const ManualFitRequest& request) {
    if (!open_) return {};
    MessageRoute route(messages_);
    int mode = 0;
    switch (request.step) {
        case ManualStep::Current:
            if (!have_reflection()) return {};
            return fit(request, true);
        case ManualStep::Refit:
            if (!have_reflection()) return {};
            return fit(request, false);
        case ManualStep::Previous: mode = -1; break;
        case ManualStep::Next:
        case ManualStep::Reject: break;
        case ManualStep::Accept: break;
        case ManualStep::ToIndices: mode = 2; break;
        case ManualStep::ToNumber: mode = 1; break;
    }
    int accepted = 0;
    if (request.step == ManualStep::Accept && have_reflection()) {
        // A fit the tests rejected left no intensity of its own: the
        // accepted record carries the summation over the expected peak.
        // Its status letters keep the rejection, as the automatic run's
        // record of such a reflection does: the file says which of its
        // intensities are sums, not fits.
        const bool rejected = fit_rejected();
        if (!rejected) mark_accepted();
        write_int(rejected);
        accepted = G.NREF;
    }
    const Arr1<int, 3> hkl{{request.hkl[0], request.hkl[1], request.hkl[2]}};
    const int before = G.NREF;
    int status = read_reflection(mode, request.number, hkl, false);
    ManualFitResult r;
    if (ends_walk(status)) {
        r.ended = true;
    } else if (status == READER_NOT_FOUND && (mode == 1 || mode == 2)) {
        // Not in the data set: back to the reflection current before.
        status = read_reflection(1, before, hkl, false);
        r.ended = status == READER_READ_ERROR;
    }
    if (!r.ended && have_reflection()) {
        // The user has placed the file on this reflection: a run after
        // manual fitting starts here.
        G.WALKED = 0;
        r = fit(request, true);
    }
    r.accepted = accepted != 0;
    r.accepted_sequence = accepted;
    return r;
}

}  // namespace tarnivox
