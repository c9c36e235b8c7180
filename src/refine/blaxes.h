#pragma once
// An orientation matrix read from an instrument file is given in the
// instrument's axes; BLAXES (a signed permutation of 1, 2, 3) maps it to the
// Busing-Levy axes used everywhere else.

#include "core/array.h"

namespace tarnivox {

// Row i of UB becomes row |BLAXES(i)| times the sign of BLAXES(i) (0
// counts as positive).  Returns 0, or 1 with UB unchanged when BLAXES is
// not a signed permutation of 1, 2, 3.  The caller then derives the cell
// (OMTOB) and the reciprocal cell (RECIP_CELL).
int UB_TO_BLAXES(const Arr1<int, 3>& BLAXES, Arr2<double, 3, 3>& UB);
// The same on the store: G.UB with G.BLAXES.
int UB_TO_BLAXES();

}  // namespace tarnivox
