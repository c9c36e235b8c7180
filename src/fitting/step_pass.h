#pragma once
// The per-step pass of a profile-fit cycle: at every step of the scan the
// model (pseudo-Voigt doublet on a flat background, with the +1 offset of
// the weights), its six derivatives, and their sums into the normal
// equations.  Two implementations give the same sums: a scalar one (the
// reference, and the pass of a build without vector support) and a
// vectorised one that takes several steps at once with the widest
// instruction set the processor offers, chosen when the program runs.

#include <array>
#include <cstdint>
#include <vector>

#include "fitting/profile.h"

namespace tarnivox {

// Arrays of the pass are padded to a whole number of the widest vectors
// (eight doubles); the padding steps carry weight 0.
inline constexpr int STEP_PAD = 8;
inline constexpr int PADDED_STEPS = (500 + STEP_PAD - 1) / STEP_PAD * STEP_PAD;

// The scan as the pass reads it: n steps of contiguous abscissae, counts + 1
// and Poisson weights, each array readable up to n rounded up to STEP_PAD.
struct StepData {
    const double* x = nullptr;
    const double* yp = nullptr;
    const double* w = nullptr;
    int n = 0;
};

// The model of one cycle: parameters and what follows from them alone.
struct StepModel {
    double bg = 0.0, inten = 0.0, p1 = 0.0, ratio = 0.0;
    double p2 = 0.0;    // alpha2 position
    double pfac = 0.0;  // alpha2 position derivative factor
    bool two_lines = false;
    PvShape shape;
};

StepModel make_step_model(const std::array<double, 6>& v, const Doublet& dbl, double pfac);

// The sums of one pass over all six parameters (BACKGROUND, FWHM,
// INTENSITY, POSITION, ETA, IRATIO): the lower triangle of the normal
// matrix, element (j, l) with l <= j at j*(j+1)/2 + l, the right-hand side,
// sum w*r^2 and sum w*Y'^2.
struct StepSums {
    std::array<double, 21> a{};
    std::array<double, 6> b{};
    double swr2 = 0.0;
    double swy2 = 0.0;
};

constexpr int tri(int j, int l) { return j * (j + 1) / 2 + l; }

// Both passes write the profile (with the +1 offset) into yc[0..n-1] (yc
// holds n rounded up to STEP_PAD) and return the sums.
void step_pass_scalar(const StepData& s, const StepModel& m, double* yc, StepSums& sums);
// The vectorised pass on the best instruction set of this processor (the
// scalar pass in a build without vector support).
void step_pass(const StepData& s, const StepModel& m, double* yc, StepSums& sums);

// The instruction sets the vectorised pass was built for that this
// processor runs, and the pass on one of them (for the tests and the
// benchmarks).  Empty without vector support.
struct VectorTarget {
    std::int64_t id = 0;
    const char* name = "";
};
std::vector<VectorTarget> vector_targets();
void step_pass_on(const VectorTarget& target, const StepData& s, const StepModel& m, double* yc,
                  StepSums& sums);
// The instruction set step_pass uses ("scalar" without vector support).
const char* step_pass_target_name();

}  // namespace tarnivox
