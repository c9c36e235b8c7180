#include "refine/cell_lsq.h"

#include <algorithm>
#include <cmath>

#include "core/angles.h"
#include "core/messages.h"
#include "refine/linear_algebra.h"
#include "refine/ub_lsq.h"

namespace tarnivox {

namespace {

constexpr int LDA = 15;
constexpr double DELTA_T = 0.0005;  // step of the numerical derivatives of the cell
// The constrained fit is repeated about its own symmetrised result until T
// departs from the identity by no more than this (a relative change of the
// cell far below any esd), in at most this many cycles.
constexpr double CONSTRAINED_STEP = 1.0e-10;
constexpr int CONSTRAINED_CYCLES = 30;

double& a_at(CellLsqWork& w, int i, int j) { return w.A[(i - 1) + (j - 1) * LDA]; }

// sqrt(1 - c^2) of a cosine that rounding may push beyond 1.
double sine_of(double c) { return std::sqrt(std::fmax(1.0 - c * c, 0.0)); }

Mat3 mat_mul(const Mat3& a, const Mat3& b) {
    Mat3 c;
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) c(i, j) = a(i, 1) * b(1, j) + a(i, 2) * b(2, j) + a(i, 3) * b(3, j);
    return c;
}

Arr1<double, 6> first6(const Arr1<double, 9>& cp) {
    Arr1<double, 6> c;
    for (int k = 1; k <= 6; ++k) c(k) = cp(k);
    return c;
}

// Constraint types: coefficients of the nine parameters (p = 3(r - 1) + c
// for T(r, c)) in terms of the symmetrised reciprocal cell.
Arr1<double, 9> constraint_row(int type, const Arr1<double, 6>& rp) {
    const double as = rp(1), bs = rp(2), cs = rp(3), cb = rp(5), cg = rp(6);
    Arr1<double, 9> c;
    switch (type) {
        case 1: c(2) = as / bs, c(4) = bs / as; break;
        case 2: c(3) = as / cs, c(7) = cs / as; break;
        case 3: c(6) = bs / cs, c(8) = cs / bs; break;
        case 4: c(1) = 1.0, c(5) = -1.0; break;
        case 5: c(1) = 1.0, c(9) = -1.0; break;
        case 6: c(1) = 1.0, c(4) = 1.0, c(5) = -1.0; break;
        case 7: c(7) = cs / as, c(3) = as / cs, c(6) = bs * cg / cs; break;
        case 8: c(7) = -cs * cg / as, c(8) = cs / bs, c(6) = (1.0 - cg * cg) * bs / cs; break;
        case 9: c(6) = bs / cs, c(8) = cs / bs, c(2) = as * cb / bs; break;
        case 10: c(6) = -bs * cb / cs, c(4) = bs / as, c(2) = (1.0 - cb * cb) * as / bs; break;
        default: break;
    }
    return c;
}

struct SystemConstraints {
    int nc;
    int types[5];
};
constexpr SystemConstraints SYSTEM_CONSTRAINTS[6] = {
    {2, {9, 10}}, {2, {7, 8}}, {3, {1, 2, 3}}, {4, {4, 1, 2, 3}}, {4, {6, 1, 7, 8}}, {5, {4, 5, 1, 2, 3}},
};

bool finite_cell(const Arr1<double, 7>& c) {
    for (double x : c.v)
        if (!std::isfinite(x)) return false;
    return true;
}

}  // namespace

void RECIP(const Arr1<double, 6>& C, double& V, Arr1<double, 6>& RC, double& VS) {
    const double ca = C(4), cb = C(5), cg = C(6);
    const double sa = sine_of(ca), sb = sine_of(cb), sg = sine_of(cg);
    V = C(1) * C(2) * C(3) *
        std::sqrt(std::fmax(1.0 - ca * ca - cb * cb - cg * cg + 2.0 * ca * cb * cg, 0.0));
    RC.fill(0.0);
    VS = 0.0;
    // A flat cell has no reciprocal: leave it empty rather than infinite.
    if (!(V > 0.0) || sa == 0.0 || sb == 0.0 || sg == 0.0) return;
    VS = 1.0 / V;
    RC(1) = C(2) * C(3) * sa / V;
    RC(2) = C(3) * C(1) * sb / V;
    RC(3) = C(1) * C(2) * sg / V;
    RC(4) = (cb * cg - ca) / (sb * sg);
    RC(5) = (cg * ca - cb) / (sg * sa);
    RC(6) = (ca * cb - cg) / (sa * sb);
}

void PARAMS(CellLsqWork& w) {
    Mat3 gs;
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j)
            gs(i, j) = w.UBX(1, i) * w.UBX(1, j) + w.UBX(2, i) * w.UBX(2, j) + w.UBX(3, i) * w.UBX(3, j);
    for (int i = 1; i <= 3; ++i) w.RP(i) = std::sqrt(gs(i, i));
    w.RP(4) = gs(2, 3) / (w.RP(2) * w.RP(3));
    w.RP(5) = gs(3, 1) / (w.RP(3) * w.RP(1));
    w.RP(6) = gs(1, 2) / (w.RP(1) * w.RP(2));
    Arr1<double, 6> cp;
    double vstar = 0.0, vs = 0.0;
    RECIP(w.RP, vstar, cp, vs);
    for (int k = 1; k <= 6; ++k) w.CP(k) = cp(k);
    w.V = 1.0 / vstar;
    for (int k = 1; k <= 3; ++k) w.CP(6 + k) = std::atan2(sine_of(w.CP(3 + k)), w.CP(3 + k)) * DEGRAD;
}

void BCALC(Mat3& B, const Arr1<double, 6>& C, const Arr1<double, 6>& RC) {
    B.fill(0.0);
    B(1, 1) = RC(1);
    B(1, 2) = RC(2) * RC(6);
    B(1, 3) = RC(3) * RC(5);
    B(2, 2) = RC(2) * sine_of(RC(6));
    B(2, 3) = -RC(3) * sine_of(RC(5)) * C(4);
    B(3, 3) = 1.0 / C(3);
}

void CONSTR(CellLsqWork& w, int ISYM, int& IERR, int& NFREE) {
    if (ISYM < 1 || ISYM > 6) {
        IERR = 2;
        return;
    }
    const SystemConstraints& sys = SYSTEM_CONSTRAINTS[ISYM - 1];
    NFREE = 9 - sys.nc;
    const int nt = 9 + sys.nc;
    // Rows and columns 10..16 start empty; the 9 x 9 block is the normal matrix.
    for (int i = 1; i <= LDA; ++i)
        for (int j = 10; j <= 16; ++j) a_at(w, i, j) = 0.0;
    for (int i = 10; i <= LDA; ++i)
        for (int j = 1; j <= 9; ++j) a_at(w, i, j) = 0.0;
    for (int k = 1; k <= sys.nc; ++k) {
        const Arr1<double, 9> c = constraint_row(sys.types[k - 1], w.RP);
        for (int p = 1; p <= 9; ++p) {
            a_at(w, p, 9 + k) = c(p);
            a_at(w, 9 + k, p) = c(p);
        }
    }
    for (int p = 1; p <= 9; ++p) a_at(w, p, nt + 1) = w.RHS(p);

    double s[17];
    for (int i = 1; i <= nt + 1; ++i) {
        const double d = i <= LDA ? a_at(w, i, i) : 0.0;
        s[i] = d >= 1.0e-6 ? 1.0 / std::sqrt(d) : 1.0;
    }
    auto scale = [&] {
        for (int i = 1; i <= std::min(nt + 1, LDA); ++i)
            for (int j = 1; j <= nt + 1; ++j) a_at(w, i, j) *= s[i] * s[j];
    };
    scale();
    double det = 0.0;
    int npiv = 0;
    MXLNEQ(w.A, nt, LDA, det, npiv, 1.0e-6, 1);
    if (npiv != nt) {
        IERR = 1;
        return;
    }
    scale();
    for (int p = 1; p <= 9; ++p) w.P(p) = a_at(w, p, nt + 1);
    IERR = 0;
}

double symmetry_misfit(const CellLsqWork& w) {
    const int n = w.N;
    if (w.NC < 1 || 3 * n - 9 <= 0) return 0.0;
    const double varu = w.SSU / (3 * n - 9);
    // Rounding alone (exact data) is no misfit.
    const double excess = w.SS - w.SSU;
    if (!(excess > 1.0e-16)) return 0.0;
    if (!(varu > 0.0)) return HUGE_VAL;
    return excess / w.NC / varu;
}

namespace {

using ListVectors = Arr2<double, MAXREFLIST, 3>;

// The 9 x 9 normal matrix of T: three copies of the index sums on the
// diagonal, the rest of the bordered matrix empty.
void normal_matrix(CellLsqWork& w, const Mat3& hh) {
    for (double& x : w.A) x = 0.0;
    for (int b = 0; b < 3; ++b)
        for (int i = 1; i <= 3; ++i)
            for (int j = 1; j <= 3; ++j) a_at(w, 3 * b + i, 3 * b + j) = hh(i, j);
}

// Steps 1 to 3 of LSVEC: the normal sums of the unconstrained problem (hh
// the index sums, also laid into the block diagonal of the bordered
// matrix; hphi the diffraction vectors of the list) and the unconstrained
// orientation matrix.  false: the index sums or the matrix are singular.
bool unconstrained_ub(CellLsqWork& w, int n, const AngTable& ang, const IhTable& ih, ListVectors& hphi, Mat3& hh, Mat3& ubx) {
    // 1. Normal sums of the unconstrained problem.
    Mat3 hp;
    for (int k = 1; k <= n; ++k) {
        Vec3 h;
        CALCH(table_angles(ang, k), h);
        for (int i = 1; i <= 3; ++i) hphi(k, i) = h(i);
        for (int i = 1; i <= 3; ++i)
            for (int j = 1; j <= 3; ++j) {
                hh(i, j) += static_cast<double>(ih(k, i)) * ih(k, j);
                hp(i, j) += ih(k, i) * h(j);
            }
    }
    normal_matrix(w, hh);

    // 2. Inverse of the index sums.
    double hinv[9];
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) hinv[(i - 1) + (j - 1) * 3] = hh(i, j);
    double det = 0.0;
    int npiv = 0;
    MXLNEQ(hinv, 3, 3, det, npiv, 1.0e-6, 0);
    if (npiv != 3) return false;

    // 3. Unconstrained orientation matrix, the one that stays in force.
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j)
            for (int k = 1; k <= 3; ++k) ubx(i, j) += hinv[(j - 1) + (k - 1) * 3] * hp(k, i);
    for (double x : ubx.v)
        if (!std::isfinite(x)) return false;
    return true;
}

// Steps 4 to 6 of LSVEC: the rotation part of UBX combined with the
// reciprocal cell forced to the crystal system.  false: the symmetrised
// matrix is singular (its box is shown).
bool symmetrised_ub(CellLsqWork& w, int ISYM, const Mat3& ubx, Mat3& ubs, Mat3& ubsinv) {
    // 4. Rotation part U = UBX . B^-1.
    Mat3 b;
    BCALC(b, first6(w.CP), w.RP);
    Mat3 binv;
    double det = 0.0;
    MINV(b, binv, det);
    const Mat3 u = mat_mul(ubx, binv);

    // 5. Reciprocal cell forced to the crystal system.
    Arr1<double, 6>& rp = w.RP;
    rp(4) = 0.0;
    switch (ISYM) {
        case 1: rp(6) = 0.0; break;
        case 2: rp(5) = 0.0; break;
        case 3: rp(5) = 0.0, rp(6) = 0.0; break;
        case 4: rp(1) = rp(2) = std::sqrt(rp(1) * rp(2)), rp(5) = 0.0, rp(6) = 0.0; break;
        case 5: rp(1) = rp(2) = std::sqrt(rp(1) * rp(2)), rp(5) = 0.0, rp(6) = 0.5; break;
        default: rp(1) = rp(2) = rp(3) = std::cbrt(rp(1) * rp(2) * rp(3)), rp(5) = 0.0, rp(6) = 0.0; break;
    }

    // 6. The symmetrised matrix UBS = U . B(symmetrised cell).
    Arr1<double, 6> cp;
    double vstar = 0.0;
    RECIP(rp, vstar, cp, w.V);
    for (int k = 1; k <= 6; ++k) w.CP(k) = cp(k);
    BCALC(b, cp, rp);
    ubs = mat_mul(u, b);
    MINV(ubs, ubsinv, det);
    if (std::fabs(det) <= 1.0e-5) {
        report_error("Tarnivox", "Normal Equations Matrix in LSVEC is Singular");
        return false;
    }
    return true;
}

using Mat9 = Arr2<double, 9, 9>;

Mat9 mat9_mul(const Mat9& a, const Mat9& b) {
    Mat9 c;
    for (int i = 1; i <= 9; ++i)
        for (int k = 1; k <= 9; ++k) {
            const double aik = a(i, k);
            if (aik == 0.0) continue;
            for (int j = 1; j <= 9; ++j) c(i, j) += aik * b(k, j);
        }
    return c;
}

double trace_of_product(const Mat9& a, const Mat9& b) {
    double s = 0.0;
    for (int i = 1; i <= 9; ++i)
        for (int j = 1; j <= 9; ++j) s += a(i, j) * b(j, i);
    return s;
}

// How the observation of a reflection, in the index frame of UBS, moves
// with its angles: row 1 per degree of omega, row 2 of 2theta, row 3 of
// chi (columns the three index components).
Mat3 angle_jacobian(const Angles& at, const Mat3& ubsinv) {
    constexpr double STEP = 0.01;  // degrees; the vector is linear in each angle far beyond this
    constexpr int ANGLE[3] = {2, 1, 3};
    Mat3 jac;
    for (int m = 1; m <= 3; ++m) {
        Angles up = at, down = at;
        up(ANGLE[m - 1]) += STEP;
        down(ANGLE[m - 1]) -= STEP;
        Vec3 hu, hd;
        CALCH(up, hu);
        CALCH(down, hd);
        for (int r = 1; r <= 3; ++r) {
            double s = 0.0;
            for (int i = 1; i <= 3; ++i) s += ubsinv(r, i) * (hu(i) - hd(i));
            jac(m, r) = s / (2.0 * STEP);
        }
    }
    return jac;
}

// Step 11 of LSVEC: covariance of the nine parameters.  The constrained
// solution is P = Q X'y (Q the leading block of the inverse of the bordered
// matrix, X the design: component r of reflection n depends on T(r, c)
// through h_n(c)), so cov P = Q (sum_n X_n' Omega_n X_n) Q with Omega_n the
// covariance of the error of reflection n.
//
// Each residual vector is taken apart into the errors of omega, 2theta and
// chi that would make it (j_m the rows of angle_jacobian, k_m the dual rows
// with k_m' j_l = 1 for m = l, else 0).  Omega is what the scan measures:
// its error differs from reflection to reflection (scan noise, an
// unrefined zero or offset), and its part of Omega_n is the reflection's
// own omega residual, restored by its leverage.  2theta and chi are
// setting angles; their errors get one variance each, pooled over the list
// from the residuals, less what the fit's own error puts there: the
// residuals are (I - H) times the errors (H = X Q X'), and the error of
// the fit reaches every direction.  Taking the 2theta and chi parts of the
// residuals as errors of their own reflections would give the volume,
// which omega errors hardly move, a share of the much larger uncertainty
// of the directions of the cell.
Mat9 parameter_covariance(CellLsqWork& w, int n, int nfree, const AngTable& ang, const IhTable& ih,
                          const ListVectors& resid, const Mat3& ubsinv) {
    w.VAR = w.SS / (3 * n - nfree);
    Mat9 q;
    for (int i = 1; i <= 9; ++i)
        for (int j = 1; j <= 9; ++j) q(i, j) = a_at(w, i, j);
    // along: sum_n omega_n v_n v_n' of omega (v = X_n' j); for 2theta and
    // chi (d = 0, 1): s[d] = sum_n X_n' j j' X_n, sk[d] = sum_n X_n' k k' X_n,
    // r[d] = sum_n X_n' j k' X_n, ss[d] the sum of the squared errors.
    Mat9 along, s[2], sk[2], r[2];
    double ss[2] = {0.0, 0.0};
    int pooled = 0;
    for (int k = 1; k <= n; ++k) {
        const Mat3 jac = angle_jacobian(table_angles(ang, k), ubsinv);
        Mat3 dual;
        double det = 0.0;
        MINV(jac, dual, det);
        double size = 1.0;
        for (int m = 1; m <= 3; ++m)
            size *= std::sqrt(jac(m, 1) * jac(m, 1) + jac(m, 2) * jac(m, 2) + jac(m, 3) * jac(m, 3));
        if (!(std::fabs(det) > 1.0e-6 * size)) {
            // Angles that do not tell the errors apart: the whole residual
            // counts as the reflection's own.
            Arr1<double, 9> u;
            for (int row = 1; row <= 3; ++row)
                for (int c = 1; c <= 3; ++c) u(3 * (row - 1) + c) = resid(k, row) * ih(k, c);
            for (int i = 1; i <= 9; ++i)
                for (int j = 1; j <= 9; ++j) along(i, j) += u(i) * u(j);
            continue;
        }
        ++pooled;
        // Column m of the inverse is k_m.
        Arr1<double, 9> v[3], kv[3];
        double e[3];
        for (int m = 1; m <= 3; ++m) {
            e[m - 1] = 0.0;
            for (int row = 1; row <= 3; ++row) {
                e[m - 1] += dual(row, m) * resid(k, row);
                for (int c = 1; c <= 3; ++c) {
                    v[m - 1](3 * (row - 1) + c) = jac(m, row) * ih(k, c);
                    kv[m - 1](3 * (row - 1) + c) = dual(row, m) * ih(k, c);
                }
            }
        }
        double lev = 0.0;
        for (int i = 1; i <= 9; ++i)
            for (int j = 1; j <= 9; ++j) lev += kv[0](i) * q(i, j) * v[0](j);
        const double f = residual_inflation(lev);
        const double own = f * f * e[0] * e[0];
        for (int i = 1; i <= 9; ++i)
            for (int j = 1; j <= 9; ++j) along(i, j) += own * v[0](i) * v[0](j);
        for (int d = 0; d < 2; ++d) {
            ss[d] += e[d + 1] * e[d + 1];
            for (int i = 1; i <= 9; ++i)
                for (int j = 1; j <= 9; ++j) {
                    s[d](i, j) += v[d + 1](i) * v[d + 1](j);
                    sk[d](i, j) += kv[d + 1](i) * kv[d + 1](j);
                    r[d](i, j) += v[d + 1](i) * kv[d + 1](j);
                }
        }
    }
    // E(ss[d]) = sigma_d^2 (N - 2 tr(Q r[d])) + sum_e sigma_e^2 tr(Q sk[d] Q s[e])
    //            + tr(Q sk[d] Q along), N the reflections pooled: two
    // equations for the two variances.
    Mat9 qsk[2];
    for (int d = 0; d < 2; ++d) qsk[d] = mat9_mul(q, sk[d]);
    double m[2][2], rhs[2];
    for (int d = 0; d < 2; ++d) {
        rhs[d] = ss[d] - trace_of_product(mat9_mul(qsk[d], q), along);
        for (int e = 0; e < 2; ++e) m[d][e] = trace_of_product(qsk[d], mat9_mul(q, s[e]));
        m[d][d] += pooled - 2.0 * trace_of_product(q, r[d]);
    }
    double var[2] = {0.0, 0.0};
    const double det = m[0][0] * m[1][1] - m[0][1] * m[1][0];
    if (det > 0.0) {
        var[0] = (rhs[0] * m[1][1] - m[0][1] * rhs[1]) / det;
        var[1] = (m[0][0] * rhs[1] - m[1][0] * rhs[0]) / det;
    }
    if (!(det > 0.0 && var[0] >= 0.0 && var[1] >= 0.0)) {
        // A variance that comes out negative is none; the other then
        // follows from its own equation.
        auto alone = [&](int d) { return m[d][d] > 0.0 ? std::fmax(rhs[d], 0.0) / m[d][d] : 0.0; };
        if (det > 0.0 && var[0] < 0.0)
            var[0] = 0.0, var[1] = alone(1);
        else if (det > 0.0)
            var[1] = 0.0, var[0] = alone(0);
        else
            var[0] = alone(0), var[1] = alone(1);
    }
    Mat9 meat = along;
    for (int d = 0; d < 2; ++d)
        for (int i = 1; i <= 9; ++i)
            for (int j = 1; j <= 9; ++j) meat(i, j) += var[d] * s[d](i, j);
    return mat9_mul(mat9_mul(q, meat), q);
}

// The values a crystal system fixes, written exactly: the angles it fixes
// are 90 or 120 degrees with no esd, the lengths it makes equal are one
// value with one esd.  (The refined cell meets them to rounding; the
// degrees of the cosines carry the program's 57.29578 per radian, which
// alone would make a right angle 90.0000008.)
void exact_constraints(int ISYM, Arr1<double, 7>& cell, Arr1<double, 7>& esd) {
    auto fix = [&](int m, double angle) {
        cell(m) = angle;
        esd(m) = 0.0;
    };
    fix(4, 90.0);
    if (ISYM != 1) fix(5, 90.0);
    if (ISYM != 2) fix(6, ISYM == 5 ? 120.0 : 90.0);
    if (ISYM >= 4) cell(2) = cell(1), esd(2) = esd(1);
    if (ISYM == 6) cell(3) = cell(1), esd(3) = esd(1);
}

// Steps 12 to 15 of LSVEC: the constrained cell into CELL and its esds
// into CELLESD, from the covariance of the nine parameters through the
// numerical derivatives of the cell by the elements of T.  false: the cell
// is not finite (nothing is stored).
bool cell_with_esds(CellLsqWork& w, int ISYM, const Mat3& ubs, Mat3 t, const Arr2<double, 9, 9>& cov) {
    // 12. The constrained cell.
    Arr1<double, 7> cell;
    for (int k = 1; k <= 3; ++k) cell(k) = w.CP(k), cell(3 + k) = w.CP(6 + k);
    cell(7) = w.V;
    if (!finite_cell(cell)) return false;
    Arr1<double, 6> ref;
    for (int k = 1; k <= 6; ++k) ref(k) = w.CP(k);
    const double vref = w.V;

    // 13. Derivatives of a, b, c, the cosines and V by the elements of T.
    Arr2<double, 7, 9> d;
    for (int c = 1; c <= 3; ++c)
        for (int r = 1; r <= 3; ++r) {
            const int p = 3 * (r - 1) + c;
            t(r, c) += DELTA_T;
            w.UBX = mat_mul(ubs, t);
            PARAMS(w);
            for (int m = 1; m <= 6; ++m) d(m, p) = (w.CP(m) - ref(m)) / DELTA_T;
            d(7, p) = (w.V - vref) / DELTA_T;
            t(r, c) -= DELTA_T;
        }

    // 14. Covariance of the cell; the angles fixed by the system get none.
    Arr2<double, 7, 7> cc;
    for (int i = 1; i <= 7; ++i)
        for (int j = 1; j <= 7; ++j) {
            double s = 0.0;
            for (int k = 1; k <= 9; ++k)
                for (int l = 1; l <= 9; ++l) s += d(i, k) * cov(k, l) * d(j, l);
            cc(i, j) = s;
        }
    auto clear = [&cc](int m) {
        for (int k = 1; k <= 7; ++k) cc(m, k) = cc(k, m) = 0.0;
    };
    clear(4);
    if (ISYM != 2) clear(6);
    if (ISYM != 1) clear(5);

    // 15. Esds; an angle's esd is the cosine's esd divided by the sine.
    Arr1<double, 7> esd;
    for (int m = 1; m <= 7; ++m) esd(m) = std::sqrt(std::fmax(cc(m, m), 0.0));
    for (int m = 4; m <= 6; ++m)
        esd(m) = DEG_PER_RAD_EXACT * esd(m) / std::fmax(sine_of(ref(m)), 1.0e-6);
    if (!finite_cell(esd)) return false;
    exact_constraints(ISYM, cell, esd);
    G.CELL = cell;
    G.CELLESD = esd;
    return true;
}

}  // namespace

CellLsqWork LSVEC(int ISYM, int& IERR) {
    IERR = 0;
    CellLsqWork w;
    // An unknown crystal system is refused before anything is changed.
    if (ISYM < 1 || ISYM > 6) {
        IERR = 2;
        return w;
    }
    const int n = G.NUBREF;
    if (n < 1 || n > MAXREFLIST) {
        IERR = 2;
        return w;
    }
    static AngTable ang;
    static IhTable ih;
    static ListVectors hphi;
    refinement_list_tables(ang, ih);

    // 1 to 3.
    Mat3 hh, ubx;
    if (!unconstrained_ub(w, n, ang, ih, hphi, hh, ubx)) {
        IERR = 2;
        return w;
    }
    w.N = n;
    w.UBX = ubx;
    PARAMS(w);
    G.UB = ubx;
    G.UBFLAG = 1;

    // 4 to 10, repeated: the constraints on T are the linearised
    // conditions of the crystal system about UBS, so UBS . T meets them
    // only to first order; far from the data's own cell (few reflections,
    // a system the crystal does not have) the second order breaks them by
    // tenths of a degree.  The constrained matrix is symmetrised again and
    // refitted until T is the identity: then the cell of UBS is the
    // constrained least-squares cell and meets its constraints exactly.
    Mat3 current = ubx, ubs, t, ubsinv;
    static ListVectors resid;
    int nfree = 0;
    bool converged = false;
    for (int cycle = 1; cycle <= CONSTRAINED_CYCLES && !converged; ++cycle) {
        w.UBX = current;
        PARAMS(w);
        if (!symmetrised_ub(w, ISYM, current, ubs, ubsinv)) {
            IERR = 1;
            return w;
        }
        // 7. Observations in the frame of UBS, close to the integer indices.
        static ListVectors hc;
        w.RHS.fill(0.0);
        for (int k = 1; k <= n; ++k) {
            for (int r = 1; r <= 3; ++r)
                hc(k, r) = ubsinv(r, 1) * hphi(k, 1) + ubsinv(r, 2) * hphi(k, 2) + ubsinv(r, 3) * hphi(k, 3);
            for (int r = 1; r <= 3; ++r)
                for (int i = 1; i <= 3; ++i) w.RHS(3 * (r - 1) + i) += ih(k, i) * hc(k, r);
        }
        // 8. Constrained solution (the solve leaves the inverse in A).
        normal_matrix(w, hh);
        CONSTR(w, ISYM, IERR, nfree);
        if (IERR != 0) return w;
        // 9. Constrained matrix.
        double step = 0.0;
        for (int r = 1; r <= 3; ++r)
            for (int c = 1; c <= 3; ++c) {
                t(r, c) = w.P(3 * (r - 1) + c);
                step = std::fmax(step, std::fabs(t(r, c) - (r == c ? 1.0 : 0.0)));
            }
        if (!std::isfinite(step)) {
            IERR = 1;
            return w;
        }
        converged = step <= CONSTRAINED_STEP;
        current = mat_mul(ubs, t);
        // 10. Residuals, and the same observations fitted without
        // constraints, for the misfit.
        w.SS = 0.0;
        for (int k = 1; k <= n; ++k)
            for (int r = 1; r <= 3; ++r) {
                resid(k, r) = t(r, 1) * ih(k, 1) + t(r, 2) * ih(k, 2) + t(r, 3) * ih(k, 3) - hc(k, r);
                w.SS += resid(k, r) * resid(k, r);
            }
        Mat3 hhinv;
        double det = 0.0;
        MINV(hh, hhinv, det);
        Mat3 tu;
        for (int r = 1; r <= 3; ++r)
            for (int c = 1; c <= 3; ++c)
                for (int i = 1; i <= 3; ++i) tu(r, c) += hhinv(c, i) * w.RHS(3 * (r - 1) + i);
        w.SSU = 0.0;
        for (int k = 1; k <= n; ++k)
            for (int r = 1; r <= 3; ++r) {
                const double d = tu(r, 1) * ih(k, 1) + tu(r, 2) * ih(k, 2) + tu(r, 3) * ih(k, 3) - hc(k, r);
                w.SSU += d * d;
            }
        w.NC = 9 - nfree;
    }
    // A constrained cell that does not settle is no cell of the system.
    if (!converged) {
        IERR = CONSTRAINTS_UNMET;
        return w;
    }
    w.UBX = current;
    PARAMS(w);
    // The validity of the last entry's calculated vector.
    int last_ierr = 0;
    {
        Vec3 hcalc;
        for (int i = 1; i <= 3; ++i)
            hcalc(i) = w.UBX(i, 1) * ih(n, 1) + w.UBX(i, 2) * ih(n, 2) + w.UBX(i, 3) * ih(n, 3);
        Angles unused;
        CALCA(hcalc, unused, last_ierr);
    }

    // 11 to 15.
    const Arr2<double, 9, 9> cov = parameter_covariance(w, n, nfree, ang, ih, resid, ubsinv);
    if (!cell_with_esds(w, ISYM, ubs, t, cov)) {
        IERR = 1;
        return w;
    }
    IERR = last_ierr;
    return w;
}

}  // namespace tarnivox
