#include "operations/reduce.h"

#include <filesystem>

#include "fitting/fitscan.h"
#include "fitting/integrate.h"
#include "import/stddata.h"
#include "io/file_records.h"
#include "io/units.h"
#include "operations/fit_controls.h"
#include "operations/scan_walk.h"
#include "output/intensity_file.h"
#include "refine/corrections.h"
#include "output/log_file.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;

// The rows of the profile parameters that weak data hold.
constexpr int HELD_FOR_WEAK_DATA[] = {P_FWHM, P_POSITION, P_ETA};

// Weak data: a free fit of a weak scan follows its noise in position,
// width and shape, and its intensity with them.  Position from UB, the
// width from the learned law and eta at its start value leave background
// and intensity to the fit; a negative intensity is then a measurement
// like any other, and the intensity test, which would write it as 0(1), is
// off.  Reflections whose counts fix their position refine it (OWNPOS).
void hold_profile_for_weak_data() {
    for (int k : HELD_FOR_WEAK_DATA) {
        G.IREF(k) = 0;
        G.IFIX(k) = 1;
    }
    G.ICHK(P_INTENSITY) = 0;
    G.OWNPOS = 1;
}

ReflectionOutcome outcome_of_current(int sumw_before, int rejom_before, int recovered_before) {
    ReflectionOutcome o;
    o.sequence = G.NREF;
    o.hkl = {G.IHKL(1), G.IHKL(2), G.IHKL(3)};
    o.class_letter = G.RFLAG;
    o.standard = G.ISCTYPE;
    o.two_theta = G.ANGLES(1);
    o.angles = {G.ANGLES(1), G.ANGLES(2), G.ANGLES(3), G.ANGLES(4)};
    const std::string stat(G.FITSTAT.padded());
    o.status = stat.empty() ? ' ' : stat[0];
    if (o.status == 'R' && stat.size() > 1) o.reason = stat[1];
    o.pass = stat.size() > 2 && stat[2] == '2' ? 2 : 1;
    o.recovered = G.NFITC(12) > recovered_before;
    o.summation = G.NSUMW > sumw_before;
    o.left_out = G.NREJOM > rejom_before;
    corrected_intensity(o.summation, o.intensity, o.sigma);
    o.fwhm = G.PAR(P_FWHM);
    o.eta = G.PAR(P_ETA);
    o.rwp = G.RWP;
    return o;
}

}  // namespace

bool corrected_intensity(bool from_summation, double& intensity, double& sigma) {
    intensity = G.FITI;
    sigma = G.FITSIG;
    bool formed = true;
    if (from_summation) {
        ExpectedSum e;
        formed = INTEGRATE_EXPECTED(e) == 0;
        intensity = e.intensity;
        sigma = e.sigma;
    }
    const double f = CLORENZ(G.ANGLES(1));
    intensity *= f;
    sigma *= f;
    return formed;
}

int intensity_format_code(IntensityForm form) {
    switch (form) {
        case IntensityForm::Rfine: return 1;
        case IntensityForm::RfineExtended: return 2;
        case IntensityForm::Shelx: break;
    }
    return 3;
}

ReductionCounts reduction_counts() {
    ReductionCounts c;
    int rejected_pass1 = 0;
    for (int p = 0; REJECTION_LETTERS[p] != '\0'; ++p) {
        c.rejections_first_pass[static_cast<std::size_t>(p)] = G.NFITC(p + 2);
        rejected_pass1 += G.NFITC(p + 2);
    }
    c.passed_first_pass = G.NFITC(1);
    c.fitted = G.NFITC(1) + rejected_pass1;
    c.recovered = G.NFITC(12);
    c.passed = G.NFITC(1) + G.NFITC(12);
    c.refitted = G.NPASS2;
    c.rejected = c.fitted - c.passed;
    c.written_from_summation = G.NSUMW;
    c.rejected_left_out = G.NREJOM;
    return c;
}

int reflections_to_walk() {
    int total = 0;
    for (int i = 1; i <= 7; ++i) total += G.NCLASS(i);
    if (G.SKIPWEAK != 0) total -= G.NCLASS(1);
    return total;
}

ReductionRun::ReductionRun(const ReductionRequest& request, Messages& messages, StartValues start_values)
    : request_(request), messages_(messages), start_values_(std::move(start_values)) {
    MessageRoute route(messages_);
    if (request_.controls) static_cast<FitControls&>(G) = *request_.controls;
    if (request_.weak_profile) hold_profile_for_weak_data();
    G.REJOUT = request_.omit_rejected ? 0 : 1;
    if (!request_.output.empty()) {
        if (G.OUTOPEN == 1) close_unit(LU_OUTPUT);
        G.OUTOPEN = 0;
        if (open_unit(LU_OUTPUT, request_.output, OpenMode::Output) != 0) {
            result_.failure = "Error opening file: Try again";
            messages_.message(Message{"Tarnivox", result_.failure, MessageKind::Error});
            finished_ = true;
            return;
        }
        opened_output_ = true;
        const fs::path out(request_.output);
        G.OUTDIR = out.parent_path().string() + "/";
        G.OUTFILE = out.filename().string();
        G.OUTOPEN = 1;
        G.INTFMT = intensity_format_code(request_.form);
        log_output_file_opened(G.OUTFILE.str());
    }
    for (int i = 1; i <= 12; ++i) G.NFITC(i) = 0;
    G.NPASS2 = 0;
    G.NSUMW = 0;
    G.NREJOM = 0;
    G.FITMODE = 2;
    // Every reflection of the run starts from the fit controls as they are
    // now: the values not taken from the model start where they hold them.
    controls_ = G;
}

ReductionRun::~ReductionRun() {
    // Left before its end (an error ended the program): what was written
    // stays as NAME.partial.
    if (opened_output_ && !finished_) {
        abandon_unit(LU_OUTPUT);
        G.OUTOPEN = 0;
    }
}

void ReductionRun::fit_and_write() {
    if (start_values_)
        start_values_();
    else
        apply_fit_controls(controls_);
    const int sumw = G.NSUMW, rejom = G.NREJOM, recovered = G.NFITC(12);
    FIT_REFLECTION();
    WRITE_INT();
    written_ = true;
    written_nref_ = G.NREF;
    if (request_.collect_outcomes) result_.outcomes.push_back(outcome_of_current(sumw, rejom, recovered));
}

bool ReductionRun::next() {
    if (finished_) return false;
    MessageRoute route(messages_);
    G.WALKED = 1;
    if (!started_) {
        started_ = true;
        if (request_.from_first) {
            int status = 0;
            SKIP_HEADER_STDDATA(G.LUSCR, status);
            status = read_reflection(0, 0, Arr1<int, 3>{}, false);
            if (ends_walk(status)) {
                finish(false);
                return false;
            }
        }
    }
    // The reflection in the record first (the run's start, or one reached
    // by a jump while the run was paused), then each following one.
    if (!current_written() && have_reflection()) {
        fit_and_write();
        return true;
    }
    const int status = read_reflection(0, 0, Arr1<int, 3>{}, false);
    if (ends_walk(status)) {
        finish(false);
        return false;
    }
    if (have_reflection()) fit_and_write();
    return true;
}

void ReductionRun::finish(bool stopped) {
    if (finished_) return;
    MessageRoute route(messages_);
    finished_ = true;
    result_.stopped = stopped;
    result_.counts = reduction_counts();
    if (!stopped && G.LOGOPEN == 1) {
        WRITE_AUTOFIT_SUMMARY_HEADER(LU_LOG);
        WRITE_FIT_SUMMARY(LU_LOG);
        flush_unit(LU_LOG);
    }
    if (!opened_output_) {
        if (G.OUTOPEN == 1) result_.output = std::string(G.OUTDIR.str()) + std::string(G.OUTFILE.str());
        result_.complete = !stopped;
        return;
    }
    const std::string partial = unit_written_path(LU_OUTPUT);
    G.OUTOPEN = 0;
    if (stopped) {
        abandon_unit(LU_OUTPUT);
    } else if (request_.hold_unfinished) {
        // Whole records are on disk as they are written; a run that wrote
        // none leaves no file.
        abandon_unit(LU_OUTPUT);
        result_.output = partial;
        result_.complete = true;
        return;
    } else if (close_unit(LU_OUTPUT) == 0) {
        result_.output = request_.output;
        result_.complete = true;
        return;
    } else {
        result_.failure =
            "the intensity file " + request_.output + " could not be put in place: " + open_failure_reason();
    }
    std::error_code ec;
    if (fs::is_regular_file(partial, ec)) result_.output = partial;
}

ReductionResult reduce(const ReductionRequest& request, Progress& progress, Messages& messages) {
    ReductionRun run(request, messages);
    const int total = reflections_to_walk();
    int done = 0;
    while (!run.finished()) {
        // A stop takes effect between reflections: what is written is whole.
        if (progress.stop_requested()) {
            run.finish(true);
            break;
        }
        if (run.next()) progress.advance(++done, total);
    }
    return run.result();
}

}  // namespace tarnivox
