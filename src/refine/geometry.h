#pragma once
// Four-circle geometry in the Busing-Levy convention: setting angles
// (2theta, omega, chi, phi in degrees, omega measured from the bisecting
// position) to diffraction vector h_phi = UB . (h, k, l) in 1/A and back,
// the omega that indexes a reflection best, calculated 2theta and the
// reciprocal cell of UB.

#include "core/angles.h"
#include "core/array.h"
#include "core/store.h"

namespace tarnivox {

// Wavelength with which IH_TO_EULER derives setting angles (Mo K-alpha1 of
// the instruments that supply indices only).
inline constexpr double EULER_WAVE = 0.70926;

using Angles = Arr1<double, 4>;  // 2theta, omega, chi, phi
using Vec3 = Arr1<double, 3>;
using Indices = Arr1<int, 3>;
using Mat3 = Arr2<double, 3, 3>;
using AngTable = Arr2<double, MAXREFLIST, 4>;  // row n: angles of reflection n
using IhTable = Arr2<int, MAXREFLIST, 3>;      // row n: h, k, l of reflection n

void CALCH(const Angles& ANG, Vec3& H);
void CALCA(const Vec3& H, Angles& ANG, int& IERR);
void IH_TO_EULER(const Indices& IH, Angles& ANG);
void HCALC(const Angles& ANG, Vec3& HC);
double GETDEL(const Angles& ANG, const Indices& IH);
void CALOMEGA(const Angles& ANG, const Indices& IH, double& OMEGA);
double TWOTHETA(const Indices& IH);
void RECIP_CELL();

// acos in degrees of a cosine that rounding may have pushed just beyond
// [-1, 1] (the angle of two nearly parallel vectors): clamped, never NaN.
double acos_deg(double c, double deg_per_rad);
// Angle in degrees between two vectors from their dot product and lengths;
// 90 when one of them has no length (no direction to measure from).
double angle_from_dot(double dot, double len1, double len2, double deg_per_rad);

// Row n of a reflection table.
Angles table_angles(const AngTable& ANG, int n);
Indices table_indices(const IhTable& IH, int n);

// HCALC keeps the inverse of UB while UB is unchanged (CALOMEGA calls it
// some 300 times per reflection).  Off: every call inverts UB afresh, as a
// reference for tests and benchmarks; the results are identical.
void set_ub_inverse_cache(bool on);

}  // namespace tarnivox
