#include "batch.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "core/exitint.h"
#include "core/store.h"
#include "fitting/fitscan.h"
#include "io/file_records.h"
#include "io/units.h"
#include "operations/cif.h"
#include "operations/convert.h"
#include "operations/fwhm_law.h"
#include "operations/open_data_set.h"
#include "operations/preprocess.h"
#include "operations/refine_cell.h"
#include "output/cif_records.h"
#include "params/defaults.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Json = nlohmann::ordered_json;

// XSCANS, STOE and CAD4 files carry their step width; Huber and Febo
// files do not.
constexpr InputFormat kFormats[] = {
    {"standard", FORMAT_STANDARD, false}, {"huber", FORMAT_HUBER, true}, {"xcalibur", FORMAT_XCALIBUR, false},
    {"xscans", FORMAT_XSCANS, false},     {"stoe", FORMAT_STOE, false},  {"febo", FORMAT_FEBO, true},
    {"cad4", FORMAT_CAD4, false},
};

// The smallest omega step width the program takes.
constexpr double kSmallestStep = 0.001;

// Preprocessing takes a lower I/sigma threshold as 3.
constexpr double kLowestISigma = 3.0;

// The crystal systems of the command line, in the order of the "Crystal
// system" list of "Unit Cell Refinement", with its entries.
constexpr std::pair<const char*, const char*> kCrystalSystems[] = {
    {"monoclinic-b", "Monoclinic-b"}, {"monoclinic-c", "Monoclinic-c"}, {"orthorhombic", "Orthorhombic"},
    {"tetragonal", "Tetragonal"},     {"hexagonal", "Hexagonal"},       {"cubic", "Cubic"},
};

// SIGINT or SIGTERM received: the run stops at its next reflection.
volatile std::sig_atomic_t stop_signal = 0;

extern "C" void on_stop_signal(int sig) {
    stop_signal = sig;
    // A second signal ends the process at once, as without a handler.
    std::signal(sig, SIG_DFL);
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
            std::snprintf(line, sizeof line, "%s: %d/%d reflections, %.0f/s, %d:%02d left", label_.c_str(), done,
                          total, rate, left / 60, left % 60);
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
// (the end of the data set reached) is none.
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
            if (all[i].kind != MessageKind::Information &&
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
    double seconds = 0.0;
    Json summary;
};

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
        rejections[std::string(1, REJECTION_LETTERS[p])] = n.rejections_first_pass[static_cast<std::size_t>(p)];
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

// A fatal end of the data set: the message, and no further step.
[[noreturn]] void fatal(const std::string& text, int status = EXIT_STATUS_FATAL) { end_run(text, status); }

void stop_if_asked() {
    if (stop_signal != 0)
        fatal(stop_signal == SIGINT ? "INTERRUPTED (SIGINT)" : "INTERRUPTED (SIGTERM)", 128 + stop_signal);
}

// The steps of one data set, from its opening to the CIF.
void run_steps(const BatchChoices& c, BatchMessages& messages, BatchProgress& progress, bool& writing,
               RefineCellResult& refined, FwhmLawResult& law) {
    OpenDataSetRequest open{c.data, c.format->infmt, c.par, c.step};
    const OpenDataSetResult opened = open_data_set(open, messages);
    messages.step_done(opened.opened && opened.read > 0 && opened.refused == 0);
    // An import that took no reflection ends the data set: there is
    // nothing to fit or write, and a pipeline must not take it for a
    // reduction.
    if (!opened.opened) fatal(opened.failure);
    if (opened.read == 0) fatal("No reflection read from data file");
    stop_if_asked();
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
    ReductionRequest request;
    request.output = c.out;
    request.form = c.form;
    request.weak_profile = c.weak_profile;
    request.omit_rejected = c.omit_rejected;
    writing = true;
    const ReductionResult fit = reduce(request, progress, messages);
    messages.step_done(fit.complete);
    progress.clear();
    stop_if_asked();
    if (!fit.complete) fatal(fit.failure);
    if (!c.cif.empty()) {
        const CifResult cif = create_cif(c.cif, messages);
        messages.step_done(cif.written);
        if (!cif.written) fatal(cif.failure);
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
    bool writing = false;
    const Clock::time_point t0 = Clock::now();
    const bool keep_defaults = defaults_file_in_use();
    set_defaults_file_in_use(options.use_defaults);
    try {
        if (options.use_defaults) READ_DEFAULTS_FROM_FILE();
        run_steps(c, messages, progress, writing, refined, law);
    } catch (const ProgramEnd& end) {
        r.status = end.status == EXIT_STATUS_NORMAL ? EXIT_STATUS_FATAL : end.status;
        if (const std::string shown = exitint_shown_text(end.message); !shown.empty())
            messages.message(Message{"Tarnivox", shown, MessageKind::Error});
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

    // A fatal message is the last error of the run.
    for (const Message& m : messages.all)
        if (r.status != EXIT_STATUS_NORMAL && m.kind == MessageKind::Error) r.message = m.text;
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
    outputs["cif"] = c.cif.empty() || r.status != EXIT_STATUS_NORMAL ? Json() : Json(c.cif);
    j["outputs"] = outputs;
    j["counts"] = counts_of_run(c);
    j["refined"] = refined.refined ? refined_of_run(c, refined, law) : Json();
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
        std::fprintf(stderr, "%s: stopped%s%s\n", label.c_str(), r.message.empty() ? "" : ": ", r.message.c_str());
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
        std::printf("%s: %d reflections -> %s (%.2f s)\n", label.c_str(), n["imported"].get<int>(), c.out.c_str(),
                    r.seconds);
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
    int crystal_system_number = 0;
    for (int n = 1; n <= 6 && !o.symmetry.empty() && !crystal_system; ++n)
        if (o.symmetry == kCrystalSystems[n - 1].first) {
            crystal_system = kCrystalSystems[n - 1].second;
            crystal_system_number = n;
        }
    if (!o.symmetry.empty() && !crystal_system) return "unknown --symmetry \"" + o.symmetry + "\"";
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
        c.crystal_system_number = crystal_system_number;
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
            // The fragment is named after the input, beside it.
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
    Json runs = Json::array();
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
    if (!json.empty()) {
        Json j;
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
