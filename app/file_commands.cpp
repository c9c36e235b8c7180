#include "file_commands.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <vector>

#include "batch.h"
#include "io/units.h"

namespace tarnivox {
namespace {

// What the reader of each format takes from the data file itself, so the
// user knows which lines of the parameter file the data set overrides.
const char* header_note(const std::string& format) {
    if (format == "cad4")
        return "# CAD4 files carry the wavelengths and the attenuator factor in their header:\n"
               "# those values replace WAVEL's two wavelengths and ATTEN for the data set.\n";
    if (format == "stoe")
        return "# STOE files carry the two wavelengths in their header (they replace WAVEL's).\n";
    if (format == "xcalibur")
        return "# Xcalibur files carry the wavelengths and the orientation matrix; the reader\n"
               "# sets two wavelength components with an alpha2/alpha1 ratio of 0.5.\n";
    if (format == "xscans")
        return "# XSCANS files carry the wavelengths and the attenuator factor; the reader sets\n"
               "# two wavelength components with an alpha2/alpha1 ratio of 0.5.\n";
    if (format == "febo")
        return "# Febo files carry the cell and the orientation matrix (divided by WAVEL's\n"
               "# alpha1 wavelength), but not the omega step width: give it with --step.\n";
    if (format == "huber")
        return "# Huber \"Old Single\" files carry neither wavelengths nor the omega step\n"
               "# width: WAVEL below is used as written, the step comes from --step.\n";
    return "# Standard data files carry the cell, the orientation matrix and the attenuator\n"
           "# factor of the data set; the wavelengths come from WAVEL below.\n";
}

constexpr const char* kTemplateBody =
    "#\n"
    "# Keywords sit in columns 1-6 (PKPAR, ATTEN and WAVEL are followed by a blank);\n"
    "# the values follow in free form, separated by blanks or commas.  Any line whose\n"
    "# first six columns are not a keyword is passed over, like these comments.\n"
    "#\n"
    "# Peak shape start values: FWHM = a + b tan(theta) (degrees of omega),\n"
    "# default eta.\n"
    "PKPAR  0.1 0.02 0.5\n"
    "#\n"
    "# Fit limits, lower and upper for BACKGROUND (counts per step), FWHM (degrees),\n"
    "# INTENSITY (counts), POSITION (degrees below and above the setting omega, both\n"
    "# positive), ETA, IRATIO (alpha2/alpha1); then the largest accepted Rwp.\n"
    "FITLIM 0.0 1.0e5 0.02 1.0 0.0 1.0e8 0.2 0.2 0.0 1.0 0.4 0.6 0.25\n"
    "#\n"
    "# Attenuator factor (an attenuated reflection's counts are multiplied by it).\n"
    "ATTEN  1.0\n"
    "#\n"
    "# Wavelength components (1 or 2), alpha1 and alpha2 wavelengths (Angstrom),\n"
    "# alpha2/alpha1 intensity ratio.  Molybdenum K-alpha:\n"
    "WAVEL  2 0.709300 0.713590 0.500000\n"
    "#\n"
    "# Refine switches (1 = refine) of BACKGROUND, FWHM, INTENSITY, POSITION,\n"
    "# ETA, IRATIO.\n"
    "RFLAGS 1,1,1,1,1,0\n"
    "#\n"
    "# Limit tests (1 = apply) of the six parameters, then the Rwp test.\n"
    "TFLAGS 1,1,1,1,1,0,1\n"
    "#\n"
    "# Senses (+1 or -1) of the 2theta, omega, chi and phi axes.\n"
    "PARITY 1,1,1,1\n"
    "#\n"
    "# Monochromator: present (0/1), its 2theta (degrees), second monochromator angle\n"
    "# (degrees), dispersion direction (0 none, 1 parallel, -1 anti-parallel).\n"
    "MONO      1   12.1600    0.0000    0\n"
    "#\n"
    "# Optional from here.  Background: mode 3 takes it from nstep_bg steps at\n"
    "# each end of the scan (mode 0 none, 1 spline, 2 a exp(-b 2theta) + c with\n"
    "# a b c following).\n"
    "BACKGR 3 5\n"
    "#\n"
    "# Goniometer constants (values of 0.1 or less are taken as 200.0).\n"
    "GONCON 200.0 200.0\n"
    "#\n"
    "# Axis convention: a permutation of 1 2 3 (Busing-Levy: 1,2,3).\n"
    "BLAXES 1,2,3\n";

// The choices of a value, from a check of the option ("FORM:{a,b}").
std::vector<std::string> choices_of(const CLI::Option& opt) {
    std::vector<std::string> out;
    // The Laue classes of the merging figures, in their usual spelling.
    if (opt.get_lnames().size() == 1 && opt.get_lnames()[0] == "laue")
        return {"-1", "2/m", "mmm", "4/m", "4/mmm", "-3", "-3m1", "-31m", "6/m", "6/mmm", "m-3", "m-3m"};
    if (opt.get_lnames().size() == 1 && opt.get_lnames()[0] == "format") {
        std::stringstream names(input_format_names());
        for (std::string n; std::getline(names, n, ',');) out.push_back(n.substr(n.find_first_not_of(' ')));
        return out;
    }
    const std::string type = opt.get_type_name();
    const std::size_t open = type.find('{');
    const std::size_t close = type.find('}', open);
    if (open == std::string::npos || close == std::string::npos) return out;
    std::stringstream list(type.substr(open + 1, close - open - 1));
    for (std::string n; std::getline(list, n, ',');) out.push_back(n);
    return out;
}

// Flags have no placeholder of a value.
bool takes_value(const CLI::Option& opt) { return !opt.get_type_name().empty(); }
bool takes_file(const CLI::Option& opt) { return opt.get_type_name().rfind("FILE", 0) == 0; }
bool takes_folder(const CLI::Option& opt) { return opt.get_type_name() == "DIR"; }

// Names are completed one per line, so that a name with blanks stays one word.
std::string complete_names(const char* kind) {
    return std::string(" mapfile -t COMPREPLY < <(compgen ") + kind + " -- \"$cur\");";
}

std::string joined(const std::vector<std::string>& words) {
    std::string s;
    for (const std::string& w : words) s += (s.empty() ? "" : " ") + w;
    return s;
}

std::vector<std::string> option_names(const CLI::App& app) {
    std::vector<std::string> names;
    for (const CLI::Option* opt : app.get_options())
        if (opt->nonpositional()) {
            for (const std::string& n : opt->get_lnames()) names.push_back("--" + n);
            for (const std::string& n : opt->get_snames()) names.push_back("-" + n);
        }
    return names;
}

// One `case` of the values that follow an option, for the subcommand
// `sub` ("" at the top level).
void value_cases(std::ostream& out, const std::string& sub, const CLI::App& app) {
    for (const CLI::Option* opt : app.get_options()) {
        if (!opt->nonpositional() || !takes_value(*opt)) continue;
        for (const std::string& n : opt->get_lnames()) {
            out << "        \"" << sub << " --" << n << "\")";
            const auto choices = choices_of(*opt);
            if (!choices.empty())
                out << " COMPREPLY=($(compgen -W \"" << joined(choices) << "\" -- \"$cur\"));";
            else if (takes_file(*opt))
                out << complete_names("-f");
            else if (takes_folder(*opt))
                out << complete_names("-d");
            out << " return ;;\n";
        }
    }
}

bool has_positional(const CLI::App& app) {
    for (const CLI::Option* opt : app.get_options())
        if (opt->get_positional()) return true;
    return false;
}

// The template goes to standard output, or to a new file: an existing
// file (an edited parameter file, a data file) is replaced only with
// --force, and never through a link or into a pipe or device (the name is
// not opened at all: no hang on a FIFO).  The file is written whole beside
// its name and renamed over it.
void write_file_or_stdout(const std::string& path, const std::string& text, bool force, int& status) {
    if (path.empty() || path == "-") {
        std::fputs(text.c_str(), stdout);
        return;
    }
    std::error_code ec;
    const std::filesystem::file_status st = std::filesystem::symlink_status(path, ec);
    std::string refused;
    if (std::filesystem::is_symlink(st))
        refused = " is a symbolic link; name the file itself";
    else if (std::filesystem::exists(st) && !std::filesystem::is_regular_file(st))
        refused = " is not a regular file";
    else if (std::filesystem::exists(st) && !force)
        refused = " exists; give --force to replace it";
    if (!refused.empty()) {
        std::fprintf(stderr, "tarnivox: template-par --out %s%s\n", path.c_str(), refused.c_str());
        status = 2;
        return;
    }
    if (write_whole_file(path, text) != 0) {
        std::fprintf(stderr, "tarnivox: cannot write %s: %s\n", path.c_str(), open_failure_reason().c_str());
        status = 2;
    }
}

struct FileCommandOptions {
    std::string format;
    std::string out;
    std::string shell;
    bool force = false;
};

FileCommandOptions& options() {
    static FileCommandOptions o;
    return o;
}

}  // namespace

std::string template_parameter_file(const std::string& format) {
    std::string text = "# Instrument parameter file for tarnivox (" + format + " data sets).\n";
    text += header_note(format);
    text += kTemplateBody;
    return text;
}

std::string bash_completion(const CLI::App& app) {
    std::ostringstream out;
    const std::string name = app.get_name();
    std::vector<std::string> subs;
    for (const CLI::App* s : app.get_subcommands([](const CLI::App*) { return true; }))
        subs.push_back(s->get_name());

    out << "# bash completion of " << name << ", generated from its command line by `" << name
        << " completion bash`.\n"
        << "_" << name << "() {\n"
        << "    local cur=\"${COMP_WORDS[COMP_CWORD]}\" prev=\"\" sub=\"\" i\n"
        << "    [ \"$COMP_CWORD\" -gt 0 ] && prev=\"${COMP_WORDS[COMP_CWORD-1]}\"\n"
        << "    COMPREPLY=()\n"
        << "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
        << "        case \"${COMP_WORDS[i]}\" in\n"
        << "            " <<
        [&] {
            std::string alts;
            for (const std::string& s : subs) alts += (alts.empty() ? "" : "|") + s;
            return alts;
        }()
        << ") sub=\"${COMP_WORDS[i]}\"; break ;;\n"
        << "        esac\n"
        << "    done\n"
        << "    case \"$sub $prev\" in\n";
    value_cases(out, "", app);
    for (const CLI::App* s : app.get_subcommands([](const CLI::App*) { return true; }))
        value_cases(out, s->get_name(), *s);
    out << "    esac\n"
        << "    if [[ \"$cur\" == -* ]]; then\n"
        << "        case \"$sub\" in\n"
        << "            \"\") COMPREPLY=($(compgen -W \"" << joined(option_names(app))
        << "\" -- \"$cur\")) ;;\n";
    for (const CLI::App* s : app.get_subcommands([](const CLI::App*) { return true; }))
        out << "            " << s->get_name() << ") COMPREPLY=($(compgen -W \"" << joined(option_names(*s))
            << "\" -- \"$cur\")) ;;\n";
    out << "        esac\n"
        << "        return\n"
        << "    fi\n"
        << "    case \"$sub\" in\n"
        << "        \"\") COMPREPLY=($(compgen -W \"" << joined(subs) << "\" -- \"$cur\")) ;;\n";
    for (const CLI::App* s : app.get_subcommands([](const CLI::App*) { return true; })) {
        if (!has_positional(*s)) continue;
        // Fixed words (the shell of `completion`) or files (the data sets).
        std::vector<std::string> words;
        for (const CLI::Option* opt : s->get_options())
            if (opt->get_positional())
                for (const std::string& c : choices_of(*opt)) words.push_back(c);
        out << "        " << s->get_name() << ")"
            << (words.empty() ? complete_names("-f")
                              : " COMPREPLY=($(compgen -W \"" + joined(words) + "\" -- \"$cur\"));")
            << " ;;\n";
    }
    out << "    esac\n"
        << "}\n"
        << "complete -o filenames -F _" << name << " " << name << "\n";
    return out.str();
}

void add_file_commands(CLI::App& app) {
    FileCommandOptions& o = options();
    o = FileCommandOptions{};
    CLI::App* tp = app.add_subcommand(
        "template-par",
        "write a commented instrument parameter file to start from (standard output by default)");
    std::vector<std::string> formats;
    {
        std::stringstream names(input_format_names());
        for (std::string n; std::getline(names, n, ',');)
            formats.push_back(n.substr(n.find_first_not_of(' ')));
    }
    tp->add_option("--format", o.format, "input format of the data sets: " + input_format_names())
        ->check(CLI::IsMember(formats))
        ->type_name("F");
    tp->add_option("--out", o.out, "write the file here instead of standard output (a new file)")->type_name("FILE");
    tp->add_flag("--force", o.force, "with --out: replace a file that exists");

    CLI::App* comp = app.add_subcommand("completion", "print the shell completion of this command line");
    comp->add_option("SHELL", o.shell, "the shell (bash)")->required()->check(CLI::IsMember({"bash"}));
}

std::optional<int> run_file_commands(CLI::App& app) {
    const FileCommandOptions& o = options();
    int status = 0;
    if (app.get_subcommand("template-par")->parsed()) {
        write_file_or_stdout(o.out, template_parameter_file(o.format.empty() ? "standard" : o.format), o.force,
                             status);
        return status;
    }
    if (app.get_subcommand("completion")->parsed()) {
        std::fputs(bash_completion(app).c_str(), stdout);
        return status;
    }
    return std::nullopt;
}

}  // namespace tarnivox
