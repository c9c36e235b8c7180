#include "refine/linear_algebra.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/messages.h"

namespace tarnivox {

namespace {

constexpr int MXLNEQ_MAX = 15;

}  // namespace

void MXLNEQ(double* a, int n, int lda, double& det, int& npiv, double eps, int m) {
    npiv = 0;
    det = 1.0;
    if (n <= 0) return;
    if (n > MXLNEQ_MAX || lda < n || m < 0) {
        det = 0.0;
        return;
    }
    auto at = [a, lda](int i, int j) -> double& { return a[(i - 1) + (j - 1) * lda]; };
    const int ncol = n + m;
    int prow[MXLNEQ_MAX + 1] = {};  // row brought to k at stage k
    int pcol[MXLNEQ_MAX + 1] = {};  // column brought to k at stage k

    int found = 0;
    for (int k = 1; k <= n; ++k) {
        // Largest remaining element; strict comparison keeps the first met,
        // scanning column by column and row by row within a column.
        double big = 0.0;
        int ip = k;
        int jp = k;
        for (int j = k; j <= n; ++j) {
            for (int i = k; i <= n; ++i) {
                if (std::fabs(at(i, j)) > big) {
                    big = std::fabs(at(i, j));
                    ip = i;
                    jp = j;
                }
            }
        }
        if (big < eps) break;
        // Guard against overflow of the determinant of a badly scaled matrix.
        if (big > 1.0 && std::fabs(det) > 1.0e38) break;

        prow[k] = ip;
        pcol[k] = jp;
        if (ip != k) {
            for (int j = 1; j <= ncol; ++j) std::swap(at(k, j), at(ip, j));
            det = -det;
        }
        if (jp != k) {
            for (int i = 1; i <= n; ++i) std::swap(at(i, k), at(i, jp));
            det = -det;
        }
        const double piv = at(k, k);
        det *= piv;

        at(k, k) = 1.0;
        for (int j = 1; j <= ncol; ++j) at(k, j) /= piv;
        for (int i = 1; i <= n; ++i) {
            if (i == k) continue;
            const double f = at(i, k);
            if (f == 0.0) continue;
            at(i, k) = 0.0;
            for (int j = 1; j <= ncol; ++j) at(i, j) -= f * at(k, j);
        }
        found = k;
    }
    npiv = found;
    if (found < n) return;

    // Undo the interchanges in reverse order: a row exchange of the matrix
    // is a column exchange of its inverse and vice versa.  The solutions of
    // the right-hand sides follow the unknowns, i.e. the column exchanges.
    for (int k = n; k >= 1; --k) {
        if (pcol[k] != k) {
            for (int j = 1; j <= ncol; ++j) std::swap(at(k, j), at(pcol[k], j));
        }
        if (prow[k] != k) {
            for (int i = 1; i <= n; ++i) std::swap(at(i, k), at(i, prow[k]));
        }
    }
}

bool LUDCMP(Arr2<double, 6, 6>& a, int n, Arr1<int, 6>& indx, double& d) {
    constexpr double TINY = 1.0e-20;
    Arr1<double, 6> vv;
    d = 1.0;
    for (int i = 1; i <= n; ++i) {
        double big = 0.0;
        for (int j = 1; j <= n; ++j) big = std::max(big, std::fabs(a(i, j)));
        if (big == 0.0) {
            report_error("Tarnivox", "Singular matrix in LUDCMP");
            return false;
        }
        vv(i) = 1.0 / big;
    }
    for (int j = 1; j <= n; ++j) {
        for (int i = 1; i < j; ++i) {
            double sum = a(i, j);
            for (int k = 1; k < i; ++k) sum -= a(i, k) * a(k, j);
            a(i, j) = sum;
        }
        double big = 0.0;
        int imax = j;
        for (int i = j; i <= n; ++i) {
            double sum = a(i, j);
            for (int k = 1; k < j; ++k) sum -= a(i, k) * a(k, j);
            a(i, j) = sum;
            const double dum = vv(i) * std::fabs(sum);
            if (dum >= big) {
                big = dum;
                imax = i;
            }
        }
        if (j != imax) {
            for (int k = 1; k <= n; ++k) std::swap(a(imax, k), a(j, k));
            d = -d;
            vv(imax) = vv(j);
        }
        indx(j) = imax;
        if (a(j, j) == 0.0) a(j, j) = TINY;
        if (j != n) {
            const double dum = 1.0 / a(j, j);
            for (int i = j + 1; i <= n; ++i) a(i, j) *= dum;
        }
    }
    return true;
}

void LUBKSB(const Arr2<double, 6, 6>& a, int n, const Arr1<int, 6>& indx, Arr1<double, 6>& b) {
    int ii = 0;
    for (int i = 1; i <= n; ++i) {
        const int ip = indx(i);
        double sum = b(ip);
        b(ip) = b(i);
        if (ii != 0) {
            for (int j = ii; j < i; ++j) sum -= a(i, j) * b(j);
        } else if (sum != 0.0) {
            ii = i;
        }
        b(i) = sum;
    }
    for (int i = n; i >= 1; --i) {
        double sum = b(i);
        for (int j = i + 1; j <= n; ++j) sum -= a(i, j) * b(j);
        b(i) = sum / a(i, i);
    }
}

void minv_raw(const double* a, int lda, double* ainv, int ldinv, double& det, int n) {
    if (n < 1 || n > 6) {
        det = 0.0;
        return;
    }
    Arr2<double, 6, 6> lu;
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j) lu(i, j) = a[(i - 1) * lda + (j - 1)];
    Arr1<int, 6> indx;
    double d = 1.0;
    if (!LUDCMP(lu, n, indx, d)) {
        det = 0.0;
        return;
    }
    det = d;
    for (int j = 1; j <= n; ++j) det *= lu(j, j);
    Arr2<double, 6, 6> y;
    for (int j = 1; j <= n; ++j) {
        Arr1<double, 6> col;
        col(j) = 1.0;
        LUBKSB(lu, n, indx, col);
        for (int i = 1; i <= n; ++i) y(i, j) = col(i);
    }
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j) ainv[(i - 1) * ldinv + (j - 1)] = y(i, j);
}

}  // namespace tarnivox
