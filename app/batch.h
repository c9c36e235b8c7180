#pragma once
// Whole reductions from the shell: `tarnivox reduce` and `tarnivox convert`.
//
// A batch run makes the choices a user makes in the window from the
// command line and calls the program's operations with them: open the data
// set in its format with its parameter file, then write the standard data
// file, or refine (preprocessing, the cell, the width law), fit every
// reflection into the intensity file and write the CIF fragment.  Every
// message of the operations goes to standard error with its title; on a
// terminal one line shows the progress of the fit.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "batch_absorption.h"
#include "import/formats.h"
#include "operations/reduce.h"

namespace tarnivox {

// The input formats (names, INFMT, whether the step width must be given)
// are those of import/formats.h.
// The format names, comma-separated, for messages and help.
std::string input_format_names();

enum class BatchKind { Reduce, Convert };

// What the command line asks for; paths as given.
struct BatchOptions {
    BatchKind kind = BatchKind::Reduce;
    std::vector<std::string> data;
    std::string format;
    std::string par;
    std::string out;
    std::string form;  // "shelx", "rfine", "rfine-extended"; empty: from --out, else shelx
    std::optional<double> step;
    std::string log;
    std::string json;
    std::string rejected;  // "summation" (default when empty) or "omit"
    // Refinement before the fit ("Preprocess", "Calc UB") and the CIF.
    bool refine = false;
    std::string symmetry;  // a crystal system of "Unit Cell Refinement"; empty: unconstrained
    bool offsets = false;
    bool omega_zero = false;
    std::optional<double> min_i_sigma;
    // Weak data: after the refinement "Calc FWHM", then every reflection
    // fitted with its position from UB, the width from the learned law and
    // eta at its start value (implies the refinement).
    bool weak_profile = false;
    bool cif = false;
    // The reduction report: the HTML page, the folder of its plots as SVG
    // files (empty: none), the Laue class of the merging figures (empty:
    // the one the --symmetry lattice implies, else no merging).
    std::string report;
    std::string plots;
    std::string laue;
    // The space group (symbol or number): its Laue class and absences.
    std::string space_group;
    // After the fit: the decay of the crystal fitted from the standards,
    // and the intensity file rewritten with I and sigma scaled by it.
    bool decay_correct = false;
    // After the fit (and before the decay correction): I and sigma divided
    // by each reflection's transmission.
    AbsorptionOptions absorption;
    bool quiet = false;
    bool use_defaults = false;
    // Any reflection refused or message shown beyond the notices of a
    // clean run ends the data set with status 1.
    bool strict = false;
    // The largest share of a data file's reflections the import may leave
    // out (unreadable or refused) before the data set ends with status 1.
    double max_left_out = 0.01;
    // Whether standard error is a terminal (the progress line is drawn
    // only there); decided by the caller.
    bool terminal = false;
};

// The choices of one data set, with every path absolute.
struct BatchChoices {
    BatchKind kind = BatchKind::Reduce;
    std::string data;
    const InputFormat* format = nullptr;
    std::string par;
    std::string out;  // intensity file (reduce) or standard data file (convert)
    IntensityForm form = IntensityForm::Shelx;
    std::optional<double> step;
    std::string log;         // empty: only the log the input file opens
    std::string import_log;  // the log the input file opens, beside it (or beside the output)
    // The place beside the input the log could not take (a read-only data
    // folder): the log then goes beside the output.  Empty: it is beside the input.
    std::string import_log_refused;
    // Preprocessing and the cell refinement before the fit.
    bool refine = false;
    std::string crystal_system;     // entry of the "Crystal system" list; empty: unconstrained
    int crystal_system_number = 0;  // its place in the list, 1..6; 0: unconstrained
    bool offsets = false;
    bool omega_zero = false;
    std::optional<double> min_i_sigma;  // none: the program's own threshold
    bool weak_profile = false;          // the width law, then position, width and eta held
    std::string cif;                    // the CIF fragment after the fit: where it goes; empty: not asked
    bool omit_rejected = false;         // rejected reflections left out of the intensity file
    std::string report;                 // the report page after the fit; empty: not asked
    std::string plots;                  // the folder of the report's SVG plots; empty: none
    std::vector<std::string> plot_files;  // every SVG file the report may write there
    std::string laue;                   // Laue class or space group of the merging figures; empty: no merging
    bool laue_given = false;            // given by the user (checked against the cell), not implied by --symmetry
    bool decay_correct = false;         // the intensity file rescaled by the standards' decay after the fit
    AbsorptionOptions absorption;       // the crystal file's path absolute
    // The options as given, for the report's summary table.
    std::vector<std::pair<std::string, std::string>> options;
};

// Checks the options and works out the choices of every data set: the
// default output beside each input (its name cut before the first '.',
// then ".hkl", ".int" or ".rfl"), absolute paths, inputs that are regular
// files, outputs that can be written.  No output of the whole batch (the
// intensity or standard data file, the logs, the CIF, the JSON summary,
// and the NAME.partial each new output is written as) may be an input or
// another output, whatever links lead to it.  Empty: fine; otherwise the
// one-line reason of a usage error naming both files.
std::string plan_batch(const BatchOptions& options, std::vector<BatchChoices>& plan);

// Runs every data set of the plan, each from a clean program state;
// writes the summaries (and the JSON file).  The exit status: 0 all done,
// 1 a data set ended on one of the program's fatal messages (or, with
// --strict, refused a reflection; or left out more of a file's reflections
// than --max-left-out allows), 130 when SIGINT, 143 when SIGTERM or
// SIGHUP stopped the batch, 141 when standard output was closed (SIGPIPE
// is ignored; the write error stops the batch).  The summary is written
// on every one of these ends.
int run_batch(const BatchOptions& options, const std::vector<BatchChoices>& plan);

}  // namespace tarnivox
