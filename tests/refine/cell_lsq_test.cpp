#include "refine/cell_lsq.h"

#include <cmath>
#include <numbers>

#include "refine/blaxes.h"
#include "refine_fixture.h"

namespace tarnivox {
namespace {

using testdata::GeometryOptions;

class CellLsq : public RefineTest {
protected:
    void load(const GeometryOptions& opt, int n) {
        testdata::set_instrument(opt);
        truth_ub = G.UB;
        testdata::ReflectionSet set;
        ASSERT_EQ(testdata::make_reflections(opt, n, set), n);
        testdata::load_refinement_list(set);
        G.UB.fill(0.0);
        G.UBFLAG = 0;
    }
    Mat3 truth_ub;
};

TEST_F(CellLsq, ExactCubicCellFromEverySystemThatContainsIt) {
    GeometryOptions opt;
    opt.cell = {9.5, 9.5, 9.5, 90.0, 90.0, 90.0};
    opt.rx = 23, opt.ry = -41, opt.rz = 77;
    load(opt, 40);
    for (int isym : {1, 2, 3, 4, 6}) {
        G.CELL.fill(0.0);
        int ierr = -1;
        const CellLsqWork fit = LSVEC(isym, ierr);
        ASSERT_EQ(ierr, 0) << isym;
        EXPECT_EQ(G.UBFLAG, 1);
        for (int i = 1; i <= 3; ++i)
            for (int j = 1; j <= 3; ++j) EXPECT_NEAR(G.UB(i, j), truth_ub(i, j), 1e-12);
        for (int p = 1; p <= 9; ++p)
            EXPECT_NEAR(fit.P(p), (p == 1 || p == 5 || p == 9) ? 1.0 : 0.0, 1e-9);
        for (int k = 1; k <= 3; ++k) EXPECT_NEAR(G.CELL(k), 9.5, 1e-9) << isym;
        for (int k = 4; k <= 6; ++k) EXPECT_NEAR(G.CELL(k), 90.0, 1e-5) << isym;
        EXPECT_NEAR(G.CELL(7), 9.5 * 9.5 * 9.5, 1e-5);
        for (int k = 1; k <= 7; ++k) EXPECT_LT(G.CELLESD(k), 1e-5) << isym << " " << k;
    }
}

TEST_F(CellLsq, ExactHexagonalCell) {
    GeometryOptions opt;
    opt.cell = {5.2, 5.2, 14.1, 90.0, 90.0, 120.0};
    opt.rx = -5, opt.ry = 63, opt.rz = 12;
    load(opt, 40);
    int ierr = -1;
    LSVEC(5, ierr);
    ASSERT_EQ(ierr, 0);
    EXPECT_NEAR(G.CELL(1), 5.2, 1e-9);
    EXPECT_NEAR(G.CELL(2), 5.2, 1e-9);
    EXPECT_NEAR(G.CELL(3), 14.1, 1e-9);
    EXPECT_NEAR(G.CELL(6), 120.0, 1e-4);
    EXPECT_NEAR(G.CELL(7), testdata::cell_volume(opt.cell), 1e-6);
}

TEST_F(CellLsq, MonoclinicBGivesEsdOnlyForBeta) {
    GeometryOptions opt;
    opt.cell = {6.1, 15.3, 8.8, 90.0, 112.0, 90.0};
    opt.rx = 80, opt.ry = 10, opt.rz = -30;
    opt.noise = 0.005;
    opt.seed = 5;
    load(opt, 60);
    int ierr = -1;
    LSVEC(1, ierr);
    ASSERT_EQ(ierr, 0);
    EXPECT_LT(G.CELLESD(4), 1e-9);
    EXPECT_LT(G.CELLESD(6), 1e-9);
    EXPECT_GT(G.CELLESD(5), 1e-4);
    EXPECT_NEAR(G.CELL(4), 90.0, 1e-4);
    EXPECT_NEAR(G.CELL(6), 90.0, 1e-4);
    EXPECT_NEAR(G.CELL(5), 112.0, 0.05);
}

TEST_F(CellLsq, CubicWithThreeEntriesHasFiveDegreesOfFreedom) {
    GeometryOptions opt;
    opt.cell = {9.5, 9.5, 9.5, 90.0, 90.0, 90.0};
    opt.rx = 23, opt.ry = -41, opt.rz = 77;
    opt.noise = 0.01;
    load(opt, 3);
    int ierr = -1;
    const CellLsqWork w = LSVEC(6, ierr);
    ASSERT_EQ(ierr, 0);
    EXPECT_GT(w.SS, 0.0);
    EXPECT_DOUBLE_EQ(w.VAR, w.SS / 5.0);
}

TEST_F(CellLsq, BadSystemOrIndicesLeaveUbAndCell) {
    GeometryOptions opt;
    load(opt, 20);
    G.UB(1, 1) = 0.5;
    G.CELL.fill(2.0);
    const Mat3 ub = G.UB;
    int ierr = 0;
    LSVEC(0, ierr);
    EXPECT_EQ(ierr, 2);
    LSVEC(7, ierr);
    EXPECT_EQ(ierr, 2);
    int nfree = -1;
    CellLsqWork work;
    CONSTR(work, 9, ierr, nfree);
    EXPECT_EQ(ierr, 2);
    // Indices in one plane.
    for (int n = 1; n <= G.NUBREF; ++n) G.IHREF(n, 3) = 0;
    LSVEC(3, ierr);
    EXPECT_EQ(ierr, 2);
    G.NUBREF = 0;
    LSVEC(3, ierr);
    EXPECT_EQ(ierr, 2);
    EXPECT_EQ(G.UB, ub);
    EXPECT_EQ(G.CELL(1), 2.0);
}

TEST_F(CellLsq, RecipIsItsOwnInverse) {
    const double deg = std::numbers::pi / 180.0;
    Arr1<double, 6> c{{7.0, 8.0, 9.0, std::cos(75 * deg), std::cos(100 * deg), std::cos(118 * deg)}};
    Arr1<double, 6> rc, back;
    double v = 0, vs = 0, vstar = 0, vback = 0;
    RECIP(c, v, rc, vs);
    EXPECT_NEAR(vs, 1.0 / v, 1e-15);
    RECIP(rc, vstar, back, vback);
    EXPECT_NEAR(vstar * v, 1.0, 1e-12);
    for (int k = 1; k <= 6; ++k) EXPECT_NEAR(back(k), c(k), 1e-12);
    // A flat cell has no reciprocal and gives zeros, not infinities.
    Arr1<double, 6> flat{{7.0, 8.0, 9.0, 1.0, 0.0, 0.0}};
    RECIP(flat, v, rc, vs);
    EXPECT_EQ(vs, 0.0);
    for (int k = 1; k <= 6; ++k) EXPECT_EQ(rc(k), 0.0);
}

TEST(Blaxes, SignedPermutationMovesRows) {
    Arr2<double, 3, 3> ub;
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) ub(i, j) = 10 * i + j;
    Arr2<double, 3, 3> m = ub;
    EXPECT_EQ(UB_TO_BLAXES(Arr1<int, 3>{{1, 2, 3}}, m), 0);
    EXPECT_EQ(m, ub);
    EXPECT_EQ(UB_TO_BLAXES(Arr1<int, 3>{{-1, 2, 3}}, m), 0);
    for (int j = 1; j <= 3; ++j) EXPECT_EQ(m(1, j), -ub(1, j));
    m = ub;
    EXPECT_EQ(UB_TO_BLAXES(Arr1<int, 3>{{2, 1, 3}}, m), 0);
    for (int j = 1; j <= 3; ++j) {
        EXPECT_EQ(m(1, j), ub(2, j));
        EXPECT_EQ(m(2, j), ub(1, j));
    }
    m = ub;
    EXPECT_EQ(UB_TO_BLAXES(Arr1<int, 3>{{3, -1, 2}}, m), 0);  // row 1 -> 3, row 2 -> -1, row 3 -> 2
    for (int j = 1; j <= 3; ++j) {
        EXPECT_EQ(m(3, j), ub(1, j));
        EXPECT_EQ(m(1, j), -ub(2, j));
        EXPECT_EQ(m(2, j), ub(3, j));
    }
    // 1 1 4 passes the parameter file's check of the sum but is no permutation.
    m = ub;
    EXPECT_EQ(UB_TO_BLAXES(Arr1<int, 3>{{1, 1, 4}}, m), 1);
    EXPECT_EQ(UB_TO_BLAXES(Arr1<int, 3>{{0, 2, 3}}, m), 1);
    EXPECT_EQ(m, ub);
}

}  // namespace
}  // namespace tarnivox
