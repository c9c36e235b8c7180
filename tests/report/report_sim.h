#pragma once
// Report input with known truth: a monoclinic crystal (Laue class 2/m)
// measured over a sphere of reciprocal space, intensities drawn from the
// acentric Wilson distribution about K Sigma exp(-2 B s^2) (the same true
// intensity for all equivalents), esds from counting statistics, and
// standards measured at fixed intervals that lose a known fraction of their
// intensity linearly over the run.

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <random>

#include "report/analyses.h"
#include "report/report_input.h"

namespace tarnivox::report::testing {

struct Truth {
    double b = 3.0, scale = 5000.0;  // Wilson B (A^2) and K
    double decay = 0.0;              // fraction lost over the run
    double stol_max = 0.5;           // sin(theta)/lambda of the outer sphere
    double background = 40.0;        // adds to the variance of every intensity
    std::uint64_t seed = 1;
    bool octant_only = false;  // measure only h, k, l >= 0
    int std_interval = 50;
    std::map<std::string, double> composition;  // empty: unit scattering
};

// The representative of hkl under 2/m (b unique): (h,k,l), (-h,k,-l),
// (-h,-k,-l), (h,-k,l); the largest of the four.
inline std::array<int, 3> canonical_2m(const std::array<int, 3>& h) {
    std::array<std::array<int, 3>, 4> e{
        {{h[0], h[1], h[2]}, {-h[0], h[1], -h[2]}, {-h[0], -h[1], -h[2]}, {h[0], -h[1], h[2]}}};
    return *std::max_element(e.begin(), e.end());
}

inline ReportInput simulated_run(const Truth& tr) {
    ReportInput in;
    in.data_file = "simulated.dat";
    in.format = "CAD4";
    in.version = "test";
    in.wave1 = 0.70930;
    in.wave2 = 0.71359;
    in.have_cell = true;
    const double cell[6] = {7.5, 9.1, 11.3, 90.0, 101.5, 90.0};
    for (int j = 0; j < 6; ++j) in.cell[static_cast<std::size_t>(j)].value = cell[j];
    in.fwhm_a = 0.12;
    in.fwhm_b = 0.35;
    in.laue = "2/m";
    in.composition = tr.composition;
    const Resolution res(in);
    std::mt19937_64 noise(tr.seed);
    std::normal_distribution<double> gauss;

    auto true_intensity = [&](const std::array<int, 3>& hkl, double s) {
        const auto c = canonical_2m(hkl);
        std::mt19937_64 g(tr.seed * 1000003ULL +
                          std::hash<long long>{}((c[0] + 64) * 16384LL + (c[1] + 64) * 128LL + (c[2] + 64)));
        std::exponential_distribution<double> wilson(1.0);
        double sigma_sum = 1.0;
        std::string bad;
        if (!tr.composition.empty()) sum_f_squared(tr.composition, s * s, sigma_sum, bad);
        return tr.scale * sigma_sum * std::exp(-2.0 * tr.b * s * s) * wilson(g);
    };
    auto add = [&](const std::array<int, 3>& hkl, double itrue, int standard) {
        ReportReflection r;
        r.seq = static_cast<int>(in.refl.size()) + 1;
        r.hkl = hkl;
        r.standard = standard;
        const double s = res.stol_hkl(hkl);
        r.tth = 2.0 * std::asin(s * in.wave1) * 57.29578;
        r.sigma = std::sqrt(itrue + tr.background);
        r.i = itrue + r.sigma * gauss(noise);
        r.fwhm = in.fwhm_a + in.fwhm_b * std::tan(0.5 * r.tth / 57.29578) + 0.005 * gauss(noise);
        r.eta = 0.4 + 0.03 * gauss(noise);
        r.rwp = 0.08 + 0.01 * std::fabs(gauss(noise));
        r.gof = 1.0 + 0.1 * std::fabs(gauss(noise));
        in.refl.push_back(r);
    };

    std::vector<std::array<int, 3>> list;
    const int hmax = 9, kmax = 10, lmax = 12;
    for (int h = -hmax; h <= hmax; ++h)
        for (int k = -kmax; k <= kmax; ++k)
            for (int l = -lmax; l <= lmax; ++l) {
                if (h == 0 && k == 0 && l == 0) continue;
                if (tr.octant_only && (h < 0 || k < 0 || l < 0)) continue;
                if (res.stol_hkl({h, k, l}) <= tr.stol_max) list.push_back({h, k, l});
            }
    // Three standards, the strongest reflections of the data set, measured
    // before the first reflection and after every std_interval reflections;
    // their truth falls linearly with the run.
    std::vector<double> itrue(list.size());
    for (std::size_t n = 0; n < list.size(); ++n) itrue[n] = true_intensity(list[n], res.stol_hkl(list[n]));
    std::vector<std::size_t> order(list.size());
    for (std::size_t n = 0; n < order.size(); ++n) order[n] = n;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return itrue[a] > itrue[b]; });
    std::array<std::array<int, 3>, 3> stds{};
    std::array<double, 3> std_i{};
    for (std::size_t j = 0, n = 0; j < 3; ++n) {
        const auto c = canonical_2m(list[order[n]]);
        bool taken = false;
        for (std::size_t q = 0; q < j; ++q) taken = taken || canonical_2m(stds[q]) == c;
        if (taken) continue;
        stds[j] = list[order[n]];
        std_i[j] = itrue[order[n]];
        ++j;
    }
    const int total = static_cast<int>(list.size() + 3 * (list.size() / tr.std_interval + 1));
    auto measure_standards = [&]() {
        for (int j = 0; j < 3; ++j) {
            const double t = run_fraction(static_cast<int>(in.refl.size()) + 1, 1, total);
            add(stds[static_cast<std::size_t>(j)], std_i[static_cast<std::size_t>(j)] * (1.0 - tr.decay * t),
                j + 1);
        }
    };
    for (std::size_t n = 0; n < list.size(); ++n) {
        if (n % static_cast<std::size_t>(tr.std_interval) == 0) measure_standards();
        add(list[n], itrue[n], 0);
    }
    while (static_cast<int>(in.refl.size()) < total) measure_standards();
    in.n_read = in.n_fitted = static_cast<int>(in.refl.size());
    return in;
}

}  // namespace tarnivox::report::testing
