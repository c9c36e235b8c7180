#include "refine/geometry.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "refine/linear_algebra.h"

namespace tarnivox {

namespace {

// Bisecting-position angles of a diffraction vector at wavelength wave;
// false (angles all 0) when the vector has no length or lies beyond the
// limiting sphere.
bool bisecting_angles(const Vec3& H, double wave, Angles& ANG) {
    const double q = std::sqrt(H(1) * H(1) + H(2) * H(2) + H(3) * H(3));
    const double s = q * wave * 0.5;
    if (q <= 1.0e-6 || s > 1.0) {
        ANG.fill(0.0);
        return false;
    }
    ANG(1) = 2.0 * std::asin(s) * RAD;
    ANG(2) = 0.0;
    ANG(3) = std::atan2(H(3), std::sqrt(H(1) * H(1) + H(2) * H(2))) * RAD;
    ANG(4) = std::atan2(H(2), H(1)) * RAD;
    return true;
}

// The inverse of UB as HCALC uses it.  After a singular UB the inverse of
// the previous call stays in use.  With the cache on, the error box of a
// singular UB is shown once for that UB rather than on each of the hundreds
// of calls a CALOMEGA search makes.
struct UbInverse {
    bool cache = true;
    bool valid = false;  // `ub` holds the UB that `inv` belongs to
    Mat3 ub;
    Mat3 inv;
};
UbInverse& ub_inverse_state() {
    static UbInverse s;
    return s;
}
[[maybe_unused]] const bool ub_inverse_reset_registered =
    (register_outside_state_reset([] { ub_inverse_state() = UbInverse{}; }), true);

const Mat3& ub_inverse() {
    UbInverse& s = ub_inverse_state();
    // Bitwise comparison: the cached inverse is the one MINV gives for
    // exactly this UB, so the results cannot differ from inverting afresh.
    const bool same = s.valid && std::memcmp(s.ub.v.data(), G.UB.v.data(), sizeof(s.ub.v)) == 0;
    if (s.cache && same) return s.inv;
    double det = 0.0;
    MINV(G.UB, s.inv, det);  // a zero row: error box, the previous inverse stays
    s.ub = G.UB;
    s.valid = true;
    return s.inv;
}

}  // namespace

double acos_deg(double c, double deg_per_rad) { return std::acos(std::clamp(c, -1.0, 1.0)) * deg_per_rad; }

double angle_from_dot(double dot, double len1, double len2, double deg_per_rad) {
    const double p = len1 * len2;
    if (!(p > 0.0)) return 90.0;
    return acos_deg(dot / p, deg_per_rad);
}

Angles table_angles(const AngTable& ANG, int n) {
    Angles a;
    for (int j = 1; j <= 4; ++j) a(j) = ANG(n, j);
    return a;
}

Indices table_indices(const IhTable& IH, int n) {
    Indices h;
    for (int j = 1; j <= 3; ++j) h(j) = IH(n, j);
    return h;
}

void set_ub_inverse_cache(bool on) {
    ub_inverse_state().cache = on;
    ub_inverse_state().valid = false;
}

void CALCH(const Angles& ANG, Vec3& H) {
    const double w = ANG(2) / RAD;
    const double c = ANG(3) / RAD;
    const double p = ANG(4) / RAD;
    const double so = G.PARITY(2) * std::sin(w);
    const double sc = G.PARITY(3) * std::sin(c);
    const double sp = G.PARITY(4) * std::sin(p);
    const double co = std::cos(w);
    const double cc = std::cos(c);
    const double cp = std::cos(p);
    const double f = 2.0 * std::sin(0.5 * ANG(1) / RAD) / G.WAVE1;
    H(1) = (co * cc * cp - so * sp) * f;
    H(2) = (so * cp + co * cc * sp) * f;
    H(3) = (co * sc) * f;
}

void CALCA(const Vec3& H, Angles& ANG, int& IERR) { IERR = bisecting_angles(H, G.WAVE1, ANG) ? 0 : 1; }

void IH_TO_EULER(const Indices& IH, Angles& ANG) {
    Vec3 h;
    for (int i = 1; i <= 3; ++i) h(i) = G.UB(i, 1) * IH(1) + G.UB(i, 2) * IH(2) + G.UB(i, 3) * IH(3);
    bisecting_angles(h, EULER_WAVE, ANG);
}

void HCALC(const Angles& ANG, Vec3& HC) {
    const Mat3& inv = ub_inverse();
    Vec3 h;
    CALCH(ANG, h);
    for (int i = 1; i <= 3; ++i) HC(i) = inv(i, 1) * h(1) + inv(i, 2) * h(2) + inv(i, 3) * h(3);
}

double GETDEL(const Angles& ANG, const Indices& IH) {
    Vec3 hc;
    HCALC(ANG, hc);
    return std::fabs(hc(1) - IH(1)) + std::fabs(hc(2) - IH(2)) + std::fabs(hc(3) - IH(3));
}

void CALOMEGA(const Angles& ANG, const Indices& IH, double& OMEGA) {
    Angles a = ANG;
    double best = 1000.0;
    const double centre = ANG(2);
    // Coarse pass over +-1 degree in 0.02 degree steps.
    for (int k = 1; k <= 100; ++k) {
        a(2) = centre - 1.0 + 0.02 * k;
        const double d = GETDEL(a, IH);
        if (d < best) {
            best = d;
            OMEGA = a(2);
        }
    }
    // Fine pass in 0.0002 degree steps around the coarse minimum.
    double omega = OMEGA - 0.02;
    const double end = OMEGA + 0.02;
    do {
        omega += 0.0002;
        a(2) = omega;
        const double d = GETDEL(a, IH);
        if (d < best) {
            best = d;
            OMEGA = omega;
        }
    } while (omega < end);
}

double TWOTHETA(const Indices& IH) {
    const double as = G.RCELL(1), bs = G.RCELL(2), cs = G.RCELL(3);
    const double h = IH(1), k = IH(2), l = IH(3);
    const double q2 = h * h * as * as + k * k * bs * bs + l * l * cs * cs +
                      2.0 * h * k * as * bs * std::cos(G.RCELL(6) / RAD) +
                      2.0 * h * l * as * cs * std::cos(G.RCELL(5) / RAD) +
                      2.0 * k * l * bs * cs * std::cos(G.RCELL(4) / RAD);
    // 0, 0, 0 (or an empty reciprocal cell) has no Bragg angle.
    if (!(q2 > 0.0)) return 0.0;
    const double s = std::sqrt(q2) * G.WAVE1 / 2.0;
    if (std::fabs(s) > 1.0) return 180.0;
    return 2.0 * std::asin(s) * RAD;
}

void RECIP_CELL() {
    Mat3 gs;
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) {
            G.UBT(i, j) = G.UB(j, i);
            double s = 0.0;
            for (int k = 1; k <= 3; ++k) s += G.UB(k, i) * G.UB(k, j);
            gs(i, j) = s;
        }
    for (int i = 1; i <= 3; ++i) G.RCELL(i) = std::sqrt(gs(i, i));
    G.RCELL(4) = angle_from_dot(gs(2, 3), G.RCELL(2), G.RCELL(3), RAD);
    G.RCELL(5) = angle_from_dot(gs(1, 3), G.RCELL(1), G.RCELL(3), RAD);
    G.RCELL(6) = angle_from_dot(gs(1, 2), G.RCELL(1), G.RCELL(2), RAD);
}

}  // namespace tarnivox
