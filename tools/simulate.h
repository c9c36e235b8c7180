#pragma once
// tarnivox-simulate: makes step-scan data sets with known answers.  From a
// crystal (cell, orientation, radiation, monochromator), a profile law
// (FWHM = a + b tan theta, eta), a background and a list of reflections with
// Wilson-like intensities, it writes a data file in any of the seven input
// formats as the instrument writes it, a matching instrument parameter file
// and a truth table.  Counts are Poisson-distributed around the program's
// own pseudo-Voigt doublet model and are the same for the same seed.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "sim_absorption.h"

namespace tarnivox::sim {

enum class Format { Standard = 1, Huber = 2, Xcalibur = 3, Xscans = 4, Stoe = 5, Febo = 6, Cad4 = 7 };

struct Config {
    Format format = Format::Cad4;
    std::uint64_t seed = 1;
    int nrefl = 40;  // reflections, standards included
    std::array<double, 6> cell{7.5, 9.1, 11.3, 90.0, 101.5, 90.0};
    std::array<double, 3> orient{12.0, -31.0, 47.0};  // rotation of the crystal, degrees
    double wave1 = 0.70930, wave2 = 0.71359, a2ratio = 0.5;
    int imono = 1;
    double mono2th = 12.16;
    int monodir = 0;
    double fwhm_a = 0.12, fwhm_b = 0.35, eta = 0.4;
    double background = 20.0;  // raw counts per step
    double scale_i = 2000.0;   // mean intensity of the Wilson distribution
    double weak_fraction = 0.15, zero_fraction = 0.05, attenuated_fraction = 0.1;
    // Scatter of the peak positions about the omega of the orientation
    // matrix (setting errors, crystal imperfection), degrees.
    double position_sd = 0.01;
    int nstd = 3, std_interval = 10;
    double atten = 12.5;
    int npts = 64;           // steps per scan (CAD4: always 96)
    double step = 0.02;      // omega step (formats whose file gives none; the dialog offers 0.02)
    int first_number = 1;    // sequence number of the first reflection
    bool xcal_newer = true;  // Xcalibur layout with a Version comment
    int cad4_margin = 0;     // blank columns before each CAD4 record
    int long_scan = 0;       // make reflection k a 600-step scan (0: none)
    std::string title = "Simulated data set";
    // Instrument errors, with the program's conventions: the 2theta circle
    // reads tth_zero more than the true angle; the omega circle reads
    // om_zero more, so that omega from the bisecting position (as the data
    // carry it) is off by om_zero - tth_zero / 2; the crystal sits off the
    // goniometer centre by xtaloff (phi-axis frame, units of GONCON1 =
    // goncon1) and every peak moves by the program's offset shift.
    double tth_zero = 0.0, om_zero = 0.0;
    std::array<double, 3> xtaloff{0.0, 0.0, 0.0};
    double goncon1 = 200.0;
    // Loss of scattering power of the crystal over the run: the fraction
    // of every intensity lost by the last reflection measured, falling
    // linearly or exponentially with the order of measurement.  Standards
    // lose it like every other reflection.  0: none.
    enum class Decay { Linear, Exponential };
    Decay decay_model = Decay::Linear;
    double decay = 0.0;
    // Temperature factor B (Angstrom^2) of the Wilson-like intensities:
    // <I> = scale_i exp(-2 B (sin(theta)/lambda)^2).
    double wilson_b = 2.0;
    // true: the counts carry the Lorentz-polarisation factor of the
    // instrument, so that the corrected intensities the program writes
    // follow the Wilson law; false: the intensities are those the fit
    // recovers before the correction.
    bool lp = false;
    // An absorbing crystal: its faces and mu (mm^-1) attenuate every scan,
    // standards included, by the reflection's transmission (Monte Carlo
    // over mc_points points).  No faces: no absorption.
    std::vector<SimFace> faces;
    double mu = 0.0;
    int mc_points = 200000;
    // true: every element a layout leaves optional or variable per file or
    // per reflection (CAD4 margins, header records and spare flags;
    // Xcalibur E lines, the line before the counts, comments; STOE and
    // Febo spacing, separators and count lines; XSCANS blanks and line
    // breaks; Huber '*' lines and short count lines; standard-file extra
    // lines) is written in a random pattern drawn from the seed.  The
    // reflections and counts are those of the same seed without it.
    bool variants = false;
    // true: equivalents under 2/m (b unique) share their true intensity, as
    // a real monoclinic crystal's do, and the reflections are taken from
    // the whole sphere out to 2theta 50 degrees, so that merging figures
    // and completeness mean what they mean for measured data.
    bool equivalents = false;
};

// Factor on the intensity of the reflection measured at run fraction t
// (0 at the first reflection, 1 at the last).
double decay_level(const Config& cfg, double t);

// What the reader will deliver for one reflection of the data file.
struct Truth {
    int nref = 0;
    std::array<int, 3> hkl{};
    std::array<double, 4> angles{};  // 2theta, omega, chi, phi in the program's convention
    double position = 0.0;           // omega of the alpha1 peak
    double fwhm = 0.0, eta = 0.0, background = 0.0, intensity = 0.0;
    double scale = 1.0;
    double decay = 1.0;  // factor of the crystal's loss at this reflection (intensity holds it)
    double transmission = 1.0;  // of the absorbing crystal (intensity holds it)
    char rflag = 'N';
    int isctype = 0;
    int npts = 0;
    double step = 0.0;
    bool in_data_set = true;  // false: left out by the reader (flagged X, too long)
    std::vector<long long> counts;
};

struct Result {
    std::vector<Truth> refl;
    std::array<int, 7> nclass{};  // W M R S F I N as the import will count them
    double step_to_enter = 0.0;   // answer of the step-size dialog (Huber, Febo)
};

// Writes data_path, par_path and (unless empty) truth_path.
Result simulate(const Config& cfg, const std::string& data_path, const std::string& par_path,
                const std::string& truth_path);

// Kappa setting angles (theta, phi', omega', kappa) that ANGLE_CONV turns
// into the given 2theta, omega, chi, phi.  false when chi is beyond the
// reach of the kappa goniometer.
bool euler_to_kappa(const std::array<double, 4>& angles, std::array<double, 4>& kappa);

// The XSCANS character group of one count (inverse of DECODE_DATA).
std::string encode_count(long long count);

// Default file extension of a format ("dat", "dca", "p4t", ...).
std::string extension_of(Format f);

}  // namespace tarnivox::sim
