#include "cli.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "core/version.h"
#include "file_commands.h"

namespace tarnivox {
namespace {

constexpr const char* kUsageReduce =
    "usage: tarnivox reduce DATA... --format F --par FILE [--out FILE] [--form shelx|rfine|rfine-extended]\n"
    "                       [--rejected summation|omit] [--step DEG] [--log FILE] [--json FILE] [--quiet] [--strict]\n"
    "                       [--use-defaults] [--max-left-out FRACTION]\n"
    "                       [--refine [--symmetry SYSTEM] [--offsets] [--omega-zero] [--min-i-sigma X]] "
    "[--weak-profile] [--cif]\n"
    "                       [--report FILE.html [--plots DIR]] [--laue CLASS | --space-group GROUP]\n"
    "                       [--decay-correct]\n"
    "                       [--absorption numerical|sphere --crystal FILE | --radius MM [--mu MU]]\n";
constexpr const char* kUsageConvert =
    "usage: tarnivox convert DATA... --format F --par FILE [--out FILE] [--step DEG] [--json FILE] "
    "[--quiet] [--strict]\n"
    "                        [--use-defaults] [--max-left-out FRACTION]\n";
constexpr const char* kUsageProgram =
    "usage: tarnivox [gui] | tarnivox --script FILE | tarnivox reduce ... | tarnivox convert ...\n"
    "       tarnivox --help | tarnivox reduce --help | tarnivox --version\n";

CommandLine usage_error(const std::string& reason, const char* usage) {
    std::fprintf(stderr, "tarnivox: %s\n%s", reason.c_str(), usage);
    CommandLine c;
    c.action = CommandLine::Exit;
    c.status = 2;
    return c;
}

// Letters to change, insert, delete or swap to turn a into b.
std::size_t edit_distance(const std::string& a, const std::string& b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i)
        for (std::size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] != b[j - 1])});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

// The first option on the line that `sub` does not know, said as such with
// the nearest known option; empty when every option is known.  A misspelt
// option must not be reported as a required one missing.
std::string unknown_option(const CLI::App& sub, int argc, const char* const* argv) {
    std::vector<std::string> known{"--help"};
    for (const CLI::Option* opt : sub.get_options())
        for (const std::string& n : opt->get_lnames()) known.push_back("--" + n);
    bool in_sub = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") break;
        if (arg == sub.get_name()) in_sub = true;
        if (!in_sub || arg.rfind("--", 0) != 0) continue;
        const std::string name = arg.substr(0, arg.find('='));
        if (std::find(known.begin(), known.end(), name) != known.end()) continue;
        std::string nearest;
        std::size_t best = 3;  // a suggestion only for up to two slips
        for (const std::string& k : known)
            if (const std::size_t dist = edit_distance(name, k); dist < best) {
                best = dist;
                nearest = k;
            }
        return "unknown option " + name + (nearest.empty() ? "" : " (did you mean " + nearest + "?)");
    }
    return {};
}

// The options reduce and convert share.
void add_data_options(CLI::App& sub, BatchOptions& o) {
    sub.add_option("DATA", o.data, "data files, each reduced from a clean program state")
        ->required()
        ->type_name("FILE");
    sub.add_option("--format", o.format, "input format: " + input_format_names())->required()->type_name("F");
    sub.add_option("--par", o.par, "instrument parameter file (.par)")->required()->type_name("FILE");
    sub.add_option("--step", o.step,
                   "omega step width in degrees (required for huber and febo files, which do not carry it)")
        ->type_name("DEG");
    sub.add_option("--json", o.json, "write a summary for pipelines")->type_name("FILE");
    sub.add_flag("--quiet", o.quiet, "print nothing but errors");
    sub.add_flag("--strict", o.strict,
                 "end a data set with status 1 when a reflection is refused or any warning is shown");
    sub.add_option("--max-left-out", o.max_left_out,
                   "end a data set with status 1 when the import leaves out more than this share of the "
                   "file's reflections (default 0.01)")
        ->check(CLI::Range(0.0, 1.0))
        ->type_name("FRACTION");
    sub.add_flag("--use-defaults", o.use_defaults,
                 "read and update the window's defaults file (last folder and formats)");
}

}  // namespace

CommandLine parse_command_line(int argc, const char* const* argv) {
    CommandLine result;
    CLI::App app{
        "Tarnivox: reduces single-crystal diffraction omega step scans.\n"
        "Without arguments (or with \"gui\") it opens the window.",
        "tarnivox"};
    app.set_version_flag("--version", "tarnivox " + std::string(TARNIVOX_VERSION));
    app.require_subcommand(0, 1);
    app.add_option("--script", result.script, "run headless, driven by a script of window actions")
        ->type_name("FILE");

    BatchOptions reduce_options;
    CLI::App* reduce = app.add_subcommand(
        "reduce", "fit and integrate every reflection of each DATA file into an intensity file");
    add_data_options(*reduce, reduce_options);
    reduce
        ->add_option("--out", reduce_options.out,
                     "intensity file (default: beside DATA, named after it, .hkl or .int)")
        ->type_name("FILE");
    reduce
        ->add_option("--form", reduce_options.form,
                     "layout of the intensity file (default: from --out, else shelx)")
        ->check(CLI::IsMember({"shelx", "rfine", "rfine-extended"}))
        ->type_name("FORM");
    reduce
        ->add_option("--rejected", reduce_options.rejected,
                     "reflections whose profile fit was rejected: written with the intensity summed over "
                     "their expected peak (summation, the default) or left out (omit)")
        ->check(CLI::IsMember({"summation", "omit"}))
        ->type_name("HOW");
    reduce
        ->add_option("--log", reduce_options.log,
                     "log file of the fit (the import logs beside DATA as always)")
        ->type_name("FILE");
    reduce->add_flag(
        "--refine", reduce_options.refine,
        "refine UB and the cell from the strong reflections before the fit (Preprocess, Calc UB)");
    reduce->add_option("--symmetry", reduce_options.symmetry, "constrain the cell to a crystal system")
        ->check(CLI::IsMember(
            {"monoclinic-b", "monoclinic-c", "orthorhombic", "tetragonal", "hexagonal", "cubic"}))
        ->type_name("SYSTEM");
    reduce->add_flag("--offsets", reduce_options.offsets, "refine the crystal offsets too");
    reduce->add_flag("--omega-zero", reduce_options.omega_zero, "refine the omega zero point too");
    reduce
        ->add_option("--min-i-sigma", reduce_options.min_i_sigma,
                     "I/sigma above which a reflection enters the refinement (default 10)")
        ->type_name("X");
    reduce->add_flag("--weak-profile", reduce_options.weak_profile,
                     "weak data: refine, learn the width law (Calc FWHM), then fit every reflection with "
                     "position from UB, width from the law and eta held");
    reduce->add_flag("--cif", reduce_options.cif, "write the CIF beside DATA (Create Cif)");
    reduce
        ->add_option("--report", reduce_options.report,
                     "write the reduction report, one self-contained HTML page (standards and decay, "
                     "intensity statistics, merging figures, fit diagnostics)")
        ->type_name("FILE.html");
    reduce
        ->add_option("--plots", reduce_options.plots,
                     "with --report: also write each of its plots as an SVG file in this folder")
        ->type_name("DIR");
    reduce
        ->add_option("--laue", reduce_options.laue,
                     "with --report or --cif: Laue class of the merging figures, e.g. -1, 2/m, mmm, 4/mmm, "
                     "m-3m (default: the lowest of the --symmetry lattice; none without)")
        ->type_name("CLASS");
    reduce
        ->add_option("--space-group", reduce_options.space_group,
                     "with --report or --cif: space group (Hermann-Mauguin symbol or number): its Laue class "
                     "gives the equivalents, its absences leave reflections out of the completeness")
        ->type_name("GROUP");
    reduce->add_flag("--decay-correct", reduce_options.decay_correct,
                     "after the fit, fit the decay of the crystal from the standards and rewrite the "
                     "intensity file with I and sigma scaled by it (needs standard reflections)");
    add_absorption_options(*reduce, reduce_options.absorption);
    reduce->footer(
        "Example:\n  tarnivox reduce examples/cad4/cad4.dat --format cad4 --par examples/cad4/cad4.par\n");

    BatchOptions convert_options;
    convert_options.kind = BatchKind::Convert;
    CLI::App* convert =
        app.add_subcommand("convert", "convert each DATA file into a standard data file (.rfl)");
    add_data_options(*convert, convert_options);
    convert
        ->add_option("--out", convert_options.out,
                     "standard data file (default: beside DATA, named after it)")
        ->type_name("FILE");

    app.add_subcommand("gui", "open the window (the default)");
    add_file_commands(app);
    app.set_help_all_flag("--help-all", "print the help of every subcommand too");

    const char* usage = kUsageProgram;
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        app.exit(e, std::cout, std::cerr);
        result.action = CommandLine::Exit;
        return result;
    } catch (const CLI::CallForAllHelp& e) {
        app.exit(e, std::cout, std::cerr);
        result.action = CommandLine::Exit;
        return result;
    } catch (const CLI::CallForVersion& e) {
        app.exit(e, std::cout, std::cerr);
        result.action = CommandLine::Exit;
        return result;
    } catch (const CLI::ParseError& e) {
        std::string reason = e.what();
        for (const auto& [sub, sub_usage] : {std::pair{reduce, kUsageReduce}, std::pair{convert, kUsageConvert}})
            if (sub->parsed()) {
                usage = sub_usage;
                if (const std::string unknown = unknown_option(*sub, argc, argv); !unknown.empty())
                    reason = unknown;
            }
        return usage_error(reason, usage);
    }

    if (const auto status = run_file_commands(app)) {
        result.action = CommandLine::Exit;
        result.status = *status;
        return result;
    }
    const bool has_script = app.count("--script") > 0;
    CLI::App* batch = reduce->parsed() ? reduce : convert->parsed() ? convert : nullptr;
    if (has_script && app.get_subcommands().size() > 0)
        return usage_error("--script runs on its own, without a subcommand", kUsageProgram);
    if (has_script) {
        result.action = CommandLine::Script;
        return result;
    }
    if (!batch) {
        result.action = CommandLine::Window;
        return result;
    }
    result.batch = batch == reduce ? reduce_options : convert_options;
    usage = batch == reduce ? kUsageReduce : kUsageConvert;
    if (const std::string why = plan_batch(result.batch, result.plan); !why.empty())
        return usage_error(why, usage);
    result.action = CommandLine::Batch;
    return result;
}

}  // namespace tarnivox
