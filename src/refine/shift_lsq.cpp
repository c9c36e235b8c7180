#include "refine/shift_lsq.h"

#include <cmath>
#include <numbers>

#include "core/angles.h"
#include "refine/linear_algebra.h"

namespace tarnivox {

namespace {


// Step of the numerical omega tangent, degrees.
constexpr double DOMEGA = 1.0e-3;

// Omega shift of the peak per unit of each offset component: the offset
// model of CALC_ANGOFF differentiated (it is linear in XTALOFF).
void offset_rows(const Angles& a, double d[3]) {
    const double w = a(2) / DEG_PER_RAD_EXACT, c = a(3) / DEG_PER_RAD_EXACT, p = a(4) / DEG_PER_RAD_EXACT;
    const double so = std::sin(w), co = std::cos(w), sc = std::sin(c), cc = std::cos(c);
    const double sp = std::sin(p), cp = std::cos(p);
    const double m1[3] = {co * cc * cp - so * sp, co * cc * sp + so * cp, co * sc};
    const double m2[3] = {-so * cc * cp - co * sp, -so * cc * sp + co * cp, -so * sc};
    const double th = 0.5 * a(1) / DEG_PER_RAD_EXACT;
    const double f = DEG_PER_RAD_EXACT / G.GONCON1;
    for (int k = 0; k < 3; ++k) d[k] = (std::cos(th) * m1[k] + std::sin(th) * m2[k]) * f;
}

}  // namespace

int SHIFT_LSQ(int N, const AngTable& ANG, const IhTable& IH, int IZERO, int IOFF, ShiftLsqResult& out) {
    const int np = (IZERO == 1 ? 1 : 0) + (IOFF == 1 ? 3 : 0);
    if (N < 4 || N > MAXREFLIST || np == 0) return 1;
    if (IOFF == 1 && !(G.GONCON1 != 0.0 && std::isfinite(G.GONCON1))) return 1;

    // Per reflection: observed vector, and the vector that each shift
    // parameter adds per unit (its omega shift times the omega tangent).
    static Arr2<double, MAXREFLIST, 3> hobs;
    static Arr2<double, MAXREFLIST, 12> col;  // parameter m, component i at 3(m-1)+i
    Mat3 s, a;
    Arr2<double, 3, 12> b;  // sum of col h'
    for (int n = 1; n <= N; ++n) {
        Angles ang = table_angles(ANG, n);
        Vec3 h, hp, hm;
        CALCH(ang, h);
        ang(2) += DOMEGA;
        CALCH(ang, hp);
        ang(2) -= 2.0 * DOMEGA;
        CALCH(ang, hm);
        ang(2) += DOMEGA;
        double per[4];
        int m = 0;
        if (IOFF == 1) {
            offset_rows(ang, per);
            m = 3;
        }
        if (IZERO == 1) per[m] = 1.0;
        for (int i = 1; i <= 3; ++i) {
            hobs(n, i) = h(i);
            const double g = (hp(i) - hm(i)) / (2.0 * DOMEGA);
            for (int k = 1; k <= np; ++k) col(n, 3 * (k - 1) + i) = per[k - 1] * g;
        }
        for (int i = 1; i <= 3; ++i)
            for (int j = 1; j <= 3; ++j) {
                s(i, j) += static_cast<double>(IH(n, i)) * IH(n, j);
                a(i, j) += h(i) * IH(n, j);
            }
        for (int c = 1; c <= 3 * np; ++c)
            for (int j = 1; j <= 3; ++j) b(j, c) += col(n, c) * IH(n, j);
    }
    // The same test of the index sums as LSQ, without its message.
    double sw[9];
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) sw[(i - 1) + (j - 1) * 3] = s(i, j);
    double det = 0.0;
    int npiv = 0;
    MXLNEQ(sw, 3, 3, det, npiv, 1.0e-6, 0);
    if (npiv != 3 || std::fabs(det) <= 1.0e-4) return 1;
    Mat3 sinv;
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) sinv(i, j) = sw[(i - 1) + (j - 1) * 3];

    // Residuals after the UB fit alone, of the observations (r0) and of each
    // parameter's column (c): UB is eliminated by projecting every one onto
    // the complement of the index space.
    Mat3 ub0;  // A S^-1
    Arr2<double, 3, 12> bs;  // (col h') S^-1, per component row j of each column
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j)
            for (int k = 1; k <= 3; ++k) ub0(i, j) += a(i, k) * sinv(k, j);
    // For column parameter m, component i: its own "UB" row is sum_n col(n, 3(m-1)+i) h_n' S^-1.
    for (int c = 1; c <= 3 * np; ++c)
        for (int j = 1; j <= 3; ++j)
            for (int k = 1; k <= 3; ++k) bs(j, c) += b(k, c) * sinv(k, j);
    Arr2<double, 4, 4> nm;
    Arr1<double, 4> rhs;
    double r0r0 = 0.0;
    // Projected observations and columns, kept for the esds.
    static Arr2<double, MAXREFLIST, 3> r0s;
    static Arr2<double, MAXREFLIST, 12> rcs;
    for (int n = 1; n <= N; ++n) {
        double r0[3], rc[4][3];
        for (int i = 1; i <= 3; ++i) {
            double fit = 0.0;
            for (int j = 1; j <= 3; ++j) fit += ub0(i, j) * IH(n, j);
            r0[i - 1] = hobs(n, i) - fit;
            for (int k = 1; k <= np; ++k) {
                const int c = 3 * (k - 1) + i;
                double fc = 0.0;
                for (int j = 1; j <= 3; ++j) fc += bs(j, c) * IH(n, j);
                rc[k - 1][i - 1] = col(n, c) - fc;
            }
        }
        for (int i = 0; i < 3; ++i) {
            r0s(n, i + 1) = r0[i];
            for (int k = 1; k <= np; ++k) rcs(n, 3 * (k - 1) + i + 1) = rc[k - 1][i];
        }
        for (int i = 0; i < 3; ++i) {
            r0r0 += r0[i] * r0[i];
            for (int k = 1; k <= np; ++k) {
                rhs(k) += rc[k - 1][i] * r0[i];
                for (int l = 1; l <= np; ++l) nm(k, l) += rc[k - 1][i] * rc[l - 1][i];
            }
        }
    }
    // Parameters that the orientation matrix (or another parameter) can
    // imitate leave a (nearly) singular system: judged on the matrix scaled
    // to unit diagonal, so that the test does not depend on units.
    Arr2<double, 4, 4> scaled;
    Arr1<double, 4> sc;
    for (int k = 1; k <= np; ++k) {
        if (!(nm(k, k) > 0.0) || !std::isfinite(nm(k, k))) return 1;
        sc(k) = 1.0 / std::sqrt(nm(k, k));
    }
    for (int k = 1; k <= np; ++k)
        for (int l = 1; l <= np; ++l) scaled(k, l) = nm(k, l) * sc(k) * sc(l);
    Arr2<double, 4, 4> inv;
    MINV(scaled, inv, det, np);
    if (!(std::fabs(det) > 1.0e-8)) return 1;
    Arr1<double, 4> x;
    for (int k = 1; k <= np; ++k) {
        for (int l = 1; l <= np; ++l) x(k) += inv(k, l) * sc(k) * sc(l) * rhs(l);
        if (!std::isfinite(x(k))) return 1;
    }
    // Residual sum of the joint fit: r0'r0 - x' rhs.
    double rss = r0r0;
    for (int k = 1; k <= np; ++k) rss -= x(k) * rhs(k);
    const int dof = 3 * N - 9 - np;
    ShiftLsqResult r;
    r.nparam = np;
    r.variance = dof > 0 ? std::fmax(rss, 0.0) / dof : 0.0;
    // Covariance of the shifts from the scatter of each reflection's own
    // residual (the errors of h_phi grow with 1/d, so one pooled variance
    // would weigh the reflections wrongly): Q (sum u u') Q with
    // u_k = column k . residual of the reflection, Q the inverse normal
    // matrix, each residual restored to the size of its error by its
    // leverage.
    Arr2<double, 4, 4> q, meat;
    Arr2<double, 9, 9> ubcov;
    for (int k = 1; k <= np; ++k)
        for (int l = 1; l <= np; ++l) q(k, l) = inv(k, l) * sc(k) * sc(l);
    // The orientation matrix of the joint fit is UB0 - sum_k x_k BS_k, with
    // BS_k(i, j) = bs(j, 3(k - 1) + i): an error e_n of one observation
    // moves it by e_n w_n' (w_n = S^-1 h_n) less what it moves the shifts
    // by, times BS_k.
    for (int n = 1; n <= N; ++n) {
        double e[3];
        for (int i = 1; i <= 3; ++i) {
            e[i - 1] = r0s(n, i);
            for (int k = 1; k <= np; ++k) e[i - 1] -= x(k) * rcs(n, 3 * (k - 1) + i);
        }
        // Leverage per component: the part of UB, and of the shifts.
        double lev = 0.0;
        for (int i = 1; i <= 3; ++i) {
            lev += (sinv(i, 1) * IH(n, 1) + sinv(i, 2) * IH(n, 2) + sinv(i, 3) * IH(n, 3)) * IH(n, i);
            for (int k = 1; k <= np; ++k)
                for (int l = 1; l <= np; ++l)
                    lev += rcs(n, 3 * (k - 1) + i) * q(k, l) * rcs(n, 3 * (l - 1) + i) / 3.0;
        }
        const double f = residual_inflation(lev);
        for (double& v : e) v *= f;
        double u[4] = {};
        for (int k = 1; k <= np; ++k)
            for (int i = 1; i <= 3; ++i) u[k - 1] += rcs(n, 3 * (k - 1) + i) * e[i - 1];
        for (int k = 1; k <= np; ++k)
            for (int l = 1; l <= np; ++l) meat(k, l) += u[k - 1] * u[l - 1];
        double dx[4] = {};
        for (int k = 1; k <= np; ++k)
            for (int l = 1; l <= np; ++l) dx[k - 1] += q(k, l) * u[l - 1];
        Arr1<double, 9> infl;
        for (int i = 1; i <= 3; ++i)
            for (int j = 1; j <= 3; ++j) {
                const double w = sinv(j, 1) * IH(n, 1) + sinv(j, 2) * IH(n, 2) + sinv(j, 3) * IH(n, 3);
                double v = e[i - 1] * w;
                for (int k = 1; k <= np; ++k) v -= dx[k - 1] * bs(j, 3 * (k - 1) + i);
                infl(3 * (i - 1) + j) = v;
            }
        for (int a = 1; a <= 9; ++a)
            for (int b = 1; b <= 9; ++b) ubcov(a, b) += infl(a) * infl(b);
    }
    // Without an observation to spare the fit is exact and has no esds.
    const double spare = dof > 0 ? 1.0 : 0.0;
    for (int a = 1; a <= 9; ++a)
        for (int b = 1; b <= 9; ++b) r.ub_cov(a, b) = ubcov(a, b) * spare;
    auto esd = [&](int k) {
        double v = 0.0;
        for (int i = 1; i <= np; ++i)
            for (int j = 1; j <= np; ++j) v += q(k, i) * meat(i, j) * q(j, k);
        return std::sqrt(std::fmax(v * spare, 0.0));
    };
    int m = 1;
    if (IOFF == 1) {
        for (int k = 1; k <= 3; ++k) {
            r.xtaloff(k) = x(k);
            r.xtaloff_esd(k) = esd(k);
        }
        m = 4;
    }
    if (IZERO == 1) {
        r.omzero = x(m);
        r.omzero_esd = esd(m);
    }
    out = r;
    return 0;
}

}  // namespace tarnivox
