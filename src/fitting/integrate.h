#pragma once
// Intensity by summation between the two background regions LIMS.

namespace tarnivox {

// Uses LIMS, COUNTS, NPTS; sets INTI and INTSIG (unscaled counts).  ierr 0
// when the sums were formed, 1 when the limits lie outside the scan.
void INTEGRATE(int& ierr);

}  // namespace tarnivox
