#pragma once
// Orientation matrix from the fitted peak positions of the refinement list:
// linear least squares for UB (with cell esds), the cycle with an omega zero
// point, and the cell and Busing-Levy B matrix of UB.

#include "refine/geometry.h"
#include "refine/shift_lsq.h"

namespace tarnivox {

// UB from N reflections of the tables (N >= 3); CELL, BMAT, and CELLESD
// when N >= 4.  IERR 0, or 1 when the indices do not span three dimensions
// (UB, CELL, CELLESD unchanged).
void LSQ(int N, const AngTable& ANG, const IhTable& IH, int& IERR);
// Status of a refinement whose omega zero point or crystal offsets cannot
// be refined from the list (too few reflections, or a shift that the
// orientation matrix imitates).
inline constexpr int SHIFT_FAILED = 3;
// LSQ cycled with the omega zero point OMZERO of the refinement list, its
// esd in OMZESD.  IERR 0; 1 from LSQ; SHIFT_FAILED (nothing changed).
// Returns the joint fit of UB and the zero point that gave them.
ShiftLsqResult LSQ_ZERO(int& IERR);
// CELL and BMAT from UB.
void OMTOB();
// Busing-Levy B of a cell in the layout of CELL.
void CALCB(const Arr1<double, 7>& C, Mat3& B);

// CELLESD from the covariance of UB in a joint fit with shift parameters
// (ShiftLsqResult::ub_cov); unchanged when UB gives no cell.
void cell_esds_of_joint_fit(const Arr2<double, 9, 9>& cov);

// The refinement list as angle and index tables.
void refinement_list_tables(AngTable& ANG, IhTable& IH);

// Direct cell (a, b, c, alpha, beta, gamma, volume) of an orientation
// matrix; false, with the cell untouched, when UB'UB has no positive
// determinant.
bool cell_of_ub(const Mat3& ub, Arr1<double, 7>& cell);
// Esds of the cell of UB from the full covariance of its nine elements
// (element UB(i, k) is parameter 3(i - 1) + k); false when UB gives no cell.
bool cell_esds_of_ub(const Mat3& ub, const Arr2<double, 9, 9>& cov, Arr1<double, 7>& esd);

}  // namespace tarnivox
