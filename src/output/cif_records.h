#pragma once
// The CIF fragment of a data set: standards, the refined cell with its
// esds, measurement conditions, the orientation matrix and the reflection
// count, for merging into the CIF of the structure.  It has no data_ block
// header; its one loop is that of the crystal's faces when an absorption
// correction used them.

#include <array>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace tarnivox {

// The file name of the fragment for the input file name `infile` (no
// folder): the name up to its first '.' with "_tarnivox.cif", cut at 80
// characters; "_tarnivox.cif" alone for a name without a '.'.
std::string cif_file_name(std::string_view infile);

// Where "Create Cif" writes: the fragment's name beside the input file.
std::string cif_path();

// The reflections of the data set: the count of letters W, M, R, S and F,
// or of N when those are all 0 (a data set never classified).
int cif_reflection_count();

// What the analysis of a finished run adds to the fragment: the decay of
// the standards, the agreement of equivalents, the limits of the data and
// the reflection totals.  A value that is not a number is left out.
struct CifFigures {
    double decay_pct = std::numeric_limits<double>::quiet_NaN();  // loss over the run, %
    double decay_esd_pct = std::numeric_limits<double>::quiet_NaN();
    double r_equivalents = std::numeric_limits<double>::quiet_NaN();  // R(int)
    double sigma_over_net = std::numeric_limits<double>::quiet_NaN();  // R(sigma): sum sigma / sum I
    double theta_min = std::numeric_limits<double>::quiet_NaN(), theta_max = std::numeric_limits<double>::quiet_NaN();
    std::array<int, 3> index_min{}, index_max{};
    int standards_interval = -1;  // reflections between measurements of the standards; -1: unknown
    int n_total = -1;  // unique reflections (or measured ones when nothing is merged); -1: unknown
    int n_gt = -1;     // of them with I > 2 sigma(I)
    // The absorption correction's items (and the loop of the crystal's
    // faces), as written; empty: none made.
    std::vector<std::string> absorption_lines;
};

// The lines of the fragment, as written to the file: from the store, and
// with the figures of the run's analysis when they are given (without
// them the decay is '?' and the items that need the analysis are absent).
std::string cif_fragment_text(const CifFigures* figures = nullptr);

// Writes the fragment from the store to `path`, replacing an older one only
// when the new one is whole.  0; 1 the file could not be created; 2 it
// could not be written.
int write_cif_fragment(const std::string& path, const CifFigures* figures = nullptr);

}  // namespace tarnivox
