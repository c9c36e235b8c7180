#include "batch_absorption.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/store.h"
#include "io/layout.h"
#include "io/units.h"
#include "output/intensity_rescale.h"
#include "refine/absorption_formula.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;

constexpr const char* ABSORPTION_LOG_LAYOUT =
    "(/,8X,'ABSORPTION CORRECTION: ',A,/,8X,'MU ',F9.4,' MM-1   TRANSMISSION ',F7.4,' TO ',F7.4,"
    "/,8X,I6,' REFLECTIONS: I AND SIGMA DIVIDED BY THE TRANSMISSION',/,8X,'FILE: ',A)";
constexpr const char* ABSORPTION_DROPPED_LAYOUT =
    "(8X,I6,' REFLECTIONS NO LONGER FIT THEIR RECORD AND WERE LEFT OUT')";
constexpr const char* ABSORPTION_NOTE_LAYOUT = "(8X,A)";

bool read_text(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    text = s.str();
    return !in.bad();
}

std::string trimmed(const std::string& s) {
    const std::size_t a = s.find_first_not_of(' ');
    return a == std::string::npos ? std::string() : s.substr(a, s.find_last_not_of(' ') - a + 1);
}

}  // namespace

void add_absorption_options(CLI::App& reduce, AbsorptionOptions& o) {
    reduce
        .add_option(
            "--absorption", o.method,
            "absorption correction after the fit: none (default), numerical (the faces of --crystal), "
            "sphere (--radius)")
        ->check(CLI::IsMember({"none", "numerical", "sphere", "empirical"}))
        ->type_name("METHOD");
    reduce
        .add_option("--crystal", o.crystal,
                    "crystal file: FACE h k l d lines (d in mm) and MU (mm^-1) or FORMULA \"...\" with Z")
        ->type_name("FILE");
    reduce.add_option("--mu", o.mu, "linear absorption coefficient, mm^-1 (instead of the crystal file's)")
        ->type_name("MU");
    reduce.add_option("--radius", o.radius, "radius of the spherical crystal, mm")->type_name("MM");
}

std::string plan_absorption(const AbsorptionOptions& given, AbsorptionOptions& planned) {
    planned = given;
    if (!given.active()) {
        for (auto [on, name] : {std::pair<bool, const char*>{!given.crystal.empty(), "--crystal"},
                                {given.mu.has_value(), "--mu"},
                                {given.radius.has_value(), "--radius"}})
            if (on) return std::string(name) + " belongs to --absorption, which is not given";
        return {};
    }
    if (given.method == "empirical")
        return "--absorption empirical is not available yet; use numerical (with --crystal) or sphere (with "
               "--radius)";
    if (given.mu && !(std::isfinite(*given.mu) && *given.mu > 0.0)) return "--mu must be above 0 (mm^-1)";
    if (given.radius && !(std::isfinite(*given.radius) && *given.radius > 0.0))
        return "--radius must be above 0 (mm)";
    if (given.method == "numerical" && given.crystal.empty())
        return "--absorption numerical needs --crystal FILE, the crystal's faces";
    if (given.method == "numerical" && given.radius)
        return "--radius belongs to --absorption sphere; the numerical correction takes the crystal file's "
               "faces";
    if (given.method == "sphere" && !given.radius && given.crystal.empty())
        return "--absorption sphere needs --radius (or a crystal file with SPHERE)";
    if (given.crystal.empty()) {
        if (!given.mu)
            return "--absorption " + given.method + " needs --mu (or a crystal file with MU or FORMULA)";
        return {};
    }
    std::error_code ec;
    planned.crystal = fs::absolute(given.crystal, ec).lexically_normal().string();
    std::string text;
    if (!fs::is_regular_file(planned.crystal, ec) || !read_text(planned.crystal, text))
        return "crystal file " + planned.crystal + " cannot be read";
    const CrystalParse p = parse_crystal_text(text, planned.crystal);
    if (!p.ok) return p.failure;
    const CrystalDescription& c = p.crystal;
    if (!given.mu && !c.mu && c.formula.empty())
        return "crystal file " + planned.crystal + " gives no MU or FORMULA, and --mu is not given";
    if (given.mu && (c.mu || !c.formula.empty()))
        return "--mu and the crystal file " + planned.crystal +
               " both give the absorption coefficient; give one";
    if (given.method == "numerical" && c.faces.empty() && !c.sphere_radius && !c.cylinder)
        return "crystal file " + planned.crystal + " has no FACE lines (nor a SPHERE or CYLINDER)";
    if (given.method == "sphere" && !c.sphere_radius && !given.radius)
        return "crystal file " + planned.crystal + " has no SPHERE line, and --radius is not given";
    return {};
}

bool prepare_absorption(const AbsorptionOptions& o, AbsorptionModel& m, std::string& why) {
    m = AbsorptionModel{};
    m.method = o.method;
    m.crystal_file = o.crystal;
    if (!o.crystal.empty()) {
        std::string text;
        if (!read_text(o.crystal, text)) {
            why = "crystal file " + o.crystal + " cannot be read";
            return false;
        }
        const CrystalParse p = parse_crystal_text(text, o.crystal);
        if (!p.ok) {
            why = p.failure;
            return false;
        }
        m.crystal = p.crystal;
    }
    const CrystalDescription& c = m.crystal;
    if (o.mu) m.mu = *o.mu;
    if (c.mu) m.mu = *c.mu;
    if (!c.formula.empty()) {
        const FormulaAbsorption f = absorption_from_formula(c.formula, *c.z, G.CELL(7), G.WAVE1);
        if (!f.ok) {
            why = "crystal file " + o.crystal + ": " + f.failure;
            return false;
        }
        m.mu = f.mu;
        m.density = f.density;
    }
    if (o.method == "sphere") {
        m.shape = sphere_shape(o.radius ? *o.radius : *c.sphere_radius);
        return true;
    }
    if (c.sphere_radius) {
        m.shape = sphere_shape(*c.sphere_radius);
        return true;
    }
    if (c.cylinder) {
        m.shape = cylinder_shape((*c.cylinder)[0], (*c.cylinder)[1]);
        return true;
    }
    if (G.UBFLAG != 1) {
        why = "--absorption numerical needs the orientation matrix: the data file gives none (add --refine)";
        return false;
    }
    std::array<AbsVec, 3> ub{};
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j)
            ub[static_cast<std::size_t>(i - 1)][static_cast<std::size_t>(j - 1)] = G.UB(i, j);
    ShapeBuild b = build_polyhedron(c.faces, ub, o.crystal, c.last_face_line);
    if (!b.ok) {
        why = b.failure;
        return false;
    }
    for (const CrystalFace& f : b.untouched)
        m.notes.push_back(o.crystal + " line " + std::to_string(f.line) + ": the face " +
                          std::to_string(f.hkl[0]) + " " + std::to_string(f.hkl[1]) + " " +
                          std::to_string(f.hkl[2]) +
                          " lies outside the crystal the other faces make and is not used");
    m.shape = std::move(b.shape);
    return true;
}

AbsorptionCorrection correct_absorption(const std::string& source, const std::string& target, IntensityForm form,
                                        std::vector<ReflectionOutcome>& outcomes, const AbsorptionModel& m) {
    AbsorptionCorrection a;
    a.method = m.method;
    a.mu = m.mu;
    a.density = m.density;
    if (m.shape.kind == AbsorptionShape::Kind::Polyhedron) a.faces = m.shape.faces;
    if (m.shape.kind == AbsorptionShape::Kind::Sphere) a.radius = m.shape.radius;
    const std::array<int, 3> parity{G.PARITY(2), G.PARITY(3), G.PARITY(4)};
    std::vector<double> factor_of;  // 1/A by place in outcomes
    std::vector<WrittenReflection> written;
    std::vector<std::pair<int, double>> by_sequence;
    for (const ReflectionOutcome& o : outcomes) {
        // The crystal turned by omega less the zero point the refinement found.
        std::array<double, 4> ang = o.angles;
        ang[1] -= G.OMZERO;
        const double t = transmission(m.shape, m.mu, beams_at_setting(ang, parity));
        factor_of.push_back(1.0 / t);
        if (o.left_out) continue;
        written.push_back({o.sequence, o.hkl, o.intensity});
        by_sequence.emplace_back(o.sequence, 1.0 / t);
    }
    std::sort(by_sequence.begin(), by_sequence.end());
    const auto factor = [&](int seq) {
        const auto it =
            std::lower_bound(by_sequence.begin(), by_sequence.end(), std::pair<int, double>{seq, -1e300});
        return it != by_sequence.end() && it->first == seq ? it->second : 1.0;
    };
    const std::string& path = target.empty() ? source : target;
    const RescaleResult r = rescale_intensity_file(source, intensity_format_code(form), written, factor, target);
    if (r.status != 0) {
        a.failure = "--absorption: " + r.failure + "; " + path + " is left as it was";
        return a;
    }
    a.done = true;
    a.corrected = r.rescaled;
    a.dropped = r.dropped;
    a.t_min = r.rescaled > 0 ? 1.0 / r.factor_max : 1.0;
    a.t_max = r.rescaled > 0 ? 1.0 / r.factor_min : 1.0;
    // The outcomes take the intensities the file now holds (the rounded
    // value read back times the factor), so that a decay correction after
    // this one finds every record it rescales.
    std::vector<std::pair<int, double>> now = r.rescaled_intensities;
    std::sort(now.begin(), now.end());
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        ReflectionOutcome& o = outcomes[i];
        const auto it = std::lower_bound(now.begin(), now.end(), std::pair<int, double>{o.sequence, -1e300});
        const bool in_file = !o.left_out && it != now.end() && it->first == o.sequence;
        o.intensity = in_file ? it->second : o.intensity * factor_of[i];
        o.sigma *= factor_of[i];
    }
    if (G.LOGOPEN == 1) {
        std::string method = m.method;
        for (char& ch : method) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        write_record(LU_LOG, ABSORPTION_LOG_LAYOUT, {method, a.mu, a.t_min, a.t_max, a.corrected, path});
        for (const std::string& n : m.notes) write_record(LU_LOG, ABSORPTION_NOTE_LAYOUT, {n});
        if (!a.dropped.empty())
            write_record(LU_LOG, ABSORPTION_DROPPED_LAYOUT, {static_cast<int>(a.dropped.size())});
    }
    return a;
}

std::vector<std::string> absorption_cif_lines(const AbsorptionCorrection& a) {
    std::vector<std::string> out;
    const auto item = [&out](std::string name, const std::string& value) {
        name.resize(std::max<std::size_t>(name.size() + 1, 34), ' ');
        out.push_back(name + value);
    };
    item("_exptl_absorpt_coefficient_mu", trimmed(format_fixed(a.mu, 10, 4)));
    item("_exptl_absorpt_correction_type", a.method == "sphere" ? "sphere" : "numerical");
    item("_exptl_absorpt_correction_T_min", trimmed(format_fixed(a.t_min, 8, 4)));
    item("_exptl_absorpt_correction_T_max", trimmed(format_fixed(a.t_max, 8, 4)));
    out.emplace_back("_exptl_absorpt_process_details");
    out.emplace_back(";");
    out.emplace_back(
        a.method == "sphere"
            ? " Transmission of a sphere integrated numerically (Tarnivox)"
            : " Numerical integration over the crystal's indexed faces, Gaussian quadrature (Tarnivox)");
    out.emplace_back(";");
    if (a.density > 0.0) item("_exptl_crystal_density_diffrn", trimmed(format_fixed(a.density, 8, 3)));
    if (a.radius > 0.0) item("_exptl_crystal_size_rad", trimmed(format_fixed(a.radius, 8, 4)));
    if (!a.faces.empty()) {
        out.emplace_back("loop_");
        out.emplace_back("_exptl_crystal_face_index_h");
        out.emplace_back("_exptl_crystal_face_index_k");
        out.emplace_back("_exptl_crystal_face_index_l");
        out.emplace_back("_exptl_crystal_face_perp_dist");
        for (const CrystalFace& f : a.faces)
            out.push_back(format_record("(3I4,F10.4)", {f.hkl[0], f.hkl[1], f.hkl[2], f.d}));
    }
    return out;
}

std::string absorption_notice(const AbsorptionCorrection& a, const std::string& path) {
    return "Absorption corrected (" + a.method + ", mu " + trimmed(format_fixed(a.mu, 10, 4)) +
           " mm-1): I and sigma of " + std::to_string(a.corrected) +
           " reflections divided by transmissions " + trimmed(format_fixed(a.t_min, 7, 4)) + " to " +
           trimmed(format_fixed(a.t_max, 7, 4)) + " in " + path;
}

}  // namespace tarnivox
