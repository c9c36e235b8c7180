#pragma once
// Zero points from eight equivalent settings of one reflection: measured at
// both signs of 2theta and omega and in both branches of chi (the Friedel
// mate -h -k -l taking half of them), the fitted peak positions give the
// reflection's true setting angles free of the circle zero errors, the zero
// errors themselves and the crystal offset.

#include "core/array.h"
#include "refine/geometry.h"

namespace tarnivox {

// One group: setting k = 1..8, columns 2theta, omega, chi, phi (degrees).
using ZrefSettings = Arr2<double, 8, 4>;
// True 2theta, omega, chi; zero errors of 2theta, omega, chi; crystal
// offset (three components in the phi-axis frame, length unit of the
// goniometer constants); DELTA-H.
using ZrefResults = Arr1<double, 10>;

inline constexpr int ZREF_SETTINGS = 8;

// Status of CALC_OFFSETS.
inline constexpr int ZREF_OK = 0;
inline constexpr int ZREF_TTH_PATTERN = 1;    // 2theta signs break the pattern
inline constexpr int ZREF_OMEGA_PATTERN = 2;  // omega signs break the pattern
inline constexpr int ZREF_CHI_PAIR = 3;       // a chi pair differs by more than 5 degrees
// The settings are no circle readings (not finite, or beyond 1.0E5
// degrees), a goniometer constant is 0, or the group sits where the offsets
// are undetermined (theta or omega at 90 degrees, 2theta at 0): no result.
inline constexpr int ZREF_NO_SOLUTION = 4;

// Evaluates one group.  A: the eight settings (chi of settings 3 to 6 may be
// raised by 360 in place to bring them into one branch); PF: the parities of
// the 2theta, omega, chi and phi circles; D1, D2: GONCON1, GONCON2.  RES
// is 0 unless IERR is ZREF_OK.
void CALC_OFFSETS(ZrefSettings& A, const Arr1<double, 4>& PF, double D1, double D2, ZrefResults& RES,
                  int& IERR);

// Group search over the first n rows of an index table: the first row of the
// next eight consecutive rows, at or after row `from`, whose indices all
// equal those of the group's first row or their negatives; 0 when none.  A
// row that matches neither starts a new group; the end of the table
// abandons an incomplete one.
int next_zref_group(const IhTable& IH, int n, int from);

}  // namespace tarnivox
