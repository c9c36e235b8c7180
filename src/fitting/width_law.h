#pragma once
// The peak-width law FWHM = a + b tan|theta| fitted by weighted least
// squares to the widths that preprocessing refined for the reflections of
// the refinement list.

#include "core/array.h"
#include "core/store.h"

namespace tarnivox {

// Width esds at or below this are no esd (the width was not refined).
inline constexpr double WIDTH_ESD_MIN = 0.0001;

// A width whose esd is more than this fraction of the width comes from a
// fit too weak to fix it: such free fits come out narrow (on simulated
// data by 2 % of the width at 7-8 %, 4 % at 8-10 % and 12 % at 12-15 %
// relative esd, while widths up to 6 % are unbiased), and their smaller
// esds give them weight besides.  The law is fitted to the widths within
// it whenever they fix a line.
inline constexpr double WIDTH_REL_ESD_MAX = 0.06;

struct WidthLaw {
    double a = 0.0, b = 0.0;
    double esd_a = 0.0, esd_b = 0.0;
    int used = 0;    // reflections with a width esd
    int fitted = 0;  // reflections the law was fitted to
    // Too few reliable widths: the law comes from every width with an esd,
    // unreliable ones among them.
    bool all_widths = false;
};

// Status of fit_width_law.
inline constexpr int WIDTH_LAW_OK = 0;
inline constexpr int WIDTH_LAW_NO_ESDS = 1;    // no width carries an esd: four zeros
inline constexpr int WIDTH_LAW_ONE_ANGLE = 2;  // the widths lie at one |2theta|: no line, four zeros

// Fits the first n entries of the 2theta, width and width-esd columns
// (weights 1/esd^2): the reliable widths (relative esd at most
// WIDTH_REL_ESD_MAX) when at least three of them fix a line, else every
// width with an esd.  The law is 0 unless the status is WIDTH_LAW_OK.
int fit_width_law(int n, const Arr1<double, MAXREFLIST>& tth, const Arr1<double, MAXREFLIST>& fwhm,
                  const Arr1<double, MAXREFLIST>& esd, WidthLaw& law);

}  // namespace tarnivox
