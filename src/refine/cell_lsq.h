#pragma once
// Unit cell refined under the constraints of a crystal system: the
// unconstrained UB, the reciprocal cell forced to the system, and a 3 x 3
// correction T (UB = UBS . T) fitted by least squares with linear equality
// constraints (Lagrange multipliers) that keep the symmetry.

#include "refine/geometry.h"

namespace tarnivox {

// Working quantities of a constrained cell refinement, returned by LSVEC
// as the record of its fit.
struct CellLsqWork {
    Mat3 UBX;                // working orientation matrix
    Arr1<double, 6> RP;      // a*, b*, c*, cos alpha*, cos beta*, cos gamma*
    Arr1<double, 9> CP;      // a, b, c, cos alpha, cos beta, cos gamma, alpha, beta, gamma (deg)
    double V = 0.0;          // direct volume
    double A[15 * 16] = {};  // bordered normal matrix, column-major, leading dimension 15
    Arr1<double, 9> RHS;     // right-hand side of the nine parameters
    Arr1<double, 9> P;       // T(r, c) = P(3(r - 1) + c)
    double SS = 0.0;         // sum of squared residuals
    double VAR = 0.0;        // variance of unit weight
    double SSU = 0.0;        // sum of squared residuals of the same fit without constraints
    int NC = 0;              // number of constraints
    int N = 0;               // reflections fitted
};

// ISYM 1 Monoclinic-b, 2 Monoclinic-c, 3 Orthorhombic, 4 Tetragonal,
// 5 Hexagonal, 6 Cubic.  IERR 0; 1 constrained system singular or the last
// calculated vector invalid; 2 unconstrained system singular or ISYM out of
// range.
// The constrained cell is refitted about its own symmetrised result until
// it meets the constraints exactly; IERR CONSTRAINTS_UNMET when it does not
// settle (CELL and CELLESD unchanged).
CellLsqWork LSVEC(int ISYM, int& IERR);
inline constexpr int CONSTRAINTS_UNMET = 4;
// How much worse the constrained fit of an LSVEC is than the same fit
// without constraints, per constraint, in units of the unconstrained
// variance (an F ratio: about 1 when the data have the symmetry).
double symmetry_misfit(const CellLsqWork& fit);
// A misfit beyond this means the data do not have the chosen symmetry (for
// data that have it the ratio stays below about 10; a wrong system gives
// 1e5 and more); the linearised constraints then no longer even hold, and
// the constrained cell is not that of the system.
inline constexpr double SYMMETRY_MISFIT_LIMIT = 1000.0;
void CONSTR(CellLsqWork& w, int ISYM, int& IERR, int& NFREE);
void PARAMS(CellLsqWork& w);
void RECIP(const Arr1<double, 6>& C, double& V, Arr1<double, 6>& RC, double& VS);
void BCALC(Mat3& B, const Arr1<double, 6>& C, const Arr1<double, 6>& RC);

}  // namespace tarnivox
