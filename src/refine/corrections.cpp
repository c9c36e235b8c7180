#include "refine/corrections.h"

#include <cmath>

#include "core/angles.h"
#include "core/store.h"

namespace tarnivox {

double CLORENZ(double tth) {
    const double t = tth * RAD_PER_DEG;
    if (G.IMONO == 1) {
        const double cm = std::cos(G.MONO2TH * RAD_PER_DEG);
        const double sr = std::sin(G.MONOANG * RAD_PER_DEG);
        const double c = cm * cm;
        const double s = sr * sr;
        const double q = 1.0 - s;
        const double a = c * q + s;
        const double b = s * c;
        const double c2t = std::cos(t);
        return (1.0 + c) * std::fabs(std::sin(t)) / (a * c2t * c2t + b + q);
    }
    const double x = std::fabs(std::sin(t / 2.0));
    const double y = std::sqrt(std::fmax(0.0, 1.0 - x * x));
    const double xy = x * y;
    return 2.0 * xy / (1.0 - 2.0 * xy * xy);
}

void WRAP(double& angle) {
    if (!std::isfinite(angle)) return;
    // By remainder: on a huge angle adding 360 changes nothing, and a loop
    // of additions would never end.  fmod is exact, so ordinary angles come
    // out as the additions gave them.
    angle = std::fmod(angle, 360.0);
    if (angle <= -180.0) angle += 360.0;
    if (angle > 180.0) angle -= 360.0;
}

void CALC_DIRNCOSINES(const Arr1<double, 4>& ang, Arr1<double, 6>& dc) {
    const double half = ang(1) / 2.0;
    const double a = (half + ang(2)) * RAD_PER_DEG;
    const double b = (half - ang(2)) * RAD_PER_DEG;
    const double chi = ang(3) * RAD_PER_DEG;
    const double phi = ang(4) * RAD_PER_DEG;
    const double sa = std::sin(a), ca = std::cos(a), sb = std::sin(b), cb = std::cos(b);
    const double sc = std::sin(chi), cc = std::cos(chi), sp = std::sin(phi), cp = std::cos(phi);
    dc(1) = ca * sp + sa * cc * cp;
    dc(2) = sa * cc * sp - ca * cp;
    dc(3) = sa * sc;
    dc(4) = sb * cc * cp - cb * sp;
    dc(5) = cb * cp + sb * cc * sp;
    dc(6) = sb * sc;
}

void DC_TOSHELX(const Arr1<double, 6>& dc, Arr1<double, 6>& dcs) {
    for (int i = 1; i <= 3; ++i) {
        double u = 0.0;
        double v = 0.0;
        for (int j = 1; j <= 3; ++j) {
            u += G.UBT(i, j) * dc(j);
            v += G.UBT(i, j) * dc(j + 3);
        }
        dcs(2 * i - 1) = u / std::fabs(G.RCELL(i));
        dcs(2 * i) = v / std::fabs(G.RCELL(i));
    }
}

}  // namespace tarnivox
