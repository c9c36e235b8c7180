#include "sim_absorption.h"

#include <cmath>
#include <fstream>
#include <limits>
#include <random>
#include <stdexcept>

namespace tarnivox::sim {
namespace {

using V = std::array<double, 3>;

V unit(const V& v) {
    const double n = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    return {v[0] / n, v[1] / n, v[2] / n};
}
double dotp(const V& a, const V& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
V crossp(const V& a, const V& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

// Distance from p to the surface along u; infinite when nothing stops it.
double exit_path(const AbsorbingCrystal& c, const V& p, const V& u) {
    double t = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < c.normals.size(); ++i) {
        const double nu = dotp(c.normals[i], u);
        if (nu > 0.0) t = std::min(t, (c.distances[i] - dotp(c.normals[i], p)) / nu);
    }
    return t;
}

}  // namespace

AbsorbingCrystal make_absorbing_crystal(const std::vector<SimFace>& faces, double mu, const double ub[3][3],
                                        int npoints, std::uint64_t seed) {
    AbsorbingCrystal c;
    c.mu = mu;
    for (const SimFace& f : faces) {
        V n{};
        for (int i = 0; i < 3; ++i)
            n[static_cast<std::size_t>(i)] = ub[i][0] * f.hkl[0] + ub[i][1] * f.hkl[1] + ub[i][2] * f.hkl[2];
        c.normals.push_back(unit(n));
        c.distances.push_back(f.d);
    }
    // The reach of the crystal from its centre: the longest ray of many
    // random directions, with room to spare for the corners between them.
    std::mt19937_64 rng(seed * 7919 + 17);
    std::normal_distribution<double> g(0.0, 1.0);
    double reach = 0.0;
    for (int k = 0; k < 20000; ++k) {
        const V u = unit({g(rng), g(rng), g(rng)});
        reach = std::max(reach, exit_path(c, {0.0, 0.0, 0.0}, u));
    }
    if (!std::isfinite(reach)) throw std::invalid_argument("the faces do not enclose a crystal");
    reach *= 1.5;
    std::uniform_real_distribution<double> box(-reach, reach);
    c.points.reserve(static_cast<std::size_t>(npoints));
    while (static_cast<int>(c.points.size()) < npoints) {
        const V p{box(rng), box(rng), box(rng)};
        bool inside = true;
        for (std::size_t i = 0; i < c.normals.size() && inside; ++i)
            inside = dotp(c.normals[i], p) < c.distances[i];
        if (inside) c.points.push_back(p);
    }
    return c;
}

double monte_carlo_transmission(const AbsorbingCrystal& c, const double ub[3][3],
                                const std::array<int, 3>& hkl, const std::array<double, 4>& angles,
                                double wave) {
    constexpr double R = 3.14159265358979323846 / 180.0;
    V h{};
    for (int i = 0; i < 3; ++i)
        h[static_cast<std::size_t>(i)] = ub[i][0] * hkl[0] + ub[i][1] * hkl[1] + ub[i][2] * hkl[2];
    const double q = std::sqrt(dotp(h, h));
    const double sin_theta = std::min(1.0, q * wave / 2.0);
    const double cos_theta = std::sqrt(1.0 - sin_theta * sin_theta);
    const V hu = unit(h);
    // The omega axis seen from the crystal: the chi circle tilts it, phi turns it.
    const double chi = angles[2] * R, phi = angles[3] * R;
    const V axis0{-std::cos(phi) * std::sin(chi), -std::sin(phi) * std::sin(chi), std::cos(chi)};
    const V across = unit(crossp(axis0, hu));  // in the diffraction plane, perpendicular to h
    // A reflection diffracts with the beams symmetric about its diffraction
    // vector, in the plane normal to the omega axis, whatever omega reads.
    const V back{sin_theta * hu[0] - cos_theta * across[0], sin_theta * hu[1] - cos_theta * across[1],
                 sin_theta * hu[2] - cos_theta * across[2]};
    const V out{sin_theta * hu[0] + cos_theta * across[0], sin_theta * hu[1] + cos_theta * across[1],
                sin_theta * hu[2] + cos_theta * across[2]};
    if (c.mu <= 0.0 || c.points.empty()) return 1.0;
    double sum = 0.0;
    for (const V& p : c.points) sum += std::exp(-c.mu * (exit_path(c, p, back) + exit_path(c, p, out)));
    return sum / static_cast<double>(c.points.size());
}

void write_crystal_file(const std::vector<SimFace>& faces, double mu, const std::string& path) {
    std::ofstream out(path);
    out << "# crystal of the simulated data set: faces (h k l, distance in mm) and mu (mm^-1)\n";
    for (const SimFace& f : faces)
        out << "FACE " << f.hkl[0] << ' ' << f.hkl[1] << ' ' << f.hkl[2] << ' ' << f.d << '\n';
    out << "MU " << mu << '\n';
}

}  // namespace tarnivox::sim
