#pragma once
// The peak-width law FWHM = a + b tan|theta| fitted by weighted least
// squares to the widths that preprocessing refined for the reflections of
// the refinement list.

#include "core/array.h"
#include "core/store.h"

namespace tarnivox {

// Width esds at or below this are no esd (the width was not refined).
inline constexpr double WIDTH_ESD_MIN = 0.0001;

struct WidthLaw {
    double a = 0.0, b = 0.0;
    double esd_a = 0.0, esd_b = 0.0;
    int used = 0;  // reflections with a width esd
};

// Status of fit_width_law.
inline constexpr int WIDTH_LAW_OK = 0;
inline constexpr int WIDTH_LAW_NO_ESDS = 1;    // no width carries an esd: four zeros
inline constexpr int WIDTH_LAW_ONE_ANGLE = 2;  // the widths lie at one |2theta|: no line, four zeros

// Fits the first n entries of the 2theta, width and width-esd columns
// (weights 1/esd^2).  The law is 0 unless the status is WIDTH_LAW_OK.
int fit_width_law(int n, const Arr1<double, MAXREFLIST>& tth, const Arr1<double, MAXREFLIST>& fwhm,
                  const Arr1<double, MAXREFLIST>& esd, WidthLaw& law);

}  // namespace tarnivox
