#pragma once
// The delta-d/d check of a cell: the relative difference of the d-spacing
// from a reflection's observed 2theta and the one from the 2theta that the
// cell calculates for its indices.  A 2theta zero error shows as a trend
// with 2theta (about -cot(theta) times the error in theta), a wrong
// wavelength as a constant offset.

namespace tarnivox {

// r <- d_obs / d_cal - 1 with d = wave / |2 sin(2theta / 2)|.  False, r
// unchanged, when either 2theta gives no d-spacing (a sine of 0, a value
// that is not a number) or the wavelength is not positive.
bool delta_d_over_d(double tth_obs, double tth_cal, double wave, double& r);

// Minimum, maximum and average of the delta-d/d values of a list, as the
// log reports them: min starts at 1000, max at -1000; an empty list has
// the average 0.
struct DeltaDSummary {
    double min = 1000.0;
    double max = -1000.0;
    double sum = 0.0;
    int n = 0;
    void add(double r);
    double average() const;
};

}  // namespace tarnivox
