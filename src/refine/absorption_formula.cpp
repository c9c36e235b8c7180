#include "refine/absorption_formula.h"

#include <xraylib/xraylib.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <utility>
#include <vector>

namespace tarnivox {
namespace {

// keV A: photon energy times wavelength.
constexpr double KEV_ANGSTROM = 12.398419843;
// g mol^-1 per A^3 to g cm^-3: 1 / (Avogadro's number x 1e-24).
constexpr double DENSITY_FACTOR = 1.66053907;

// Atomic number of a symbol; 0 when xraylib knows none.
int atomic_number(const std::string& symbol) {
    xrl_error* err = nullptr;
    const int z = SymbolToAtomicNumber(symbol.c_str(), &err);
    if (err != nullptr) {
        xrl_error_free(err);
        return 0;
    }
    return z;
}

double table_value(double (*f)(int, xrl_error**), int z, bool& ok) {
    xrl_error* err = nullptr;
    const double v = f(z, &err);
    if (err != nullptr) xrl_error_free(err), ok = false;
    return v;
}

}  // namespace

FormulaAbsorption absorption_from_formula(const std::string& formula, double z, double cell_volume,
                                          double wavelength) {
    FormulaAbsorption r;
    if (!(wavelength > 0.0) || !(cell_volume > 0.0) || !(z > 0.0)) {
        r.failure = "the formula needs the cell volume, the wavelength and Z";
        return r;
    }
    std::vector<std::pair<int, double>> atoms;
    std::size_t i = 0;
    while (i < formula.size()) {
        const unsigned char c = static_cast<unsigned char>(formula[i]);
        if (std::isspace(c)) {
            ++i;
            continue;
        }
        if (!std::isupper(c)) {
            r.failure = "the formula \"" + formula + "\" has '" + formula[i] +
                        "' where an element symbol should start";
            return r;
        }
        std::string symbol(1, formula[i++]);
        while (i < formula.size() && std::islower(static_cast<unsigned char>(formula[i])))
            symbol += formula[i++];
        const int number = atomic_number(symbol);
        if (number <= 0) {
            r.failure = "the formula \"" + formula + "\" names an unknown element " + symbol;
            return r;
        }
        double count = 1.0;
        if (i < formula.size() &&
            (std::isdigit(static_cast<unsigned char>(formula[i])) || formula[i] == '.')) {
            char* end = nullptr;
            count = std::strtod(formula.c_str() + i, &end);
            i = static_cast<std::size_t>(end - formula.c_str());
            if (!(count > 0.0) || !std::isfinite(count)) {
                r.failure =
                    "the formula \"" + formula + "\" has a count of " + symbol + " that is not above 0";
                return r;
            }
        }
        atoms.emplace_back(number, count);
    }
    if (atoms.empty()) {
        r.failure = "the formula is empty";
        return r;
    }
    const double energy = KEV_ANGSTROM / wavelength;
    double mass = 0.0, mass_mu = 0.0;  // g mol^-1, and the same weighted by cm^2 g^-1
    for (const auto& [number, count] : atoms) {
        bool ok = true;
        const double weight = table_value(AtomicWeight, number, ok);
        xrl_error* err = nullptr;
        const double cs = CS_Total(number, energy, &err);
        if (err != nullptr) xrl_error_free(err), ok = false;
        if (!ok) {
            r.failure = "no cross section of element " + std::to_string(number) + " at " +
                        std::to_string(energy) + " keV";
            return r;
        }
        mass += count * weight;
        mass_mu += count * weight * cs;
    }
    r.mass = mass;
    r.density = z * mass * DENSITY_FACTOR / cell_volume;
    // cm^-1 to mm^-1.
    r.mu = r.density * (mass_mu / mass) / 10.0;
    r.ok = true;
    return r;
}

}  // namespace tarnivox
