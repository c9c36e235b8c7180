#pragma once
// What the reduction report is made from: the summary of one reduction run
// and one record per reflection written to the intensity file, in the order
// of measurement.  The batch fills it from the run's result objects; the
// report never reads the log or the data file.

#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace tarnivox::report {

inline constexpr double NONE = std::numeric_limits<double>::quiet_NaN();

// How a written reflection came through the fit.
enum class Outcome {
    Passed,     // fit accepted
    Rejected,   // fit rejected; `reason` holds the rejection letter (one of ECDBIPWRFS)
    Recovered,  // rejected in the first pass, accepted in the second
    Summation,  // written with the summation intensity
};

struct ReportReflection {
    int seq = 0;  // sequence number of the reflection in the data set (measurement order)
    std::array<int, 3> hkl{};
    char cls = 'N';    // classification letter W, M, R, S, F, I, N
    int standard = 0;  // standard number 1..10, 0 for an ordinary reflection
    double tth = 0.0;  // 2theta, degrees
    Outcome outcome = Outcome::Passed;
    char reason = ' ';                                       // rejection letter when outcome is Rejected
    double i = 0.0, sigma = 0.0;                             // intensity and esd as written (Lp corrected)
    double fwhm = NONE, eta = NONE, rwp = NONE, gof = NONE;  // fit values; NONE when not fitted
};

// A refined value with its esd.  `text` is the value(esd) form the program
// prints elsewhere (the caller formats it once, so the report and the CIF
// agree); empty: the report writes value and esd itself.
struct ValueEsd {
    double value = NONE;
    double esd = NONE;
    std::string text;
};

struct ReportInput {
    std::string title;  // the data set's own title (from its file)
    std::string data_file, format, version;
    double wave1 = NONE, wave2 = NONE;  // alpha1, alpha2 wavelengths, Angstrom
    double elapsed_s = NONE;            // wall time of the reduction
    int n_read = 0, n_fitted = 0;       // reflections imported / fitted
    int n_left_out = -1;                // reflections the reader left out of the data file; -1 unknown
    // Refined cell a, b, c (Angstrom), alpha, beta, gamma (degrees); when
    // `have_cell` is false, resolution comes from 2theta and wave1.
    bool have_cell = false;
    std::array<ValueEsd, 6> cell;
    ValueEsd omega_zero;              // degrees
    std::array<ValueEsd, 3> offsets;  // crystal offsets; NONE when not refined
    // FWHM law FWHM = fwhm_a + fwhm_b tan(theta), degrees.
    double fwhm_a = NONE, fwhm_b = NONE;
    std::vector<std::pair<std::string, std::string>> options;  // (option, value) as the user gave them
    // Laue class (e.g. "2/m", "mmm", "-3m1") or a space-group symbol for the
    // merging figures; empty: no merging.
    std::string laue;
    // Cell contents for the Wilson plot (element symbol -> atoms per cell);
    // empty: unit scattering.
    std::map<std::string, double> composition;
    // The intensities in `refl` are as measured; with decay_correct the report
    // scales them by the fitted decay curve (decay_factor) as the written
    // file was, and shows the standards before and after.
    bool decay_correct = false;
    std::vector<ReportReflection> refl;
};

}  // namespace tarnivox::report
