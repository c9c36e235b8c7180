#include "core/instrument_ranges.h"

#include <cmath>
#include <cstdio>

#include "core/store.h"

namespace tarnivox {
namespace {

// Wavelengths of diffraction work, in Angstrom.
constexpr double kLongestWavelength = 10.0;
// The alpha2 line lies within a few per mille of alpha1; five per cent
// leaves room for any anode and still catches a mistyped value.
constexpr double kAlpha2Spread = 0.05;
// A reciprocal-lattice vector component of 10 per Angstrom belongs to a
// cell edge of 0.1 Angstrom: no crystal has one.
constexpr double kLargestMatrixElement = 10.0;

bool within(double v, double lo, double hi) { return v >= lo && v <= hi; }

}  // namespace

std::string value_text(std::string_view what, double value) {
    char number[32];
    std::snprintf(number, sizeof number, "%.6G", value);
    return std::string(what) + " " + number;
}

std::string radiation_out_of_range() {
    if (G.NWAVE != 1 && G.NWAVE != 2) return value_text("number of wavelengths", G.NWAVE);
    return wavelengths_out_of_range(G.NWAVE);
}

std::string wavelengths_out_of_range(int nwave) {
    if (!(G.WAVE1 > 0.0 && G.WAVE1 <= kLongestWavelength)) return value_text("alpha1 wavelength", G.WAVE1);
    if (nwave == 1) return "";
    if (!(G.WAVE2 > 0.0 && std::fabs(G.WAVE2 / G.WAVE1 - 1.0) <= kAlpha2Spread))
        return value_text("alpha2 wavelength", G.WAVE2);
    if (!within(G.A2RATIO, 0.0, 1.0)) return value_text("alpha2/alpha1 ratio", G.A2RATIO);
    return "";
}

std::string attenuator_out_of_range() {
    if (!(G.ATTEN > 0.0) || !std::isfinite(G.ATTEN)) return value_text("attenuator factor", G.ATTEN);
    return "";
}

std::string matrix_out_of_range() {
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j)
            if (!within(G.UB(i, j), -kLargestMatrixElement, kLargestMatrixElement))
                return value_text("orientation matrix element", G.UB(i, j));
    const auto& u = G.UB;
    const double det = u(1, 1) * (u(2, 2) * u(3, 3) - u(2, 3) * u(3, 2)) -
                       u(1, 2) * (u(2, 1) * u(3, 3) - u(2, 3) * u(3, 1)) +
                       u(1, 3) * (u(2, 1) * u(3, 2) - u(2, 2) * u(3, 1));
    if (det == 0.0) return value_text("orientation matrix determinant", det);
    return "";
}

}  // namespace tarnivox
