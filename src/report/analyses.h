#pragma once
// The analyses of the reduction report.  Each is a pure function of the
// report input: standards decay, intensity statistics by resolution, the
// Wilson plot, fit diagnostics and the limits a CIF quotes.

#include <array>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "report/report_input.h"

namespace tarnivox::report {

// Reflections that describe the data set once: every written reflection,
// a standard only at its first measurement (its repeats measure the
// crystal's stability, not the structure).
std::vector<const ReportReflection*> measured_once(const std::vector<ReportReflection>& refl);
// Rejected reflections are written with the values their fit left; they
// take no part in means, merging or the Wilson plot; nor does a reflection
// without a usable intensity and esd.
// A fit the tests rejected, whether the reflection was then left out or
// written with its summation intensity.
inline bool fit_rejected(const ReportReflection& r) {
    return r.outcome == Outcome::Rejected || (r.outcome == Outcome::Summation && r.reason != ' ');
}

inline bool is_accepted(const ReportReflection& r) {
    return r.outcome != Outcome::Rejected && std::isfinite(r.i) && std::isfinite(r.sigma) && r.sigma >= 0.0;
}

// sin(theta)/lambda, 1/Angstrom, of a reflection: from the cell and hkl
// when the cell is known, else from 2theta and the alpha1 wavelength.
class Resolution {
public:
    explicit Resolution(const ReportInput& in);
    double stol(const ReportReflection& r) const;
    double stol_hkl(const std::array<int, 3>& hkl) const;  // needs the cell
    bool from_cell() const { return have_cell_; }

private:
    bool have_cell_ = false;
    std::array<double, 6> metric_{};  // reciprocal metric a*^2, b*^2, c*^2, 2b*c*cos, 2c*a*cos, 2a*b*cos
    double wave_ = NONE;
};

// A weighted straight line y = a + b x with the esds of a and b scaled by
// the scatter of the points about it.
struct LineFit {
    bool ok = false;
    double a = NONE, b = NONE, a_esd = NONE, b_esd = NONE;
    int n = 0;
};
LineFit fit_line(const std::vector<double>& x, const std::vector<double>& y, const std::vector<double>& w);

// ---- standards and decay -------------------------------------------------

// Intensities of the standards modelled as I = a_k (1 + c t), t the
// fraction of the run (0 at its first reflection, 1 at its last): one scale
// a_k per standard and one relative slope c.  Decay is the loss over the
// run in %, -100 c, with its esd from the least squares scaled by the
// goodness of fit when that exceeds 1 (never below the esd the standards'
// own esds give).
struct DecayFit {
    bool ok = false;
    double decay_pct = NONE, esd_pct = NONE;
    double slope = NONE;         // c
    std::vector<double> scales;  // a_k
    double gof = NONE;
    int n = 0;
    bool flagged = false;  // |decay| > 3 esd
};
struct StandardSeries {
    int number = 0;
    std::array<int, 3> hkl{};
    std::vector<double> seq, t, i, sigma;
    DecayFit fit;
};
struct StandardsAnalysis {
    std::vector<StandardSeries> standards;
    DecayFit overall;
    int seq_first = 0, seq_last = 0;
};
StandardsAnalysis analyse_standards(const std::vector<ReportReflection>& refl);
double run_fraction(int seq, int first, int last);
// Factor that takes an intensity measured at run fraction t back to the
// level of the start of the run (1 without a usable fit).
double decay_factor(const DecayFit& fit, double t);
// Scales the intensities and esds of every reflection by the decay curve of
// the overall fit.
void apply_decay_correction(std::vector<ReportReflection>& refl, const StandardsAnalysis& sa);

// ---- intensity statistics ------------------------------------------------

struct Histogram {
    std::vector<double> edges;        // bin k covers [edges[k], edges[k+1])
    std::vector<std::string> labels;  // one per bin
    std::vector<int> counts;
};
// Counts values into bins; the first and last edges may be infinite.
Histogram histogram(const std::vector<double>& values, const std::vector<double>& edges, int decimals);
Histogram i_over_sigma_histogram(const std::vector<ReportReflection>& refl);

// Weak: I < 2 sigma(I), the complement of the reflections "observed" above
// 2 sigma that a CIF counts in _reflns_number_gt.
inline bool is_weak(const ReportReflection& r) { return !(r.i > 2.0 * r.sigma); }

struct Shell {
    double s_lo = 0.0, s_hi = 0.0;  // sin(theta)/lambda range
    double d_max = NONE, d_min = NONE;
    int n = 0, n_rejected = 0, n_accepted = 0, n_weak = 0;
    double mean_i = NONE, mean_i_over_sigma = NONE;
    double pct_rejected = NONE, pct_weak = NONE;  // % of all / of accepted reflections
};
// Shells of equal volume of reciprocal space out to the highest
// sin(theta)/lambda of the data (fewer when there are few reflections).
std::vector<Shell> resolution_shells(const ReportInput& in, int nshells = 10);

// ---- Wilson plot ---------------------------------------------------------

struct WilsonPoint {
    double s2 = 0.0;  // <(sin(theta)/lambda)^2>, 1/Angstrom^2
    double ln_ratio = 0.0;
    int n = 0;
};
// ln(<I>/Sigma) = ln K - 2 B s^2, Sigma = sum of f^2 over the cell contents
// (or 1, unit scattering, when no composition is given).
struct WilsonFit {
    bool ok = false;
    bool unit_scattering = true;
    std::string message;
    std::vector<WilsonPoint> points;
    double b = NONE, b_esd = NONE;          // Angstrom^2
    double scale = NONE, scale_esd = NONE;  // K: <I> = K Sigma exp(-2 B s^2)
};
// Sigma f^2 of the cell contents at (sin(theta)/lambda)^2 = s2; false when
// an element is unknown.
bool sum_f_squared(const std::map<std::string, double>& composition, double s2, double& sum,
                   std::string& bad);
WilsonFit wilson_plot(const ReportInput& in, int nbins = 12);

// ---- fit diagnostics -----------------------------------------------------

struct Diagnostics {
    std::vector<double> tth_edges;              // 2theta bins, degrees
    std::vector<int> total;                     // reflections per bin
    std::map<char, std::vector<int>> rejected;  // rejection letter -> count per bin
    std::vector<double> tan_theta, fwhm, eta;   // accepted fits
    std::vector<std::array<int, 3>> fit_hkl;    // their indices
    std::vector<double> dd_tth, dd;             // delta-d/d against 2theta (needs the cell)
    std::vector<std::array<int, 3>> dd_hkl;     // their indices
    LineFit dd_trend;                           // dd = a + b 2theta
    Histogram gof;
    bool gof_is_rwp = false;  // no GOF given: the histogram is of Rwp
};
Diagnostics fit_diagnostics(const ReportInput& in, int nbins = 10);

// ---- limits a CIF quotes -------------------------------------------------

struct Limits {
    double theta_min = NONE, theta_max = NONE;  // degrees
    std::array<int, 3> index_min{}, index_max{};
    int n_measured = 0;  // reflections measured once (standards counted once)
    int n_gt = 0;        // of them accepted with I > 2 sigma(I)
};
Limits data_limits(const ReportInput& in);

}  // namespace tarnivox::report
