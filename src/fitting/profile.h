#pragma once
// Unit-area peak shapes of the profile fit and the alpha1/alpha2 doublet
// built from them.  Positions and widths are in degrees of the scan axis.

#include <cmath>

namespace tarnivox {

inline constexpr double GAUSS_C1 = 0.9394373;   // 2*sqrt(ln 2/pi)
inline constexpr double GAUSS_C2 = 1.6651092;   // 2*sqrt(ln 2)
inline constexpr double LORENTZ_C3 = 0.6366197; // 2/pi
inline constexpr double DEG_PER_RAD = 57.29578;

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

inline PvTerms pv_terms(double delta, double h, double eta) {
    PvTerms t;
    double g = 0.0, gdp = 0.0, gdh = 0.0;
    const double adelta = delta < 0.0 ? -delta : delta;
    if (h > 0.0 && adelta <= 6.0 * h) {
        const double rh = 1.0 / h;
        const double u = GAUSS_C2 * delta * rh;
        g = GAUSS_C1 * rh * std::exp(-u * u);
        gdp = 2.0 * GAUSS_C2 * GAUSS_C2 * delta * g * rh * rh;
        gdh = (2.0 * u * u - 1.0) * g * rh;
    }
    double l = 0.0, ldp = 0.0, ldh = 0.0;
    const double d2 = 4.0 * delta * delta;
    const double den = d2 + h * h;
    if (den > 0.0) {
        const double rd = 1.0 / den;
        l = LORENTZ_C3 * h * rd;
        ldp = 8.0 * LORENTZ_C3 * h * delta * rd * rd;
        ldh = LORENTZ_C3 * (d2 - h * h) * rd * rd;
    }
    const double ge = 1.0 - eta;
    t.phi = ge * g + eta * l;
    t.dp = ge * gdp + eta * ldp;
    t.dh = ge * gdh + eta * ldh;
    t.deta = l - g;
    return t;
}

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
