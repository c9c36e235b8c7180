#include "fitting/background.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/store.h"
#include "support/profile_scans.h"

namespace tarnivox {
namespace {

class Background : public ::testing::Test {
protected:
    void SetUp() override { reset_store(); }
    BgPairs level, tth;
    int n = 0;
    void add(double t, double l) {
        ++n;
        tth(n) = t;
        level(n) = l;
    }
};

TEST_F(Background, SortIsAscendingAndCarriesThePartner) {
    const double keys[] = {5, 3, 9, 1, 3, 7, 2};
    for (double k : keys) add(k, k * 10 + n);
    SORT(n, tth, level);
    for (int i = 2; i <= n; ++i) EXPECT_LE(tth(i - 1), tth(i));
    for (int i = 1; i <= n; ++i) EXPECT_EQ(std::floor(level(i) / 10), tth(i));
    // The two equal keys 3 keep their order (levels 31 and 34).
    EXPECT_EQ(level(3), 31.0);
    EXPECT_EQ(level(4), 34.0);
    SORT(1, tth, level);
    SORT(0, tth, level);
}

TEST_F(Background, TableBetweenTenAndTwelveDegrees) {
    add(11.2, 30.0);
    add(10.1, 20.0);
    add(12.3, 40.0);
    add(11.0, 25.0);  // same degree keeps the smaller level
    add(9.9, 50.0);   // degree 10 too
    SET_BACKGROUND_SPLINE(n, level, tth, 3);
    // Below the first occupied degree a straight line from zero to T(10).
    for (int j = 1; j <= 9; ++j) EXPECT_NEAR(G.BGTAB(j), 20.0 * j / 10.0, 1e-12) << j;
    EXPECT_NEAR(G.BGTAB(10), (18.0 + 20.0 + 25.0) / 3.0, 1e-12);
    EXPECT_NEAR(G.BGTAB(11), (20.0 + 25.0 + 40.0) / 3.0, 1e-12);
    for (int j = 13; j <= 89; ++j) EXPECT_NEAR(G.BGTAB(j), 40.0, 1e-12) << j;
    EXPECT_EQ(G.BGTAB(90), 0.0);  // outside the running mean, never set
}

TEST_F(Background, EvenOrNegativeWidthIsMadeOdd) {
    for (int j = 1; j <= 60; ++j) add(j, j <= 30 ? 10.0 : 100.0);
    SET_BACKGROUND_SPLINE(n, level, tth, 5);
    const Arr1<double, 90> five = G.BGTAB;
    G.BGTAB.fill(0.0);
    SET_BACKGROUND_SPLINE(n, level, tth, 4);
    EXPECT_EQ(G.BGTAB, five);
    G.BGTAB.fill(0.0);
    SET_BACKGROUND_SPLINE(n, level, tth, -4);
    EXPECT_EQ(G.BGTAB, five);
    EXPECT_NEAR(G.BGTAB(30), (3 * 10.0 + 2 * 100.0) / 5.0, 1e-12);
}

TEST_F(Background, GapsAreFilledAndScansPastNinetyEndTheTable) {
    add(20.0, 10.0);
    add(24.0, 30.0);
    add(95.0, 1000.0);
    SET_BACKGROUND_SPLINE(n, level, tth, 1);
    // Empty degrees take the mean of their neighbours, in increasing
    // order, so a filled gap feeds the next.
    EXPECT_NEAR(G.BGTAB(21), 5.0, 1e-12);
    EXPECT_NEAR(G.BGTAB(22), 2.5, 1e-12);
    EXPECT_NEAR(G.BGTAB(23), 16.25, 1e-12);
    EXPECT_NEAR(G.BGTAB(24), 30.0, 1e-12);
    // The scan at 95 degrees is not stored; the degrees above the last
    // stored one carry its level instead of no background at all.
    for (int j = 25; j <= 90; ++j) EXPECT_NEAR(G.BGTAB(j), 30.0, 1e-12) << j;
}

TEST_F(Background, ScansBelowHalfADegreeStayInsideTheTable) {
    add(0.2, 8.0);
    add(3.0, 9.0);
    SET_BACKGROUND_SPLINE(n, level, tth, 3);
    for (int j = 1; j <= 90; ++j) EXPECT_TRUE(std::isfinite(G.BGTAB(j)));
}

TEST_F(Background, ExponentialLawRecoveredFromItsLevels) {
    for (int j = 1; j <= 60; ++j) {
        const double t = 2.0 * j;
        add(t, 80.0 * std::exp(-0.05 * t) + (t > 45.0 ? 5.0 : 5.0));
    }
    SET_BACKGROUND_EXP(n, level, tth);
    // c is the mean above 45 degrees, which still carries some of the decay.
    double c = 0;
    int nc = 0;
    for (int j = 1; j <= 60; ++j)
        if (2.0 * j > 45.0) c += 80.0 * std::exp(-0.1 * j) + 5.0, ++nc;
    EXPECT_NEAR(G.BGEXPC, c / nc, 1e-9);
    EXPECT_GT(G.BGEXPA, 0.0);
    EXPECT_GT(G.BGEXPB, 0.0);
}

TEST_F(Background, ExponentialLawFallbacks) {
    add(10.0, 5.0);
    add(50.0, 5.0);
    SET_BACKGROUND_EXP(n, level, tth);  // nothing above c = 5
    EXPECT_EQ(G.BGEXPA, 1.0);
    EXPECT_EQ(G.BGEXPB, 0.1);
    EXPECT_EQ(G.BGEXPC, 5.0);
    n = 0;
    add(10.0, 40.0);
    add(20.0, 20.0);
    SET_BACKGROUND_EXP(n, level, tth);  // no scan above 45 degrees: c = 0
    EXPECT_EQ(G.BGEXPC, 0.0);
    EXPECT_NEAR(G.BGEXPB, std::log(2.0) / 10.0, 1e-12);
    EXPECT_NEAR(G.BGEXPA, 80.0, 1e-9);
    n = 0;
    add(10.0, 40.0);
    SET_BACKGROUND_EXP(n, level, tth);  // one scan: a flat law, never a NaN
    EXPECT_NEAR(G.BGEXPA, 40.0, 1e-9);
    EXPECT_EQ(G.BGEXPB, 0.0);
}

TEST_F(Background, LookupByModeAndScale) {
    test::load_counts({100, 1, 1, 1, 1, 1, 1, 1, 1, 60});
    G.SCALE = 2.0;
    G.IBACK = 0;
    EXPECT_EQ(GET_BACKGROUND(40.0), 80.0);
    G.IBACK = 1;
    G.BGTAB(40) = 10.0;
    G.BGTAB(41) = 20.0;
    EXPECT_NEAR(GET_BACKGROUND(-40.25), 12.5 / 2.0, 1e-12);
    EXPECT_NEAR(GET_BACKGROUND(0.5), 0.5 * G.BGTAB(1) / 2.0, 1e-12);
    EXPECT_TRUE(std::isfinite(GET_BACKGROUND(120.0)));
    G.IBACK = 2;
    G.BGEXPA = 100.0;
    G.BGEXPB = 0.02;
    G.BGEXPC = 4.0;
    EXPECT_NEAR(GET_BACKGROUND(50.0), (100.0 * std::exp(-1.0) + 4.0) / 2.0, 1e-12);
}

TEST_F(Background, EndStepModeWithBalanceTest) {
    G.IBACK = 3;
    G.NBACK = 5;
    test::load_counts({20, 20, 20, 20, 20, 90, 90, 20, 20, 20, 20, 20});
    EXPECT_EQ(GET_BACKGROUND(30.0), 20.0);
    EXPECT_EQ(G.BGUNBAL, 0);
    test::load_counts({20, 20, 20, 20, 20, 90, 90, 32, 32, 32, 32, 32});
    EXPECT_EQ(GET_BACKGROUND(30.0), 20.0);  // |100-160| = 60 >= 3*sqrt(260)
    EXPECT_EQ(G.BGUNBAL, 1);
    G.IBACK = 0;
    GET_BACKGROUND(30.0);
    EXPECT_EQ(G.BGUNBAL, 0);
}

TEST_F(Background, EndStepCountIsKeptInsideTheScan) {
    G.IBACK = 3;
    test::load_counts({20, 50, 50, 50, 24});
    G.NBACK = 0;  // at least one step
    EXPECT_EQ(GET_BACKGROUND(30.0), 22.0);
    G.NBACK = 40;  // at most half the scan: 2 steps each end
    EXPECT_EQ(GET_BACKGROUND(30.0), 36.0);
    test::load_counts({7});
    EXPECT_EQ(GET_BACKGROUND(30.0), 7.0);
    G.NPTS = 0;
    EXPECT_EQ(GET_BACKGROUND(30.0), 0.0);
}

}  // namespace
}  // namespace tarnivox
