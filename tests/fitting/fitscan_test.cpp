#include "fitting/fitscan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/store.h"
#include "support/geometry_builder.h"
#include "support/profile_scans.h"

namespace tarnivox {
namespace {

// A strong, well-measured reflection: 96 steps of 0.01 deg around omega 0.
class SingleScanFit : public ::testing::Test {
protected:
    void SetUp() override {
        reset_store();
        load(sim);
        G.IREF = Arr1<int, 6>{{1, 1, 1, 1, 1, 0}};
        G.RWPLIM = 1.0;
        G.PARLO = Arr1<double, 6>{{-1e9, -1e9, -1e9, -1e9, -1e9, -1e9}};
        G.PARHI = Arr1<double, 6>{{1e9, 1e9, 1e9, 1e9, 1e9, 1e9}};
    }
    void load(const test::SimScan& s, std::uint64_t seed = 3) {
        CountRng rng = make_count_rng(seed);
        test::load_simulated_scan(s, &rng);
        G.PAR = s.truth;
        G.PAR(1) = (G.COUNTS(1) + G.COUNTS(G.NPTS)) / 2.0;
        G.PAR(4) = G.STEPANG(G.IMAX);
    }
    std::string fit(int ipass = 0) {
        int ierr = -1;
        FITSCAN(ipass, ierr);
        return G.FITSTAT.padded();
    }
    void check(int k, double lo, double hi) {
        G.ICHK(k) = 1;
        G.PARLO(k) = lo;
        G.PARHI(k) = hi;
    }
    test::SimScan sim = [] {
        test::SimScan s;
        s.truth = Arr1<double, 6>{{200.0, 0.08, 20.0, 0.03, 0.5, 0.5}};
        return s;
    }();
};

TEST_F(SingleScanFit, PassingReflectionIsFittedAndIntegrated) {
    G.SCALE = 2.0;
    EXPECT_EQ(fit(), "F    ");
    EXPECT_NEAR(G.FITI, 2.0 * G.PAR(3), 1e-9);
    EXPECT_NEAR(G.FITSIG, 2.0 * G.PARESD(3), 1e-9);
    EXPECT_NEAR(G.PAR(3), 20.0, 4.0 * G.PARESD(3));
    // Summation over the peak limits holds most of the doublet's counts.
    EXPECT_GT(G.INTI, 2.0 * 0.8 * 1.5 * 20.0 / 0.01);
    EXPECT_EQ(G.LIMS(1), 1);
    EXPECT_EQ(G.LIMS(4), 96);
    EXPECT_GT(G.LIMS(2), 1);
    EXPECT_LE(G.LIMS(3), 96);
}

TEST_F(SingleScanFit, RejectionsFollowTheOrderOfTheTests) {
    const Arr1<double, 6> start = G.PAR;
    auto again = [&] {
        G.PAR = start;
        G.ICHK.fill(0);
    };
    // Every test armed to fail: the background is judged first.
    auto arm_all = [&] {
        check(1, 1e6, 2e6);
        check(3, 1e6, 2e6);
        check(5, 3.0, 2.0);  // eta limits no fit can hold it within
        check(6, 2.0, 3.0);
        check(2, 2.0, 3.0);
        check(4, -0.5, -0.4);
    };
    const char* expected = "BISRWP";
    const int order[] = {1, 3, 5, 6, 2, 4};
    for (int i = 0; i < 6; ++i) {
        again();
        arm_all();
        for (int j = 0; j < i; ++j) G.ICHK(order[j]) = 0;
        EXPECT_EQ(fit(), std::string("R") + expected[i] + "   ") << i;
        EXPECT_EQ(G.FITI, 0.0);  // rejected before integration
        EXPECT_EQ(G.FITSIG, 1.0);
    }
    // The RWP test comes before all of them and still integrates.
    again();
    arm_all();
    G.ICHK(7) = 1;
    G.RWPLIM = 1e-6;
    EXPECT_EQ(fit(), "RF   ");
    EXPECT_GT(G.FITI, 0.0);
    EXPECT_GT(G.INTI, 0.0);
}

TEST_F(SingleScanFit, LeastSquaresCodesGiveTheirLetters) {
    G.NPTS = 4;
    G.IREF = Arr1<int, 6>{{1, 1, 1, 1, 1, 0}};
    EXPECT_EQ(fit(), "RD   ");
    EXPECT_EQ(G.FITI, 0.0);
    EXPECT_EQ(G.INTI, 0.0);
    EXPECT_EQ(G.FITSIG, 1.0);
    EXPECT_EQ(G.INTSIG, 1.0);
    load(sim);
    G.WAVE2 = 0.0;
    G.IREF(6) = 1;  // single line: IRATIO has no derivative
    EXPECT_EQ(fit(), "RE   ");
}

TEST_F(SingleScanFit, WeakReflectionSkipsTheShapeTests) {
    sim.truth(3) = 1.5;  // about 5 esd
    load(sim, 5);
    // The width and position of so weak a peak cannot be refined with it.
    G.IREF = Arr1<int, 6>{{1, 0, 1, 0, 1, 0}};
    check(5, 2.0, 3.0);
    check(6, 2.0, 3.0);
    check(2, 2.0, 3.0);
    const std::string st = fit();
    EXPECT_LT(G.PAR(3), 6.0 * G.PARESD(3));
    EXPECT_EQ(st, "F    ");
}

// The fit holds eta within its limits, so a weak reflection whose eta the
// limits admit passes; limits no fit can hold it within reject it, weak as
// it is: its intensity would rest on an eta outside them.
TEST_F(SingleScanFit, EtaTheFitCannotHoldIsRejectedWhateverTheIntensity) {
    sim.truth(3) = 1.5;  // about 5 esd
    load(sim, 5);
    G.IREF = Arr1<int, 6>{{1, 0, 1, 0, 1, 0}};
    check(5, 0.6, 1.0);
    EXPECT_EQ(fit(), "F    ");
    EXPECT_LT(G.PAR(3), 6.0 * G.PARESD(3));
    EXPECT_GE(G.PAR(5), 0.6);
    EXPECT_LE(G.PAR(5), 1.0);
    load(sim, 5);
    check(5, 1.0, 0.6);
    EXPECT_EQ(fit(), "RS   ");
}

TEST_F(SingleScanFit, NegativeTwoThetaSwapsThePositionWindow) {
    check(4, 0.01, 0.1);  // peak at +0.03: inside [-0.01, +0.1]
    EXPECT_EQ(fit(), "F    ");
    sim.tth = -40.0;
    load(sim);
    EXPECT_EQ(fit(), "RP   ");  // outside [-0.1, +0.01]
}

TEST_F(SingleScanFit, UnbalancedEndsWaiveTheRwpTest) {
    G.ICHK(7) = 1;
    G.RWPLIM = 1e-6;
    G.BGUNBAL = 1;
    EXPECT_EQ(fit(), "F  U ");
}

TEST_F(SingleScanFit, FlatProfileGivesIntegrationError) {
    for (int i = 1; i <= G.NPTS; ++i) G.COUNTS(i) = 200.0 + (i % 2);
    G.PAR = Arr1<double, 6>{{200.0, 0.08, 0.0, 0.0, 0.5, 0.5}};
    G.IREF = Arr1<int, 6>{{1, 0, 0, 0, 0, 0}};
    int ierr = -1;
    FITSCAN(0, ierr);
    // Limits (1, 96, 97, 96), put in order by the integration.
    EXPECT_EQ(G.LIMS, (Arr1<int, 4>{{1, 96, 96, 97}}));
    EXPECT_EQ(ierr, 1);
    EXPECT_EQ(G.INTI, 0.0);
    EXPECT_EQ(G.INTSIG, 1.0);
}

// FIT_REFLECTION fits from the controls in the store; no dialog is built.
using TwoPassFit = SingleScanFit;

TEST_F(TwoPassFit, CountersFollowTheRejectionLetter) {
    FIT_REFLECTION();
    EXPECT_EQ(G.FITSTAT.padded(), "F 1  ");
    EXPECT_EQ(G.NFITC(1), 1);

    check(5, 3.0, 2.0);
    FIT_REFLECTION();
    EXPECT_EQ(G.FITSTAT.padded(), "RS1  ");
    EXPECT_EQ(G.NFITC(11), 1);

    G.ICHK.fill(0);
    G.IREF(6) = 1;
    G.WAVE2 = 0.0;
    FIT_REFLECTION();
    EXPECT_EQ(G.FITSTAT.padded(), "RE1  ");
    EXPECT_EQ(G.NFITC(2), 1);
    EXPECT_EQ(G.NFITC(1), 1);
    EXPECT_EQ(G.NPASS2, 0);  // no orientation matrix: no second pass
}

TEST_F(TwoPassFit, SecondPassHoldsThePositionFromTheOrientationMatrix) {
    testdata::GeometryOptions opt;
    const testdata::Mat ub = testdata::ub_matrix(opt.cell, 10.0, 20.0, 30.0);
    Arr1<double, 4> ang;
    ASSERT_TRUE(testdata::setting_angles(ub, 2, 3, 1, G.WAVE1, 0.0, opt.parity, ang));
    G.UB = ub;
    G.UBFLAG = 1;
    G.PARITY = Arr1<int, 4>{{1, 1, 1, 1}};
    G.IHKL = Arr1<int, 3>{{2, 3, 1}};
    sim.tth = ang(1);
    sim.omega = 0.0;
    sim.truth(4) = 0.15;
    load(sim);
    G.ANGLES = ang;
    G.IFIX(4) = 1;
    check(4, 0.1, 0.1);  // the fitted peak at 0.15 lies outside
    FIT_REFLECTION();
    EXPECT_EQ(G.FITSTAT.padded(), "F 2  ");
    EXPECT_EQ(G.NFITC(7), 1);
    EXPECT_EQ(G.NPASS2, 1);
    EXPECT_EQ(G.NFITC(12), 1);
    EXPECT_EQ(G.NFITC(1), 0);
    EXPECT_NEAR(G.PAR(4), 0.0, 0.002);
    EXPECT_EQ(G.PARESD(4), 0.0);
}

}  // namespace
}  // namespace tarnivox
