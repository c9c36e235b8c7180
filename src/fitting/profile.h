#pragma once
// Unit-area peak shapes of the profile fit and the alpha1/alpha2 doublet
// built from them.  Positions and widths are in degrees of the scan axis.

#include <cmath>

namespace tarnivox {

inline constexpr double GAUSS_C1 = 0.9394373;    // 2*sqrt(ln 2/pi)
inline constexpr double GAUSS_C2 = 1.6651092;    // 2*sqrt(ln 2)
inline constexpr double LORENTZ_C3 = 0.6366197;  // 2/pi

// Gaussian of FWHM h at p, with the derivatives by position and width.
// Beyond 6 FWHM from the centre (and for a width that is not positive) the
// value and both derivatives are 0.
double GAUSS(double x, double p, double h, double& dp, double& dh);
// Lorentzian of FWHM h at p (no cut-off), with its derivatives.
double LORENTZ(double x, double p, double h, double& dp, double& dh);
// Pseudo-Voigt (1-eta)*Gauss + eta*Lorentz with its derivatives by
// position, width and eta.
double PSVOIGT(double x, double p, double eta, double h, double& dp, double& dh, double& deta);

// One pseudo-Voigt component and its derivatives, evaluated in one pass.
struct PvTerms {
    double phi = 0.0;
    double dp = 0.0;
    double dh = 0.0;
    double deta = 0.0;
};

// What depends only on the width and eta, worked out once per cycle so
// that a step costs one exponential and one division per component.
struct PvShape {
    double h = 0.0, eta = 0.0;
    double gauss_reach = -1.0;  // Gaussian zero beyond this |delta|; < 0: none
    double rh = 0.0;            // 1/h
    double c2rh = 0.0;          // C2/h
    double gnorm = 0.0;         // C1/h
    double h2 = 0.0;
};

inline PvShape pv_shape(double h, double eta) {
    PvShape s;
    s.h = h;
    s.eta = eta;
    s.h2 = h * h;
    if (h > 0.0) {
        s.gauss_reach = 6.0 * h;
        s.rh = 1.0 / h;
        s.c2rh = GAUSS_C2 * s.rh;
        s.gnorm = GAUSS_C1 * s.rh;
    }
    return s;
}

inline PvTerms pv_terms(double delta, const PvShape& s) {
    PvTerms t;
    double g = 0.0, gdp = 0.0, gdh = 0.0;
    if ((delta < 0.0 ? -delta : delta) <= s.gauss_reach) {
        const double u = s.c2rh * delta;
        const double u2 = u * u;
        g = s.gnorm * std::exp(-u2);
        gdp = 2.0 * s.c2rh * u * g;
        gdh = (2.0 * u2 - 1.0) * g * s.rh;
    }
    double l = 0.0, ldp = 0.0, ldh = 0.0;
    const double d2 = 4.0 * delta * delta;
    const double den = d2 + s.h2;
    if (den > 0.0) {
        const double rd = 1.0 / den;
        l = LORENTZ_C3 * s.h * rd;
        ldp = 8.0 * delta * l * rd;
        ldh = LORENTZ_C3 * (d2 - s.h2) * rd * rd;
    }
    const double ge = 1.0 - s.eta;
    t.phi = ge * g + s.eta * l;
    t.dp = ge * gdp + s.eta * ldp;
    t.dh = ge * gdh + s.eta * ldh;
    t.deta = l - g;
    return t;
}

inline PvTerms pv_terms(double delta, double h, double eta) { return pv_terms(delta, pv_shape(h, eta)); }

// The doublet of a reflection at 2theta tth: the alpha2 component lies at
// a fixed offset from alpha1 for the whole fit.  A second wavelength below
// 0.1 A means a single line.
struct Doublet {
    bool two_lines = false;
    double rho = 1.0;    // lambda2/lambda1
    double shift = 0.0;  // P2 - P1, degrees
};

Doublet make_doublet(double wave1, double wave2, double mshift, double tth);

// Factor carrying the alpha2 position derivative: rho*cos(P1)/cos(P2).
double alpha2_position_factor(const Doublet& d, double p1);

// Expected counts per step of the six-parameter model (BACKGROUND, FWHM,
// INTENSITY, POSITION, ETA, IRATIO) at x.
double doublet_model(double x, const double* par6, const Doublet& d);

}  // namespace tarnivox
