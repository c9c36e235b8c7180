#pragma once
// The simulator's absorbing crystal: the transmission of every reflection
// by Monte Carlo over the crystal's volume, worked out on its own (beams
// symmetric about the diffraction vector, normal to the omega axis, uniform random points in
// the polyhedron), so that it checks the program's quadrature rather than
// repeating it.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tarnivox::sim {

struct SimFace {
    std::array<int, 3> hkl{};
    double d = 0.0;  // mm
};

struct AbsorbingCrystal {
    // Face planes in the phi-axis frame: unit normals and distances (mm).
    std::vector<std::array<double, 3>> normals;
    std::vector<double> distances;
    double mu = 0.0;  // mm^-1
    // Uniform points inside the crystal, laid once for every reflection.
    std::vector<std::array<double, 3>> points;
};

// The crystal of faces for the orientation ub (1/A, h_phi = UB h); points
// from the seed.  Throws std::invalid_argument when the faces leave it open.
AbsorbingCrystal make_absorbing_crystal(const std::vector<SimFace>& faces, double mu, const double ub[3][3],
                                        int npoints, std::uint64_t seed);

// Transmission of reflection hkl diffracting with chi and phi of the
// setting angles (2theta, omega, chi, phi; degrees) at the wavelength wave.
double monte_carlo_transmission(const AbsorbingCrystal& c, const double ub[3][3],
                                const std::array<int, 3>& hkl, const std::array<double, 4>& angles,
                                double wave);

// The crystal file of the program (FACE lines and MU).
void write_crystal_file(const std::vector<SimFace>& faces, double mu, const std::string& path);

}  // namespace tarnivox::sim
