#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "batch.h"
#include "io/file_records.h"
#include "operations/open_data_set.h"
#include "operations/output_plan.h"
#include "output/cif_records.h"
#include "report/merging.h"
#include "report/report.h"

// The checks of the command line and the plan of a batch: every data set's
// choices with absolute paths, and no output that is an input or another
// output.
namespace tarnivox {
namespace {

namespace fs = std::filesystem;

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

std::string unreadable(const std::string& what, const std::string& path) { return unreadable_file(what, path); }

std::string unwritable(const std::string& what, const std::string& path, bool in_place = false) {
    return unwritable_file(what, path, in_place);
}

// The options of the command line that shape the reduction, as given.
std::vector<std::pair<std::string, std::string>> given_options(const BatchOptions& o) {
    std::vector<std::pair<std::string, std::string>> v;
    auto text = [&v](const char* name, const std::string& value) {
        if (!value.empty()) v.emplace_back(name, value);
    };
    auto number = [&v](const char* name, const std::optional<double>& value) {
        char buf[40];
        if (value) std::snprintf(buf, sizeof buf, "%g", *value);
        if (value) v.emplace_back(name, buf);
    };
    auto flag = [&v](const char* name, bool on) {
        if (on) v.emplace_back(name, "");
    };
    text("--format", o.format);
    text("--par", o.par);
    text("--form", o.form);
    text("--rejected", o.rejected);
    number("--step", o.step);
    flag("--refine", o.refine);
    text("--symmetry", o.symmetry);
    flag("--offsets", o.offsets);
    flag("--omega-zero", o.omega_zero);
    number("--min-i-sigma", o.min_i_sigma);
    flag("--weak-profile", o.weak_profile);
    flag("--cif", o.cif);
    text("--laue", o.laue);
    text("--space-group", o.space_group);
    flag("--decay-correct", o.decay_correct);
    text("--absorption", o.absorption.method);
    text("--crystal", o.absorption.crystal);
    number("--mu", o.absorption.mu);
    number("--radius", o.absorption.radius);
    flag("--use-defaults", o.use_defaults);
    return v;
}

}  // namespace

std::string input_format_names() {
    std::string names;
    for (const InputFormat& f : input_formats()) names += (names.empty() ? "" : ", ") + std::string(f.name);
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
    if (!o.plots.empty() && o.report.empty()) return "--plots belongs to --report, which is not given";
    // The merging figures go into the report and the CIF.
    if (!o.laue.empty() && o.report.empty() && !o.cif)
        return "--laue belongs to --report or --cif, neither of which is given";
    if (!o.space_group.empty() && o.report.empty() && !o.cif)
        return "--space-group belongs to --report or --cif, neither of which is given";
    if (!o.laue.empty() && !o.space_group.empty())
        return "--space-group gives the Laue class; leave out --laue";
    if (!o.laue.empty() && report::merging_group(o.laue).empty())
        return "unknown --laue \"" + o.laue +
               "\" (a Laue class: -1, 2/m, mmm, 4/m, 4/mmm, -3, -3m1, -31m, 6/m, 6/mmm, m-3, m-3m; or a space "
               "group symbol; a space-group number goes with --space-group)";
    const std::string space_group = o.space_group.empty() ? std::string() : report::space_group_symbol(o.space_group);
    if (!o.space_group.empty() && space_group.empty())
        return "unknown --space-group \"" + o.space_group + "\" (a Hermann-Mauguin symbol such as P21/c, or a number 1-230)";
    if (o.data.empty()) return "no DATA file given";
    if (o.data.size() > 1 && !o.out.empty())
        return "--out names one file; with several DATA files leave it out (each gets its own beside its "
               "input)";
    if (o.data.size() > 1 && !o.log.empty())
        return "--log names one file; with several DATA files leave it out (each keeps its own beside its "
               "input)";
    if (o.data.size() > 1 && !o.report.empty())
        return "--report names one file; with several DATA files reduce each with its own --report";
    if (o.step) {
        if (!format->asks_step)
            return std::string("--step is for the huber and febo formats; ") + std::string(format->name) +
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
        return std::string("--step is required for ") + std::string(format->name) +
               " files: they do not carry their omega step width";
    if (!o.rejected.empty() && o.rejected != "summation" && o.rejected != "omit")
        return "unknown --rejected \"" + o.rejected + "\" (one of summation, omit)";
    if (std::string e = unreadable("parameter file", o.par); !e.empty()) return e;
    AbsorptionOptions absorption;
    if (std::string e = plan_absorption(o.absorption, absorption); !e.empty()) return e;
    const std::string json = o.json.empty() ? std::string() : absolute(o.json);
    if (!json.empty())
        if (std::string e = unwritable("--json", json); !e.empty()) return e;

    // Every file of the whole batch, read or written, for the collision
    // test below.
    OutputPlan files;
    auto add = [&files](std::string role, const std::string& path, bool output) {
        files.add(std::move(role), path, output);
    };
    add("parameter file", absolute(o.par), false);
    if (!absorption.crystal.empty()) add("crystal file", absorption.crystal, false);
    if (!json.empty()) {
        add("--json summary", json, true);
        add("unfinished --json summary", json + ".partial", true);
    }
    // The report's page and, in the plot folder, one SVG file per plot
    // (the names the report gives them, whatever the data).
    std::vector<std::string> plot_files;
    const std::string report_page = o.report.empty() ? std::string() : absolute(o.report);
    const std::string plots = o.plots.empty() ? std::string() : absolute(o.plots);
    if (!report_page.empty()) {
        if (std::string e = unwritable("--report", report_page); !e.empty()) return e;
        add("--report page", report_page, true);
        add("unfinished --report page", report_page + ".partial", true);
    }
    if (!plots.empty()) {
        std::error_code ec;
        const fs::file_status st = fs::status(plots, ec);
        if (fs::exists(st) && !fs::is_directory(st)) return "--plots " + plots + " is a file, not a folder";
        report::ReportInput none;
        none.decay_correct = true;
        // Every plot a run can draw, the standards after a decay correction too.
        report::ReportFigures all = report::analyse_run(none);
        all.decay_corrected = true;
        for (const report::Plot& p : report::report_plots(none, all))
            plot_files.push_back((fs::path(plots) / (p.id + ".svg")).string());
        for (const std::string& f : plot_files) {
            if (std::string e = unwritable("--plots", f); !e.empty() && fs::is_directory(st)) return e;
            add("--plots file", f, true);
            add("unfinished --plots file", f + ".partial", true);
        }
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
        c.report = report_page;
        c.plots = plots;
        c.plot_files = plot_files;
        c.laue = !space_group.empty() ? space_group
                 : o.laue.empty()     ? report::laue_for_crystal_system(o.symmetry)
                                      : o.laue;
        c.laue_given = !o.laue.empty() || !space_group.empty();
        c.decay_correct = o.decay_correct;
        c.absorption = absorption;
        c.options = given_options(o);
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
        // The log the data file opens is the run's record: a folder that
        // cannot take it (a read-only installation of the data) sends it
        // beside the output, found here rather than after the fit.
        if (o.log.empty() && !unwritable("log", c.import_log, true).empty()) {
            c.import_log_refused = c.import_log;
            c.import_log = (fs::path(c.out).parent_path() / name_of(c.import_log)).string();
            if (std::string e = unwritable("log", c.import_log, true); !e.empty())
                return "the log " + c.import_log_refused + " cannot be written beside the data file, nor " +
                       c.import_log + " beside the output (" + e + "); name one with --log";
        }
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
    if (std::string e = files.collision(); !e.empty()) return e;
    return {};
}

}  // namespace tarnivox
