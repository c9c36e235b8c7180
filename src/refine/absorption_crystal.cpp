#include "refine/absorption_crystal.h"

#include <cmath>
#include <sstream>

namespace tarnivox {
namespace {

std::string at_line(const std::string& name, int line) {
    return name + " line " + std::to_string(line) + ": ";
}

// A positive finite number with nothing after it but blanks.
bool read_positive(std::istringstream& in, double& v) {
    if (!(in >> v)) return false;
    return std::isfinite(v) && v > 0.0;
}

bool only_blanks_left(std::istringstream& in) {
    std::string rest;
    return !(in >> rest);
}

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

CrystalParse parse_crystal_text(const std::string& text, const std::string& name) {
    CrystalParse r;
    CrystalDescription& c = r.crystal;
    std::istringstream lines(text);
    std::string raw;
    int n = 0;
    int mu_line = 0, formula_line = 0;
    auto fail = [&](int line, const std::string& why) {
        r.failure = at_line(name, line) + why;
        return r;
    };
    while (std::getline(lines, raw)) {
        ++n;
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        const std::string line = raw.substr(0, raw.find('#'));
        std::istringstream in(line);
        std::string key;
        if (!(in >> key)) continue;
        key = upper(key);
        if (key == "FACE") {
            CrystalFace f;
            f.line = n;
            if (!(in >> f.hkl[0] >> f.hkl[1] >> f.hkl[2]))
                return fail(n, "a face needs its indices h k l and its distance d (mm)");
            if (!(in >> f.d) || !only_blanks_left(in))
                return fail(n, "a face needs its indices h k l and its distance d (mm)");
            if (f.hkl == std::array<int, 3>{0, 0, 0}) return fail(n, "the face 0 0 0 has no direction");
            if (!std::isfinite(f.d) || f.d <= 0.0)
                return fail(n,
                            "the distance of a face must be above 0 mm (the reference point lies inside the "
                            "crystal)");
            for (const CrystalFace& g : c.faces) {
                // The same plane under other indices: 2 0 0 is the face 1 0 0.
                const auto& a = f.hkl;
                const auto& b = g.hkl;
                const bool parallel = a[0] * b[1] == a[1] * b[0] && a[0] * b[2] == a[2] * b[0] &&
                                      a[1] * b[2] == a[2] * b[1] &&
                                      a[0] * b[0] + a[1] * b[1] + a[2] * b[2] > 0;
                if (parallel)
                    return fail(n, "the face " + std::to_string(a[0]) + " " + std::to_string(a[1]) + " " +
                                       std::to_string(a[2]) + " is listed twice (also line " +
                                       std::to_string(g.line) + ")");
            }
            c.faces.push_back(f);
            c.last_face_line = n;
        } else if (key == "MU") {
            double v = 0.0;
            if (!read_positive(in, v) || !only_blanks_left(in))
                return fail(n, "MU needs one linear absorption coefficient above 0 (mm^-1)");
            if (c.mu) return fail(n, "MU is given twice");
            c.mu = v;
            mu_line = n;
        } else if (key == "FORMULA") {
            std::string rest;
            std::getline(in, rest);
            const std::size_t a = rest.find('"');
            const std::size_t b = a == std::string::npos ? a : rest.find('"', a + 1);
            std::string f =
                a == std::string::npos ? rest : (b == std::string::npos ? "" : rest.substr(a + 1, b - a - 1));
            if (a != std::string::npos && b != std::string::npos &&
                rest.find_first_not_of(" \t", b + 1) != std::string::npos)
                return fail(n, "text after the formula's closing quote");
            const std::size_t s = f.find_first_not_of(" \t");
            f = s == std::string::npos ? "" : f.substr(s, f.find_last_not_of(" \t") - s + 1);
            if (f.empty()) return fail(n, "FORMULA needs the formula, e.g. FORMULA \"C12 H10 N2 O S\"");
            if (!c.formula.empty()) return fail(n, "FORMULA is given twice");
            c.formula = f;
            formula_line = n;
        } else if (key == "Z") {
            double v = 0.0;
            if (!read_positive(in, v) || !only_blanks_left(in))
                return fail(n, "Z needs the number of formula units in the cell, above 0");
            c.z = v;
        } else if (key == "SPHERE") {
            double v = 0.0;
            if (!read_positive(in, v) || !only_blanks_left(in))
                return fail(n, "SPHERE needs its radius above 0 (mm)");
            c.sphere_radius = v;
        } else if (key == "CYLINDER") {
            double rad = 0.0, len = 0.0;
            if (!read_positive(in, rad) || !read_positive(in, len) || !only_blanks_left(in))
                return fail(n, "CYLINDER needs its radius and length, both above 0 (mm)");
            c.cylinder = std::array<double, 2>{rad, len};
        } else {
            return fail(n, "unknown keyword " + key + " (FACE, MU, FORMULA, Z, SPHERE or CYLINDER)");
        }
    }
    if (c.mu && !c.formula.empty())
        return fail(std::max(mu_line, formula_line), "give MU or FORMULA, not both");
    if (!c.formula.empty() && !c.z)
        return fail(formula_line, "a FORMULA needs Z, the formula units in the cell");
    const int shapes = (c.faces.empty() ? 0 : 1) + (c.sphere_radius ? 1 : 0) + (c.cylinder ? 1 : 0);
    if (shapes > 1) return fail(n, "give faces, a SPHERE or a CYLINDER, only one of them");
    r.ok = true;
    return r;
}

}  // namespace tarnivox
