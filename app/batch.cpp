#include "batch.h"

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>

#include "commands/cif.h"
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
constexpr const char* kResultsBox = "Cell Refinement Results";
constexpr const char* kResultsOk = "Ok";

// The question that ends every batch run: the batch's own "Exit", not a
// message of the reduction.
constexpr std::string_view kExitQuestion = "Are you sure you want to exit the program?";

// The boxes by which "Write Std datafile" and "Create Cif" tell success.
constexpr std::string_view kCopyDone = "Standard data file written successfully";
constexpr std::string_view kCifDone = "Cif created successfully";

// A script argument: the script splits words at blanks and has no escape
// for a double quote (plan_batch refuses paths holding one).
std::string script_word(std::string_view s) { return "\"" + std::string(s) + "\""; }

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

bool same_file(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (fs::exists(a, ec) && fs::exists(b, ec)) return fs::equivalent(a, b, ec);
    return fs::weakly_canonical(a, ec) == fs::weakly_canonical(b, ec);
}

// Why `path` cannot be read as a file; empty when it can.
std::string unreadable(const std::string& what, const std::string& path) {
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (!fs::exists(st)) return what + " " + path + " does not exist";
    if (fs::is_directory(st)) return what + " " + path + " is a folder, not a file";
    if (::access(path.c_str(), R_OK) != 0) return what + " " + path + " cannot be read";
    return {};
}

// Why `path` cannot be written as a file; empty when it can.
std::string unwritable(const std::string& what, const std::string& path) {
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (fs::is_directory(st)) return what + " " + path + " is a folder, not a file";
    if (fs::exists(st)) {
        if (::access(path.c_str(), W_OK) != 0) return what + " " + path + " cannot be written";
        return {};
    }
    const fs::path dir = fs::path(path).parent_path();
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
          quiet_(quiet),
          label_(std::move(label)),
          progress_(terminal && !quiet, label_) {
        load(batch_script(choices), ".");
        echo = false;
    }

    int action() override {
        // An import that took no reflection ends the data set: there is
        // nothing to fit or write, and a pipeline must not take it for a
        // reduction.
        if (G.NREFREAD == 0) end_run("No reflection read from data file", EXIT_STATUS_FATAL);
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
                if (refine_ && !refined_) end_run("REFINEMENT FAILED: NOTHING FITTED", EXIT_STATUS_FATAL);
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
// name that says so.
std::string set_aside_unfinished(const std::string& out, const ScriptBackend& backend) {
    bool opened = false;
    for (const ScriptEvent& e : backend.events())
        if (e.kind == ScriptEvent::OpenFile && !e.result.empty() && same_file(e.result, out)) opened = true;
    std::error_code ec;
    if (!opened || !fs::is_regular_file(out, ec)) return {};
    const std::string partial = out + ".partial";
    fs::remove(partial, ec);
    fs::rename(out, partial, ec);
    return ec ? std::string() : partial;
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
    return j;
}

// The cell, omega zero and crystal offsets "Calc UB" refined, with esds.
nlohmann::ordered_json refined_of_run(const BatchChoices& c) {
    nlohmann::ordered_json j;
    static const char* const kNames[] = {"a", "b", "c", "alpha", "beta", "gamma", "volume"};
    nlohmann::ordered_json cell;
    for (int n = 1; n <= 7; ++n) cell[kNames[n - 1]] = {{"value", G.CELL(n)}, {"esd", G.CELLESD(n)}};
    j["cell"] = cell;
    j["crystal_system"] =
        c.crystal_system.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(c.crystal_system);
    j["reflections"] = G.NUBREF;
    if (c.omega_zero) j["omega_zero"] = G.OMZERO;
    if (c.offsets) j["offsets"] = {G.XTALOFF(1), G.XTALOFF(2), G.XTALOFF(3)};
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
    // A run that asked what the batch does not answer is a failed run of
    // the program, not a usage error of the command line.
    if (r.status != EXIT_STATUS_NORMAL) {
        r.status = EXIT_STATUS_FATAL;
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
    outputs["log"] = c.log.empty() ? automatic_log_path(c.data) : c.log;
    if (!c.log.empty()) outputs["import_log"] = automatic_log_path(c.data);
    outputs["cif"] = c.cif.empty() || r.status != EXIT_STATUS_NORMAL ? nlohmann::ordered_json()
                                                                     : nlohmann::ordered_json(c.cif);
    j["outputs"] = outputs;
    j["counts"] = counts_of_run(c);
    j["refined"] = backend.refined() ? refined_of_run(c) : nlohmann::ordered_json();
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
        if (given && !o.refine) return std::string(name) + " belongs to --refine, which is not given";
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
    if (std::string e = unreadable("parameter file", o.par); !e.empty()) return e;
    if (!o.json.empty())
        if (std::string e = unwritable("--json", absolute(o.json)); !e.empty()) return e;

    for (const std::string& data : o.data) {
        BatchChoices c;
        c.kind = o.kind;
        c.format = format;
        c.form = form;
        c.step = o.step;
        c.refine = o.refine;
        c.crystal_system = crystal_system ? crystal_system : "";
        c.offsets = o.offsets;
        c.omega_zero = o.omega_zero;
        c.min_i_sigma = o.min_i_sigma;
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
        if (same_file(c.out, c.data) || same_file(c.out, c.par))
            return "the output " + c.out + " would replace an input file; name another with --out";
        if (std::string e = unwritable("output", c.out); !e.empty()) return e;
        if (!o.log.empty()) {
            c.log = absolute(o.log);
            // The log file dialog gives a name without an extension ".log".
            if (!has_extension(c.log)) c.log += ".log";
            if (same_file(c.log, c.data) || same_file(c.log, c.par) || same_file(c.log, c.out))
                return "the log " + c.log + " would replace another file of the run";
            if (std::string e = unwritable("log", c.log); !e.empty()) return e;
        }
        if (o.cif) {
            // "Create Cif" names the fragment after the input, beside it.
            c.cif = (fs::path(c.data).parent_path() / cif_file_name(name_of(c.data))).string();
            if (same_file(c.cif, c.data) || same_file(c.cif, c.par) || same_file(c.cif, c.out))
                return "the CIF " + c.cif + " would replace another file of the run";
            if (std::string e = unwritable("CIF", c.cif); !e.empty()) return e;
        }
        for (const std::string* p : {&c.data, &c.par, &c.out, &c.log})
            if (p->find('"') != std::string::npos) return "a path with a double quote cannot be used: " + *p;
        for (const BatchChoices& earlier : plan)
            if (same_file(earlier.out, c.out)) return "two DATA files would write the same output " + c.out;
        plan.push_back(c);
    }
    return {};
}

std::string batch_script(const BatchChoices& c) {
    std::string s;
    auto line = [&s](const std::string& l) { s += l + "\n"; };
    // Open the data file in its format, and its instrument parameter file.
    line("file " + script_word(c.data) + " " + std::to_string(c.format->infmt));
    line("press \"Input Data file Format\" " + script_word(c.format->radio));
    line("press \"Input Data file Format\" OK");
    line("browse " + script_word(c.par));
    if (c.format->asks_step) {
        // The file has no step width: the import asks for it.
        if (c.step) line("set Tarnivox \"Omega step size\" " + number(*c.step));
        line("press Tarnivox Ok");
    }
    if (c.kind == BatchKind::Convert) {
        line("press File \"Write Std datafile\"");
        line("file " + script_word(c.out));
    } else {
        if (!c.log.empty()) {
            line("press File \"Open log file\"");
            line("browse " + script_word(c.log));
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
        }
        // The output file, through the filter of its layout; an existing
        // file is replaced (the box's default answer).
        const int want = intfmt_of(c.form);
        const int filter = want == 3 ? 2 : 1;
        line("press File \"Open output file\"");
        line("file " + script_word(c.out) + " " + std::to_string(filter));
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

int run_batch(const BatchOptions& options, const std::vector<BatchChoices>& plan) {
    const Clock::time_point t0 = Clock::now();
    int status = EXIT_STATUS_NORMAL;
    nlohmann::ordered_json runs = nlohmann::ordered_json::array();
    for (const BatchChoices& c : plan) {
        const RunRecord r = run_one(options, c);
        if (!options.quiet || r.status != EXIT_STATUS_NORMAL) print_summary(r);
        if (r.status != EXIT_STATUS_NORMAL) status = EXIT_STATUS_FATAL;
        runs.push_back(r.summary);
    }
    // The program's toolkit is left headless and empty.
    set_toolkit_backend(ScriptBackend::from_text(""));
    if (!options.json.empty()) {
        nlohmann::ordered_json j;
        j["program"] = "tarnivox";
        j["command"] = options.kind == BatchKind::Reduce ? "reduce" : "convert";
        j["status"] = status;
        j["runs"] = runs;
        j["elapsed_seconds"] =
            std::round(std::chrono::duration<double>(Clock::now() - t0).count() * 1000.0) / 1000.0;
        std::ofstream f(options.json, std::ios::binary | std::ios::trunc);
        f << j.dump(2) << "\n";
        f.close();
        if (!f) {
            std::fprintf(stderr, "tarnivox: cannot write the summary %s\n", options.json.c_str());
            return EXIT_STATUS_FATAL;
        }
    }
    return status;
}

}  // namespace tarnivox
