#include "refine/offsets.h"

#include <cmath>
#include <numbers>

#include "refine/ub_lsq.h"
#include "refine_fixture.h"

namespace tarnivox {
namespace {

using testdata::GeometryOptions;

class Offsets : public RefineTest {};

TEST_F(Offsets, AngoffWithoutOffsetIsZeroWhateverTheZeroPoint) {
    G.OMZERO = 0.3;
    Arr1<double, 3> aoff{{9.0, 9.0, 9.0}};
    CALC_ANGOFF(angles(30.0, 5.0, 40.0, 50.0), aoff);
    EXPECT_EQ(aoff, (Arr1<double, 3>{}));
}

TEST_F(Offsets, AngoffOfOffsetAlongXAtZeroAngles) {
    G.GONCON1 = 200.0;
    G.XTALOFF(1) = 0.05;
    const double tth = 40.0;
    Arr1<double, 3> aoff;
    CALC_ANGOFF(angles(tth, 0.0, 0.0, 0.0), aoff);
    const double expect =
        0.05 * std::cos(tth / 2.0 * std::numbers::pi / 180.0) / 200.0 * 180.0 / std::numbers::pi;
    EXPECT_NEAR(aoff(1), expect, 1e-12);
    EXPECT_EQ(aoff(2), aoff(1));  // OMZERO 0
    EXPECT_EQ(aoff(3), 0.0);
    G.OMZERO = 0.02;
    CALC_ANGOFF(angles(tth, 0.0, 0.0, 0.0), aoff);
    EXPECT_NEAR(aoff(2), expect + 0.02, 1e-12);
    G.GONCON1 = 0.0;  // no goniometer constant: no angular effect, no infinity
    CALC_ANGOFF(angles(tth, 0.0, 0.0, 0.0), aoff);
    EXPECT_EQ(aoff, (Arr1<double, 3>{}));
}

class OffsetRefinement : public Offsets {
protected:
    GeometryOptions data(double omzero) {
        GeometryOptions opt;
        opt.cell = {8.4, 10.2, 13.9, 90.0, 101.0, 90.0};
        opt.rx = 17, opt.ry = 48, opt.rz = -63;
        opt.omega_range = 1.0;
        opt.max_tth = 60.0;
        opt.xtaloff = {0.12, -0.08, 0.05};
        opt.omzero = omzero;
        opt.seed = 11;
        return opt;
    }
};

TEST_F(OffsetRefinement, RecoversKnownOffset) {
    const GeometryOptions opt = data(0.0);
    testdata::loaded_refinement_list(opt, 150);
    G.UBFLAG = 0;
    int ierr = -1;
    LSQ_WITHOFF(0, ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(G.UBFLAG, 1);
    EXPECT_EQ(G.OMZERO, 0.0);
    for (int k = 1; k <= 3; ++k) EXPECT_NEAR(G.XTALOFF(k), opt.xtaloff[k - 1], 0.01) << k;
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(G.CELL(k + 1), opt.cell[k], 2e-3);
}

TEST_F(OffsetRefinement, RecoversOffsetTogetherWithZeroPoint) {
    const GeometryOptions opt = data(0.04);
    testdata::loaded_refinement_list(opt, 150);
    int ierr = -1;
    LSQ_WITHOFF(1, ierr);
    EXPECT_EQ(ierr, 0);
    // UB takes up part of a zero point; the cycle stops once the deviation
    // sum settles, short of the full value.
    EXPECT_NEAR(G.OMZERO, 0.04, 0.01);
    for (int k = 1; k <= 3; ++k) EXPECT_NEAR(G.XTALOFF(k), opt.xtaloff[k - 1], 0.01) << k;
}

TEST_F(OffsetRefinement, SingularOffsetMatrixKeepsOffsetsAndGoesOn) {
    const GeometryOptions opt = data(0.0);
    testdata::ReflectionSet set = testdata::measured_reflections(opt, 10);
    G.XTALOFF = Arr1<double, 3>{{0.5, 0.6, 0.7}};
    G.GONCON1 = 0.0;
    ShiftLsqResult shift;
    GET_XTALSHIFT(set.n, set.ang, set.ih, 1, shift);
    EXPECT_EQ(G.XTALOFF, (Arr1<double, 3>{{0.5, 0.6, 0.7}}));
    EXPECT_EQ(error_boxes(), std::vector<std::string>{"SINGULAR MATRIX IN LSQ FOR XTAL OFFSETS"});
}

TEST_F(OffsetRefinement, CachedUbInverseGivesIdenticalRefinement) {
    const GeometryOptions opt = data(0.0);
    testdata::loaded_refinement_list(opt, 30);
    int ierr = -1;
    LSQ_WITHOFF(0, ierr);
    const Mat3 ub = G.UB;
    const Arr1<double, 3> off = G.XTALOFF;
    set_ub_inverse_cache(false);
    G.XTALOFF.fill(0.0);
    LSQ_WITHOFF(0, ierr);
    EXPECT_EQ(G.UB, ub);
    EXPECT_EQ(G.XTALOFF, off);
}

TEST_F(OffsetRefinement, TooFewReflectionsFailAtOnce) {
    G.NUBREF = 2;
    int ierr = 0;
    LSQ_WITHOFF(1, ierr);
    EXPECT_EQ(ierr, 1);
    EXPECT_EQ(G.UBFLAG, 0);
}

}  // namespace
}  // namespace tarnivox
