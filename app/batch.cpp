#include "batch.h"

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>

#include "commands/cif.h"
#include "commands/preprocess.h"
#include "core/exitint.h"
#include "core/store.h"
#include "fitting/fitscan.h"
#include "io/units.h"
#include "tarnivox_main.h"
#include "ui/files.h"
#include "ui/toolkit/script/script_backend.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The formats in the order of the "Open Input Data File" filters, so that
// a format's filter is its INFMT.  XSCANS, STOE and CAD4 files carry their
// step width; Huber and Febo files do not, and the window asks for it.
constexpr InputFormat kFormats[] = {
    {"standard", 1, "Standard", false}, {"huber", 2, "Old Single", true}, {"xcalibur", 3, "Xcalibur", false},
    {"xscans", 4, "Xscans", false},     {"stoe", 5, "Stoe", false},       {"febo", 6, "Phillips Febo", true},
    {"cad4", 7, "Enraf CAD4", false},
};

// The lower limit of the step-size box.
constexpr double kSmallestStep = 0.001;

// Preprocessing takes a lower I/sigma threshold as 3.
constexpr double kLowestISigma = 3.0;

// The crystal systems of the command line and their entries in the
// "Crystal system" list of "Unit Cell Refinement".
constexpr std::pair<const char*, const char*> kCrystalSystems[] = {
    {"monoclinic-b", "Monoclinic-b"}, {"monoclinic-c", "Monoclinic-c"}, {"orthorhombic", "Orthorhombic"},
    {"tetragonal", "Tetragonal"},     {"hexagonal", "Hexagonal"},       {"cubic", "Cubic"},
};

// Command numbers of the program's menus, buttons and timer.
constexpr int kTick = 990;  // one reflection per tick
constexpr int kPreprocessCommand = 331;
constexpr int kJumpByNumber = 108;
constexpr int kResultsOkCommand = 631;  // "Ok" of "Cell Refinement Results"
constexpr int kAutoFitCommand = 322;
constexpr const char* kResultsBox = "Cell Refinement Results";
constexpr const char* kResultsOk = "Ok";

// The question that ends every batch run: the batch's own "Exit", not a
// message of the reduction.
constexpr std::string_view kExitQuestion = "Are you sure you want to exit the program?";

// The boxes by which "Write Std datafile" and "Create Cif" tell success.
constexpr std::string_view kCopyDone = "Standard data file written successfully";
constexpr std::string_view kCifDone = "Cif created successfully";
// The import's notices: all read, or some reflection refused; the end of
// the automatic fit.
constexpr std::string_view kImportDone = "Data File read in successfully";
constexpr std::string_view kRefusedReflections = "Error Reading at least 1 reflection in data file";
constexpr std::string_view kEndOfFile = "End of File";

// A script argument: a label or list entry of the program's own boxes.
// Paths never go into the script's text (see batch_paths()).
std::string script_word(std::string_view s) { return "\"" + std::string(s) + "\""; }

// Weak data: a free fit of a weak scan follows its noise in position,
// width and shape, and its intensity with them.  Position from UB, the
// width from the learned law and eta at its start value leave background
// and intensity to the fit; a negative intensity is then a measurement
// like any other, and the intensity test, which would write it as 0(1), is
// off.  The switches of a parameter's row in "Fitting Controls & Results"
// carry no label: they are the box's unlabelled items in the order the box
// makes them, three per row (refine, start value from the model, limit
// test), rows Intensity, FWHM, Position, Background, Eta, Iratio.
template <class Line>
void hold_profile_for_weak_data(Line& line) {
    auto item = [](int row, int column) { return "\"#" + std::to_string(3 * row + column) + "\""; };
    constexpr int kIntensityRow = 0, kFwhmRow = 1, kPositionRow = 2, kEtaRow = 4;
    constexpr int kRefine = 1, kFromModel = 2, kLimitTest = 3;
    for (int row : {kFwhmRow, kPositionRow, kEtaRow}) {
        line("toggle \"Fitting Controls & Results\" " + item(row, kRefine) + " off");
        line("toggle \"Fitting Controls & Results\" " + item(row, kFromModel) + " on");
    }
    // Pressed, the switch fires its command and the box is read into the
    // fit controls (a switch only set is read at the next reflection, the
    // limit tests not at all).
    line("toggle \"Fitting Controls & Results\" " + item(kIntensityRow, kLimitTest) + " on");
    line("press \"Fitting Controls & Results\" " + item(kIntensityRow, kLimitTest));
}

// The places of the paths in the table handed to the backend beside the
// script (`file-given N`, `browse-given N`).
constexpr int kGivenData = 1, kGivenPar = 2, kGivenOut = 3, kGivenLog = 4;
std::string given(int n) { return std::to_string(n); }

// SIGINT or SIGTERM received: the run stops at its next reflection.
volatile std::sig_atomic_t stop_signal = 0;

extern "C" void on_stop_signal(int sig) {
    stop_signal = sig;
    // A second signal ends the process at once, as without a handler.
    std::signal(sig, SIG_DFL);
}

// A number typed into an entry.
std::string number(double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.10g", v);
    return text;
}

std::string name_of(const std::string& path) { return fs::path(path).filename().string(); }

bool has_extension(const std::string& path) { return name_of(path).find('.') != std::string::npos; }

// The input's name cut before its first '.', in the input's folder, with
// `ext` — as the window names the log after the input file.
std::string beside_input(const std::string& data, std::string_view ext) {
    const fs::path p(data);
    std::string stem = p.filename().string();
    const std::size_t dot = stem.find('.');
    if (dot != std::string::npos) stem.resize(dot);
    return (p.parent_path() / (stem + std::string(ext))).string();
}

std::string absolute(const std::string& path) {
    std::error_code ec;
    const fs::path a = fs::absolute(path, ec);
    return ec ? path : a.lexically_normal().string();
}

// A file as the system knows it: device and inode when it exists (hard
// links are one file), and its real path (symbolic links, "..", also a
// link to a file not yet made) for a file that is still to be written.
struct FileIdentity {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    std::string real;
};

FileIdentity identify(const std::string& path) {
    FileIdentity id;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        id.exists = true;
        id.dev = st.st_dev;
        id.ino = st.st_ino;
    }
    std::error_code ec;
    fs::path p = fs::absolute(path, ec).lexically_normal();
    for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(p, ec)); ++hops) {
        const fs::path to = fs::read_symlink(p, ec);
        if (ec) break;
        p = (to.is_absolute() ? to : p.parent_path() / to).lexically_normal();
    }
    const fs::path real = fs::weakly_canonical(p, ec);
    id.real = ec ? p.string() : real.string();
    return id;
}

bool same_identity(const FileIdentity& a, const FileIdentity& b) {
    if (a.exists && b.exists) return a.dev == b.dev && a.ino == b.ino;
    return a.real == b.real;
}

// Why `path` cannot be read as a file; empty when it can.
std::string unreadable(const std::string& what, const std::string& path) {
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (!fs::exists(st)) return what + " " + path + " does not exist";
    if (fs::is_directory(st)) return what + " " + path + " is a folder, not a file";
    // A device, a pipe or a socket has no end a reader can rely on.
    if (!fs::is_regular_file(st)) return what + " " + path + " is not a regular file";
    if (::access(path.c_str(), R_OK) != 0) return what + " " + path + " cannot be read";
    return {};
}

// Why `path` cannot be written as a file; empty when it can.  A file
// appended to in place (a log) needs only itself writable; a new output is
// made beside the file it replaces (or the file a link points at) and
// renamed over it, so its folder must take a new file.
std::string unwritable(const std::string& what, const std::string& path, bool in_place = false) {
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (fs::is_directory(st)) return what + " " + path + " is a folder, not a file";
    if (fs::exists(st)) {
        if (!fs::is_regular_file(st)) return what + " " + path + " is not a regular file";
        if (::access(path.c_str(), W_OK) != 0) return what + " " + path + " cannot be written";
        if (in_place) return {};
    }
    const fs::path dir = fs::path(identify(path).real).parent_path();
    if (!fs::is_directory(dir, ec))
        return what + " " + path + ": the folder " + dir.string() + " does not exist";
    if (::access(dir.c_str(), W_OK | X_OK) != 0)
        return what + " " + path + ": the folder " + dir.string() + " cannot be written";
    return {};
}

const char* form_name(IntensityForm form) {
    switch (form) {
        case IntensityForm::Shelx: return "shelx";
        case IntensityForm::Rfine: return "rfine";
        case IntensityForm::RfineExtended: return "rfine-extended";
    }
    return "";
}

int intfmt_of(IntensityForm form) {
    switch (form) {
        case IntensityForm::Shelx: return 3;
        case IntensityForm::Rfine: return 1;
        case IntensityForm::RfineExtended: return 2;
    }
    return 1;
}

// The radio buttons of "Output Format", by INTFMT.
const char* const kOutputFormatRadio[] = {"", "Rfine", "Rfine extended", "Shelx hkl"};

// ---------------------------------------------------------------- progress

// One line on a terminal, redrawn in place: data set, reflections done of
// the total, rate, time left.
class ProgressLine {
public:
    ProgressLine(bool enabled, std::string label) : enabled_(enabled), label_(std::move(label)) {}

    void start() {
        done_ = 0;
        start_ = Clock::now();
        drawn_at_ = start_ - std::chrono::seconds(1);
    }

    void step(int total) {
        ++done_;
        if (!enabled_) return;
        const Clock::time_point now = Clock::now();
        if (now - drawn_at_ < std::chrono::milliseconds(100)) return;
        drawn_at_ = now;
        const double seconds = std::chrono::duration<double>(now - start_).count();
        const int done = total > 0 && done_ > total ? total : done_;
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
    int done_ = 0;
    Clock::time_point start_{};
    Clock::time_point drawn_at_{};
    bool shown_ = false;
};

// The reflections an automatic run walks: those imported, less the weak
// ones when they are skipped.
int reflections_to_walk() {
    int total = 0;
    for (int i = 1; i <= 7; ++i) total += G.NCLASS(i);
    if (G.SKIPWEAK != 0) total -= G.NCLASS(1);
    return total;
}

// ---------------------------------------------------------------- the backend

// The headless backend fed with the window actions of one data set; every
// box the window would show is printed on standard error with its title,
// and the timer's ticks drive the progress line.
class BatchBackend : public ScriptBackend {
public:
    BatchBackend(const BatchChoices& choices, bool quiet, bool terminal, std::string label)
        : refine_(choices.refine),
          weak_profile_(choices.weak_profile),
          quiet_(quiet),
          label_(std::move(label)),
          progress_(terminal && !quiet, label_) {
        load(batch_script(choices), ".");
        give_paths(batch_paths(choices));
        echo = false;
    }

    int action() override {
        // An import that took no reflection ends the data set: there is
        // nothing to fit or write, and a pipeline must not take it for a
        // reduction.
        if (G.NREFREAD == 0) end_run("No reflection read from data file", EXIT_STATUS_FATAL);
        // A stop asked for by SIGINT or SIGTERM takes effect here, between
        // reflections: what is written is whole, and nothing is finished.
        if (stop_signal != 0)
            end_run(stop_signal == SIGINT ? "INTERRUPTED (SIGINT)" : "INTERRUPTED (SIGTERM)", 128 + stop_signal);
        const int command = ScriptBackend::action();
        switch (command) {
            case kTick: progress_.step(reflections_to_walk()); break;
            case kPreprocessCommand:
                // Nothing has moved since start-up: the current reflection
                // is the data set's first.
                first_reflection_ = G.NREF;
                break;
            case kJumpByNumber:
                if (refine_) set_value(find("main", "ISEQ"), static_cast<double>(first_reflection_));
                break;
            case kResultsOkCommand:
                // "Calc UB" showed no results: it found too few reflections
                // or its least squares failed (its own box said which).  A
                // fit without the refinement asked for is not the run wanted.
                if (refine_ && !refined_)
                    end_run(std::string("REFINEMENT FAILED: ") +
                                (G.UBFAIL != 0 ? ub_fit_failure_text(G.UBFAIL) : "NOTHING FITTED"),
                            EXIT_STATUS_FATAL);
                break;
            case kAutoFitCommand:
                // "Calc FWHM" found no law (no widths with esds, or all at
                // one 2theta, its box said which): every width held at a
                // width that is none would fit nothing.
                if (weak_profile_ && !(G.FWHMA > 0.0 && G.FWHMA + G.FWHMB > 0.0))
                    end_run("NO FWHM LAW FROM THE REFINED WIDTHS: NOTHING FITTED", EXIT_STATUS_FATAL);
                break;
            default: break;
        }
        return command;
    }

    void draw_window(int h) override {
        ScriptBackend::draw_window(h);
        if (widget(h).kind == ScriptWidget::Dialog && widget(h).label == kResultsBox) refined_ = true;
    }

    bool refined() const { return refined_; }

    void define_timer(int interval, int command) override {
        if (command != 0 && !timer_running()) progress_.start();
        ScriptBackend::define_timer(interval, command);
    }

    int message_box(std::string_view title, std::string_view text, int icon, int buttons) override {
        const int answer = ScriptBackend::message_box(title, text, icon, buttons);
        if (text != kExitQuestion && !quiet_) show(title, text);
        return answer;
    }

    void error_box(std::string_view title, std::string_view text) override {
        ScriptBackend::error_box(title, text);
        show(title, text);
    }

    void end_progress() { progress_.clear(); }

private:
    void show(std::string_view title, std::string_view text) {
        progress_.clear();
        std::fprintf(stderr, "%s: [%.*s] %.*s\n", label_.c_str(), static_cast<int>(title.size()),
                     title.data(), static_cast<int>(text.size()), text.data());
        std::fflush(stderr);
    }

    bool refine_;
    bool weak_profile_;
    bool refined_ = false;
    int first_reflection_ = 1;
    bool quiet_;
    std::string label_;
    ProgressLine progress_;
};

// ---------------------------------------------------------------- one data set

struct RunRecord {
    const BatchChoices* choices = nullptr;
    int status = EXIT_STATUS_NORMAL;
    std::string message;  // the fatal message, when the run ended on one
    std::string partial;  // where an unfinished output was moved
    double seconds = 0.0;
    nlohmann::ordered_json summary;
};

// An unfinished intensity or standard data file keeps its records under a
// name that says so (the unit table leaves it there); the earlier complete
// file, if any, is untouched.
std::string set_aside_unfinished(const std::string& out, const ScriptBackend& backend) {
    bool opened = false;
    for (const ScriptEvent& e : backend.events())
        if (e.kind == ScriptEvent::OpenFile && !e.result.empty() && e.result == out) opened = true;
    const std::string partial = out + ".partial";
    std::error_code ec;
    return opened && fs::is_regular_file(partial, ec) ? partial : std::string();
}

// The notices of a clean run, which are no warning.
bool clean_notice(std::string_view text) {
    for (std::string_view notice : {kExitQuestion, kImportDone, kEndOfFile, kCopyDone, kCifDone})
        if (text == notice) return true;
    return false;
}

nlohmann::ordered_json counts_of_run(const BatchChoices& c) {
    nlohmann::ordered_json j;
    static const char kClasses[] = "WMRSFIN";
    nlohmann::ordered_json classes;
    int imported = 0;
    for (int i = 1; i <= 7; ++i) {
        classes[std::string(1, kClasses[i - 1])] = G.NCLASS(i);
        imported += G.NCLASS(i);
    }
    j["classification"] = classes;
    j["imported"] = imported;
    if (c.kind != BatchKind::Reduce) return j;
    nlohmann::ordered_json rejections;
    int rejected_pass1 = 0;
    for (int p = 0; REJECTION_LETTERS[p] != '\0'; ++p) {
        rejections[std::string(1, REJECTION_LETTERS[p])] = G.NFITC(p + 2);
        rejected_pass1 += G.NFITC(p + 2);
    }
    const int fitted = G.NFITC(1) + rejected_pass1;
    const int passed = G.NFITC(1) + G.NFITC(12);
    j["fitted"] = fitted;
    j["passed"] = passed;
    j["passed_first_pass"] = G.NFITC(1);
    j["refitted"] = G.NPASS2;
    j["recovered"] = G.NFITC(12);
    j["rejected"] = fitted - passed;
    j["rejections_first_pass"] = rejections;
    j["written_from_summation"] = G.NSUMW;
    j["rejected_left_out"] = G.NREJOM;
    return j;
}

// The cell, omega zero and crystal offsets "Calc UB" refined, with esds.
nlohmann::ordered_json refined_of_run(const BatchChoices& c) {
    nlohmann::ordered_json j;
    static const char* const kNames[] = {"a", "b", "c", "alpha", "beta", "gamma", "volume"};
    nlohmann::ordered_json cell;
    // A cell fixed without redundancy has no esds: null, not an exact 0.
    for (int n = 1; n <= 7; ++n)
        cell[kNames[n - 1]] = {
            {"value", G.CELL(n)},
            {"esd", G.CELLNOESD == 1 ? nlohmann::ordered_json() : nlohmann::ordered_json(G.CELLESD(n))}};
    j["cell"] = cell;
    if (G.CELLNOESD == 1) j["cell_esd_note"] = "the reflections fix the cell without redundancy: no esds";
    j["crystal_system"] =
        c.crystal_system.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(c.crystal_system);
    j["reflections"] = G.NUBREF;
    if (c.omega_zero) {
        j["omega_zero"] = G.OMZERO;
        j["omega_zero_esd"] = G.OMZESD;
    }
    if (c.offsets) {
        j["offsets"] = {G.XTALOFF(1), G.XTALOFF(2), G.XTALOFF(3)};
        j["offsets_esd"] = {G.XOFFESD(1), G.XOFFESD(2), G.XOFFESD(3)};
    }
    if (c.weak_profile) j["fwhm_law"] = {{"a", G.FWHMA}, {"b", G.FWHMB}};
    return j;
}

RunRecord run_one(const BatchOptions& options, const BatchChoices& c) {
    RunRecord r;
    r.choices = &c;
    auto owned = std::make_unique<BatchBackend>(c, options.quiet, options.terminal, name_of(c.data));
    BatchBackend& backend = *owned;
    set_toolkit_backend(std::move(owned));
    // Every data set starts from a clean program state.
    close_all_units();
    reset_store();
    // A refinement list too small for every strong reflection keeps the
    // strongest, rather than ending the run before "Calc UB".
    G.PREPRAISE = 1;
    // Weak-profile runs hold the position at the UB omega only where the
    // reflection's counts cannot fix it.
    G.OWNPOS = c.weak_profile ? 1 : 0;
    G.REJOUT = c.omit_rejected ? 0 : 1;
    RunOptions run;
    run.headless = true;
    run.defaults_file = options.use_defaults;
    const Clock::time_point t0 = Clock::now();
    r.status = run_program(run);
    r.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    backend.end_progress();

    // A fatal message is the last error box of the run.
    if (r.status != EXIT_STATUS_NORMAL)
        for (const ScriptEvent& e : backend.events())
            if (e.kind == ScriptEvent::Error) r.message = e.text;
    // "Write Std datafile" and "Create Cif" report their failures in a box
    // and go on.
    const bool copying = c.kind == BatchKind::Convert;
    if (r.status == EXIT_STATUS_NORMAL && (copying || !c.cif.empty())) {
        const std::string_view done = copying ? kCopyDone : kCifDone;
        bool written = false;
        for (const ScriptEvent& e : backend.events())
            if (e.kind == ScriptEvent::Message && e.text == done) written = true;
        if (!written) {
            r.status = EXIT_STATUS_FATAL;
            for (const ScriptEvent& e : backend.events())
                if (e.kind == ScriptEvent::Message || e.kind == ScriptEvent::Error) r.message = e.text;
        }
    }
    // A log that could not be made (a read-only data folder, another run
    // writing it) leaves the data set without its written record.
    std::error_code ec;
    const bool import_logged = fs::is_regular_file(c.import_log, ec);
    if (r.status == EXIT_STATUS_NORMAL && !import_logged && c.log.empty()) {
        r.status = EXIT_STATUS_FATAL;
        r.message = "the log " + c.import_log + " cannot be written";
    }
    // Every box beyond the notices of a clean run: refused reflections,
    // implausible values, records not written.
    std::vector<const ScriptEvent*> warnings;
    for (const ScriptEvent& e : backend.events())
        if ((e.kind == ScriptEvent::Message || e.kind == ScriptEvent::Error) && !clean_notice(e.text))
            warnings.push_back(&e);
    if (options.strict && r.status == EXIT_STATUS_NORMAL && !warnings.empty()) {
        r.status = EXIT_STATUS_FATAL;
        r.message = "--strict: " + warnings.front()->text;
    }
    // A run that asked what the batch does not answer is a failed run of
    // the program, not a usage error of the command line; a stop by a
    // signal keeps its own status.
    if (r.status != EXIT_STATUS_NORMAL) {
        if (r.status != 128 + SIGINT && r.status != 128 + SIGTERM) r.status = EXIT_STATUS_FATAL;
        r.partial = set_aside_unfinished(c.out, backend);
    }

    nlohmann::ordered_json& j = r.summary;
    j["input"] = c.data;
    j["format"] = c.format->name;
    j["parameters"] = c.par;
    j["status"] = r.status;
    j["complete"] = r.status == EXIT_STATUS_NORMAL;
    if (!r.message.empty()) j["message"] = r.message;
    nlohmann::ordered_json outputs;
    if (c.kind == BatchKind::Reduce) {
        outputs["intensities"] = r.partial.empty() ? c.out : r.partial;
        outputs["form"] = form_name(c.form);
    } else {
        outputs["standard_data_file"] = r.partial.empty() ? c.out : r.partial;
    }
    const nlohmann::ordered_json import_log = import_logged ? nlohmann::ordered_json(c.import_log)
                                                            : nlohmann::ordered_json();
    outputs["log"] = c.log.empty() ? import_log : nlohmann::ordered_json(c.log);
    if (!c.log.empty()) outputs["import_log"] = import_log;
    outputs["cif"] = c.cif.empty() || r.status != EXIT_STATUS_NORMAL ? nlohmann::ordered_json()
                                                                     : nlohmann::ordered_json(c.cif);
    j["outputs"] = outputs;
    j["counts"] = counts_of_run(c);
    j["refined"] = backend.refined() ? refined_of_run(c) : nlohmann::ordered_json();
    nlohmann::ordered_json shown = nlohmann::ordered_json::array();
    bool refused = false;
    for (const ScriptEvent* e : warnings) {
        shown.push_back({{"title", e->title}, {"text", e->text}});
        if (e->text == kRefusedReflections) refused = true;
    }
    j["reflections_refused"] = refused;
    // How many the import left out (unreadable or refused), when it ran.
    if (G.NREFREAD >= 0) j["reflections_left_out"] = G.NREFBAD;
    j["warnings"] = shown;
    // A refinement that failed or was refused says why (its values stay null).
    if (c.refine && !backend.refined() && G.UBFAIL != 0)
        j["refinement_failure"] = ub_fit_failure_text(G.UBFAIL);
    j["elapsed_seconds"] = std::round(r.seconds * 1000.0) / 1000.0;
    return r;
}

void print_summary(const RunRecord& r) {
    const BatchChoices& c = *r.choices;
    const nlohmann::ordered_json& n = r.summary["counts"];
    const std::string label = name_of(c.data);
    if (r.status != EXIT_STATUS_NORMAL) {
        std::fprintf(stderr, "%s: stopped%s%s\n", label.c_str(), r.message.empty() ? "" : ": ",
                     r.message.c_str());
        if (!r.partial.empty())
            std::fprintf(stderr, "%s: the records written so far are kept in %s\n", label.c_str(),
                         r.partial.c_str());
        return;
    }
    if (c.kind == BatchKind::Reduce) {
        std::printf("%s: %d reflections fitted, %d passed (%d recovered), %d rejected -> %s (%.2f s)\n",
                    label.c_str(), n["fitted"].get<int>(), n["passed"].get<int>(), n["recovered"].get<int>(),
                    n["rejected"].get<int>(), c.out.c_str(), r.seconds);
    } else {
        std::printf("%s: %d reflections -> %s (%.2f s)\n", label.c_str(), n["imported"].get<int>(),
                    c.out.c_str(), r.seconds);
    }
    std::fflush(stdout);
}

}  // namespace

const InputFormat* input_format_named(std::string_view name) {
    for (const InputFormat& f : kFormats)
        if (name == f.name) return &f;
    return nullptr;
}

std::string input_format_names() {
    std::string names;
    for (const InputFormat& f : kFormats) names += std::string(names.empty() ? "" : ", ") + f.name;
    return names;
}

std::string plan_batch(const BatchOptions& o, std::vector<BatchChoices>& plan) {
    plan.clear();
    const InputFormat* format = input_format_named(o.format);
    if (!format) return "unknown format \"" + o.format + "\" (one of " + input_format_names() + ")";
    for (auto [given, name] : {std::pair<bool, const char*>{!o.symmetry.empty(), "--symmetry"},
                               {o.offsets, "--offsets"},
                               {o.omega_zero, "--omega-zero"},
                               {o.min_i_sigma.has_value(), "--min-i-sigma"}})
        if (given && !o.refine && !o.weak_profile)
            return std::string(name) + " belongs to --refine, which is not given";
    // The symmetry-constrained refinement refines neither the offsets nor
    // the zero point: the window takes it alone when all are chosen, so a
    // run asking for both would report values it never refined.
    if (!o.symmetry.empty() && (o.offsets || o.omega_zero))
        return "--symmetry refines neither --offsets nor --omega-zero; run without --symmetry to refine them";
    if (o.min_i_sigma && !(std::isfinite(*o.min_i_sigma) && *o.min_i_sigma >= kLowestISigma))
        return "--min-i-sigma must be at least 3 (weaker reflections do not fix the orientation)";
    const char* crystal_system = nullptr;
    if (!o.symmetry.empty()) {
        for (const auto& [name, entry] : kCrystalSystems)
            if (o.symmetry == name) crystal_system = entry;
        if (!crystal_system) return "unknown --symmetry \"" + o.symmetry + "\"";
    }
    if (o.data.empty()) return "no DATA file given";
    if (o.data.size() > 1 && !o.out.empty())
        return "--out names one file; with several DATA files leave it out (each gets its own beside its "
               "input)";
    if (o.data.size() > 1 && !o.log.empty())
        return "--log names one file; with several DATA files leave it out (each keeps its own beside its "
               "input)";
    if (o.step) {
        if (!format->asks_step)
            return std::string("--step is for the huber and febo formats; ") + format->name +
                   " files carry their step width";
        if (!std::isfinite(*o.step) || *o.step < kSmallestStep)
            return "--step must be at least 0.001 degrees (omega step width)";
    }
    IntensityForm form = IntensityForm::Shelx;
    if (o.form == "rfine") {
        form = IntensityForm::Rfine;
    } else if (o.form == "rfine-extended") {
        form = IntensityForm::RfineExtended;
    } else if (o.form.empty() && !o.out.empty()) {
        // The layout the output file's extension names.
        const std::string ext = fs::path(o.out).extension().string();
        if (ext == ".int" || ext == ".INT") form = IntensityForm::Rfine;
    } else if (!o.form.empty() && o.form != "shelx") {
        return "unknown --form \"" + o.form + "\" (one of shelx, rfine, rfine-extended)";
    }
    if (format->asks_step && !o.step)
        return std::string("--step is required for ") + format->name +
               " files: they do not carry their omega step width";
    if (!o.rejected.empty() && o.rejected != "summation" && o.rejected != "omit")
        return "unknown --rejected \"" + o.rejected + "\" (one of summation, omit)";
    if (std::string e = unreadable("parameter file", o.par); !e.empty()) return e;
    const std::string json = o.json.empty() ? std::string() : absolute(o.json);
    if (!json.empty())
        if (std::string e = unwritable("--json", json); !e.empty()) return e;

    // Every file of the whole batch, read or written, for the collision
    // test below.
    struct Planned {
        std::string role;
        std::string path;
        bool output;
        FileIdentity id;
    };
    std::vector<Planned> files;
    auto add = [&files](std::string role, const std::string& path, bool output) {
        files.push_back({std::move(role), path, output, identify(path)});
    };
    add("parameter file", absolute(o.par), false);
    if (!json.empty()) {
        add("--json summary", json, true);
        add("unfinished --json summary", json + ".partial", true);
    }

    for (const std::string& data : o.data) {
        BatchChoices c;
        c.kind = o.kind;
        c.format = format;
        c.form = form;
        c.step = o.step;
        c.refine = o.refine || o.weak_profile;
        c.weak_profile = o.weak_profile;
        c.crystal_system = crystal_system ? crystal_system : "";
        c.offsets = o.offsets;
        c.omega_zero = o.omega_zero;
        c.min_i_sigma = o.min_i_sigma;
        c.omit_rejected = o.rejected == "omit";
        c.data = absolute(data);
        c.par = absolute(o.par);
        if (std::string e = unreadable("data file", c.data); !e.empty()) return e;
        // The file dialog gives a name without an extension the default one.
        if (!has_extension(c.data))
            return "data file " + c.data + " has no extension; the file dialog would open " +
                   name_of(c.data) + ".rfl (rename the file)";
        const char* ext = o.kind == BatchKind::Convert   ? ".rfl"
                          : form == IntensityForm::Shelx ? ".hkl"
                                                         : ".int";
        c.out = o.out.empty() ? beside_input(c.data, ext) : absolute(o.out);
        if (!has_extension(c.out))
            return "--out " + c.out + " has no extension (" +
                   (o.kind == BatchKind::Convert ? ".rfl" : ".hkl or .int") + ")";
        if (std::string e = unwritable("output", c.out); !e.empty()) return e;
        c.import_log = automatic_log_path(c.data);
        if (!o.log.empty()) {
            c.log = absolute(o.log);
            // The log file dialog gives a name without an extension ".log".
            if (!has_extension(c.log)) c.log += ".log";
            if (std::string e = unwritable("log", c.log, true); !e.empty()) return e;
        }
        if (o.cif) {
            // "Create Cif" names the fragment after the input, beside it.
            c.cif = (fs::path(c.data).parent_path() / cif_file_name(name_of(c.data))).string();
            if (std::string e = unwritable("CIF", c.cif); !e.empty()) return e;
        }
        const std::string of = " of " + name_of(c.data);
        add("data file", c.data, false);
        add("output" + of, c.out, true);
        add("unfinished output" + of, c.out + ".partial", true);
        add("log" + of, c.import_log, true);
        if (!c.log.empty()) add("--log" + of, c.log, true);
        if (!c.cif.empty()) {
            add("CIF" + of, c.cif, true);
            add("unfinished CIF" + of, c.cif + ".partial", true);
        }
        plan.push_back(c);
    }

    // No output may be an input, nor another output of any data set: a run
    // must never write over the data it reads or mix two files into one.
    for (std::size_t i = 0; i < files.size(); ++i) {
        for (std::size_t k = 0; k < i; ++k) {
            const Planned& a = files[k];
            const Planned& b = files[i];
            if (!a.output && !b.output) continue;
            if (!same_identity(a.id, b.id)) continue;
            const Planned& out = b.output ? b : a;
            const Planned& other = b.output ? a : b;
            if (!other.output)
                return "the " + out.role + " " + out.path + " would replace an input file, the " + other.role +
                       " " + other.path + "; name another output";
            return "the " + b.role + " " + b.path + " and the " + a.role + " " + a.path + " are the same file";
        }
    }
    return {};
}

std::string batch_script(const BatchChoices& c) {
    std::string s;
    auto line = [&s](const std::string& l) { s += l + "\n"; };
    // Open the data file in its format, and its instrument parameter file.
    line("file-given " + given(kGivenData) + " " + std::to_string(c.format->infmt));
    line("press \"Input Data file Format\" " + script_word(c.format->radio));
    line("press \"Input Data file Format\" OK");
    line("browse-given " + given(kGivenPar));
    if (c.format->asks_step) {
        // The file has no step width: the import asks for it.
        if (c.step) line("set Tarnivox \"Omega step size\" " + number(*c.step));
        line("press Tarnivox Ok");
    }
    if (c.kind == BatchKind::Convert) {
        line("press File \"Write Std datafile\"");
        line("file-given " + given(kGivenOut));
    } else {
        if (!c.log.empty()) {
            line("press File \"Open log file\"");
            line("browse-given " + given(kGivenLog));
        }
        if (c.refine) {
            // The strong reflections into the refinement list, then UB, the
            // cell and what else is asked from them.
            line("press Utilities Preprocess");
            if (c.min_i_sigma) line("set \"Preprocessing Control\" I/sigma " + number(*c.min_i_sigma));
            line("press \"Preprocessing Control\" Go");
            line("press Utilities \"Calc UB\"");
            if (!c.crystal_system.empty()) {
                line("toggle \"Unit Cell Refinement\" \"Symmetry constrained\" on");
                line("select \"Unit Cell Refinement\" \"Crystal system\" " + c.crystal_system);
            }
            if (c.offsets) line("toggle \"Unit Cell Refinement\" \"Refine crystal offsets\" on");
            if (c.omega_zero) line("toggle \"Unit Cell Refinement\" \"Refine omega zero\" on");
            line("press \"Unit Cell Refinement\" Refine");
            line(std::string("press \"") + kResultsBox + "\" " + kResultsOk);
            if (c.weak_profile) {
                // The width law from the list's widths, stored as shown.
                line("press Utilities \"Calc FWHM\"");
                line("press \"FWHM values from dataset\" \"Save values\"");
            }
        }
        // The output file, through the filter of its layout; an existing
        // file is replaced (the box's default answer).
        const int want = intfmt_of(c.form);
        const int filter = want == 3 ? 2 : 1;
        line("press File \"Open output file\"");
        line("file-given " + given(kGivenOut) + " " + std::to_string(filter));
        const int taken = output_format_of(c.out, filter);
        if (taken == 0 || taken != want) {
            // The format dialog: asked by the open when the name does not
            // tell, else from the Parameters menu.
            if (taken != 0) line("press Parameters \"Output format\"");
            line(std::string("press \"Output Format\" ") + script_word(kOutputFormatRadio[want]));
            line("press \"Output Format\" \"Save + Exit\"");
        }
        line("press Integrate \"Auto profile fit\"");
        line("press \"Peak parameter default values\" \"Save + Exit\"");
        if (c.weak_profile) hold_profile_for_weak_data(line);
        // Preprocessing walked to the end of the data set: back to its
        // first reflection (the batch types the first reflection's number).
        if (c.refine) line("enter main ISEQ 1");
        line("press main Start");
        if (!c.cif.empty()) line("press File \"Create Cif\"");
    }
    line("close");
    line("answer yes");
    return s;
}

std::vector<std::string> batch_paths(const BatchChoices& c) {
    std::vector<std::string> paths(kGivenLog);
    paths[kGivenData - 1] = c.data;
    paths[kGivenPar - 1] = c.par;
    paths[kGivenOut - 1] = c.out;
    paths[kGivenLog - 1] = c.log;
    return paths;
}

int run_batch(const BatchOptions& options, const std::vector<BatchChoices>& plan) {
    const Clock::time_point t0 = Clock::now();
    // The new outputs of the whole batch are claimed before anything runs:
    // a second run to one of them is refused here, not mixed in later.
    std::vector<std::string> claimed;
    auto release_all = [&claimed] {
        for (const std::string& p : claimed) release_output_claim(p);
        claimed.clear();
    };
    const std::string json = options.json.empty() ? std::string() : absolute(options.json);
    std::vector<std::string> outputs;
    if (!json.empty()) outputs.push_back(json);
    for (const BatchChoices& c : plan) {
        outputs.push_back(c.out);
        if (!c.cif.empty()) outputs.push_back(c.cif);
    }
    for (const std::string& p : outputs) {
        if (claim_output(p) != 0) {
            std::fprintf(stderr, "tarnivox: %s: %s\n", p.c_str(), open_failure_reason().c_str());
            release_all();
            return EXIT_STATUS_FATAL;
        }
        claimed.push_back(p);
    }

    stop_signal = 0;
    struct Handlers {
        void (*int_before)(int) = std::signal(SIGINT, on_stop_signal);
        void (*term_before)(int) = std::signal(SIGTERM, on_stop_signal);
        ~Handlers() {
            std::signal(SIGINT, int_before);
            std::signal(SIGTERM, term_before);
        }
    } handlers;

    int status = EXIT_STATUS_NORMAL;
    nlohmann::ordered_json runs = nlohmann::ordered_json::array();
    for (const BatchChoices& c : plan) {
        if (stop_signal != 0) break;
        const RunRecord r = run_one(options, c);
        release_output_claim(c.out);
        if (!c.cif.empty()) release_output_claim(c.cif);
        if (!options.quiet || r.status != EXIT_STATUS_NORMAL) print_summary(r);
        if (r.status != EXIT_STATUS_NORMAL) status = EXIT_STATUS_FATAL;
        runs.push_back(r.summary);
    }
    if (stop_signal != 0) status = 128 + stop_signal;
    // The program's toolkit is left headless and empty.
    set_toolkit_backend(ScriptBackend::from_text(""));
    if (!json.empty()) {
        nlohmann::ordered_json j;
        j["program"] = "tarnivox";
        j["command"] = options.kind == BatchKind::Reduce ? "reduce" : "convert";
        j["status"] = status;
        j["complete"] = status == EXIT_STATUS_NORMAL;
        j["runs"] = runs;
        j["elapsed_seconds"] =
            std::round(std::chrono::duration<double>(Clock::now() - t0).count() * 1000.0) / 1000.0;
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
