#include "fitting/profile.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tarnivox {
namespace {

// Trapezoid integral of a shape over +-200 FWHM on a fine grid.
template <class F>
double area(F shape, double p, double h) {
    const double dx = h / 400.0;
    double s = 0.0;
    for (double x = p - 200.0 * h; x <= p + 200.0 * h; x += dx) s += shape(x) * dx;
    return s;
}

TEST(PeakShapes, IntegrateToOne) {
    double a = 0, b = 0, c = 0;
    EXPECT_NEAR(area([&](double x) { return GAUSS(x, 0.3, 0.15, a, b); }, 0.3, 0.15), 1.0, 1e-6);
    // The Lorentzian tail beyond 200 FWHM holds 2/(pi*400) of the area.
    EXPECT_NEAR(area([&](double x) { return LORENTZ(x, -0.1, 0.2, a, b); }, -0.1, 0.2),
                1.0 - 2.0 / (M_PI * 400.0), 1e-5);
    EXPECT_NEAR(area([&](double x) { return PSVOIGT(x, 0.0, 0.4, 0.1, a, b, c); }, 0.0, 0.1),
                1.0 - 0.4 * 2.0 / (M_PI * 400.0), 1e-5);
}

TEST(PeakShapes, DerivativesMatchFiniteDifferences) {
    const double h = 0.12, eta = 0.35, p = 0.02, e = 1e-6;
    for (double x : {-0.3, -0.07, 0.0, 0.01, 0.05, 0.2, 0.6}) {
        double dp, dh, de, t1, t2, t3;
        PSVOIGT(x, p, eta, h, dp, dh, de);
        const double fp =
            (PSVOIGT(x, p + e, eta, h, t1, t2, t3) - PSVOIGT(x, p - e, eta, h, t1, t2, t3)) / (2 * e);
        const double fh =
            (PSVOIGT(x, p, eta, h + e, t1, t2, t3) - PSVOIGT(x, p, eta, h - e, t1, t2, t3)) / (2 * e);
        const double fe =
            (PSVOIGT(x, p, eta + e, h, t1, t2, t3) - PSVOIGT(x, p, eta - e, h, t1, t2, t3)) / (2 * e);
        EXPECT_NEAR(dp, fp, 1e-4 * (1 + std::fabs(fp))) << x;
        EXPECT_NEAR(dh, fh, 1e-4 * (1 + std::fabs(fh))) << x;
        EXPECT_NEAR(de, fe, 1e-6) << x;
        double gdp, gdh, ldp, ldh;
        const double g = GAUSS(x, p, h, gdp, gdh);
        const double l = LORENTZ(x, p, h, ldp, ldh);
        EXPECT_NEAR(PSVOIGT(x, p, eta, h, t1, t2, t3), (1 - eta) * g + eta * l, 1e-12);
    }
}

TEST(PeakShapes, GaussianIsCutBeyondSixWidths) {
    double dp, dh;
    EXPECT_GT(GAUSS(0.599, 0.0, 0.1, dp, dh), 0.0);
    EXPECT_EQ(GAUSS(0.601, 0.0, 0.1, dp, dh), 0.0);
    EXPECT_EQ(dp, 0.0);
    EXPECT_EQ(dh, 0.0);
    // Lorentzian has no cut-off.
    EXPECT_GT(LORENTZ(5.0, 0.0, 0.1, dp, dh), 0.0);
}

TEST(PeakShapes, ZeroWidthGivesNoNonFiniteValues) {
    double dp, dh, de;
    for (double x : {0.0, 0.1}) {
        EXPECT_TRUE(std::isfinite(PSVOIGT(x, 0.0, 0.5, 0.0, dp, dh, de)));
        EXPECT_TRUE(std::isfinite(dp) && std::isfinite(dh) && std::isfinite(de));
    }
}

TEST(Doublet, SingleLineBelowPointOneAngstrom) {
    EXPECT_FALSE(make_doublet(0.7093, 0.0, 0.0, 40.0).two_lines);
    EXPECT_FALSE(make_doublet(0.7093, 0.09, 0.0, 40.0).two_lines);
    const Doublet d = make_doublet(0.70930, 0.71359, 0.01, 40.0);
    EXPECT_TRUE(d.two_lines);
    EXPECT_NEAR(d.shift, std::asin(0.71359 / 0.70930 * std::sin(20.0 / 57.29578)) * 57.29578 - 20.0 + 0.01,
                1e-12);
    // Negative 2theta puts alpha2 on the other side; 2theta near 180 stays finite.
    EXPECT_LT(make_doublet(0.70930, 0.71359, 0.0, -40.0).shift, 0.0);
    EXPECT_TRUE(std::isfinite(make_doublet(1.54056, 1.54439, 0.0, 178.0).shift));
}

}  // namespace
}  // namespace tarnivox
