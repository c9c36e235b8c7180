#include "refine/absorption.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace tarnivox {
namespace {

constexpr double PI = std::numbers::pi;
// A changes by less than this fraction of itself between two quadratures.
constexpr double CONVERGED = 1.0E-4;
// Points per dimension of the product rule of each quadrature level.
constexpr int POLY_ORDERS[] = {3, 4, 6, 8, 11, 15};
constexpr int ROUND_ORDERS[] = {4, 6, 8, 12, 16, 24};

double dot(const AbsVec& a, const AbsVec& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
AbsVec cross(const AbsVec& a, const AbsVec& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
AbsVec sub(const AbsVec& a, const AbsVec& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
AbsVec scaled(const AbsVec& a, double f) { return {a[0] * f, a[1] * f, a[2] * f}; }
double norm(const AbsVec& a) { return std::sqrt(dot(a, a)); }

// Gauss-Legendre nodes and weights on [0, 1].
void gauss_legendre(int n, std::vector<double>& x, std::vector<double>& w) {
    x.assign(static_cast<std::size_t>(n), 0.0);
    w.assign(static_cast<std::size_t>(n), 0.0);
    for (int i = 0; i < n; ++i) {
        double z = std::cos(PI * (i + 0.75) / (n + 0.5));
        double dp = 1.0;
        for (int it = 0; it < 100; ++it) {
            double p0 = 1.0, p1 = z;
            for (int k = 2; k <= n; ++k) {
                const double p2 = ((2.0 * k - 1.0) * z * p1 - (k - 1.0) * p0) / k;
                p0 = p1;
                p1 = p2;
            }
            dp = n * (z * p1 - p0) / (z * z - 1.0);
            const double dz = p1 / dp;
            z -= dz;
            if (std::fabs(dz) < 1e-15) break;
        }
        x[static_cast<std::size_t>(i)] = 0.5 * (1.0 - z);
        w[static_cast<std::size_t>(i)] = 1.0 / ((1.0 - z * z) * dp * dp);
    }
}

// Collapsed (Duffy) product rule on the tetrahedron a, b, c, e: the unit
// cube mapped onto it with the Jacobian (1-u)^2 (1-v) times six volumes.
void add_tetrahedron(const AbsVec& a, const AbsVec& b, const AbsVec& c, const AbsVec& e, int n,
                     AbsorptionQuadrature& q) {
    const AbsVec ab = sub(b, a), ac = sub(c, a), ae = sub(e, a);
    const double six_v = std::fabs(dot(ab, cross(ac, ae)));
    if (six_v <= 0.0) return;
    std::vector<double> x, w;
    gauss_legendre(n, x, w);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            for (int k = 0; k < n; ++k) {
                const double u = x[static_cast<std::size_t>(i)], v = x[static_cast<std::size_t>(j)],
                             s = x[static_cast<std::size_t>(k)];
                const double l1 = u, l2 = v * (1.0 - u), l3 = s * (1.0 - u) * (1.0 - v);
                q.points.push_back({a[0] + l1 * ab[0] + l2 * ac[0] + l3 * ae[0],
                                    a[1] + l1 * ab[1] + l2 * ac[1] + l3 * ae[1],
                                    a[2] + l1 * ab[2] + l2 * ac[2] + l3 * ae[2]});
                q.weights.push_back(w[static_cast<std::size_t>(i)] * w[static_cast<std::size_t>(j)] *
                                    w[static_cast<std::size_t>(k)] * (1.0 - u) * (1.0 - u) * (1.0 - v) *
                                    six_v);
            }
}

void normalise(AbsorptionQuadrature& q, double& volume) {
    double sum = 0.0;
    for (double w : q.weights) sum += w;
    volume = sum;
    for (double& w : q.weights) w /= sum;
}

// Solves the three planes i, j, k for their common point.
bool corner(const AbsVec& n1, double d1, const AbsVec& n2, double d2, const AbsVec& n3, double d3,
            AbsVec& v) {
    const AbsVec c23 = cross(n2, n3);
    const double det = dot(n1, c23);
    if (std::fabs(det) < 1e-10) return false;
    const AbsVec c31 = cross(n3, n1), c12 = cross(n1, n2);
    for (int i = 0; i < 3; ++i)
        v[static_cast<std::size_t>(i)] = (d1 * c23[i] + d2 * c31[i] + d3 * c12[i]) / det;
    return true;
}

}  // namespace

ShapeBuild build_polyhedron(const std::vector<CrystalFace>& faces, const std::array<AbsVec, 3>& ub,
                            const std::string& name, int last_face_line) {
    ShapeBuild r;
    AbsorptionShape& s = r.shape;
    s.kind = AbsorptionShape::Kind::Polyhedron;
    const std::string at_last = name + " line " + std::to_string(last_face_line) + ": ";
    if (faces.size() < 4) {
        r.failure = at_last +
                    "the faces do not enclose a finite crystal around the reference point (a crystal "
                    "needs four faces at least)";
        return r;
    }
    double dmax = 0.0;
    for (const CrystalFace& f : faces) {
        AbsVec n{};
        for (int i = 0; i < 3; ++i)
            n[static_cast<std::size_t>(i)] = ub[static_cast<std::size_t>(i)][0] * f.hkl[0] +
                                             ub[static_cast<std::size_t>(i)][1] * f.hkl[1] +
                                             ub[static_cast<std::size_t>(i)][2] * f.hkl[2];
        const double len = norm(n);
        if (!(len > 0.0) || !std::isfinite(len)) {
            r.failure = name + " line " + std::to_string(f.line) +
                        ": the orientation matrix gives this face no direction";
            return r;
        }
        s.normals.push_back(scaled(n, 1.0 / len));
        s.distances.push_back(f.d);
        s.faces.push_back(f);
        dmax = std::max(dmax, f.d);
    }
    // A box far outside closes any open crystal; a corner on the box shows
    // the faces left the crystal open.
    const double box = 1000.0 * dmax;
    std::vector<AbsVec> normals = s.normals;
    std::vector<double> dist = s.distances;
    const std::size_t nf = normals.size();
    for (int a = 0; a < 3; ++a)
        for (double sign : {1.0, -1.0}) {
            AbsVec n{0.0, 0.0, 0.0};
            n[static_cast<std::size_t>(a)] = sign;
            normals.push_back(n);
            dist.push_back(box);
        }
    const double tol = 1e-7 * dmax;
    const std::size_t np = normals.size();
    bool open = false;
    for (std::size_t i = 0; i < np; ++i)
        for (std::size_t j = i + 1; j < np; ++j)
            for (std::size_t k = j + 1; k < np; ++k) {
                AbsVec v{};
                if (!corner(normals[i], dist[i], normals[j], dist[j], normals[k], dist[k], v)) continue;
                bool inside = true;
                for (std::size_t m = 0; m < np && inside; ++m) inside = dot(normals[m], v) <= dist[m] + tol;
                if (!inside) continue;
                if (k >= nf) open = true;
                bool known = false;
                for (const AbsVec& w : s.vertices) known = known || norm(sub(v, w)) < tol;
                if (!known) s.vertices.push_back(v);
            }
    if (open) {
        r.failure = at_last + "the faces do not enclose a finite crystal around the reference point";
        return r;
    }
    // Each face a polygon of the corners on it, fanned into triangles; each
    // triangle with the reference point a tetrahedron.
    std::vector<std::array<AbsVec, 3>> triangles;
    for (std::size_t f = 0; f < nf; ++f) {
        std::vector<AbsVec> on;
        for (const AbsVec& v : s.vertices)
            if (std::fabs(dot(normals[f], v) - dist[f]) < 10.0 * tol) on.push_back(v);
        if (on.size() < 3) {
            r.untouched.push_back(s.faces[f]);
            continue;
        }
        AbsVec c{0.0, 0.0, 0.0};
        for (const AbsVec& v : on) c = {c[0] + v[0], c[1] + v[1], c[2] + v[2]};
        c = scaled(c, 1.0 / static_cast<double>(on.size()));
        AbsVec e1 = sub(on[0], c);
        e1 = scaled(e1, 1.0 / norm(e1));
        const AbsVec e2 = cross(normals[f], e1);
        std::sort(on.begin(), on.end(), [&](const AbsVec& a, const AbsVec& b) {
            return std::atan2(dot(sub(a, c), e2), dot(sub(a, c), e1)) <
                   std::atan2(dot(sub(b, c), e2), dot(sub(b, c), e1));
        });
        for (std::size_t k = 1; k + 1 < on.size(); ++k) triangles.push_back({on[0], on[k], on[k + 1]});
    }
    const AbsVec origin{0.0, 0.0, 0.0};
    for (int order : POLY_ORDERS) {
        AbsorptionQuadrature q;
        for (const auto& t : triangles) add_tetrahedron(origin, t[0], t[1], t[2], order, q);
        normalise(q, s.volume);
        q.to_plane.reserve(q.points.size() * nf);
        for (const AbsVec& p : q.points)
            for (std::size_t i = 0; i < nf; ++i)
                q.to_plane.push_back(std::max(0.0, s.distances[i] - dot(s.normals[i], p)));
        s.levels.push_back(std::move(q));
    }
    r.ok = true;
    return r;
}

namespace {

// The quadrature levels of a round shape: Gauss-Legendre in the two
// coordinates u and v (each on 0..1) and the midpoint rule in the angle
// about the shape's axis, each level twice as many angles as nodes.
// place(u, v, phi, point) gives a node's place and the weight of its
// volume element (without the Gauss weights).
template <class Place>
void round_levels(AbsorptionShape& s, Place place) {
    for (int n : ROUND_ORDERS) {
        AbsorptionQuadrature q;
        std::vector<double> x, w;
        gauss_legendre(n, x, w);
        const int nphi = 2 * n;
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j)
                for (int k = 0; k < nphi; ++k) {
                    AbsVec point;
                    const double jacobian = place(x[static_cast<std::size_t>(i)], x[static_cast<std::size_t>(j)],
                                                  2.0 * PI * (k + 0.5) / nphi, point);
                    q.points.push_back(point);
                    q.weights.push_back(w[static_cast<std::size_t>(i)] * w[static_cast<std::size_t>(j)] * jacobian);
                }
        normalise(q, s.volume);
        s.levels.push_back(std::move(q));
    }
}

}  // namespace

AbsorptionShape sphere_shape(double radius) {
    AbsorptionShape s;
    s.kind = AbsorptionShape::Kind::Sphere;
    s.radius = radius;
    // u the radius, v the cosine of the polar angle (both scaled to 0..1).
    round_levels(s, [&](double u, double v, double ph, AbsVec& point) {
        const double r = radius * u;
        const double ct = 2.0 * v - 1.0;
        const double st = std::sqrt(std::max(0.0, 1.0 - ct * ct));
        point = {r * st * std::cos(ph), r * st * std::sin(ph), r * ct};
        return r * r;
    });
    s.volume = 4.0 / 3.0 * PI * radius * radius * radius;
    return s;
}

AbsorptionShape cylinder_shape(double radius, double length) {
    AbsorptionShape s;
    s.kind = AbsorptionShape::Kind::Cylinder;
    s.radius = radius;
    s.length = length;
    // u the distance from the axis, v the place along it.
    round_levels(s, [&](double u, double v, double ph, AbsVec& point) {
        const double rho = radius * u;
        point = {rho * std::cos(ph), rho * std::sin(ph), length * (v - 0.5)};
        return rho;
    });
    s.volume = PI * radius * radius * length;
    return s;
}

Beams beams_at_setting(const std::array<double, 4>& angles, const std::array<int, 3>& parity) {
    const double rad = PI / 180.0;
    const double th = angles[0] / 2.0 * rad;
    const double so = parity[0] * std::sin(angles[1] * rad), co = std::cos(angles[1] * rad);
    const double sc = parity[1] * std::sin(angles[2] * rad), cc = std::cos(angles[2] * rad);
    const double sp = parity[2] * std::sin(angles[3] * rad), cp = std::cos(angles[3] * rad);
    // Laboratory vectors into the phi-axis frame: the transposes of the
    // omega, chi and phi rotations, in that order.
    const auto to_phi_frame = [&](AbsVec v) {
        v = {co * v[0] - so * v[1], so * v[0] + co * v[1], v[2]};
        v = {cc * v[0] - sc * v[2], v[1], sc * v[0] + cc * v[2]};
        return AbsVec{cp * v[0] - sp * v[1], sp * v[0] + cp * v[1], v[2]};
    };
    Beams b;
    b.in_reversed = to_phi_frame({std::sin(th), -std::cos(th), 0.0});
    b.out = to_phi_frame({std::sin(th), std::cos(th), 0.0});
    return b;
}

double path_to_surface(const AbsorptionShape& s, const AbsVec& p, const AbsVec& u) {
    switch (s.kind) {
        case AbsorptionShape::Kind::Sphere: {
            const double b = dot(p, u);
            return std::max(0.0, -b + std::sqrt(std::max(0.0, b * b + s.radius * s.radius - dot(p, p))));
        }
        case AbsorptionShape::Kind::Cylinder: {
            double t = std::numeric_limits<double>::infinity();
            const double a = u[0] * u[0] + u[1] * u[1];
            if (a > 1e-14) {
                const double b = p[0] * u[0] + p[1] * u[1];
                const double c = p[0] * p[0] + p[1] * p[1] - s.radius * s.radius;
                t = (-b + std::sqrt(std::max(0.0, b * b - a * c))) / a;
            }
            if (u[2] > 1e-14) t = std::min(t, (0.5 * s.length - p[2]) / u[2]);
            if (u[2] < -1e-14) t = std::min(t, (-0.5 * s.length - p[2]) / u[2]);
            return std::max(0.0, t);
        }
        case AbsorptionShape::Kind::Polyhedron: break;
    }
    double t = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < s.normals.size(); ++i) {
        const double nu = dot(s.normals[i], u);
        if (nu > 1e-14) t = std::min(t, std::max(0.0, s.distances[i] - dot(s.normals[i], p)) / nu);
    }
    return t;
}

namespace {

double level_transmission(const AbsorptionShape& s, const AbsorptionQuadrature& q, double mu,
                          const Beams& b) {
    double sum = 0.0;
    if (s.kind != AbsorptionShape::Kind::Polyhedron) {
        for (std::size_t p = 0; p < q.points.size(); ++p)
            sum += q.weights[p] * std::exp(-mu * (path_to_surface(s, q.points[p], b.in_reversed) +
                                                  path_to_surface(s, q.points[p], b.out)));
        return sum;
    }
    // The faces each beam leaves through, with the reciprocal of the
    // cosine: the path to a plane is the point's distance from it over that.
    const std::size_t nf = s.normals.size();
    std::vector<std::size_t> in_faces, out_faces;
    std::vector<double> in_inv, out_inv;
    for (std::size_t i = 0; i < nf; ++i) {
        const double a = dot(s.normals[i], b.in_reversed), c = dot(s.normals[i], b.out);
        if (a > 1e-14) in_faces.push_back(i), in_inv.push_back(1.0 / a);
        if (c > 1e-14) out_faces.push_back(i), out_inv.push_back(1.0 / c);
    }
    const double inf = std::numeric_limits<double>::infinity();
    for (std::size_t p = 0; p < q.points.size(); ++p) {
        const double* r = &q.to_plane[p * nf];
        double tin = inf, tout = inf;
        for (std::size_t k = 0; k < in_faces.size(); ++k) tin = std::min(tin, r[in_faces[k]] * in_inv[k]);
        for (std::size_t k = 0; k < out_faces.size(); ++k)
            tout = std::min(tout, r[out_faces[k]] * out_inv[k]);
        sum += q.weights[p] * std::exp(-mu * (tin + tout));
    }
    return sum;
}

}  // namespace

double transmission(const AbsorptionShape& s, double mu, const Beams& beams) {
    if (!(mu > 0.0) || s.levels.empty()) return 1.0;
    double a = level_transmission(s, s.levels[0], mu, beams);
    for (std::size_t l = 1; l < s.levels.size(); ++l) {
        const double next = level_transmission(s, s.levels[l], mu, beams);
        const bool done = std::fabs(next - a) < CONVERGED * next;
        a = next;
        if (done) break;
    }
    return a;
}

}  // namespace tarnivox
