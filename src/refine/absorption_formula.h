#pragma once
// The linear absorption coefficient and the density of a crystal from its
// formula, the formula units in the cell, the cell volume and the
// wavelength: mass attenuation coefficients of the elements (photoelectric
// absorption and scattering together) from xraylib's tables.

#include <string>

namespace tarnivox {

struct FormulaAbsorption {
    bool ok = false;
    std::string failure;
    double mu = 0.0;       // mm^-1
    double density = 0.0;  // g cm^-3
    double mass = 0.0;     // formula mass, g mol^-1
};

// formula: element symbols each with an optional count, "C12 H10 N2 O S"
// or "C12H10N2OS"; z formula units in a cell of cell_volume A^3;
// wavelength in A.
FormulaAbsorption absorption_from_formula(const std::string& formula, double z, double cell_volume,
                                          double wavelength);

}  // namespace tarnivox
