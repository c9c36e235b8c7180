#pragma once
// Test scans of the profile fit: the current scan record filled from the
// program's own pseudo-Voigt doublet model with seeded Poisson noise, or
// from counts given inline; and the fit dialogs built on the headless
// backend so that the settings routines have widgets to talk to.

#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "core/array.h"
#include "fitting/scan_model.h"

namespace tarnivox::test {

inline constexpr double MO_WAVE1 = 0.70930;
inline constexpr double MO_WAVE2 = 0.71359;

// One simulated reflection.  `truth` holds the model parameters (BACKGROUND,
// FWHM, INTENSITY, POSITION, ETA, IRATIO); POSITION is absolute omega.
struct SimScan {
    double tth = 40.0;
    double omega = 0.0;  // setting omega, the scan centre
    int npts = 96;
    double step = 0.01;
    double scale = 1.0;
    double wave1 = MO_WAVE1;
    double wave2 = MO_WAVE2;
    double mshift = 0.0;
    Arr1<double, 6> truth{{10.0, 0.2, 50.0, 0.0, 0.5, 0.5}};
};

// Fills the current scan record (and the wavelengths) from the model, with
// counting noise unless rng is null.
void load_simulated_scan(const SimScan& s, CountRng* rng);
// Fills the current scan record with the given counts, centred on omega.
void load_counts(std::initializer_list<double> counts, double omega = 0.0, double step = 0.01,
                 double tth = 40.0);

// A fresh headless backend with the fitting-controls, peak-parameter and
// background dialogs built into their widget slots.
void make_fit_dialogs(std::string_view script = "");
// Typical switches: the given refine flags, start-value options, all limit
// tests off, in the store; set_dialog_flags also writes them into the dialog.
void set_fit_flags(std::initializer_list<int> iref, std::initializer_list<int> ifix);
void set_dialog_flags(std::initializer_list<int> iref, std::initializer_list<int> ifix);

}  // namespace tarnivox::test
