#include "batch.h"
#include "batch_figures.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "core/exitint.h"
#include "core/store.h"
#include "fitting/fitscan.h"
#include "io/units.h"
#include "operations/cif.h"
#include "operations/convert.h"
#include "operations/fwhm_law.h"
#include "operations/open_data_set.h"
#include "operations/preprocess.h"
#include "operations/refine_cell.h"
#include "operations/run_report.h"
#include "params/defaults.h"
#include "report/merging.h"
#include "report/report.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Json = nlohmann::ordered_json;

// SIGINT, SIGTERM or SIGHUP received (or standard output closed, as
// SIGPIPE): the run stops at its next reflection.
volatile std::sig_atomic_t stop_signal = 0;

extern "C" void on_stop_signal(int sig) {
    stop_signal = sig;
    // A second signal ends the process at once, as without a handler.
    std::signal(sig, SIG_DFL);
}

// The exit status of a batch a stop ended: 130 after SIGINT, 141 when its
// standard output was closed (what a pipeline sees of a program SIGPIPE
// ended), 143 after SIGTERM and after SIGHUP (a closed terminal or ssh
// session ends the run as a termination does).
int stop_status(int sig) {
    if (sig == SIGINT || sig == SIGPIPE) return 128 + sig;
    return 128 + SIGTERM;
}

const char* stop_text(int sig) {
    switch (sig) {
        case SIGINT: return "INTERRUPTED (SIGINT)";
        case SIGHUP: return "INTERRUPTED (SIGHUP)";
        case SIGPIPE: return "INTERRUPTED (STANDARD OUTPUT CLOSED)";
        default: return "INTERRUPTED (SIGTERM)";
    }
}

// A summary line that cannot be written (standard output closed: the
// reader of a pipeline has gone) stops the batch as an interrupt would.
void check_standard_output() {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::clearerr(stdout);
        if (stop_signal == 0) stop_signal = SIGPIPE;
    }
}

// Text a JSON reader takes: valid UTF-8 as it is; any other bytes (a file
// name made on a system of another encoding) read as Latin-1, each byte
// one character U+0000..U+00FF, so that no name stops the summary.
bool valid_utf8(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (n == 0 || i + n > s.size()) return false;
        std::uint32_t cp = n == 1 ? c : n == 2 ? (c & 0x1Fu) : n == 3 ? (c & 0x0Fu) : (c & 0x07u);
        for (std::size_t k = 1; k < n; ++k) {
            const auto d = static_cast<unsigned char>(s[i + k]);
            if ((d >> 6) != 0x2) return false;
            cp = (cp << 6) | (d & 0x3Fu);
        }
        // Overlong forms, surrogates and values beyond U+10FFFF are no UTF-8.
        static constexpr std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kLeast[n] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return false;
        i += n;
    }
    return true;
}

std::string latin1_reading(const std::string& s) {
    std::string out;
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out.push_back(ch);
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

void make_json_text(Json& j) {
    if (j.is_string()) {
        std::string& s = j.get_ref<std::string&>();
        if (!valid_utf8(s)) s = latin1_reading(s);
    } else if (j.is_structured()) {
        for (Json& v : j) make_json_text(v);
    }
}

std::string name_of(const std::string& path) { return fs::path(path).filename().string(); }

const char* form_name(IntensityForm form) {
    return form == IntensityForm::Shelx ? "shelx" : form == IntensityForm::Rfine ? "rfine" : "rfine-extended";
}

// The progress of a run, and the stop a signal asks for.  On a terminal
// one line, redrawn in place: data set, reflections done of the total,
// rate, time left.
class BatchProgress : public Progress {
public:
    BatchProgress(bool enabled, std::string label) : enabled_(enabled), label_(std::move(label)) {}

    void advance(int done, int total) override {
        if (!enabled_) return;
        const Clock::time_point now = Clock::now();
        if (done <= 1) start_ = now;
        if (now - drawn_at_ < std::chrono::milliseconds(100)) return;
        drawn_at_ = now;
        const double seconds = std::chrono::duration<double>(now - start_).count();
        if (total > 0 && done > total) done = total;
        const double rate = seconds > 0 ? done / seconds : 0.0;
        char line[200];
        if (total > 0) {
            const int left = rate > 0 ? static_cast<int>(std::lround((total - done) / rate)) : 0;
            std::snprintf(line, sizeof line, "%s: %d/%d reflections, %.0f/s, %d:%02d left", label_.c_str(),
                          done, total, rate, left / 60, left % 60);
        } else {
            std::snprintf(line, sizeof line, "%s: %d reflections, %.0f/s", label_.c_str(), done, rate);
        }
        std::fprintf(stderr, "\r%s\033[K", line);
        std::fflush(stderr);
        shown_ = true;
    }

    bool stop_requested() const override { return stop_signal != 0; }

    // Takes the line away, so that a message or the summary starts clean.
    void clear() {
        if (!shown_) return;
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
        shown_ = false;
    }

private:
    bool enabled_;
    std::string label_;
    Clock::time_point start_{}, drawn_at_{};
    bool shown_ = false;
};

// Every message of a run goes to standard error with its title (with
// --quiet only the errors).  The run's warnings are its notices and errors
// beyond the notice by which a step that succeeded says so; an information
// (the end of the data set reached) and a step's summary (the reflections
// preprocessing kept) are none.
class BatchMessages : public Messages {
public:
    BatchMessages(bool quiet, std::string label, BatchProgress& progress)
        : quiet_(quiet), label_(std::move(label)), progress_(progress) {}

    void message(const Message& m) override {
        all.push_back(m);
        if (quiet_ && m.kind != MessageKind::Error) return;
        progress_.clear();
        std::fprintf(stderr, "%s: [%s] %s\n", label_.c_str(), m.title.c_str(), m.text.c_str());
        std::fflush(stderr);
    }
    // A step that succeeded: its last message, a notice, is no warning.
    void step_done(bool succeeded) {
        if (succeeded && all.size() > step_start_ && all.back().kind != MessageKind::Error)
            success_notices_.push_back(all.size() - 1);
        step_start_ = all.size();
    }
    std::vector<const Message*> warnings() const {
        std::vector<const Message*> w;
        for (std::size_t i = 0; i < all.size(); ++i)
            if (all[i].kind != MessageKind::Information && all[i].kind != MessageKind::Summary &&
                std::find(success_notices_.begin(), success_notices_.end(), i) == success_notices_.end())
                w.push_back(&all[i]);
        return w;
    }
    std::vector<Message> all;

private:
    bool quiet_;
    std::string label_;
    BatchProgress& progress_;
    std::size_t step_start_ = 0;
    std::vector<std::size_t> success_notices_;
};

struct RunRecord {
    const BatchChoices* choices = nullptr;
    int status = EXIT_STATUS_NORMAL;
    std::string message;  // the fatal message, when the run ended on one
    std::string partial;  // where an unfinished output was moved
    int left_out = 0;     // reflections of the data file the import left out
    int in_file = 0;      // reflections of the data file, taken or left out
    double seconds = 0.0;
    Json summary;
};

// "N of M reflections left out".
std::string left_out_text(const RunRecord& r) {
    return std::to_string(r.left_out) + " of " + std::to_string(r.in_file) + " reflections left out";
}

Json counts_of_run(const BatchChoices& c) {
    static const char kClasses[] = "WMRSFIN";
    Json j, classes;
    int imported = 0;
    for (int i = 1; i <= 7; ++i) {
        classes[std::string(1, kClasses[i - 1])] = G.NCLASS(i);
        imported += G.NCLASS(i);
    }
    j["classification"] = classes;
    j["imported"] = imported;
    if (c.kind != BatchKind::Reduce) return j;
    const ReductionCounts n = reduction_counts();
    Json rejections;
    for (int p = 0; REJECTION_LETTERS[p] != '\0'; ++p)
        rejections[std::string(1, REJECTION_LETTERS[p])] =
            n.rejections_first_pass[static_cast<std::size_t>(p)];
    j["fitted"] = n.fitted;
    j["passed"] = n.passed;
    j["passed_first_pass"] = n.passed_first_pass;
    j["refitted"] = n.refitted;
    j["recovered"] = n.recovered;
    j["rejected"] = n.rejected;
    j["rejections_first_pass"] = rejections;
    j["written_from_summation"] = n.written_from_summation;
    j["rejected_left_out"] = n.rejected_left_out;
    return j;
}

// The cell, omega zero and crystal offsets the refinement gave, with esds.
Json refined_of_run(const BatchChoices& c, const RefineCellResult& r, const FwhmLawResult& law) {
    static const char* const kNames[] = {"a", "b", "c", "alpha", "beta", "gamma", "volume"};
    Json j, cell;
    // A cell fixed without redundancy has no esds: null, not an exact 0.
    for (std::size_t n = 0; n < 7; ++n)
        cell[kNames[n]] = {{"value", r.cell[n]}, {"esd", r.cell_has_esd ? Json(r.cell_esd[n]) : Json()}};
    j["cell"] = cell;
    if (!r.cell_has_esd) j["cell_esd_note"] = "the reflections fix the cell without redundancy: no esds";
    j["crystal_system"] = c.crystal_system.empty() ? Json() : Json(c.crystal_system);
    j["reflections"] = r.reflections;
    if (c.omega_zero) {
        j["omega_zero"] = r.omega_zero;
        j["omega_zero_esd"] = r.omega_zero_esd;
    }
    if (c.offsets) {
        j["offsets"] = r.offsets;
        j["offsets_esd"] = r.offsets_esd;
    }
    if (c.weak_profile) j["fwhm_law"] = {{"a", law.a}, {"b", law.b}};
    return j;
}

// The report's request: the data set as the user gave it, the options.
RunReportRequest report_request(const BatchChoices& c, int read, double seconds) {
    RunReportRequest r;
    r.html = c.report;
    r.plots = c.plots;
    r.data_file = c.data;
    r.format = std::string(c.format->name);
    r.laue = c.laue;
    r.options = c.options;
    r.read = read;
    r.elapsed_s = seconds;
    r.decay_correct = c.decay_correct;
    return r;
}

// A real number for the summary; null when there is none.
Json number_or_null(double v) { return std::isfinite(v) ? Json(v) : Json(); }

// The key figures of the report for a pipeline.
Json report_figures(const report::ReportFigures& f) {
    const report::DecayFit& d = f.standards.overall;
    Json j;
    j["decay_percent"] = d.ok ? number_or_null(d.decay_pct) : Json();
    j["decay_esd_percent"] = d.ok ? number_or_null(d.esd_pct) : Json();
    j["decay_flagged"] = d.ok && d.flagged;
    j["laue"] = f.merging.ok ? Json(f.merging.group) : Json();
    j["r_int"] = f.merging.ok ? number_or_null(f.merging.rint) : Json();
    j["completeness_percent"] = f.merging.ok ? number_or_null(f.merging.completeness) : Json();
    j["wilson_b"] = f.wilson.ok ? number_or_null(f.wilson.b) : Json();
    j["wilson_b_esd"] = f.wilson.ok ? number_or_null(f.wilson.b_esd) : Json();
    j["wilson_scale"] = f.wilson.ok ? number_or_null(f.wilson.scale) : Json();
    j["r_sigma"] = f.merging.ok ? number_or_null(f.merging.rsigma) : Json();
    j["redundancy"] = f.merging.ok ? number_or_null(f.merging.redundancy) : Json();
    j["unique_reflections"] = f.merging.ok ? Json(f.merging.n_unique) : Json();
    // The statistics by resolution shell, as the report's table has them.
    Json shells = Json::array();
    for (const report::Shell& s : f.shells)
        shells.push_back({{"d_max", number_or_null(s.d_max)},
                          {"d_min", number_or_null(s.d_min)},
                          {"reflections", s.n},
                          {"mean_i", number_or_null(s.mean_i)},
                          {"mean_i_over_sigma", number_or_null(s.mean_i_over_sigma)},
                          {"rejected_percent", number_or_null(s.pct_rejected)},
                          {"weak_percent", number_or_null(s.pct_weak)}});
    j["shells"] = shells;
    return j;
}

// What the decay correction did to the intensity file.
Json decay_correction_json(const DecayCorrection& d) {
    Json j;
    j["decay_percent"] = number_or_null(d.decay_pct);
    j["decay_esd_percent"] = number_or_null(d.esd_pct);
    j["decay_flagged"] = d.flagged;
    j["factor_min"] = number_or_null(d.factor_min);
    j["factor_max"] = number_or_null(d.factor_max);
    j["reflections_rescaled"] = d.rescaled;
    j["reflections_dropped"] = static_cast<int>(d.dropped.size());
    return j;
}

// What the absorption correction did to the intensity file.
Json absorption_json(const AbsorptionCorrection& a) {
    Json j;
    j["method"] = a.method;
    j["mu_per_mm"] = number_or_null(a.mu);
    j["transmission_min"] = number_or_null(a.t_min);
    j["transmission_max"] = number_or_null(a.t_max);
    j["density_diffrn"] = a.density > 0.0 ? Json(a.density) : Json();
    j["reflections_corrected"] = a.corrected;
    j["reflections_dropped"] = static_cast<int>(a.dropped.size());
    return j;
}

// A fatal end of the data set: the message, and no further step.
[[noreturn]] void fatal(const std::string& text, int status = EXIT_STATUS_FATAL) { end_run(text, status); }

void stop_if_asked() {
    if (stop_signal != 0) fatal(stop_text(stop_signal), stop_status(stop_signal));
}

// The steps of one data set, from its opening to the CIF.
void run_steps(const BatchChoices& c, BatchMessages& messages, BatchProgress& progress, bool& writing,
               RefineCellResult& refined, FwhmLawResult& law, report::ReportOutcome& report,
               DecayCorrection& decay, AbsorptionCorrection& absorption, Clock::time_point t0) {
    OpenDataSetRequest open{c.data, c.format->infmt, c.par, c.step, c.import_log};
    const OpenDataSetResult opened = open_data_set(open, messages);
    messages.step_done(opened.opened && opened.read > 0 && opened.refused == 0);
    // An import that took no reflection ends the data set: there is
    // nothing to fit or write, and a pipeline must not take it for a
    // reduction.
    if (!opened.opened) fatal(opened.failure);
    if (opened.read == 0) fatal("No reflection read from data file");
    stop_if_asked();
    // The decay is fitted from the standards: without them (none listed
    // in the file's header and none classified as one, letter I) there is
    // nothing to correct with, and the fit is not worth running.
    if (c.kind == BatchKind::Reduce && c.decay_correct && G.NSTD <= 0 && G.NCLASS(6) <= 0)
        fatal("--decay-correct: no standard reflections in the data set");
    writing = true;
    if (c.kind == BatchKind::Convert) {
        const StandardFileResult copy = write_standard_file(c.out, messages);
        messages.step_done(copy.written);
        if (!copy.written) fatal(messages.all.empty() ? copy.failure : messages.all.back().text);
        return;
    }
    writing = false;
    if (!c.log.empty() && !open_log(c.log, messages)) fatal("Error opening LOG file: Try again");
    if (c.refine) {
        PreprocessRequest pre;
        if (c.min_i_sigma) pre.min_i_sigma = *c.min_i_sigma;
        // A list too small for every strong reflection keeps the strongest.
        pre.keep_strongest = true;
        preprocess(pre, progress, messages);
        messages.step_done(false);
        stop_if_asked();
        refined = refine_cell({c.offsets, c.omega_zero, c.crystal_system_number}, messages);
        messages.step_done(false);
        // A fit without the refinement asked for is not the run wanted.
        if (!refined.refined)
            fatal(std::string("REFINEMENT FAILED: ") +
                  (refined.failure != 0 ? refined.failure_text : std::string("NOTHING FITTED")));
        if (c.weak_profile) {
            law = learn_fwhm_law(messages);
            messages.step_done(false);
            // Every width held at a width that is none would fit nothing.
            if (!law.found || !(law.a > 0.0 && law.a + law.b > 0.0))
                fatal("NO FWHM LAW FROM THE REFINED WIDTHS: NOTHING FITTED");
        }
    }
    stop_if_asked();
    // The crystal is built before the fit, so that a crystal file at fault
    // ends the run before its longest step.
    AbsorptionModel absorption_model;
    if (c.absorption.active()) {
        std::string why;
        if (!prepare_absorption(c.absorption, absorption_model, why)) {
            messages.message(Message{"Tarnivox", why, MessageKind::Error});
            fatal("--absorption: no crystal to correct for");
        }
        for (const std::string& n : absorption_model.notes) messages.message(Message{"Tarnivox", n, MessageKind::Notice});
    }
    // Merging with a symmetry the cell's metric cannot have averages
    // reflections that are not equivalent: refused before the fit.
    if (c.laue_given && G.CELL(1) > 0.0 && G.CELL(2) > 0.0 && G.CELL(3) > 0.0)
        if (const std::string why = report::cell_symmetry_conflict(
                {G.CELL(1), G.CELL(2), G.CELL(3), G.CELL(4), G.CELL(5), G.CELL(6)}, c.laue);
            !why.empty()) {
            messages.message(Message{"Tarnivox", c.laue + ": " + why, MessageKind::Error});
            fatal("SYMMETRY REFUSED: THE CELL CANNOT HAVE IT");
        }
    ReductionRequest request;
    request.output = c.out;
    request.form = c.form;
    request.weak_profile = c.weak_profile;
    request.omit_rejected = c.omit_rejected;
    // The CIF, the decay correction and the report are made from the
    // analysis of every reflection of the run.
    const bool analysed = !c.report.empty() || !c.cif.empty() || c.decay_correct;
    request.collect_outcomes = analysed || c.absorption.active();
    // The corrected file, not the fitted one, takes the final name: the
    // fitted file stays NAME.partial until the corrections are made, so
    // that whatever stops the run the name holds the earlier file or the
    // corrected one.
    request.hold_unfinished = c.decay_correct || c.absorption.active();
    writing = true;
    ReductionResult fit = reduce(request, progress, messages);
    messages.step_done(fit.complete);
    progress.clear();
    stop_if_asked();
    if (!fit.complete) fatal(fit.failure);
    if (c.absorption.active()) {
        // Before the analysis: the figures, the decay and the CIF are those
        // of the corrected intensities.
        // With a decay correction to follow, the corrected records stay in
        // NAME.partial; otherwise they take the final name here.
        absorption = correct_absorption(fit.output, c.decay_correct ? std::string() : c.out, c.form,
                                        fit.outcomes, absorption_model);
        for (const std::string& d : absorption.dropped) messages.message(Message{"Tarnivox", d, MessageKind::Error});
        if (!absorption.done) {
            messages.message(Message{"Tarnivox", absorption.failure, MessageKind::Error});
            fatal("--absorption: " + c.out + " is left as it was");
        }
        messages.message(Message{"Tarnivox", absorption_notice(absorption, c.out), MessageKind::Notice});
        messages.step_done(true);
    }
    if (!analysed) return;
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    const report::ReportInput input = report_input(report_request(c, opened.read, seconds), fit, refined, law);
    const report::ReportFigures figures = report::analyse_run(input);
    if (c.decay_correct) {
        stop_if_asked();
        decay = correct_decay(fit.output, c.out, c.form, fit.outcomes, figures.standards);
        for (const std::string& d : decay.dropped) messages.message(Message{"Tarnivox", d, MessageKind::Error});
        if (!decay.done) fatal(decay.failure);
        messages.message(Message{"Tarnivox", decay_correction_notice(decay, c.out), MessageKind::Notice});
        messages.step_done(true);
    }
    if (!c.cif.empty()) {
        CifFigures items = cif_figures(figures);
        if (absorption.done) items.absorption_lines = absorption_cif_lines(absorption);
        const CifResult cif = create_cif(c.cif, messages, &items);
        messages.step_done(cif.written);
        if (!cif.written) fatal(cif.failure);
    }
    if (!c.report.empty()) {
        report = report::write_report(input, figures, c.report, c.plots);
        if (report.status != 0) fatal(report.message);
    }
}

RunRecord run_one(const BatchOptions& options, const BatchChoices& c) {
    RunRecord r;
    r.choices = &c;
    // Every data set starts from a clean program state.
    close_all_units();
    reset_store();
    G.LUSCR = LU_SCAN;
    BatchProgress progress(options.terminal && !options.quiet, name_of(c.data));
    BatchMessages messages(options.quiet, name_of(c.data), progress);
    RefineCellResult refined;
    FwhmLawResult law;
    report::ReportOutcome report;
    DecayCorrection decay;
    AbsorptionCorrection absorption;
    bool writing = false;
    const Clock::time_point t0 = Clock::now();
    if (!c.import_log_refused.empty() && !options.quiet)
        std::fprintf(stderr, "%s: the log cannot be written beside the data file (%s); it is written beside the output: %s\n",
                     name_of(c.data).c_str(), c.import_log_refused.c_str(), c.import_log.c_str());
    const bool keep_defaults = defaults_file_in_use();
    set_defaults_file_in_use(options.use_defaults);
    std::string fatal_text;
    try {
        if (options.use_defaults) READ_DEFAULTS_FROM_FILE();
        run_steps(c, messages, progress, writing, refined, law, report, decay, absorption, t0);
    } catch (const ProgramEnd& end) {
        r.status = end.status == EXIT_STATUS_NORMAL ? EXIT_STATUS_FATAL : end.status;
        // The place of a file at fault has had its own message just before;
        // the run's one-line account (the summary's "stopped:" and the JSON)
        // names it with the fatal text.
        if (std::string shown = exitint_message_text(end.message); !shown.empty()) {
            messages.message(Message{"Tarnivox", std::move(shown), MessageKind::Error});
            fatal_text = shown_text_with_place(end);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "TARNIVOX INTERNAL ERROR: %s\n", e.what());
        r.status = EXIT_STATUS_FATAL;
        messages.message(Message{"Tarnivox", "INTERNAL ERROR", MessageKind::Error});
    }
    if (options.use_defaults) WRITE_DEFAULTS_TO_FILE();
    set_defaults_file_in_use(keep_defaults);
    progress.clear();
    // A normal end finishes every output; any other end keeps what was
    // written as NAME.partial and leaves the earlier complete files alone.
    if (r.status == EXIT_STATUS_NORMAL)
        close_all_units();
    else
        abandon_all_units();
    r.seconds = std::chrono::duration<double>(Clock::now() - t0).count();

    // A fatal message is the last error of the run, with its place when it has one.
    for (const Message& m : messages.all)
        if (r.status != EXIT_STATUS_NORMAL && m.kind == MessageKind::Error) r.message = m.text;
    if (r.status != EXIT_STATUS_NORMAL && !fatal_text.empty()) r.message = fatal_text;
    // Every step ran: its outputs are in place, whatever the checks below say.
    const bool steps_done = r.status == EXIT_STATUS_NORMAL;
    // A log that could not be made (a read-only data folder, another run
    // writing it) leaves the data set without its written record.
    std::error_code ec;
    const bool import_logged = fs::is_regular_file(c.import_log, ec);
    if (r.status == EXIT_STATUS_NORMAL && !import_logged && c.log.empty()) {
        r.status = EXIT_STATUS_FATAL;
        r.message = "the log " + c.import_log + " cannot be written";
    }
    const std::vector<const Message*> warnings = messages.warnings();
    if (options.strict && r.status == EXIT_STATUS_NORMAL && !warnings.empty()) {
        r.status = EXIT_STATUS_FATAL;
        r.message = "--strict: " + warnings.front()->text;
    }
    // Reflections left out beyond the share allowed: the outputs are
    // written, but the data set is not what the file holds.
    if (G.NREFREAD >= 0) {
        r.left_out = G.NREFBAD;
        r.in_file = G.NREFREAD + G.NREFBAD;
    }
    if (r.status == EXIT_STATUS_NORMAL && r.left_out > options.max_left_out * r.in_file) {
        char share[32];
        std::snprintf(share, sizeof share, "%g", options.max_left_out);
        r.status = EXIT_STATUS_FATAL;
        r.message = left_out_text(r) + " by the import, more than --max-left-out " + share + " allows";
    }
    // An unfinished intensity or standard data file keeps its records under
    // a name that says so; the earlier complete file, if any, is untouched.
    if (r.status != EXIT_STATUS_NORMAL && writing && fs::is_regular_file(c.out + ".partial", ec))
        r.partial = c.out + ".partial";

    Json& j = r.summary;
    j["input"] = c.data;
    j["format"] = c.format->name;
    j["parameters"] = c.par;
    j["status"] = r.status;
    j["complete"] = r.status == EXIT_STATUS_NORMAL;
    if (!r.message.empty()) j["message"] = r.message;
    Json outputs;
    const std::string written = r.partial.empty() ? c.out : r.partial;
    if (c.kind == BatchKind::Reduce) {
        outputs["intensities"] = written;
        outputs["form"] = form_name(c.form);
    } else {
        outputs["standard_data_file"] = written;
    }
    const Json import_log = import_logged ? Json(c.import_log) : Json();
    outputs["log"] = c.log.empty() ? import_log : Json(c.log);
    if (!c.log.empty()) outputs["import_log"] = import_log;
    if (!c.import_log_refused.empty()) outputs["log_refused_beside_input"] = c.import_log_refused;
    outputs["cif"] = c.cif.empty() || !steps_done ? Json() : Json(c.cif);
    // The report is written last: in place only when every step ran.
    const bool reported = !c.report.empty() && steps_done;
    if (!c.report.empty()) outputs["report"] = reported ? Json(c.report) : Json();
    if (!c.plots.empty()) outputs["plots"] = reported ? Json(c.plots) : Json();
    j["outputs"] = outputs;
    j["counts"] = counts_of_run(c);
    j["refined"] = refined.refined ? refined_of_run(c, refined, law) : Json();
    if (!c.report.empty()) j["report"] = reported ? report_figures(report.figures) : Json();
    if (c.decay_correct) j["decay_correction"] = decay.done ? decay_correction_json(decay) : Json();
    if (c.absorption.active()) j["absorption_correction"] = absorption.done ? absorption_json(absorption) : Json();
    Json shown = Json::array();
    for (const Message* m : warnings) shown.push_back({{"title", m->title}, {"text", m->text}});
    j["reflections_refused"] = G.NREFBAD > 0;
    // How many the import left out (unreadable or refused), when it ran.
    if (G.NREFREAD >= 0) j["reflections_left_out"] = G.NREFBAD;
    j["warnings"] = shown;
    // A refinement that failed or was refused says why (its values stay null).
    if (c.refine && !refined.refined && refined.failure != 0) j["refinement_failure"] = refined.failure_text;
    j["elapsed_seconds"] = std::round(r.seconds * 1000.0) / 1000.0;
    return r;
}

void print_summary(const RunRecord& r) {
    const BatchChoices& c = *r.choices;
    const Json& n = r.summary["counts"];
    const std::string label = name_of(c.data);
    if (r.status != EXIT_STATUS_NORMAL) {
        std::fprintf(stderr, "%s: stopped%s%s\n", label.c_str(), r.message.empty() ? "" : ": ",
                     r.message.c_str());
        if (!r.partial.empty())
            std::fprintf(stderr, "%s: the records written so far are kept in %s\n", label.c_str(),
                         r.partial.c_str());
        return;
    }
    // Reflections of the file left out are said on the line itself.
    const std::string left_out = r.left_out > 0 ? ", " + left_out_text(r) : std::string();
    if (c.kind == BatchKind::Reduce) {
        std::printf("%s: %d reflections fitted, %d passed (%d recovered), %d rejected%s -> %s (%.2f s)\n",
                    label.c_str(), n["fitted"].get<int>(), n["passed"].get<int>(), n["recovered"].get<int>(),
                    n["rejected"].get<int>(), left_out.c_str(), c.out.c_str(), r.seconds);
    } else {
        std::printf("%s: %d reflections%s -> %s (%.2f s)\n", label.c_str(), n["imported"].get<int>(),
                    left_out.c_str(), c.out.c_str(), r.seconds);
    }
    check_standard_output();
}

}  // namespace

int run_batch(const BatchOptions& options, const std::vector<BatchChoices>& plan) {
    const Clock::time_point t0 = Clock::now();
    // A closed pipe is a write error on standard output, not the end of
    // the process: the batch stops as interrupted and writes its summary.
    // The handlers stay to the end of the process: a stop that comes after
    // the summary is written changes nothing, and must not end the process
    // with a status the summary does not give.
    stop_signal = 0;
    std::signal(SIGINT, on_stop_signal);
    std::signal(SIGTERM, on_stop_signal);
    std::signal(SIGHUP, on_stop_signal);
    std::signal(SIGPIPE, SIG_IGN);
    // The new outputs of the whole batch are claimed before anything runs:
    // a second run to one of them is refused here, not mixed in later.
    std::vector<std::string> claimed;
    auto release_all = [&claimed] {
        for (const std::string& p : claimed) release_output_claim(p);
        claimed.clear();
    };
    std::error_code ec;
    const std::string json =
        options.json.empty() ? std::string() : fs::absolute(options.json, ec).lexically_normal().string();
    std::vector<std::string> outputs;
    if (!json.empty()) outputs.push_back(json);
    for (const BatchChoices& c : plan) {
        outputs.push_back(c.out);
        if (!c.cif.empty()) outputs.push_back(c.cif);
        if (!c.report.empty()) outputs.push_back(c.report);
        // The folder of the plots is made now, not after the reduction, and
        // every plot the report may write is claimed with the other outputs.
        if (!c.plots.empty()) {
            fs::create_directories(c.plots, ec);
            if (!fs::is_directory(c.plots)) {
                std::fprintf(stderr, "tarnivox: --plots %s: the folder cannot be made: %s\n", c.plots.c_str(),
                             ec ? ec.message().c_str() : "a file stands in its place");
                return EXIT_STATUS_FATAL;
            }
        }
        for (const std::string& f : c.plot_files)
            if (std::find(outputs.begin(), outputs.end(), f) == outputs.end()) outputs.push_back(f);
    }
    for (const std::string& p : outputs) {
        if (claim_output(p) != 0) {
            std::fprintf(stderr, "tarnivox: %s: %s\n", p.c_str(), open_failure_reason().c_str());
            release_all();
            return EXIT_STATUS_FATAL;
        }
        claimed.push_back(p);
    }


    int status = EXIT_STATUS_NORMAL;
    Json runs = Json::array();
    for (const BatchChoices& c : plan) {
        if (stop_signal != 0) break;
        const RunRecord r = run_one(options, c);
        release_output_claim(c.out);
        if (!c.cif.empty()) release_output_claim(c.cif);
        if (!c.report.empty()) release_output_claim(c.report);
        for (const std::string& f : c.plot_files) release_output_claim(f);
        if (!options.quiet || r.status != EXIT_STATUS_NORMAL) print_summary(r);
        if (r.status != EXIT_STATUS_NORMAL) status = EXIT_STATUS_FATAL;
        runs.push_back(r.summary);
    }
    // Read once: the status and the summary say the same stop.
    const int stopped = stop_signal;
    if (stopped != 0) status = stop_status(stopped);
    if (!json.empty()) {
        Json j;
        j["program"] = "tarnivox";
        j["command"] = options.kind == BatchKind::Reduce ? "reduce" : "convert";
        j["status"] = status;
        j["complete"] = status == EXIT_STATUS_NORMAL;
        j["runs"] = runs;
        j["elapsed_seconds"] =
            std::round(std::chrono::duration<double>(Clock::now() - t0).count() * 1000.0) / 1000.0;
        if (stopped != 0) j["stopped_by"] = stop_text(stopped);
        make_json_text(j);
        if (write_whole_file(json, j.dump(2) + "\n") != 0) {
            std::fprintf(stderr, "tarnivox: cannot write the summary %s: %s\n", json.c_str(),
                         open_failure_reason().c_str());
            release_all();
            return status == EXIT_STATUS_NORMAL ? EXIT_STATUS_FATAL : status;
        }
    }
    release_all();
    return status;
}

}  // namespace tarnivox
