#pragma once
// Test data for the geometry and refinement routines: setting angles of
// reflections made from a known cell, orientation and wavelength with the
// program's conventions (Busing-Levy axes, omega from the bisecting
// position, circle parities multiplying the sines), with an optional omega
// zero point, crystal offset and Gaussian noise, all from a seed.
//
// The matrices and angles are derived here independently of the program's
// own routines so that tests compare two derivations.

#include <array>
#include <cstdint>

#include "core/array.h"
#include "core/store.h"

namespace tarnivox::testdata {

using Cell = std::array<double, 6>;  // a, b, c (A), alpha, beta, gamma (deg)
using Mat = Arr2<double, 3, 3>;

// Busing-Levy B matrix of a direct cell (upper triangular, 1/A).
Mat b_matrix(const Cell& cell);
// Rotation U = Rz(rz) . Ry(ry) . Rx(rx), angles in degrees.
Mat rotation(double rx, double ry, double rz);
// UB = U . B.
Mat ub_matrix(const Cell& cell, double rx, double ry, double rz);
// Volume of a direct cell.
double cell_volume(const Cell& cell);

struct GeometryOptions {
    Cell cell{10.0, 11.0, 12.0, 90.0, 90.0, 90.0};
    double rx = 0.0, ry = 0.0, rz = 0.0;  // orientation, degrees
    double wave = 0.71073;
    std::array<int, 4> parity{1, 1, 1, 1};
    double max_tth = 50.0;                         // 2theta limit of the chosen reflections
    double omega_range = 0.0;                      // setting omega drawn from +-omega_range (0: bisecting)
    int settings = 1;                              // >1: each reflection at this many omegas spread evenly
                                                   // over -omega_range..+omega_range (psi settings)
    double omzero = 0.0;                           // added to every observed omega
    std::array<double, 3> xtaloff{0.0, 0.0, 0.0};  // crystal offset, units of goncon1
    double goncon1 = 200.0;
    double noise = 0.0;  // sigma of Gaussian noise on each of the four angles, deg
    std::uint32_t seed = 1;
};

struct ReflectionSet {
    int n = 0;
    Arr2<double, MAXREFLIST, 4> ang;  // 2theta, omega, chi, phi as observed
    Arr2<int, MAXREFLIST, 3> ih;
    Arr1<double, MAXREFLIST> true_omega;  // omega at which UB indexes exactly
};

// Setting angles at which the diffraction vector UB.h is in reflecting
// position with the given omega, for the parity signs of omega, chi and phi
// in `parity` (2theta is written positive); false when h
// lies beyond the limiting sphere or cannot be reached at that omega.
bool setting_angles(const Mat& ub, int h, int k, int l, double wave, double omega,
                    const std::array<int, 4>& parity, Arr1<double, 4>& ang);

// Omega shift of the peak position that a crystal offset causes at the given
// setting (the program's crystal-offset model), degrees.
double offset_shift(const Arr1<double, 4>& ang, const std::array<double, 3>& off, double goncon1);

// Up to n distinct reflections (n <= 1000) with 2theta <= max_tth, chosen at
// random from the seed; returns the number made.
int make_reflections(const GeometryOptions& opt, int n, ReflectionSet& out);

// Puts wavelength, parities, GONCON1 and (exactly) UB of the options into
// the store, UBFLAG 1.
void set_instrument(const GeometryOptions& opt);
// Copies a reflection set into the refinement list of the store.
void load_refinement_list(const ReflectionSet& set);

// The instrument of the options set up, and up to n reflections measured
// on it (the set's n says how many).
ReflectionSet measured_reflections(const GeometryOptions& opt, int n);
// The same, with the reflections loaded as the refinement list.
ReflectionSet loaded_refinement_list(const GeometryOptions& opt, int n);

}  // namespace tarnivox::testdata
