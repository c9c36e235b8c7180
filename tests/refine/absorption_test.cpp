#include "refine/absorption.h"

#include <gtest/gtest.h>

#include <cmath>

#include "refine/absorption_formula.h"

namespace tarnivox {
namespace {

// The sphere's transmission at 2theta = 0 and 180 from one-dimensional
// integrals over the chords along the beam: at 2theta = 0 every point of a
// chord of length L sees the path L; at 180 the point at depth s sees 2s.
double sphere_forward(double mu, double r) {
    const double x = 2.0 * mu * r;
    return 3.0 / (8.0 * r * r * r) * 2.0 / (mu * mu * mu) * (1.0 - std::exp(-x) * (1.0 + x + x * x / 2.0));
}
double sphere_backward(double mu, double r) {
    const double a = 2.0 * mu, x = 2.0 * r;
    const double lin = (1.0 - std::exp(-a * x) * (1.0 + a * x)) / (a * a);
    return 3.0 / (16.0 * mu * r * r * r) * (x * x / 2.0 - lin);
}

TEST(Absorption, SphereMatchesChordIntegralsAndBoxMatchesItsExactValues) {
    const double r = 0.2;
    const AbsorptionShape sphere = sphere_shape(r);
    for (double mur : {0.5, 1.0, 2.0}) {
        const double mu = mur / r;
        const double forward = transmission(sphere, mu, beams_at_setting({0.0, 0.0, 0.0, 0.0}, {1, 1, 1}));
        const double backward =
            transmission(sphere, mu, beams_at_setting({180.0, 0.0, 33.0, -71.0}, {1, 1, 1}));
        EXPECT_NEAR(forward / sphere_forward(mu, r), 1.0, 0.005) << "mu r " << mur;
        EXPECT_NEAR(backward / sphere_backward(mu, r), 1.0, 0.005) << "mu r " << mur;
    }
    // A box 0.3 x 0.1 x 0.5 mm (orthogonal axes): along y at 2theta = 0
    // every chord is 0.1 mm; back along x every point sees twice its depth.
    const std::array<AbsVec, 3> ub{AbsVec{0.1, 0.0, 0.0}, AbsVec{0.0, 0.2, 0.0}, AbsVec{0.0, 0.0, 0.05}};
    std::vector<CrystalFace> faces;
    for (int a = 0; a < 3; ++a)
        for (int sign : {1, -1}) {
            CrystalFace f;
            f.hkl[static_cast<std::size_t>(a)] = sign;
            f.d = a == 0 ? 0.15 : (a == 1 ? 0.05 : 0.25);
            faces.push_back(f);
        }
    const ShapeBuild box = build_polyhedron(faces, ub, "box", 6);
    ASSERT_TRUE(box.ok) << box.failure;
    EXPECT_NEAR(box.shape.volume, 0.3 * 0.1 * 0.5, 1e-12);
    const double mu = 8.0;
    EXPECT_NEAR(transmission(box.shape, mu, beams_at_setting({0.0, 0.0, 0.0, 0.0}, {1, 1, 1})),
                std::exp(-mu * 0.1), 1e-9);
    EXPECT_NEAR(transmission(box.shape, mu, beams_at_setting({180.0, 0.0, 0.0, 0.0}, {1, 1, 1})),
                (1.0 - std::exp(-2.0 * mu * 0.3)) / (2.0 * mu * 0.3), 1e-6);
    // Reversing the sense of phi and negating phi leave the beams as they were.
    const Beams b1 = beams_at_setting({40.0, 1.5, 20.0, 30.0}, {1, 1, 1});
    const Beams b2 = beams_at_setting({40.0, 1.5, 20.0, -30.0}, {1, 1, -1});
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(b1.out[static_cast<std::size_t>(i)], b2.out[static_cast<std::size_t>(i)], 1e-12);
}

TEST(Absorption, BadCrystalFilesNameTheLineAtFault) {
    const auto failure = [](const std::string& text) { return parse_crystal_text(text, "x.cry").failure; };
    EXPECT_EQ(failure("MU 2\nFACE 1 0 0 0.1\nFACE 2 0 0 0.2\n"),
              "x.cry line 3: the face 2 0 0 is listed twice (also line 2)");
    EXPECT_NE(failure("FACE 1 0 0 0.1\n\nFACE 0 1 0 -0.1\n").find("x.cry line 3: the distance"),
              std::string::npos);
    EXPECT_NE(failure("FACE 1 0 0 0.1\nFACE 0 1 0 0\n").find("x.cry line 2: the distance"),
              std::string::npos);
    EXPECT_NE(failure("# crystal\nMU\n").find("x.cry line 2: MU"), std::string::npos);
    EXPECT_NE(failure("FACES 1 0 0 0.1\n").find("x.cry line 1: unknown keyword FACES"), std::string::npos);
    EXPECT_NE(failure("FORMULA \"Na Cl\"\n").find("line 1: a FORMULA needs Z"), std::string::npos);
    const CrystalParse ok = parse_crystal_text(
        "FACE 1 0 0 .1\nFACE -1 0 0 .1\nFACE 0 1 0 .1\nFACE 0 -1 0 .1\n"
        "FACE 0 0 1 .1 # top\nMU 1.5\n",
        "x.cry");
    ASSERT_TRUE(ok.ok) << ok.failure;
    const std::array<AbsVec, 3> ub{AbsVec{0.1, 0.01, 0.0}, AbsVec{0.0, 0.1, 0.0}, AbsVec{0.0, 0.02, 0.1}};
    const ShapeBuild open = build_polyhedron(ok.crystal.faces, ub, "x.cry", ok.crystal.last_face_line);
    EXPECT_EQ(open.failure,
              "x.cry line 5: the faces do not enclose a finite crystal around the reference point");
}

TEST(Absorption, FormulaGivesDensityAndMuOfRockSalt) {
    // NaCl, a = 5.6402 A, Z = 4, Mo K-alpha: 2.165 g cm^-3 and about 1.7 mm^-1.
    const FormulaAbsorption f = absorption_from_formula("Na Cl", 4.0, std::pow(5.6402, 3.0), 0.71073);
    ASSERT_TRUE(f.ok) << f.failure;
    EXPECT_NEAR(f.density, 2.165, 0.002);
    EXPECT_NEAR(f.mu, 1.70, 0.08);
    EXPECT_FALSE(absorption_from_formula("C12 Xx2", 4.0, 1000.0, 0.71).ok);
}

}  // namespace
}  // namespace tarnivox
