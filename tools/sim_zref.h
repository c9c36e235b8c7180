#pragma once
// The simulator's "zref" mode: reflections measured at eight equivalent
// settings each (both signs of 2theta and omega, both branches of chi, the
// Friedel mate taking half of them), written in the standard format in the
// order the zero-point refinement expects, with known circle zero errors,
// crystal offset and detector height error.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tarnivox::sim {

using Setting = std::array<double, 4>;  // 2theta, omega (from bisecting), chi, phi, degrees
using EightSettings = std::array<Setting, 8>;

struct ZrefConfig {
    std::uint64_t seed = 1;
    int ngroups = 12;
    std::array<double, 6> cell{7.5, 9.1, 11.3, 90.0, 101.5, 90.0};
    std::array<double, 3> orient{12.0, -31.0, 47.0};
    double wave1 = 0.70930, wave2 = 0.71359, a2ratio = 0.5;
    std::array<double, 3> zeros{0.0, 0.0, 0.0};  // zero errors of 2theta, omega, chi, degrees
    std::array<double, 3> xtaloff{0.0, 0.0,
                                  0.0};  // crystal offset, phi-axis frame, unit of the goniometer constants
    double delta_h = 0.0;                // height error, same unit
    double goncon1 = 200.0, goncon2 = 200.0;
    // Omega of setting 1 (from the bisecting position) drawn from
    // +-(1.5 .. omega_max) degrees; 0: every group bisecting.
    double omega_max = 5.0;
    // The instrument centres 2theta and chi before each omega scan: the
    // readings scatter by this (Gaussian sigma, degrees) about the centre.
    double centring = 0.0;
    double fwhm_a = 0.12, fwhm_b = 0.35, eta = 0.4;  // FWHM = a + b tan|theta|
    double background = 20.0, intensity = 5000.0;
    int npts = 64;
    double step = 0.02;
    std::string title = "Simulated eight-setting data set";
};

struct ZrefGroup {
    std::array<int, 3> hkl{};
    Setting truth{};                 // setting 1 free of every error
    EightSettings measured{};        // 2theta read, omega of the alpha1 peak, chi read, phi
    std::array<double, 8> centre{};  // omega at the centre of each scan
    std::array<double, 8> fwhm{};
};

struct ZrefData {
    double ub[3][3]{};
    std::vector<ZrefGroup> groups;
};

// The eight equivalent settings of setting 1 (indices h, k, l for the odd
// settings, -h, -k, -l for the even ones), without errors.
EightSettings zref_true_settings(const Setting& first);

// The eight settings as measured: zero errors added to the 2theta, omega
// and chi readings; the crystal offset moves the omega peak by
// (v1 cos theta + v2 sin theta) / GONCON1 radians and chi by
// (v3 (1/GONCON1 + 1/GONCON2) + DELTA-H / GONCON2) cos omega / (2 sin theta),
// v being the offset in the frame of the omega circle of each setting.
EightSettings zref_measured_settings(const Setting& first, const ZrefConfig& cfg);

// Plans the groups (no files).
ZrefData make_zref_data(const ZrefConfig& cfg);

// Writes the standard data file, the instrument parameter file and (unless
// empty) the truth table.
ZrefData simulate_zref(const ZrefConfig& cfg, const std::string& data_path, const std::string& par_path,
                       const std::string& truth_path);

// Command line of the mode: tarnivox-simulate zref --out BASE [options].
int zref_main(int argc, char** argv);

}  // namespace tarnivox::sim
