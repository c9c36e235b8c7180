#pragma once
// Intensity by summation between the two background regions LIMS, and the
// summation over the peak a reflection is expected to have, for one whose
// profile fit gave no intensity that can be trusted.

namespace tarnivox {

// Uses LIMS, COUNTS, NPTS; sets INTI and INTSIG (unscaled counts).  ierr 0
// when the sums were formed, 1 when the limits lie outside the scan.
void INTEGRATE(int& ierr);

// Where the current reflection's alpha1 peak is expected on the omega
// axis: with a known orientation matrix the best-indexing omega plus the
// shift of the crystal offsets (or, without offsets, of the omega zero);
// otherwise the setting omega ANGLES(2).
double expected_omega();

// The steps of the current scan inside [lo, hi] of omega: the steps rise
// in omega, so they run first..last.  false when no step lies inside.
bool steps_within(double lo, double hi, int& first, int& last);

// P - (NP/NB) B over the peak steps first..last against all other steps
// of the current scan, and the variance of that difference,
// P + (NP/NB)^2 B (unscaled counts), and the mean background count per
// step.  Needs at least one background step.
struct NetSum {
    double net = 0.0;
    double variance = 0.0;
    double mean_background = 0.0;
};
NetSum net_over_background(int first, int last);

// Summation over the expected peak of the current scan.
struct ExpectedSum {
    double intensity = 0.0;      // alpha1 integrated intensity, times SCALE (as FITI)
    double sigma = 0.0;          // its esd, times SCALE (as FITSIG)
    double omega = 0.0;          // expected_omega()
    int lims[4] = {0, 0, 0, 0};  // background and peak step limits used
};

// The peak region runs from 1.5 FWHM below the expected alpha1 position to
// 1.5 FWHM above the alpha2 position, with the FWHM of the width law
// (FWHMA, FWHMB), and keeps at least two background steps at each end of
// the scan.  P counts over the peak, B over the background, NP and NB
// their steps: P - (NP/NB) B, with the variance of that difference,
// P + (NP/NB)^2 B.  Both are divided by the share of the expected profile
// (pseudo-Voigt doublet of ETA0 and A2RATIO at that width) that the same
// difference keeps of a peak of unit alpha1 intensity, so that the result
// stands on the scale of the fitted INTENSITY: the alpha1 intensity of the
// whole profile, tails beyond the scan and the alpha2 peak accounted for.
// For a strong peak (net count above 20 esds) the share is taken at the
// position, within half a width of the expected one, whose profile has the
// centroid of the net counts.  0 when formed; 1 when the scan cannot give it (too few steps, the
// expected peak mostly outside the scan).
int INTEGRATE_EXPECTED(ExpectedSum& r);

}  // namespace tarnivox
