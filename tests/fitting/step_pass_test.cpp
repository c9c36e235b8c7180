#include "fitting/step_pass.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "fitting/scan_model.h"

namespace tarnivox {
namespace {

struct RandomScan {
    alignas(64) std::array<double, PADDED_STEPS> x{}, yp{}, w{};
    StepData data;
    StepModel model;
};

// A scan of random length, range and counts, and a model that is sometimes
// one line, sometimes of no Gaussian part (width not positive), with eta
// also outside 0..1 as a fit on its way may hold it.
RandomScan random_scan(CountRng& rng) {
    RandomScan s;
    const int n = 1 + static_cast<int>(uniform01(rng) * 500.0);
    const double step = 0.002 + 0.05 * uniform01(rng);
    const double start = -0.5 * n * step + 50.0 * (uniform01(rng) - 0.5);
    for (int i = 0; i < n; ++i) {
        const auto k = static_cast<std::size_t>(i);
        s.x[k] = start + i * step;
        // Some counts of -1 (Y' = 0, weight 1) as scaled data can hold.
        const double y = uniform01(rng) < 0.05 ? -1.0 : std::floor(1e4 * uniform01(rng) * uniform01(rng));
        s.yp[k] = y + 1.0;
        s.w[k] = s.yp[k] > 0.0 ? 1.0 / s.yp[k] : 1.0;
    }
    s.data = {s.x.data(), s.yp.data(), s.w.data(), n};
    const double centre = start + n * step * uniform01(rng);
    std::array<double, 6> v{100.0 * uniform01(rng),     0.005 + 0.5 * uniform01(rng),
                            1e3 * uniform01(rng),       centre,
                            1.4 * uniform01(rng) - 0.2, uniform01(rng)};
    if (uniform01(rng) < 0.1) v[1] = uniform01(rng) < 0.5 ? 0.0 : -0.05;
    const double tth = 5.0 + 150.0 * uniform01(rng);
    const Doublet dbl = make_doublet(0.70930, uniform01(rng) < 0.2 ? 0.0 : 0.71359, 0.0, tth);
    s.model = make_step_model(v, dbl, alpha2_position_factor(dbl, v[3]));
    return s;
}

// Relative agreement: each sum is compared on the scale its terms can
// reach (Cauchy-Schwarz bounds from the diagonal and sum w*r^2), so that a
// sum that cancels to near zero is not judged on its own tiny size.
void expect_same(const StepSums& ref, const std::array<double, PADDED_STEPS>& yref, const StepSums& got,
                 const std::array<double, PADDED_STEPS>& ygot, int n, const char* target, int scan) {
    constexpr double TOL = 1e-12;
    for (int i = 0; i < n; ++i) {
        const auto k = static_cast<std::size_t>(i);
        ASSERT_NEAR(ygot[k], yref[k], TOL * std::max(1.0, std::fabs(yref[k]))) << target << " scan " << scan;
    }
    auto diag = [&](int j) { return ref.a[static_cast<std::size_t>(tri(j, j))]; };
    for (int j = 0; j < 6; ++j) {
        for (int l = 0; l <= j; ++l) {
            const double scale = std::max(std::sqrt(diag(j) * diag(l)), 1e-300);
            ASSERT_NEAR(got.a[static_cast<std::size_t>(tri(j, l))],
                        ref.a[static_cast<std::size_t>(tri(j, l))], TOL * scale)
                << target << " scan " << scan << " a(" << j << "," << l << ")";
        }
        const double bscale = std::max(std::sqrt(diag(j) * ref.swr2), 1e-300);
        ASSERT_NEAR(got.b[static_cast<std::size_t>(j)], ref.b[static_cast<std::size_t>(j)], TOL * bscale)
            << target << " scan " << scan << " b(" << j << ")";
    }
    ASSERT_NEAR(got.swr2, ref.swr2, TOL * ref.swr2) << target << " scan " << scan;
    ASSERT_NEAR(got.swy2, ref.swy2, TOL * ref.swy2) << target << " scan " << scan;
}

TEST(StepPass, VectorPassesAgreeWithTheScalarPassOnEveryInstructionSet) {
    const std::vector<VectorTarget> targets = vector_targets();
    if (targets.empty()) GTEST_SKIP() << "built without vector support";
    CountRng rng = make_count_rng(20261207);
    for (int scan = 0; scan < 300; ++scan) {
        const RandomScan s = random_scan(rng);
        StepSums ref;
        std::array<double, PADDED_STEPS> yref{};
        step_pass_scalar(s.data, s.model, yref.data(), ref);
        for (const VectorTarget& t : targets) {
            StepSums got;
            std::array<double, PADDED_STEPS> ygot{};
            step_pass_on(t, s.data, s.model, ygot.data(), got);
            expect_same(ref, yref, got, ygot, s.data.n, t.name, scan);
        }
        // And the pass the fit uses, on this processor's best set.
        StepSums got;
        std::array<double, PADDED_STEPS> ygot{};
        step_pass(s.data, s.model, ygot.data(), got);
        expect_same(ref, yref, got, ygot, s.data.n, step_pass_target_name(), scan);
    }
}

TEST(StepPass, StepsPastTheScanAddNothingEvenWhereTheModelOverflows) {
    // The padding after the last step holds x = 0: with a Gaussian of a
    // width so small that its height overflows, centred there, the model is
    // not finite at those steps, and that must not reach the sums.
    alignas(64) std::array<double, PADDED_STEPS> x{}, yp{}, w{}, yc{};
    const int n = 5;
    for (int i = 0; i < n; ++i) {
        x[static_cast<std::size_t>(i)] = 1.0 + 0.1 * i;
        yp[static_cast<std::size_t>(i)] = 11.0;
        w[static_cast<std::size_t>(i)] = 1.0 / 11.0;
    }
    const StepData data{x.data(), yp.data(), w.data(), n};
    const StepModel m = make_step_model({10.0, 1e-310, 5.0, 0.0, 0.5, 0.0}, Doublet{}, 1.0);
    StepSums ref, got;
    step_pass_scalar(data, m, yc.data(), ref);
    for (const VectorTarget& t : vector_targets()) {
        step_pass_on(t, data, m, yc.data(), got);
        EXPECT_TRUE(std::isfinite(got.swr2) && std::isfinite(got.a[0]) && std::isfinite(got.b[3])) << t.name;
        EXPECT_DOUBLE_EQ(got.swr2, ref.swr2) << t.name;
    }
}

}  // namespace
}  // namespace tarnivox
