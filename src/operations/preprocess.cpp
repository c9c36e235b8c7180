#include "operations/preprocess.h"

#include <algorithm>
#include <cmath>

#include "fitting/fitscan.h"
#include "import/stddata.h"
#include "io/layout.h"
#include "operations/fit_controls.h"
#include "operations/scan_walk.h"
#include "output/refinement_records.h"
#include "refine/refinement_list.h"

namespace tarnivox {
namespace {

// The preset of "Minimum I/sig", taken for a field that holds no number.
constexpr double PRESET_I_SIGMA = 10.0;

void notice(Messages& m, std::string text) { m.message({"TARNIVOX", std::move(text), MessageKind::Notice}); }

}  // namespace

PreprocessRun::PreprocessRun(const PreprocessRequest& request, Messages& messages)
    : messages_(messages), keep_strongest_(request.keep_strongest) {
    if (request.controls) static_cast<FitControls&>(G) = *request.controls;
    controls_ = static_cast<const FitControls&>(G);
    // NFITC(12) as well: preprocessing has no second pass, and a count left
    // by an automatic run would appear as recovered reflections in its summary.
    for (int i = 1; i <= 12; ++i) G.NFITC(i) = 0;
    G.NPASS2 = 0;
    G.NUBREF = 0;
    G.FITMODE = 2;
    // Weak reflections are stepped over for this run only; the switch is the
    // user's choice for the fitting runs.
    users_skipweak_ = G.SKIPWEAK;
    G.SKIPWEAK = 1;
    G.NREF = 0;
    G.WALKED = 1;
    int status = 0;
    SKIP_HEADER_STDDATA(G.LUSCR, status);
    const double typed = request.min_i_sigma;
    threshold_ = preprocess_threshold(std::isfinite(typed) ? typed : PRESET_I_SIGMA);
}

// A run left unfinished gives the user's switch back all the same.
PreprocessRun::~PreprocessRun() {
    if (!finished_) restore_skip_weak();
}

// The user's switch back, and the start values the run began with in place
// of the last reflection's fitted ones: what follows starts from them.
void PreprocessRun::restore_skip_weak() {
    G.SKIPWEAK = users_skipweak_;
    G.PAR = controls_.PAR;
}

bool PreprocessRun::next() {
    if (finished_) return false;
    const MessageRoute route(messages_);
    const Arr1<int, 3> none;
    if (ends_walk(read_reflection(0, 0, none, false))) {
        finish();
        return false;
    }
    apply_fit_controls(controls_);
    int ierr = 0;
    FITSCAN(0, ierr);
    ++result_.fitted;
    if (!count_fit_outcome() || !qualifies_for_list(threshold_)) return true;
    ++result_.qualified;
    const double isig = G.FITI / G.FITSIG;
    if (G.NUBREF >= MAXREFLIST && keep_strongest_) {
        // The list is full and the scan qualifies: the weakest of the list
        // and the scan is left out, and the threshold rises to its I/sigma,
        // so that the list holds what a run with that threshold keeps.
        int weakest = 1;
        for (int n = 2; n <= G.NUBREF; ++n)
            if (isig_(n) < isig_(weakest)) weakest = n;
        if (isig <= isig_(weakest)) {
            result_.raised_to = std::max(result_.raised_to, isig);
            return true;
        }
        result_.raised_to = std::max(result_.raised_to, isig_(weakest));
        remove_from_refinement_list(weakest);
        for (int n = weakest; n <= G.NUBREF; ++n) isig_(n) = isig_(n + 1);
        ADD_TO_REFINEMENT_LIST();
        isig_(G.NUBREF) = isig;
        return true;
    }
    if (ADD_TO_REFINEMENT_LIST() == 0) {
        isig_(G.NUBREF) = isig;
        return true;
    }
    // One strong reflection more than the list holds: the run is abandoned.
    finished_ = true;
    result_.list_full = true;
    result_.stored = G.NUBREF;
    restore_skip_weak();
    messages_.message({"Tarnivox", "Too many reflections: Increase I/sig", MessageKind::Error});
    return false;
}

void PreprocessRun::stop() {
    if (finished_) return;
    const MessageRoute route(messages_);
    result_.stopped = true;
    finish();
}

void PreprocessRun::finish() {
    finished_ = true;
    result_.stored = G.NUBREF;
    // How many were kept is the step's account, not a warning.
    messages_.message(
        {"TARNIVOX", format_record("(I5,' Reflections stored for fitting')", {G.NUBREF}), MessageKind::Summary});
    if (result_.raised_to > 0.0)
        notice(messages_, format_record("('I/sigma threshold raised from ',F5.1,' to ',F7.1,': the ',I4,"
                                        "' strongest of ',I7,' reflections kept')",
                                        {threshold_, result_.raised_to, G.NUBREF, result_.qualified}));
    // A list of fitted strong reflections now exists.
    G.PREPFLAG = 1;
    log_preprocess_summary(threshold_, result_.raised_to, G.NUBREF, result_.qualified);
    restore_skip_weak();
}

PreprocessResult preprocess(const PreprocessRequest& request, Progress& progress, Messages& messages) {
    PreprocessRun run(request, messages);
    while (run.next()) {
        progress.advance(run.result().fitted, 0);
        if (progress.stop_requested()) run.stop();
    }
    return run.result();
}

}  // namespace tarnivox
