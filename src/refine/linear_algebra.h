#pragma once

#include <cmath>
// Small dense-matrix work shared by the profile fit and the refinements:
// Gauss-Jordan inversion with complete pivoting (MXLNEQ) and LU inversion
// with implicit partial pivoting (MINV = LUDCMP + LUBKSB).

#include "core/array.h"

namespace tarnivox {

// In-place Gauss-Jordan inversion with complete pivoting of the n x n
// leading block of the column-major array a (element (i, j), 1-based, is
// a[(i-1) + (j-1)*lda]); columns n+1 .. n+m are right-hand sides, replaced
// by the solutions.  det receives the determinant, npiv the number of pivots
// found (n when the inversion is complete; fewer leaves a partial
// elimination that callers must not use).  No allocation: n <= 15; a larger
// n, or lda < n, finds no pivot.
void MXLNEQ(double* a, int n, int lda, double& det, int& npiv, double eps, int m);

// LU decomposition (Crout, implicit partial pivoting) of the leading n x n
// block of a, in place.  indx records the row interchanges, d their parity.
// Returns false (after the error box "Singular matrix in LUDCMP") when a row
// is entirely zero.
bool LUDCMP(Arr2<double, 6, 6>& a, int n, Arr1<int, 6>& indx, double& d);
// Forward and back substitution of b with the decomposition of LUDCMP.
void LUBKSB(const Arr2<double, 6, 6>& a, int n, const Arr1<int, 6>& indx, Arr1<double, 6>& b);

// Inverse of the n x n matrix a (n <= 6), rows of lda elements, into ainv
// (rows of ldinv elements); a and ainv may be the same storage.  det is the
// determinant, 0 when a has a zero row, in which case ainv is left as it was.
void minv_raw(const double* a, int lda, double* ainv, int ldinv, double& det, int n);

// A residual is smaller than the error of its observation by the share of
// it that the fit takes up, the observation's leverage (its part of the
// parameters; the leverages of a fit add up to the number of parameters).
// This factor restores its expected size, so that covariances built from
// the residuals of single observations are unbiased also where a few
// reflections decide a parameter.
inline double residual_inflation(double leverage) { return 1.0 / std::sqrt(std::fmax(1.0 - leverage, 0.05)); }

template <int N>
void MINV(const Arr2<double, N, N>& A, Arr2<double, N, N>& AINV, double& DET, int n = N) {
    static_assert(N <= 6);
    if (n < 1 || n > N) {
        DET = 0.0;
        return;
    }
    minv_raw(&A(1, 1), N, &AINV(1, 1), N, DET, n);
}

}  // namespace tarnivox
