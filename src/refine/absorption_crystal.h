#pragma once
// The crystal description of the absorption correction: the faces that
// bound the crystal (Miller indices and the perpendicular distance of each
// from a point inside it), or a sphere or cylinder, and the linear
// absorption coefficient given directly or as a formula with Z.
//
// The text of a crystal file, one keyword a line ('#' starts a comment):
//   FACE h k l d        a face; d in mm from the crystal's reference point
//   MU value            linear absorption coefficient, mm^-1
//   FORMULA "C12 H10 N2 O S"   with   Z n   (formula units in the cell)
//   SPHERE r            a sphere of radius r mm instead of faces
//   CYLINDER r length   a cylinder along the phi axis, radius and length in mm

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace tarnivox {

struct CrystalFace {
    std::array<int, 3> hkl{};
    double d = 0.0;  // mm
    int line = 0;    // line of the crystal file (0: not from a file)
};

struct CrystalDescription {
    std::vector<CrystalFace> faces;
    std::optional<double> mu;  // mm^-1
    std::string formula;       // as given, without quotes
    std::optional<double> z;   // formula units in the cell
    std::optional<double> sphere_radius;
    std::optional<std::array<double, 2>> cylinder;  // radius, length (mm)
    int last_face_line = 0;
};

struct CrystalParse {
    bool ok = false;
    std::string failure;  // "NAME line N: why", when not ok
    CrystalDescription crystal;
};

// Reads the text of a crystal file; `name` is how messages call it.  Every
// line that is not understood, a face listed twice, a distance or radius
// that is not positive, or MU and FORMULA both given is a failure naming
// its line.  Whether the faces enclose a crystal is tested when the shape
// is built (it needs the orientation).
CrystalParse parse_crystal_text(const std::string& text, const std::string& name);

}  // namespace tarnivox
