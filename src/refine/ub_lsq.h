#pragma once
// Orientation matrix from the fitted peak positions of the refinement list:
// linear least squares for UB (with cell esds), the cycle with an omega zero
// point, and the cell and Busing-Levy B matrix of UB.

#include "refine/geometry.h"

namespace tarnivox {

// UB from N reflections of the tables (N >= 3); CELL, BMAT, and CELLESD
// when N >= 4.  IERR 0, or 1 when the indices do not span three dimensions
// (UB, CELL, CELLESD unchanged).
void LSQ(int N, const AngTable& ANG, const IhTable& IH, int& IERR);
// LSQ cycled with the omega zero point OMZERO of the refinement list.
void LSQ_ZERO(int& IERR);
// CELL and BMAT from UB.
void OMTOB();
// Busing-Levy B of a cell in the layout of CELL.
void CALCB(const Arr1<double, 7>& C, Mat3& B);

// The refinement list as angle and index tables.
void refinement_list_tables(AngTable& ANG, IhTable& IH);

// Direct cell (a, b, c, alpha, beta, gamma, volume) of an orientation
// matrix; false, with the cell untouched, when UB'UB has no positive
// determinant.
bool cell_of_ub(const Mat3& ub, Arr1<double, 7>& cell);

}  // namespace tarnivox
