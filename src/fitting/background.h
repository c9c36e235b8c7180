#pragma once
// Background of a scan: the four modes (IBACK 0 end steps, 1 smoothed
// data-set table, 2 exponential law, 3 end steps with a balance test) and
// the two data-set models behind modes 1 and 2.

#include "core/array.h"

namespace tarnivox {

// Most scans that enter the data-set pass.
inline constexpr int MAXBGSCANS = 5000;
using BgPairs = Arr1<double, MAXBGSCANS>;

// BGTAB from n pairs (level, 2theta): the lowest level in each whole degree,
// gaps filled, a running mean over `width` degrees (forced odd).
void SET_BACKGROUND_SPLINE(int n, BgPairs& level, BgPairs& tth, int width);
// BGEXPA, BGEXPB, BGEXPC of BG = a*exp(-b*2theta) + c from n pairs.
void SET_BACKGROUND_EXP(int n, BgPairs& level, BgPairs& tth);
// Shell sort of two parallel arrays, ascending by key; equal keys keep order.
void SORT(int n, BgPairs& key, BgPairs& other);
// Levels of the models are in scaled counts: the scale factor of the
// current scan, 1 for a scan without a usable one.
double scan_scale();
// Background per step of the current scan, unscaled counts; sets BGUNBAL.
double GET_BACKGROUND(double tth);

}  // namespace tarnivox
