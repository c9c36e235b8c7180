#include "refine/ub_lsq.h"

#include <cmath>

#include "core/messages.h"
#include "io/layout.h"
#include "io/units.h"
#include "refine/linear_algebra.h"
#include "refine/shift_lsq.h"

namespace tarnivox {

namespace {

// Reciprocal metric tensor G* = UB' UB.
Mat3 metric_of_ub(const Mat3& ub) {
    Mat3 gs;
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) {
            double s = 0.0;
            for (int k = 1; k <= 3; ++k) s += ub(k, i) * ub(k, j);
            gs(i, j) = s;
        }
    return gs;
}

bool all_finite(const Mat3& m) {
    for (double x : m.v)
        if (!std::isfinite(x)) return false;
    return true;
}

}  // namespace

void refinement_list_tables(AngTable& ANG, IhTable& IH) {
    for (int n = 1; n <= G.NUBREF && n <= MAXREFLIST; ++n) {
        ANG(n, 1) = G.TTHREF(n);
        ANG(n, 2) = G.OMREF(n);
        ANG(n, 3) = G.CHIREF(n);
        ANG(n, 4) = G.PHIREF(n);
        for (int j = 1; j <= 3; ++j) IH(n, j) = G.IHREF(n, j);
    }
}

bool cell_of_ub(const Mat3& ub, Arr1<double, 7>& cell) {
    const Mat3 gs = metric_of_ub(ub);
    Mat3 g;
    double d = 0.0;
    MINV(gs, g, d);
    if (!(d > 0.0) || !all_finite(g)) return false;
    cell(7) = 1.0 / std::sqrt(d);
    for (int i = 1; i <= 3; ++i) cell(i) = std::sqrt(std::fmax(g(i, i), 0.0));
    cell(4) = angle_from_dot(g(2, 3), cell(2), cell(3), DEGRAD);
    cell(5) = angle_from_dot(g(1, 3), cell(1), cell(3), DEGRAD);
    cell(6) = angle_from_dot(g(1, 2), cell(1), cell(2), DEGRAD);
    return true;
}

namespace {

// OMTOB with its outcome: false when UB gave no cell.
bool cell_and_b_from_ub() {
    Arr1<double, 7> cell = G.CELL;
    if (!cell_of_ub(G.UB, cell)) {
        report_error("Tarnivox", "Invalid Orientation Matrix in OMTOB");
        return false;
    }
    G.CELL = cell;
    CALCB(G.CELL, G.BMAT);
    return true;
}

}  // namespace

void OMTOB() { cell_and_b_from_ub(); }

void CALCB(const Arr1<double, 7>& C, Mat3& B) {
    Mat3 g;
    for (int i = 1; i <= 3; ++i) g(i, i) = C(i) * C(i);
    // The angle opposite a pair of axes: gamma for a,b; beta for a,c; alpha for b,c.
    for (int i = 1; i <= 2; ++i)
        for (int j = i + 1; j <= 3; ++j) {
            g(i, j) = C(i) * C(j) * std::cos(C(9 - i - j) / DEGRAD);
            g(j, i) = g(i, j);
        }
    double d = 0.0;
    MINV(g, g, d);
    if (!(d > 0.0)) {
        report_error("Tarnivox", "Error in CALCB");
        if (G.LOGOPEN == 1) write_record(LU_LOG, "(' Error in Cell: Determinant of G = ',F12.3)", {d});
        return;
    }
    const double as = std::sqrt(g(1, 1)), bs = std::sqrt(g(2, 2)), cs = std::sqrt(g(3, 3));
    const double cas = g(2, 3) / (bs * cs);
    const double cbs = g(1, 3) / (as * cs);
    const double cgs = g(1, 2) / (as * bs);
    // Rounding can take 1 - cos^2 a hair below zero for a right angle's
    // neighbours; clamp so that no NaN reaches BMAT.
    const double sgs = std::sqrt(std::fmax(1.0 - cgs * cgs, 0.0));
    const double t = (cas - cbs * cgs) / sgs;
    B.fill(0.0);
    B(1, 1) = as;
    B(1, 2) = bs * cgs;
    B(1, 3) = cs * cbs;
    B(2, 2) = bs * sgs;
    B(2, 3) = cs * t;
    B(3, 3) = cs * std::sqrt(std::fmax(1.0 - cbs * cbs - t * t, 0.0));
}

void LSQ(int N, const AngTable& ANG, const IhTable& IH, int& IERR) {
    IERR = 0;
    // Fewer than three reflections cannot fix nine elements.
    if (N < 3 || N > MAXREFLIST) {
        IERR = 1;
        return;
    }
    Mat3 a, s;
    for (int n = 1; n <= N; ++n) {
        Vec3 hphi;
        CALCH(table_angles(ANG, n), hphi);
        for (int i = 1; i <= 3; ++i)
            for (int j = 1; j <= 3; ++j) {
                a(i, j) += hphi(i) * IH(n, j);
                s(i, j) += static_cast<double>(IH(n, i)) * IH(n, j);
            }
    }
    double det = 0.0;
    MINV(s, s, det);
    if (std::fabs(det) <= 1.0e-4) {
        IERR = 1;
        return;
    }
    Mat3 ub;
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) ub(i, j) = a(i, 1) * s(1, j) + a(i, 2) * s(2, j) + a(i, 3) * s(3, j);
    // Angles that are not numbers (a corrupt list) must not reach UB.
    if (!all_finite(ub)) {
        IERR = 1;
        return;
    }
    G.UB = ub;

    const bool cell_ok = cell_and_b_from_ub();
    if (N < 4 || !cell_ok) return;

    // Covariance of the nine elements from each reflection's own residual
    // vector: UB(i, k) = sum_n hphi_n(i) w_n(k) with w_n = S^-1 h_n, so
    // cov(UB(i, k), UB(j, l)) = sum_n e_n(i) e_n(j) w_n(k) w_n(l).  An error
    // of the fitted omega moves h_phi across the reflection, not along it;
    // one pooled variance per component would spread it over the lengths
    // of the cell as well and make their esds several times too large.
    Arr2<double, 9, 9> cov;
    for (int n = 1; n <= N; ++n) {
        Vec3 hphi, e, w;
        CALCH(table_angles(ANG, n), hphi);
        double lev = 0.0;
        for (int i = 1; i <= 3; ++i) {
            e(i) = hphi(i) - (ub(i, 1) * IH(n, 1) + ub(i, 2) * IH(n, 2) + ub(i, 3) * IH(n, 3));
            w(i) = s(i, 1) * IH(n, 1) + s(i, 2) * IH(n, 2) + s(i, 3) * IH(n, 3);
            lev += w(i) * IH(n, i);
        }
        const double f = residual_inflation(lev);
        for (int i = 1; i <= 3; ++i) e(i) *= f;
        for (int i = 1; i <= 3; ++i)
            for (int k = 1; k <= 3; ++k)
                for (int j = 1; j <= 3; ++j)
                    for (int l = 1; l <= 3; ++l)
                        cov(3 * (i - 1) + k, 3 * (j - 1) + l) += e(i) * e(j) * w(k) * w(l);
    }
    Arr1<double, 7> esd;
    if (cell_esds_of_ub(G.UB, cov, esd)) G.CELLESD = esd;
}

bool cell_esds_of_ub(const Mat3& ub, const Arr2<double, 9, 9>& cov, Arr1<double, 7>& esd) {
    // Derivatives of the seven cell values by the nine elements (element
    // UB(i, k) is parameter 3(i - 1) + k), by central differences.
    double scale = 0.0;
    for (double x : ub.v) scale = std::fmax(scale, std::fabs(x));
    const double h = 1.0e-6 * scale;
    if (!(h > 0.0)) return false;
    Arr2<double, 7, 9> d;
    for (int i = 1; i <= 3; ++i)
        for (int k = 1; k <= 3; ++k) {
            Mat3 up = ub, down = ub;
            up(i, k) += h;
            down(i, k) -= h;
            Arr1<double, 7> cu, cd;
            if (!cell_of_ub(up, cu) || !cell_of_ub(down, cd)) return false;
            for (int m = 1; m <= 7; ++m) d(m, 3 * (i - 1) + k) = (cu(m) - cd(m)) / (2.0 * h);
        }
    for (int m = 1; m <= 7; ++m) {
        double v = 0.0;
        for (int p = 1; p <= 9; ++p)
            for (int q = 1; q <= 9; ++q) v += d(m, p) * cov(p, q) * d(m, q);
        esd(m) = std::sqrt(std::fmax(v, 0.0));
        if (!std::isfinite(esd(m))) return false;
    }
    return true;
}

ShiftLsqResult LSQ_ZERO(int& IERR) {
    IERR = 0;
    ShiftLsqResult shift;
    static AngTable work;
    static IhTable ih;
    refinement_list_tables(work, ih);
    const int n = G.NUBREF;
    if (n < 3) {
        IERR = 1;
        return shift;
    }
    // The zero point found together with UB: complete at once, where the
    // mean difference of observed and calculated omegas sees only the part
    // that the UB of the cycle has not already taken up as a rotation.  A
    // zero point that cannot be told apart from the orientation (or with no
    // observation to spare for it) is not refined at all.
    if (SHIFT_LSQ(n, work, ih, 1, 0, shift) != 0) {
        IERR = SHIFT_FAILED;
        return shift;
    }
    const double zero = shift.omzero;
    G.OMZESD = shift.omzero_esd;
    G.OMZERO = 0.0;
    for (int cycle = 1;; ++cycle) {
        const double previous = G.OMZERO;
        LSQ(n, work, ih, IERR);
        if (IERR != 0) return shift;
        G.OMZERO = zero;
        for (int k = 1; k <= n; ++k) work(k, 2) = G.OMREF(k) - G.OMZERO;
        const bool converged = std::fabs(previous - G.OMZERO) < 0.001;
        if (!converged && cycle >= 10)
            report_error("Tarnivox", "WARNING: NO CONVERGENCE AFTER 10 CYCLES IN LSQ_OFFSETS");
        if (converged || cycle >= 10) {
            cell_esds_of_joint_fit(shift.ub_cov);
            return shift;
        }
    }
}

void cell_esds_of_joint_fit(const Arr2<double, 9, 9>& cov) {
    Arr1<double, 7> esd;
    if (cell_esds_of_ub(G.UB, cov, esd)) G.CELLESD = esd;
}

}  // namespace tarnivox
