#pragma once
// Reader of the reflection data file of a CAD4 kappa diffractometer
// (input format 7).

#include "core/array.h"

namespace tarnivox {

void READ_HEADER_CAD4(int& status);
void READ_SCAN_CAD4(int& status);
// Kappa setting angles (theta, phi', omega', kappa) to the Eulerian
// 2theta, omega, chi, phi.
void ANGLE_CONV(const Arr1<double, 4>& kappa_angles, Arr1<double, 4>& angles, int& status);

}  // namespace tarnivox
