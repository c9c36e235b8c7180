#pragma once
// The data-set plot in the main window's graphics frame: one value per
// reflection against 2theta, as a scatter of small squares, with 2theta on
// round tens of degrees and the ordinate on a rounded decimal range (the
// "DELTA-D/D PLOT").

#include "core/array.h"
#include "core/store.h"

namespace tarnivox {

using DataSetValues = Arr1<double, MAXREFLIST>;

// Draws the first n of the points (X(i), Y(i)); X is 2theta in degrees.
// ndim is the declared dimension of X and Y (the points drawn are at most
// ndim and at most the arrays' size).
void PLOTDATASET(const DataSetValues& X, const DataSetValues& Y, int ndim, int n);

// The axes the plot chooses for the first n points in a frame of the given
// width: 2theta from xmin to xmax in nx intervals of xstep degrees (10,
// wider only for a range of more than 36 intervals), the ordinate from ymin
// to ymax.  Always finite with xmax > xmin and ymax > ymin, and every
// point that is a number lies inside (none on the frame's first unit or on
// the x axis, where points are not drawn).
struct DataSetAxes {
    double xmin = 0.0, xmax = 0.0, xstep = 10.0;
    int nx = 1;
    double ymin = 0.0, ymax = 0.0;
};
DataSetAxes dataset_axes(const DataSetValues& X, const DataSetValues& Y, int n, double frame_width);

// An ordinate limit on a rounded decimal: the first significant digit of
// |v| truncated and moved one unit outward, away from the data (up for the
// upper limit, down for the lower one): 0.00512 -> 0.006 as upper limit,
// -0.00234 -> -0.003 as lower limit, 0.00234 -> 0.002 as lower limit.
// 0 stays 0.
double round_plot_limit(double v, bool upper);

}  // namespace tarnivox
