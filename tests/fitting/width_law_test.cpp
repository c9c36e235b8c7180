// The width law FWHM = a + b tan|theta| fitted to widths with esds: a and b
// within 3 esd of the law the widths were drawn from, esds that match the
// scatter of the fitted values, and the cases that fix no line.
#include "fitting/width_law.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace tarnivox {
namespace {

struct Columns {
    Arr1<double, MAXREFLIST> tth, fw, esd;
};

TEST(WidthLaw, RecoversTheLawWithinThreeEsdsAndHonestEsds) {
    constexpr double A = 0.11, B = 0.27;
    constexpr int TRIALS = 400;
    std::mt19937_64 rng(4242);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::normal_distribution<double> z(0.0, 1.0);
    int within_a = 0, within_b = 0;
    double za2 = 0.0, zb2 = 0.0;
    static Columns c;
    for (int t = 0; t < TRIALS; ++t) {
        const int n = 20 + static_cast<int>(200 * u(rng));
        for (int i = 1; i <= n; ++i) {
            // Both signs of 2theta count with |theta|.
            c.tth(i) = (5.0 + 60.0 * u(rng)) * (u(rng) < 0.3 ? -1.0 : 1.0);
            c.esd(i) = 0.001 + 0.02 * u(rng);
            c.fw(i) = A + B * std::tan(std::fabs(c.tth(i)) / 2.0 * M_PI / 180.0) + c.esd(i) * z(rng);
        }
        WidthLaw law;
        ASSERT_EQ(fit_width_law(n, c.tth, c.fw, c.esd, law), WIDTH_LAW_OK);
        EXPECT_EQ(law.used, n);
        const double za = (law.a - A) / law.esd_a, zb = (law.b - B) / law.esd_b;
        within_a += std::fabs(za) <= 3.0 ? 1 : 0;
        within_b += std::fabs(zb) <= 3.0 ? 1 : 0;
        za2 += za * za;
        zb2 += zb * zb;
    }
    EXPECT_GE(within_a, TRIALS * 95 / 100);
    EXPECT_GE(within_b, TRIALS * 95 / 100);
    // Scatter over esd: 1 for honest esds.
    const double ra = std::sqrt(za2 / TRIALS), rb = std::sqrt(zb2 / TRIALS);
    EXPECT_GT(ra, 0.85);
    EXPECT_LT(ra, 1.15);
    EXPECT_GT(rb, 0.85);
    EXPECT_LT(rb, 1.15);
}

TEST(WidthLaw, WidthsThatFixNoLineGiveZeros) {
    static Columns c;
    for (int i = 1; i <= 5; ++i) {
        c.tth(i) = 10.0 * i;
        c.fw(i) = 0.2;
        c.esd(i) = 0.0001;  // at the limit: not an esd
    }
    WidthLaw law;
    law.a = 9.0;
    EXPECT_EQ(fit_width_law(5, c.tth, c.fw, c.esd, law), WIDTH_LAW_NO_ESDS);
    EXPECT_EQ(law.a, 0.0);
    EXPECT_EQ(law.b, 0.0);
    EXPECT_EQ(law.esd_a, 0.0);
    EXPECT_EQ(law.esd_b, 0.0);
    EXPECT_EQ(fit_width_law(0, c.tth, c.fw, c.esd, law), WIDTH_LAW_NO_ESDS);

    // Every width at one |2theta| (one reflection, or a Friedel pair): no slope.
    c.esd(1) = 0.01;
    EXPECT_EQ(fit_width_law(5, c.tth, c.fw, c.esd, law), WIDTH_LAW_ONE_ANGLE);
    EXPECT_EQ(law.used, 1);
    c.tth(2) = -10.0;
    c.esd(2) = 0.02;
    EXPECT_EQ(fit_width_law(5, c.tth, c.fw, c.esd, law), WIDTH_LAW_ONE_ANGLE);
    for (double v : {law.a, law.b, law.esd_a, law.esd_b}) EXPECT_EQ(v, 0.0);

    // Two angles: the exact line through them, esds from the weights alone.
    c.tth(2) = -40.0;
    c.fw(2) = 0.3;
    ASSERT_EQ(fit_width_law(5, c.tth, c.fw, c.esd, law), WIDTH_LAW_OK);
    const double t1 = std::tan(5.0 * M_PI / 180.0), t2 = std::tan(20.0 * M_PI / 180.0);
    EXPECT_NEAR(law.b, 0.1 / (t2 - t1), 1e-12);
    EXPECT_NEAR(law.a, 0.2 - law.b * t1, 1e-12);
    const double w1 = 1e4, w2 = 2.5e3;
    const double d = (w1 + w2) * (w1 * t1 * t1 + w2 * t2 * t2) - std::pow(w1 * t1 + w2 * t2, 2);
    EXPECT_NEAR(law.esd_b, std::sqrt((w1 + w2) / d), 1e-12);

    // A width from a failed fit is left out, not carried into the sums.
    c.fw(3) = std::nan("");
    c.esd(3) = 0.01;
    ASSERT_EQ(fit_width_law(5, c.tth, c.fw, c.esd, law), WIDTH_LAW_OK);
    EXPECT_EQ(law.used, 2);
}

// Widths of weak free fits come out narrow, the more the poorer their
// relative esd: the law comes from the reliable widths alone and stays
// within 3 esd of the truth, where a fit to every width misses it by
// many; with fewer than three reliable widths every width is used, and the
// law says so.
TEST(WidthLaw, WeakNarrowWidthsDoNotPullTheLaw) {
    constexpr double A = 0.14, B = 0.10;
    std::mt19937_64 rng(77);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::normal_distribution<double> z(0.0, 1.0);
    static Columns c;
    const int n = 400;
    for (int i = 1; i <= n; ++i) {
        c.tth(i) = 10.0 + 50.0 * u(rng);
        const double truth = A + B * std::tan(c.tth(i) / 2.0 * M_PI / 180.0);
        // A quarter reliable (1-6 % esd), the rest weak (7-20 %) with the
        // narrowing of weak fits: 1.2 relative esd below the truth.
        const double rel = i % 4 == 0 ? 0.01 + 0.05 * u(rng) : 0.07 + 0.13 * u(rng);
        const double bias = rel > WIDTH_REL_ESD_MAX ? -1.2 * rel : 0.0;
        c.fw(i) = truth * (1.0 + bias + rel * z(rng));
        c.esd(i) = rel * c.fw(i);
    }
    WidthLaw law;
    ASSERT_EQ(fit_width_law(n, c.tth, c.fw, c.esd, law), WIDTH_LAW_OK);
    EXPECT_FALSE(law.all_widths);
    EXPECT_EQ(law.used, n);
    EXPECT_LT(law.fitted, n / 3);
    EXPECT_GE(law.fitted, 3);
    EXPECT_LE(std::fabs(law.a - A), 3.0 * law.esd_a);
    EXPECT_LE(std::fabs(law.b - B), 3.0 * law.esd_b);

    // Only two reliable widths: every width, and the law tells.
    static Columns few;
    int reliable = 0;
    for (int i = 1; i <= n; ++i) {
        few.tth(i) = c.tth(i);
        few.fw(i) = c.fw(i);
        few.esd(i) = c.esd(i);
        if (c.esd(i) <= WIDTH_REL_ESD_MAX * c.fw(i) && ++reliable > 2) few.esd(i) = 0.1 * c.fw(i);
    }
    ASSERT_EQ(fit_width_law(n, few.tth, few.fw, few.esd, law), WIDTH_LAW_OK);
    EXPECT_TRUE(law.all_widths);
    EXPECT_EQ(law.fitted, n);
    // ... which is the narrow law of the weak fits.
    EXPECT_GT(std::fabs(law.a + law.b * 0.3 - (A + B * 0.3)), 5.0 * law.esd_a);
}

}  // namespace
}  // namespace tarnivox
