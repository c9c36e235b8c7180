#include "fitting/scan_model.h"

#include <algorithm>
#include <cmath>

#include "fitting/profile.h"

namespace tarnivox {

namespace {

std::uint64_t mix64(std::uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

}  // namespace

// Neighbouring seeds must not give overlapping streams: the seed is hashed
// into the starting state.
CountRng make_count_rng(std::uint64_t seed) { return CountRng{mix64(mix64(seed) ^ 0x632BE59BD9B4E019ULL)}; }

double uniform01(CountRng& rng) {
    const std::uint64_t z = mix64(rng.state += 0x9E3779B97F4A7C15ULL);
    return static_cast<double>(z >> 11) * 0x1.0p-53;
}

double poisson_count(CountRng& rng, double mean) {
    if (!(mean > 0.0)) return 0.0;
    if (mean < 10.0) {
        // Multiplication of uniforms: exact and quick for small means.
        const double limit = std::exp(-mean);
        double prod = uniform01(rng);
        double k = 0.0;
        while (prod > limit) {
            k += 1.0;
            prod *= uniform01(rng);
        }
        return k;
    }
    // Transformed rejection with squeeze (Hoermann's PTRS) for large means.
    const double slam = std::sqrt(mean);
    const double loglam = std::log(mean);
    const double b = 0.931 + 2.53 * slam;
    const double a = -0.059 + 0.02483 * b;
    const double invalpha = 1.1239 + 1.1328 / (b - 3.4);
    const double vr = 0.9277 - 3.6224 / (b - 2.0);
    for (;;) {
        const double u = uniform01(rng) - 0.5;
        const double v = uniform01(rng);
        const double us = 0.5 - std::fabs(u);
        const double k = std::floor((2.0 * a / us + b) * u + mean + 0.43);
        if (us >= 0.07 && v <= vr) return k;
        if (k < 0.0 || (us < 0.013 && v > us)) continue;
        if (std::log(v) + std::log(invalpha) - std::log(a / (us * us) + b) <=
            -mean + k * loglam - std::lgamma(k + 1.0))
            return k;
    }
}

void model_counts(const Arr1<double, MAXSTEPS>& x, int n, const Arr1<double, 6>& par, double wave1,
                  double wave2, double mshift, double tth, Arr1<double, MAXSTEPS>& mean) {
    n = std::clamp(n, 0, MAXSTEPS);
    const Doublet d = make_doublet(wave1, wave2, mshift, tth);
    for (int i = 1; i <= n; ++i) mean(i) = doublet_model(x(i), par.data(), d);
}

void draw_counts(CountRng& rng, const Arr1<double, MAXSTEPS>& mean, int n, Arr1<double, MAXSTEPS>& counts) {
    n = std::clamp(n, 0, MAXSTEPS);
    for (int i = 1; i <= n; ++i) counts(i) = poisson_count(rng, mean(i));
}

}  // namespace tarnivox
