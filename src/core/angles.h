#pragma once
// Degrees per radian.  The program converts angles with several roundings
// of 180/pi, each in the routines that were written with it; they decide
// which reflections pass a test, so each stays where it is used.

#include <numbers>

namespace tarnivox {

// The program's trigonometry in general: the derived values of a scan, the
// alpha1/alpha2 doublet, start values, cell angles, the Xcalibur reader.
inline constexpr double DEGRAD = 57.29578;
// The setting-angle geometry (CALCH, CALCA, CALOMEGA, TWOTHETA,
// RECIP_CELL) and the monochromator shift of the instrument parameters.
inline constexpr double RAD = 57.2958;
// CALC_OFFSETS of the zero-point refinement divides by this one.
inline constexpr double DEGRAD_OFFSETS = 57.295;
// The crystal-offset model and the esds of the cell angles use 180/pi.
inline constexpr double DEG_PER_RAD_EXACT = 180.0 / std::numbers::pi;
// Radians per degree to nine places, the other way round: the CAD4
// reader's kappa-to-Eulerian conversion and the direction cosines of the
// SHELX records.
inline constexpr double RAD_PER_DEG = 0.017453292;

}  // namespace tarnivox
