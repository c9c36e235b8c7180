#pragma once
// The automatic profile-fit run ("Auto profile fit"): every reflection of
// the data set fitted with the fit controls and written to the intensity
// file, with the run's summary in the log.

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/store.h"
#include "operations/operation.h"

namespace tarnivox {

// The layouts of the intensity file (INTFMT 3, 1, 2).
enum class IntensityForm { Shelx, Rfine, RfineExtended };
int intensity_format_code(IntensityForm form);

struct ReductionRequest {
    // The intensity file, replaced when the run is complete; empty: the
    // one already open (the window's "Open output file"), if any.
    std::string output;
    IntensityForm form = IntensityForm::Shelx;
    // Start values and switches of the fit; the store's when absent.
    std::optional<FitControls> controls;
    // Weak data: position from UB (where the counts cannot fix it), width
    // from the learned law and eta at its start value, the intensity test
    // off, so that a weak intensity is written as measured.
    bool weak_profile = false;
    // Reflections whose fit was rejected: left out instead of written from
    // the summation over their expected peak.
    bool omit_rejected = false;
    // Start from the first reflection of the data set rather than the one
    // in the scan record.
    bool from_first = true;
    // Keep one outcome per reflection written (or left out).
    bool collect_outcomes = false;
    // A complete run leaves its file as NAME.partial (result.output) for a
    // correction that must be made before the file takes its name; the
    // caller puts it in place.
    bool hold_unfinished = false;
};

// What happened to one reflection of the run.
struct ReflectionOutcome {
    int sequence = 0;  // NREF
    std::array<int, 3> hkl{};
    char class_letter = ' ';
    int standard = 0;  // the standard's number; 0 for any other reflection
    double two_theta = 0.0;
    std::array<double, 4> angles{};  // setting angles of the scan as read: 2theta, omega, chi, phi
    char status = ' ';       // first status character: 'R' rejected
    char reason = ' ';       // the rejection letter (one of REJECTION_LETTERS) when rejected
    int pass = 1;            // 1, or 2 when the position was held at the UB omega
    bool recovered = false;  // rejected in pass 1, passed in pass 2
    bool summation = false;  // written from the summation over the expected peak
    bool left_out = false;   // rejected and not written
    double intensity = 0.0, sigma = 0.0;  // Lorentz-polarisation corrected, as written
    double fwhm = 0.0, eta = 0.0, rwp = 0.0;
};

// The counters of the run, as the fit summary and the JSON summary have them.
struct ReductionCounts {
    int fitted = 0;
    int passed = 0;             // passed in either pass
    int passed_first_pass = 0;
    int refitted = 0;           // fitted again in pass 2
    int recovered = 0;          // passed in pass 2
    int rejected = 0;
    // Pass-1 rejections by letter, in the order of REJECTION_LETTERS.
    std::array<int, 10> rejections_first_pass{};
    int written_from_summation = 0;
    int rejected_left_out = 0;
};
// The counters of the last run, from the store.
ReductionCounts reduction_counts();

struct ReductionResult {
    bool complete = false;  // every reflection fitted and the file in place
    bool stopped = false;   // a stop ended the run before the end of the data
    std::string output;     // the intensity file written; NAME.partial when unfinished
    std::string failure;    // why the run did not start or did not finish
    ReductionCounts counts;
    std::vector<ReflectionOutcome> outcomes;
};

// The run one reflection at a time, for the window's timer.  The first
// next() fits and writes the reflection the run starts on, each further
// one the following reflection; false once the data set has ended (the
// summary is then in the log).
class ReductionRun {
public:
    // How the start values of each reflection are set.  Without one, from
    // the fit controls in the store, keeping the values not taken from the
    // model as they were; the window sets them from its fit-control box.
    using StartValues = std::function<void()>;

    ReductionRun(const ReductionRequest& request, Messages& messages, StartValues start_values = {});
    ~ReductionRun();
    ReductionRun(const ReductionRun&) = delete;
    ReductionRun& operator=(const ReductionRun&) = delete;

    bool next();
    // The reflection in the scan record has been written by this run.
    bool current_written() const { return written_ && G.NREF == written_nref_; }
    // Marks the run ended: the summary goes to the log, a file this run
    // opened is closed (complete) or set aside (stopped).
    void finish(bool stopped);
    bool finished() const { return finished_; }
    const ReductionResult& result() const { return result_; }

private:
    void fit_and_write();

    ReductionRequest request_;
    Messages& messages_;
    StartValues start_values_;
    FitControls controls_;
    bool opened_output_ = false;
    bool started_ = false;
    bool written_ = false;
    int written_nref_ = 0;
    bool finished_ = false;
    ReductionResult result_;
};

// The whole run, reporting progress after each reflection and stopping
// (the file set aside as NAME.partial) when a stop is asked for.
ReductionResult reduce(const ReductionRequest& request, Progress& progress, Messages& messages);

// The intensity and esd the intensity file takes for the reflection in
// the scan record, Lorentz-polarisation corrected (before the field's
// rounding): its fit's, or for a fit written from the summation the
// summation over its expected peak.  false when that summation cannot be
// formed (the reflection is then not written).
bool corrected_intensity(bool from_summation, double& intensity, double& sigma);

// The reflections a run walks: those imported, less the weak ones when
// they are skipped.
int reflections_to_walk();

}  // namespace tarnivox
