#pragma once
// Numerical absorption correction: the transmission
//     A = (1/V) integral over the crystal of exp(-mu (t_in + t_out)) dV
// of a crystal bounded by indexed faces (a convex polyhedron), or of a
// sphere or a cylinder, for the incident and diffracted beams of one
// reflection.  t_in is the path of the incident beam from the crystal's
// surface to the volume element, t_out that of the diffracted beam from
// the element to the surface.  Everything is in the phi-axis frame, where
// a face h k l has the normal UB (h k l) and the beams follow from the
// setting angles.  The integral is a Gaussian quadrature (the polyhedron
// cut into tetrahedra from its reference point, each with a collapsed
// product rule), taken with more points until A changes by less than
// 1.0E-4 of itself.  The quadrature points depend only on the crystal, so
// they are laid once and serve every reflection.

#include <array>
#include <string>
#include <vector>

#include "refine/absorption_crystal.h"

namespace tarnivox {

using AbsVec = std::array<double, 3>;

// One quadrature of the crystal: points with weights summing to 1 (so that
// the weighted sum of exp(-mu (t_in + t_out)) is A), and for a polyhedron
// each point's distance to every face plane along that plane's normal.
struct AbsorptionQuadrature {
    std::vector<AbsVec> points;
    std::vector<double> weights;
    std::vector<double> to_plane;  // point p, plane i: to_plane[p * nplanes + i]
};

struct AbsorptionShape {
    enum class Kind { Polyhedron, Sphere, Cylinder };
    Kind kind = Kind::Polyhedron;
    // Polyhedron: the face planes n.x = d (n unit, phi-axis frame, d mm),
    // the face each came from, and the corners.
    std::vector<AbsVec> normals;
    std::vector<double> distances;
    std::vector<CrystalFace> faces;
    std::vector<AbsVec> vertices;
    double radius = 0.0, length = 0.0;  // sphere, cylinder (axis along phi's axis)
    double volume = 0.0;                // mm^3
    // Ever finer quadratures; the refinement stops at the first that agrees
    // with the one before it.
    std::vector<AbsorptionQuadrature> levels;
};

struct ShapeBuild {
    bool ok = false;
    std::string failure;  // names the line of the crystal file at fault
    AbsorptionShape shape;
    std::vector<CrystalFace> untouched;  // faces that do not reach the crystal
};

// The polyhedron of the faces with the orientation matrix ub (row i,
// column j; h_phi = UB (h k l)).  Fails, naming the line, when the faces do
// not close around the reference point.
ShapeBuild build_polyhedron(const std::vector<CrystalFace>& faces, const std::array<AbsVec, 3>& ub,
                            const std::string& name, int last_face_line);
AbsorptionShape sphere_shape(double radius);
AbsorptionShape cylinder_shape(double radius, double length);

// The reversed incident beam (from the crystal towards the source) and the
// diffracted beam, unit vectors in the phi-axis frame, at the setting
// angles 2theta, omega (from the bisecting position), chi, phi in degrees;
// parity: the senses of the omega, chi and phi circles (+1 or -1).
struct Beams {
    AbsVec in_reversed{};
    AbsVec out{};
};
Beams beams_at_setting(const std::array<double, 4>& angles, const std::array<int, 3>& parity);

// Path from the point p to the surface along the unit direction u (mm).
double path_to_surface(const AbsorptionShape& s, const AbsVec& p, const AbsVec& u);

// A for mu (mm^-1) and the beams; 1 when mu is 0.
double transmission(const AbsorptionShape& s, double mu, const Beams& beams);

}  // namespace tarnivox
