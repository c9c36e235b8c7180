#include "fitting/integrate.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/store.h"

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

}  // namespace
}  // namespace tarnivox
