#pragma once
// The physics of an intensity record: the Lorentz-polarisation factor of a
// reflection and the direction cosines of its incident and diffracted beams
// in the frame of the reciprocal axes (SHELX's absorption record).

#include "core/array.h"

namespace tarnivox {

// Reciprocal of the Lorentz-polarisation factor at 2theta tth (degrees),
// with or without the monochromator of the instrument settings.
double CLORENZ(double tth);

// Brings an angle into (-180, 180] degrees.
void WRAP(double& angle);

// Incident (dc 1..3) and diffracted (dc 4..6) beam vectors in the
// goniometer-head frame from the setting angles (2theta, omega, chi, phi).
void CALC_DIRNCOSINES(const Arr1<double, 4>& ang, Arr1<double, 6>& dc);

// The six direction cosines relative to the reciprocal axes, in SHELX
// order (u.a*, v.a*, u.b*, v.b*, u.c*, v.c*), from UBT and RCELL.
void DC_TOSHELX(const Arr1<double, 6>& dc, Arr1<double, 6>& dcs);

}  // namespace tarnivox
