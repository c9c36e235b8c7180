#pragma once
// Step scans drawn from the profile model: the expected counts of the
// pseudo-Voigt doublet at each step and seeded Poisson counting noise.
// Shared by the tests and the data simulator; no state outside its
// arguments, so the same seed always gives the same counts.

#include <cstdint>

#include "core/array.h"
#include "core/store.h"

namespace tarnivox {

// Counting-noise source (splitmix64): fully determined by its seed on
// every platform.
struct CountRng {
    std::uint64_t state = 0;
};

CountRng make_count_rng(std::uint64_t seed);
// Uniform in [0, 1).
double uniform01(CountRng& rng);
// A Poisson count of the given mean (0 for a mean that is not positive).
double poisson_count(CountRng& rng, double mean);

// Expected counts at the n step angles x of the six-parameter model
// (BACKGROUND, FWHM, INTENSITY, POSITION, ETA, IRATIO) for a reflection at
// 2theta tth measured with wavelengths wave1, wave2 (wave2 < 0.1: one line)
// and monochromator alpha2 shift mshift.
void model_counts(const Arr1<double, MAXSTEPS>& x, int n, const Arr1<double, 6>& par, double wave1,
                  double wave2, double mshift, double tth, Arr1<double, MAXSTEPS>& mean);

// Poisson counts of the given means, steps 1..n.
void draw_counts(CountRng& rng, const Arr1<double, MAXSTEPS>& mean, int n, Arr1<double, MAXSTEPS>& counts);

}  // namespace tarnivox
