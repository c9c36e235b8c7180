#include "geometry_builder.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace tarnivox::testdata {

namespace {

// Radians per degree as the program converts its angles (57.2958 degrees per
// radian), so that exact data are exact for the program's routines.
constexpr double DEG = 1.0 / 57.2958;
constexpr double OFF_DEG = std::numbers::pi / 180.0;
// Cell angles are the crystal's: a right angle is exactly a right angle.
constexpr double CELL_DEG = std::numbers::pi / 180.0;

Mat multiply(const Mat& a, const Mat& b) {
    Mat c;
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j)
            for (int k = 1; k <= 3; ++k) c(i, j) += a(i, k) * b(k, j);
    return c;
}

}  // namespace

double cell_volume(const Cell& c) {
    const double ca = std::cos(c[3] * CELL_DEG), cb = std::cos(c[4] * CELL_DEG),
                 cg = std::cos(c[5] * CELL_DEG);
    return c[0] * c[1] * c[2] * std::sqrt(1.0 - ca * ca - cb * cb - cg * cg + 2.0 * ca * cb * cg);
}

Mat b_matrix(const Cell& c) {
    const double ca = std::cos(c[3] * CELL_DEG), cb = std::cos(c[4] * CELL_DEG),
                 cg = std::cos(c[5] * CELL_DEG);
    const double sa = std::sin(c[3] * CELL_DEG), sb = std::sin(c[4] * CELL_DEG),
                 sg = std::sin(c[5] * CELL_DEG);
    const double v = cell_volume(c);
    const double as = c[1] * c[2] * sa / v, bs = c[0] * c[2] * sb / v, cs = c[0] * c[1] * sg / v;
    const double cbs = (ca * cg - cb) / (sa * sg);
    const double cgs = (ca * cb - cg) / (sa * sb);
    const double sgs = std::sqrt(1.0 - cgs * cgs);
    const double sbs = std::sqrt(1.0 - cbs * cbs);
    Mat b;
    b(1, 1) = as;
    b(1, 2) = bs * cgs;
    b(1, 3) = cs * cbs;
    b(2, 2) = bs * sgs;
    b(2, 3) = -cs * sbs * ca;
    b(3, 3) = 1.0 / c[2];
    return b;
}

Mat rotation(double rx, double ry, double rz) {
    const double x = rx * DEG, y = ry * DEG, z = rz * DEG;
    Mat mx, my, mz;
    mx(1, 1) = 1.0;
    mx(2, 2) = std::cos(x), mx(2, 3) = -std::sin(x), mx(3, 2) = std::sin(x), mx(3, 3) = std::cos(x);
    my(2, 2) = 1.0;
    my(1, 1) = std::cos(y), my(1, 3) = std::sin(y), my(3, 1) = -std::sin(y), my(3, 3) = std::cos(y);
    mz(3, 3) = 1.0;
    mz(1, 1) = std::cos(z), mz(1, 2) = -std::sin(z), mz(2, 1) = std::sin(z), mz(2, 2) = std::cos(z);
    return multiply(mz, multiply(my, mx));
}

Mat ub_matrix(const Cell& cell, double rx, double ry, double rz) {
    return multiply(rotation(rx, ry, rz), b_matrix(cell));
}

bool setting_angles(const Mat& ub, int h, int k, int l, double wave, double omega,
                    const std::array<int, 4>& parity, Arr1<double, 4>& ang) {
    double v[3];
    for (int i = 1; i <= 3; ++i) v[i - 1] = ub(i, 1) * h + ub(i, 2) * k + ub(i, 3) * l;
    const double q = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    const double s = q * wave / 2.0;
    if (q < 1e-9 || s >= 1.0) return false;
    // h_phi = q (cos w cos c cos p - sin w sin p, sin w cos p + cos w cos c sin p, cos w sin c)
    // for parity +1; take the branch with cos chi >= 0.
    const double u1 = v[0] / q, u2 = v[1] / q, u3 = v[2] / q;
    const double w = omega * DEG;
    const double sc = u3 / std::cos(w);
    if (std::fabs(sc) > 1.0) return false;
    const double c = std::asin(sc);
    const double x = std::cos(w) * std::cos(c), y = std::sin(w);
    const double p = std::atan2(u2, u1) - std::atan2(y, x);
    ang(1) = 2.0 * std::asin(s) / DEG;
    ang(2) = parity[1] * omega;
    ang(3) = parity[2] * c / DEG;
    ang(4) = parity[3] * std::remainder(p / DEG, 360.0);
    return true;
}

// The crystal-offset model converts with the exact 180/pi.
double offset_shift(const Arr1<double, 4>& ang, const std::array<double, 3>& off, double goncon1) {
    const double w = ang(2) * OFF_DEG, c = ang(3) * OFF_DEG, p = ang(4) * OFF_DEG;
    const double so = std::sin(w), co = std::cos(w), sc = std::sin(c), cc = std::cos(c);
    const double sp = std::sin(p), cp = std::cos(p);
    const double v1 =
        (co * cc * cp - so * sp) * off[0] + (co * cc * sp + so * cp) * off[1] + co * sc * off[2];
    const double v2 =
        (-so * cc * cp - co * sp) * off[0] + (-so * cc * sp + co * cp) * off[1] - so * sc * off[2];
    const double th = ang(1) / 2.0 * OFF_DEG;
    return (v1 * std::cos(th) + v2 * std::sin(th)) / goncon1 / OFF_DEG;
}

int make_reflections(const GeometryOptions& opt, int n, ReflectionSet& out) {
    const Mat ub = ub_matrix(opt.cell, opt.rx, opt.ry, opt.rz);
    const double smax = std::sin(opt.max_tth / 2.0 * DEG);
    std::vector<std::array<int, 3>> all;
    const int hm =
        static_cast<int>(2.0 * smax / opt.wave * std::max({opt.cell[0], opt.cell[1], opt.cell[2]}) * 1.5) + 1;
    for (int h = -hm; h <= hm; ++h)
        for (int k = -hm; k <= hm; ++k)
            for (int l = -hm; l <= hm; ++l) {
                if (h == 0 && k == 0 && l == 0) continue;
                double q2 = 0.0;
                for (int i = 1; i <= 3; ++i) {
                    const double x = ub(i, 1) * h + ub(i, 2) * k + ub(i, 3) * l;
                    q2 += x * x;
                }
                if (std::sqrt(q2) * opt.wave / 2.0 <= smax) all.push_back({h, k, l});
            }
    std::mt19937 rng(opt.seed);
    std::shuffle(all.begin(), all.end(), rng);
    std::uniform_real_distribution<double> omdist(-opt.omega_range, opt.omega_range);
    std::normal_distribution<double> noise(0.0, opt.noise > 0.0 ? opt.noise : 1.0);
    n = std::min(n, MAXREFLIST);
    int m = 0;
    for (const auto& hkl : all) {
        for (int set = 1; set <= std::max(opt.settings, 1); ++set) {
            if (m >= n) break;
            Arr1<double, 4> a;
            double om = opt.omega_range > 0.0 ? omdist(rng) : 0.0;
            if (opt.settings > 1)
                om = -opt.omega_range + 2.0 * opt.omega_range * (set - 1) / (opt.settings - 1);
            if (!setting_angles(ub, hkl[0], hkl[1], hkl[2], opt.wave, om, opt.parity, a)) continue;
            ++m;
            out.true_omega(m) = a(2);
            a(2) += opt.omzero + offset_shift(a, opt.xtaloff, opt.goncon1);
            if (opt.noise > 0.0)
                for (int j = 1; j <= 4; ++j) a(j) += noise(rng);
            for (int j = 1; j <= 4; ++j) out.ang(m, j) = a(j);
            for (int j = 1; j <= 3; ++j) out.ih(m, j) = hkl[j - 1];
        }
    }
    out.n = m;
    return m;
}

void set_instrument(const GeometryOptions& opt) {
    G.WAVE1 = opt.wave;
    for (int i = 1; i <= 4; ++i) G.PARITY(i) = opt.parity[i - 1];
    G.GONCON1 = opt.goncon1;
    G.UB = ub_matrix(opt.cell, opt.rx, opt.ry, opt.rz);
    G.UBFLAG = 1;
}

void load_refinement_list(const ReflectionSet& set) {
    G.NUBREF = set.n;
    for (int n = 1; n <= set.n; ++n) {
        G.TTHREF(n) = set.ang(n, 1);
        G.OMREF(n) = set.ang(n, 2);
        G.CHIREF(n) = set.ang(n, 3);
        G.PHIREF(n) = set.ang(n, 4);
        for (int j = 1; j <= 3; ++j) G.IHREF(n, j) = set.ih(n, j);
    }
}

ReflectionSet measured_reflections(const GeometryOptions& opt, int n) {
    set_instrument(opt);
    ReflectionSet set;
    make_reflections(opt, n, set);
    return set;
}

ReflectionSet loaded_refinement_list(const GeometryOptions& opt, int n) {
    ReflectionSet set = measured_reflections(opt, n);
    load_refinement_list(set);
    return set;
}

}  // namespace tarnivox::testdata
