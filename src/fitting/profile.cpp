#include "fitting/profile.h"

#include <algorithm>
#include <cmath>

#include "core/angles.h"

namespace tarnivox {

double GAUSS(double x, double p, double h, double& dp, double& dh) {
    const double delta = x - p;
    dp = 0.0;
    dh = 0.0;
    if (!(h > 0.0) || std::fabs(delta) > 6.0 * h) return 0.0;
    const double u = GAUSS_C2 * delta / h;
    const double g = GAUSS_C1 / h * std::exp(-u * u);
    dp = 2.0 * GAUSS_C2 * GAUSS_C2 * delta * g / (h * h);
    dh = (2.0 * u * u - 1.0) * g / h;
    return g;
}

double LORENTZ(double x, double p, double h, double& dp, double& dh) {
    const double delta = x - p;
    const double d = 4.0 * delta * delta + h * h;
    dp = 0.0;
    dh = 0.0;
    if (!(d > 0.0)) return 0.0;  // zero width at the centre: no finite peak
    dp = 8.0 * LORENTZ_C3 * h * delta / (d * d);
    dh = LORENTZ_C3 * (4.0 * delta * delta - h * h) / (d * d);
    return LORENTZ_C3 * h / d;
}

double PSVOIGT(double x, double p, double eta, double h, double& dp, double& dh, double& deta) {
    const PvTerms t = pv_terms(x - p, h, eta);
    dp = t.dp;
    dh = t.dh;
    deta = t.deta;
    return t.phi;
}

Doublet make_doublet(double wave1, double wave2, double mshift, double tth) {
    Doublet d;
    if (wave2 < 0.1 || !(wave1 > 0.0)) return d;
    d.two_lines = true;
    d.rho = wave2 / wave1;
    const double half = tth / 2.0;
    // Near 2theta = 180 the alpha2 reflection no longer exists; keep the
    // argument of asin on the sphere so the shift stays finite.
    const double s = std::clamp(d.rho * std::sin(half / DEGRAD), -1.0, 1.0);
    d.shift = std::asin(s) * DEGRAD - half + mshift;
    return d;
}

double alpha2_position_factor(const Doublet& d, double p1) {
    const double c2 = std::cos((p1 + d.shift) / DEGRAD);
    if (std::fabs(c2) < 1.0e-12) return d.rho;
    return d.rho * std::cos(p1 / DEGRAD) / c2;
}

double doublet_model(double x, const double* par6, const Doublet& d) {
    double y = pv_terms(x - par6[3], par6[1], par6[4]).phi;
    if (d.two_lines) y += par6[5] * pv_terms(x - par6[3] - d.shift, par6[1], par6[4]).phi;
    return par6[0] + par6[2] * y;
}

}  // namespace tarnivox
