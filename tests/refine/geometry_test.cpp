#include "refine/geometry.h"

#include <cmath>

#include "refine/linear_algebra.h"
#include "refine_fixture.h"

namespace tarnivox {
namespace {

using testdata::GeometryOptions;

class Geometry : public RefineTest {};

TEST_F(Geometry, CalchAndCalcaAreInverseAtOmegaZero) {
    G.WAVE1 = 0.71073;
    G.PARITY = Arr1<int, 4>{{1, 1, 1, 1}};
    const double cases[][3] = {
        {20.0, 0.0, 0.0}, {35.5, 45.0, -120.0}, {80.0, -89.0, 179.0}, {5.0, 12.0, 3.0}};
    for (const auto& c : cases) {
        Vec3 h;
        CALCH(angles(c[0], 0.0, c[1], c[2]), h);
        Angles back;
        int ierr = -1;
        CALCA(h, back, ierr);
        EXPECT_EQ(ierr, 0);
        EXPECT_NEAR(back(1), c[0], 1e-9);
        EXPECT_EQ(back(2), 0.0);
        EXPECT_NEAR(back(3), c[1], 1e-9);
        EXPECT_NEAR(back(4), c[2], 1e-9);
        // |h_phi| = 2 sin(theta) / lambda = 1/d.
        const double q = std::sqrt(h(1) * h(1) + h(2) * h(2) + h(3) * h(3));
        EXPECT_NEAR(q, 2.0 * std::sin(c[0] / 2.0 / RAD) / G.WAVE1, 1e-12);
    }
}

TEST_F(Geometry, NegativeParityEqualsAngleNegated) {
    G.WAVE1 = 1.5418;
    Vec3 ref, h;
    G.PARITY = Arr1<int, 4>{{1, 1, 1, 1}};
    CALCH(angles(40.0, -7.0, -33.0, -71.0), ref);
    G.PARITY = Arr1<int, 4>{{1, -1, -1, -1}};
    CALCH(angles(40.0, 7.0, 33.0, 71.0), h);
    for (int i = 1; i <= 3; ++i) EXPECT_NEAR(h(i), ref(i), 1e-14);
    G.PARITY = Arr1<int, 4>{{1, 1, 1, -1}};
    CALCH(angles(40.0, -7.0, -33.0, 71.0), h);
    for (int i = 1; i <= 3; ++i) EXPECT_NEAR(h(i), ref(i), 1e-14);
}

TEST_F(Geometry, CalcaRejectsZeroVectorAndBeyondLimitingSphere) {
    G.WAVE1 = 1.0;
    Angles a = angles(1, 2, 3, 4);
    int ierr = 0;
    CALCA(Vec3{{0.0, 0.0, 5.0e-7}}, a, ierr);
    EXPECT_EQ(ierr, 1);
    EXPECT_EQ(a, Angles{});
    a = angles(1, 2, 3, 4);
    CALCA(Vec3{{2.0001, 0.0, 0.0}}, a, ierr);  // sin(theta) > 1
    EXPECT_EQ(ierr, 1);
    EXPECT_EQ(a, Angles{});
    CALCA(Vec3{{2.0, 0.0, 0.0}}, a, ierr);  // exactly backscattering
    EXPECT_EQ(ierr, 0);
    EXPECT_NEAR(a(1), 180.0, 1e-3);
}

TEST_F(Geometry, IhToEulerUsesItsOwnWavelength) {
    GeometryOptions opt;
    opt.cell = {8.0, 9.0, 10.0, 80.0, 95.0, 105.0};
    opt.rx = 10, opt.ry = 20, opt.rz = 30;
    testdata::set_instrument(opt);
    G.WAVE1 = 1.5418;  // must not matter
    const testdata::Mat ub = G.UB;
    Angles a, expect;
    IH_TO_EULER(hkl(2, -1, 3), a);
    ASSERT_TRUE(testdata::setting_angles(ub, 2, -1, 3, 0.70926, 0.0, opt.parity, expect));
    EXPECT_EQ(a(2), 0.0);
    for (int j = 1; j <= 4; ++j) EXPECT_NEAR(a(j), expect(j), 1e-9);
    a = angles(1, 2, 3, 4);
    IH_TO_EULER(hkl(0, 0, 0), a);
    EXPECT_EQ(a, Angles{});
    IH_TO_EULER(hkl(40, 40, 40), a);  // beyond the limiting sphere of 0.70926 A
    EXPECT_EQ(a, Angles{});
}

TEST_F(Geometry, RecipCellAndTwothetaOfKnownCell) {
    GeometryOptions opt;
    opt.cell = {7.0, 9.5, 11.0, 75.0, 100.0, 115.0};
    opt.rx = -40, opt.ry = 15, opt.rz = 100;
    opt.wave = 0.71073;
    testdata::set_instrument(opt);
    RECIP_CELL();
    // The reciprocal cell is the direct cell of the inverse metric: check
    // it through the volume and d-spacings of the builder.
    const testdata::Mat b = testdata::b_matrix(opt.cell);
    EXPECT_NEAR(G.RCELL(1), b(1, 1), 1e-12);
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) EXPECT_EQ(G.UBT(i, j), G.UB(j, i));
    const int refl[][3] = {{1, 0, 0}, {0, 2, 0}, {1, -2, 3}, {-4, 1, 2}};
    for (const auto& r : refl) {
        Angles a;
        ASSERT_TRUE(testdata::setting_angles(G.UB, r[0], r[1], r[2], opt.wave, 0.0, opt.parity, a));
        EXPECT_NEAR(TWOTHETA(hkl(r[0], r[1], r[2])), a(1), 1e-4);
    }
    // lambda / 2d = 1.2: beyond the limit.
    G.WAVE1 = 2.4 / G.RCELL(1);
    EXPECT_EQ(TWOTHETA(hkl(1, 0, 0)), 180.0);
    EXPECT_EQ(TWOTHETA(hkl(0, 0, 0)), 0.0);
}

TEST_F(Geometry, RecipCellOfDegenerateUbHasNoNan) {
    // Rows of UB parallel: rounding pushes the cosine of alpha* beyond 1.
    G.UB(1, 1) = 0.1;
    G.UB(1, 2) = 0.1 * (1.0 + 1e-16);
    G.UB(2, 1) = 0.3;
    G.UB(2, 2) = 0.3;
    RECIP_CELL();
    for (int k = 1; k <= 6; ++k) EXPECT_TRUE(std::isfinite(G.RCELL(k))) << k;
    EXPECT_EQ(G.RCELL(3), 0.0);
    EXPECT_EQ(G.RCELL(4), 90.0);  // angle to a vector without length
}

TEST_F(Geometry, CalomegaRecoversKnownOmega) {
    GeometryOptions opt;
    opt.cell = {6.5, 8.2, 12.4, 90.0, 104.0, 90.0};
    opt.rx = 12, opt.ry = -33, opt.rz = 71;
    opt.omega_range = 3.0;
    opt.seed = 7;
    testdata::set_instrument(opt);
    testdata::ReflectionSet set;
    ASSERT_EQ(testdata::make_reflections(opt, 20, set), 20);
    const double shifts[] = {0.97, -0.95, 0.3, 0.0};
    for (int n = 1; n <= 20; ++n) {
        Angles a = table_angles(set.ang, n);
        a(2) += shifts[n % 4];  // search centre off the true omega
        const Angles before = a;
        double om = -999.0;
        CALOMEGA(a, table_indices(set.ih, n), om);
        EXPECT_NEAR(om, set.true_omega(n), 0.0002) << n;
        EXPECT_EQ(a, before);

        set_ub_inverse_cache(false);
        double om2 = -999.0;
        CALOMEGA(a, table_indices(set.ih, n), om2);
        set_ub_inverse_cache(true);
        EXPECT_EQ(om, om2);
    }
    EXPECT_TRUE(error_boxes().empty());
}

TEST_F(Geometry, SingularUbKeepsPreviousInverseAndShowsBoxOnce) {
    GeometryOptions opt;
    testdata::set_instrument(opt);
    Vec3 hc;
    HCALC(angles(20.0, 0.0, 10.0, 20.0), hc);
    const Vec3 good = hc;
    G.UB(2, 1) = G.UB(2, 2) = G.UB(2, 3) = 0.0;  // zero row
    double om = 1.25;
    CALOMEGA(angles(20.0, 0.0, 10.0, 20.0), hkl(1, 0, 0), om);
    EXPECT_TRUE(std::isfinite(om));
    HCALC(angles(20.0, 0.0, 10.0, 20.0), hc);
    EXPECT_EQ(hc, good);  // the inverse of the last valid UB
    EXPECT_EQ(error_boxes(), std::vector<std::string>{"Singular matrix in LUDCMP"});
}

}  // namespace
}  // namespace tarnivox
