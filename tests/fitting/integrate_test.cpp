#include "fitting/integrate.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/store.h"
#include "fitting/scan_model.h"
#include "support/profile_scans.h"

namespace tarnivox {
namespace {

class Integrate : public ::testing::Test {
protected:
    void SetUp() override {
        reset_store();
        G.NPTS = 20;
        for (int i = 1; i <= 20; ++i) G.COUNTS(i) = 10.0 + ((i >= 6 && i <= 15) ? 5.0 * i : 0.0);
    }
    double sum(int a, int b) {
        double s = 0;
        for (int i = a; i <= b; ++i) s += G.COUNTS(i);
        return s;
    }
    int run(int l1, int l2, int l3, int l4) {
        G.LIMS = Arr1<int, 4>{{l1, l2, l3, l4}};
        int ierr = -1;
        INTEGRATE(ierr);
        return ierr;
    }
};

TEST_F(Integrate, EqualBackgroundAndPeakSteps) {
    EXPECT_EQ(run(1, 5, 16, 20), 0);
    const double b = sum(1, 5) + sum(16, 20), p = sum(6, 15);
    EXPECT_DOUBLE_EQ(G.INTI, p - b);
    EXPECT_DOUBLE_EQ(G.INTSIG, std::sqrt(p + b));
}

TEST_F(Integrate, BackgroundScaledOnceByPeakToBackgroundSteps) {
    EXPECT_EQ(run(1, 3, 18, 20), 0);
    const double b = sum(1, 3) + sum(18, 20), p = sum(4, 17);
    EXPECT_DOUBLE_EQ(G.INTSIG, std::sqrt(p + 14.0 / 6.0 * b));
    EXPECT_DOUBLE_EQ(G.INTI, p - 14.0 * b / 6.0);
}

TEST_F(Integrate, LimitsOutOfOrderAreSortedFirst) {
    run(1, 5, 16, 20);
    const double inti = G.INTI, intsig = G.INTSIG;
    EXPECT_EQ(run(16, 1, 20, 5), 0);
    EXPECT_EQ(G.LIMS, (Arr1<int, 4>{{1, 5, 16, 20}}));
    EXPECT_DOUBLE_EQ(G.INTI, inti);
    EXPECT_DOUBLE_EQ(G.INTSIG, intsig);
}

TEST_F(Integrate, EmptyPeakRegionGivesZero) {
    EXPECT_EQ(run(1, 10, 11, 20), 0);
    EXPECT_EQ(G.INTI, 0.0);
    EXPECT_EQ(G.INTSIG, 0.0);
}

TEST_F(Integrate, LimitsOutsideTheScanLeaveTheIntensities) {
    G.INTI = 0.0;
    G.INTSIG = 1.0;
    EXPECT_EQ(run(1, 20, 21, 20), 1);  // a profile that never rose above background
    EXPECT_EQ(run(0, 5, 16, 20), 1);
    EXPECT_EQ(G.INTI, 0.0);
    EXPECT_EQ(G.INTSIG, 1.0);
}

TEST_F(Integrate, NegativeCountsNeverGiveANanEsd) {
    for (int i = 1; i <= 20; ++i) G.COUNTS(i) = -3.0;
    EXPECT_EQ(run(1, 5, 16, 20), 0);
    EXPECT_TRUE(std::isfinite(G.INTSIG));
}

// The sum over the expected peak stands on the scale of the fitted alpha1
// intensity: on noise-free scans of the profile the settings describe it
// gives that intensity back whatever the share of the peak beyond the scan
// (Lorentzian tails) and the alpha2 line; with counting noise it scatters
// about the truth as its esd says; it refuses a peak that lies off the scan.
TEST(IntegrateExpected, RecoversTheAlpha1IntensityWithAnHonestEsd) {
    struct Case {
        double tth, eta, ratio, peak;
    } cases[] = {
        {12.0, 0.0, 0.5, 0.0}, {40.0, 0.5, 0.5, 0.02}, {80.0, 1.0, 0.5, -0.05}, {40.0, 0.4, 0.0, 0.0}};
    for (const Case& c : cases) {
        reset_store();
        test::SimScan s;
        s.tth = c.tth;
        s.npts = 96;
        s.step = 0.02;
        s.scale = 3.0;
        s.wave2 = c.ratio > 0.0 ? test::MO_WAVE2 : 0.0;
        G.FWHMA = 0.12;
        G.FWHMB = 0.35;
        G.ETA0 = c.eta;
        G.A2RATIO = c.ratio;
        const double h = 0.12 + 0.35 * std::tan(c.tth / 2.0 / 57.29578);
        s.truth = Arr1<double, 6>{{20.0, h, 400.0, c.peak, c.eta, c.ratio}};
        test::load_simulated_scan(s, nullptr);
        ExpectedSum e;
        ASSERT_EQ(INTEGRATE_EXPECTED(e), 0) << c.tth;
        EXPECT_NEAR(e.intensity, 1200.0, 0.01) << c.tth << " eta " << c.eta;
        EXPECT_DOUBLE_EQ(e.omega, 0.0);
        EXPECT_GE(e.lims[1], 2);
        EXPECT_LE(e.lims[2], 95);

        // Counting noise: z over many scans.
        CountRng rng = make_count_rng(17);
        double zs = 0.0, zz = 0.0;
        const int n = 400;
        for (int k = 0; k < n; ++k) {
            test::load_simulated_scan(s, &rng);
            ASSERT_EQ(INTEGRATE_EXPECTED(e), 0);
            const double z = (e.intensity - 1200.0) / e.sigma;
            zs += z;
            zz += z * z;
        }
        const double mean = zs / n;
        EXPECT_NEAR(mean, 0.0, 0.15) << c.tth;
        EXPECT_NEAR(std::sqrt(zz / n - mean * mean), 1.0, 0.12) << c.tth;
    }
    // The scan set two degrees off where the peak is expected.
    reset_store();
    test::SimScan s;
    G.FWHMA = 0.2;
    s.omega = 2.0;
    test::load_simulated_scan(s, nullptr);
    G.ANGLES(2) = 0.0;
    ExpectedSum e;
    EXPECT_EQ(INTEGRATE_EXPECTED(e), 1);
}

}  // namespace
}  // namespace tarnivox
