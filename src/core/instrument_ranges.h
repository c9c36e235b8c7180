#pragma once
// Physical ranges of the instrument values that the parameter file and the
// data-file headers supply.  A value outside them (a negative wavelength, a
// matrix element of 1E11) would give silently wrong intensities, so the
// readers refuse it.  Each check returns an empty text when the values are
// plausible, otherwise the name of the first value out of range and the
// value, for the reader's message.

#include <string>
#include <string_view>

namespace tarnivox {

// "alpha1 wavelength 1E+11": a name and a value as the messages show them.
std::string value_text(std::string_view what, double value);

// WAVE1 in (0, 10] Angstrom; with two components (nwave 2) WAVE2 within
// 5 % of WAVE1 and A2RATIO in [0, 1].
std::string wavelengths_out_of_range(int nwave);

// NWAVE 1 or 2, and the wavelengths of that many components.
std::string radiation_out_of_range();

// ATTEN finite and above 0.
std::string attenuator_out_of_range();

// Every element of UB finite and at most 10 reciprocal Angstrom, and the
// matrix not singular.
std::string matrix_out_of_range();

}  // namespace tarnivox
