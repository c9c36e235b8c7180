#pragma once
// Preprocessing: one walk over the data set that fits every reflection with
// the fit controls and keeps the strong, well-fitted ones (not the
// standards) in the refinement list, from which the cell, the omega zero
// point, the crystal offsets and the peak-width law are refined.

#include <optional>

#include "core/store.h"
#include "operations/operation.h"

namespace tarnivox {

struct PreprocessRequest {
    // Smallest I/sigma of a reflection kept for the list ("Minimum I/sig").
    double min_i_sigma = 10;
    // A full list keeps the strongest reflections, raising the threshold,
    // instead of abandoning the run.
    bool keep_strongest = false;
    // Start values and switches of the fit; the store's when absent.
    std::optional<FitControls> controls;
};

struct PreprocessResult {
    int stored = 0;          // reflections in the refinement list
    int qualified = 0;       // reflections that passed the threshold
    double raised_to = 0.0;  // the threshold a full list rose to (0: not raised)
    bool list_full = false;  // the list overflowed: the run was abandoned
    bool stopped = false;    // ended by a stop before the end of the data set
    int fitted = 0;          // reflections read and fitted
};

// Preprocessing one reflection at a time, for the window's timer loop.
// The list is emptied when the run is made; each next() reads, fits and
// judges one reflection and returns false once the run has ended (end of
// data, a full list, or stop()), its summary logged and its messages sent.
class PreprocessRun {
public:
    PreprocessRun(const PreprocessRequest& request, Messages& messages);
    ~PreprocessRun();
    PreprocessRun(const PreprocessRun&) = delete;
    PreprocessRun& operator=(const PreprocessRun&) = delete;

    bool next();
    // Ends the run with the reflections fitted so far (as at the end of data).
    void stop();
    bool finished() const { return finished_; }
    const PreprocessResult& result() const { return result_; }
    // The threshold in force (the typed one, bounded as the program allows).
    double threshold() const { return threshold_; }

private:
    void finish();
    void restore_skip_weak();

    Messages& messages_;
    FitControls controls_;
    double threshold_ = 0.0;
    bool keep_strongest_ = false;
    int users_skipweak_ = 0;
    bool finished_ = false;
    PreprocessResult result_;
    Arr1<double, MAXREFLIST> isig_;
};

// The whole run: next() until the end or until progress asks for a stop.
PreprocessResult preprocess(const PreprocessRequest& request, Progress& progress, Messages& messages);

}  // namespace tarnivox
