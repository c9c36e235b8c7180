#include "refine/linear_algebra.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/messages.h"

namespace tarnivox {
namespace {

// Column-major n x (n+m) test system with leading dimension lda.
struct ColMajor {
    int lda;
    double v[6 * 8] = {};
    double& operator()(int i, int j) { return v[(i - 1) + (j - 1) * lda]; }
};

TEST(Mxlneq, InvertsAndSolvesWithCompletePivoting) {
    // Zero diagonal and mixed magnitudes force row and column exchanges.
    const double a[4][4] = {
        {0.0, 2.0, 1.0, -3.0}, {4.0, 0.0, 0.5, 1.0}, {1.0, -1.0, 0.0, 8.0}, {2.0, 3.0, -5.0, 0.0}};
    const double b[2][4] = {{1.0, 2.0, 3.0, 4.0}, {-2.0, 0.0, 0.5, 7.0}};
    ColMajor m{6};
    for (int i = 1; i <= 4; ++i) {
        for (int j = 1; j <= 4; ++j) m(i, j) = a[i - 1][j - 1];
        m(i, 5) = b[0][i - 1];
        m(i, 6) = b[1][i - 1];
    }
    double det = 0.0;
    int npiv = 0;
    MXLNEQ(m.v, 4, 6, det, npiv, 1.0e-6, 2);
    ASSERT_EQ(npiv, 4);
    // det by cofactor-free check: A * A^-1 = I, A * x = b.
    for (int i = 1; i <= 4; ++i) {
        for (int j = 1; j <= 4; ++j) {
            double s = 0.0;
            for (int k = 1; k <= 4; ++k) s += a[i - 1][k - 1] * m(k, j);
            EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 1e-12) << i << "," << j;
        }
        for (int r = 0; r < 2; ++r) {
            double s = 0.0;
            for (int k = 1; k <= 4; ++k) s += a[i - 1][k - 1] * m(k, 5 + r);
            EXPECT_NEAR(s, b[r][i - 1], 1e-12);
        }
    }
    // Determinant against MINV's LU value.
    Arr2<double, 4, 4> A;
    Arr2<double, 4, 4> AI;
    for (int i = 1; i <= 4; ++i)
        for (int j = 1; j <= 4; ++j) A(i, j) = a[i - 1][j - 1];
    double det_lu = 0.0;
    MINV(A, AI, det_lu);
    EXPECT_NEAR(det, det_lu, 1e-9 * std::fabs(det_lu));
}

TEST(Mxlneq, StopsAtRankOfSingularMatrix) {
    ColMajor m{3};
    const double a[3][3] = {{1.0, 2.0, 3.0}, {2.0, 4.0, 6.0}, {1.0, 0.0, 1.0}};
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) m(i, j) = a[i - 1][j - 1];
    double det = 0.0;
    int npiv = -1;
    MXLNEQ(m.v, 3, 3, det, npiv, 1.0e-6, 0);
    EXPECT_EQ(npiv, 2);

    int n0 = -1;
    MXLNEQ(m.v, 0, 3, det, n0, 1.0e-6, 0);
    EXPECT_EQ(n0, 0);
    MXLNEQ(m.v, 16, 16, det, n0, 1.0e-6, 0);  // beyond the fixed work space
    EXPECT_EQ(n0, 0);
}

TEST(Minv, IdentityAndInPlaceInverse) {
    Arr2<double, 3, 3> I;
    for (int i = 1; i <= 3; ++i) I(i, i) = 1.0;
    Arr2<double, 3, 3> out;
    double det = 0.0;
    MINV(I, out, det);
    EXPECT_EQ(det, 1.0);
    EXPECT_EQ(out, I);

    Arr2<double, 6, 6> a;
    for (int i = 1; i <= 6; ++i)
        for (int j = 1; j <= 6; ++j) a(i, j) = (i == j ? 10.0 : 0.0) + 1.0 / (i + j);
    const Arr2<double, 6, 6> orig = a;
    MINV(a, a, det);  // in place
    EXPECT_GT(det, 0.0);
    for (int i = 1; i <= 6; ++i)
        for (int j = 1; j <= 6; ++j) {
            double s = 0.0;
            for (int k = 1; k <= 6; ++k) s += orig(i, k) * a(k, j);
            EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 1e-13);
        }
}

TEST(Minv, ZeroRowShowsSingularBoxAndKeepsInverse) {
    set_message_sink({});
    clear_recorded_messages();
    Arr2<double, 3, 3> a;
    a(1, 1) = 2.0;
    a(3, 3) = 1.0;  // row 2 all zero
    Arr2<double, 3, 3> ainv;
    ainv.fill(7.0);
    double det = 5.0;
    MINV(a, ainv, det);
    EXPECT_EQ(det, 0.0);
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) EXPECT_EQ(ainv(i, j), 7.0);
    const auto& shown = recorded_messages();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].title, "Tarnivox");
    EXPECT_EQ(shown[0].text, "Singular matrix in LUDCMP");
}

}  // namespace
}  // namespace tarnivox
