#pragma once
// The refinement list of a simulated data set as preprocessing fills it:
// every ordinary reflection fitted with the current settings, the strong
// well-fitted ones kept.

#include <filesystem>

namespace tarnivox::test {

// Background limits (FITLIM) in an instrument parameter file that a scan
// with a real background passes.
void accept_any_background(const std::filesystem::path& par);

// Opens and imports a standard data file with its parameter file, fits
// every ordinary reflection (start values, FITSCAN) and stores those that
// are not rejected and have I/sigma above `threshold` in the refinement
// list: indices, 2theta, fitted omega peak, chi, phi, width, its esd and
// background.
void fit_strong_reflections_into_the_list(const std::filesystem::path& data, const std::filesystem::path& par,
                                          double threshold);

}  // namespace tarnivox::test
