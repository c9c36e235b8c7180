// The simulator's "zref" mode (see sim_zref.h).
#include "sim_zref.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <fstream>
#include <numbers>
#include <random>
#include <sstream>
#include <stdexcept>

#include "core/exitint.h"
#include "core/store.h"
#include "fitting/profile.h"
#include "import/stddata.h"
#include "io/layout.h"
#include "io/units.h"
#include "sim_plan.h"

namespace tarnivox::sim {
namespace {

// The truth uses exact radians; the program's evaluation its own factor.
constexpr double DEG = 180.0 / std::numbers::pi;

using M3 = std::array<std::array<double, 3>, 3>;

M3 mul(const M3& a, const M3& b) {
    M3 c{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) c[i][j] += a[i][k] * b[k][j];
    return c;
}

// Busing-Levy R = Omega . Chi . Phi: the phi-axis frame to the frame of the
// omega circle, omega from the bisecting position (circle parities +1).
M3 goniometer_rotation(const Setting& s) {
    const double w = s[1] / DEG, c = s[2] / DEG, p = s[3] / DEG;
    const M3 om{{{std::cos(w), std::sin(w), 0.0}, {-std::sin(w), std::cos(w), 0.0}, {0.0, 0.0, 1.0}}};
    const M3 ch{{{std::cos(c), 0.0, std::sin(c)}, {0.0, 1.0, 0.0}, {-std::sin(c), 0.0, std::cos(c)}}};
    const M3 ph{{{std::cos(p), std::sin(p), 0.0}, {-std::sin(p), std::cos(p), 0.0}, {0.0, 0.0, 1.0}}};
    return mul(om, mul(ch, ph));
}

// Into (-180, 180].
double circle(double a) {
    while (a > 180.0) a -= 360.0;
    while (a <= -180.0) a += 360.0;
    return a;
}

// Setting of a diffraction vector at a given omega: chi and phi turn the
// unit vector u (phi-axis frame) onto the bisector rotated by omega.
bool setting_at_omega(const std::array<double, 3>& u, double tth, double omega, Setting& s) {
    const double co = std::cos(omega / DEG), so = std::sin(omega / DEG);
    const double sc = u[2] / co;
    if (std::fabs(sc) >= 1.0) return false;
    const double cc = std::sqrt(1.0 - sc * sc);
    s = {tth, omega, std::asin(sc) * DEG, circle((std::atan2(u[1], u[0]) - std::atan2(so, co * cc)) * DEG)};
    return true;
}

void make_ub(const ZrefConfig& cfg, double ub[3][3]) {
    Config c;
    c.format = Format::Standard;
    c.nrefl = 1;
    c.nstd = 0;
    c.cell = cfg.cell;
    c.orient = cfg.orient;
    c.wave1 = cfg.wave1;
    const Plan p = make_plan(c);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) ub[i][j] = p.ub[i][j];
}

std::vector<std::array<int, 3>> candidates(const ZrefConfig& cfg, const double ub[3][3]) {
    std::vector<std::array<int, 3>> list;
    for (int h = -5; h <= 5; ++h)
        for (int k = -5; k <= 5; ++k)
            for (int l = -6; l <= 6; ++l) {
                // One of each Friedel pair: the mate is measured in the group.
                const int lead = h != 0 ? h : (k != 0 ? k : l);
                if (lead <= 0) continue;
                double v[3]{};
                for (int i = 0; i < 3; ++i) v[i] = ub[i][0] * h + ub[i][1] * k + ub[i][2] * l;
                const double q = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
                const double s = q * cfg.wave1 / 2.0;
                if (s >= 1.0) continue;
                const double tth = 2.0 * std::asin(s) * DEG;
                // Chi within 60 degrees of the plane leaves room for any omega.
                if (tth < 12.0 || tth > 50.0 || std::fabs(v[2] / q) > 0.85) continue;
                list.push_back({h, k, l});
            }
    return list;
}

void write_parameters(const ZrefConfig& cfg, const std::string& path) {
    Config c;
    c.format = Format::Standard;
    c.nrefl = 1;
    c.nstd = 0;
    c.wave1 = cfg.wave1;
    c.wave2 = cfg.wave2;
    c.a2ratio = cfg.a2ratio;
    c.fwhm_a = cfg.fwhm_a;
    c.fwhm_b = cfg.fwhm_b;
    c.eta = cfg.eta;
    c.atten = 1.0;
    write_parameter_file(make_plan(c), path);
    // The goniometer constants of this instrument replace the default line.
    std::ifstream in(path);
    std::ostringstream out;
    std::string line;
    bool replaced = false;
    while (std::getline(in, line)) {
        // Background limits that a scan with a real background passes.
        if (line.rfind("FITLIM -1.0 1.0 ", 0) == 0) line = "FITLIM 0.0 1.0E5 " + line.substr(16);
        if (line.rfind("GONCON", 0) == 0) {
            line = format_record("('GONCON ',2F10.3)", {cfg.goncon1, cfg.goncon2});
            replaced = true;
        }
        out << line << '\n';
    }
    if (!replaced) out << format_record("('GONCON ',2F10.3)", {cfg.goncon1, cfg.goncon2}) << '\n';
    in.close();
    std::ofstream(path) << out.str();
}

void write_counts(const ZrefConfig& cfg, const ZrefGroup& g, int k, double intensity, std::mt19937_64& rng,
                  std::vector<long long>& counts) {
    const Setting& m = g.measured[static_cast<std::size_t>(k)];
    const Doublet d = make_doublet(cfg.wave1, cfg.wave2, 0.0, m[0]);
    // The program's step angles of this scan.
    G.NPTS = cfg.npts;
    G.STEP = cfg.step;
    G.ANGLES(2) = g.centre[static_cast<std::size_t>(k)];
    derive_scan_values();
    const double par[6] = {cfg.background, g.fwhm[static_cast<std::size_t>(k)], intensity, m[1], cfg.eta,
                           cfg.a2ratio};
    counts.assign(static_cast<std::size_t>(cfg.npts), 0);
    for (int i = 1; i <= cfg.npts; ++i) {
        std::poisson_distribution<long long> poisson(std::max(doublet_model(G.STEPANG(i), par, d), 1e-3));
        counts[static_cast<std::size_t>(i - 1)] = poisson(rng);
    }
}

}  // namespace

EightSettings zref_true_settings(const Setting& first) {
    const double t = first[0], w = first[1], c = first[2], p = first[3];
    return {{{t, w, c, p},
             {-t, w, c, p},
             {-t, -w, circle(c + 180.0), p},
             {t, -w, circle(c + 180.0), p},
             {t, -w, circle(180.0 - c), circle(p + 180.0)},
             {-t, -w, circle(180.0 - c), circle(p + 180.0)},
             {-t, w, circle(-c), circle(p + 180.0)},
             {t, w, circle(-c), circle(p + 180.0)}}};
}

EightSettings zref_measured_settings(const Setting& first, const ZrefConfig& cfg) {
    const EightSettings truth = zref_true_settings(first);
    EightSettings out{};
    const double d1 = cfg.goncon1, d2 = cfg.goncon2;
    for (std::size_t k = 0; k < 8; ++k) {
        const Setting& s = truth[k];
        const M3 r = goniometer_rotation(s);
        std::array<double, 3> v{};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) v[i] += r[i][j] * cfg.xtaloff[j];
        const double th = s[0] / 2.0 / DEG, om = s[1] / DEG;
        const double dw = (v[0] * std::cos(th) + v[1] * std::sin(th)) / d1 * DEG;
        const double dc =
            (v[2] * (1.0 / d1 + 1.0 / d2) + cfg.delta_h / d2) * std::cos(om) / (2.0 * std::sin(th)) * DEG;
        const double tth = s[0] + cfg.zeros[0];
        const double circle_reading = s[0] / 2.0 + s[1] + cfg.zeros[1] + dw;
        out[k] = {tth, circle_reading - tth / 2.0, s[2] + cfg.zeros[2] + dc, s[3]};
    }
    return out;
}

ZrefData make_zref_data(const ZrefConfig& cfg) {
    ZrefData data;
    make_ub(cfg, data.ub);
    std::mt19937_64 rng(cfg.seed);
    std::mt19937_64 centring_rng(cfg.seed + 104729);
    std::normal_distribution<double> centring(0.0, 1.0);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<std::array<int, 3>> cand = candidates(cfg, data.ub);
    std::shuffle(cand.begin(), cand.end(), rng);
    for (const auto& hkl : cand) {
        if (static_cast<int>(data.groups.size()) >= cfg.ngroups) break;
        std::array<double, 3> v{};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                v[static_cast<std::size_t>(i)] += data.ub[i][j] * hkl[static_cast<std::size_t>(j)];
        const double q = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        const double tth = 2.0 * std::asin(q * cfg.wave1 / 2.0) * DEG;
        double omega = 0.0;
        if (cfg.omega_max > 0.0) {
            const double lo = std::min(1.5, cfg.omega_max);
            omega = (lo + (cfg.omega_max - lo) * u(rng)) * (u(rng) < 0.5 ? -1.0 : 1.0);
        }
        ZrefGroup g;
        g.hkl = hkl;
        if (!setting_at_omega({v[0] / q, v[1] / q, v[2] / q}, tth, omega, g.truth)) continue;
        g.measured = zref_measured_settings(g.truth, cfg);
        const EightSettings nominal = zref_true_settings(g.truth);
        for (std::size_t k = 0; k < 8; ++k) {
            // Centring scatter of the 2theta reading leaves the omega circle
            // reading as it is: omega from the bisecting position takes half
            // of it.
            Setting& m = g.measured[k];
            const double dt = cfg.centring * centring(centring_rng);
            m[0] += dt;
            m[1] -= dt / 2.0;
            m[2] += cfg.centring * centring(centring_rng);
            // The instrument centres each scan where it expects the peak.
            g.centre[k] = nominal[k][1] - (cfg.zeros[0] + dt) / 2.0;
            g.fwhm[k] = cfg.fwhm_a + cfg.fwhm_b * std::tan(std::fabs(nominal[k][0]) / 2.0 / DEG);
        }
        data.groups.push_back(g);
    }
    return data;
}

ZrefData simulate_zref(const ZrefConfig& cfg, const std::string& data_path, const std::string& par_path,
                       const std::string& truth_path) {
    ZrefData data = make_zref_data(cfg);
    std::mt19937_64 rng(cfg.seed + 7919);
    std::uniform_real_distribution<double> u(0.5, 1.5);

    G.TITLE = cfg.title;
    for (int j = 1; j <= 6; ++j) G.CELL(j) = cfg.cell[static_cast<std::size_t>(j - 1)];
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) G.UB(i, j) = data.ub[i - 1][j - 1];
    G.ATTEN = 1.0;
    if (open_unit(LU_EXP, data_path, OpenMode::Replace) != 0) EXITINT("CANNOT WRITE " + data_path);
    WRITE_HEADER_STDDATA(LU_EXP);
    std::vector<long long> counts;
    int nref = 0;
    for (const ZrefGroup& g : data.groups) {
        const double intensity = cfg.intensity * u(rng);
        for (int k = 0; k < 8; ++k) {
            const int sign = k % 2 == 0 ? 1 : -1;
            const Arr1<int, 3> hkl{{sign * g.hkl[0], sign * g.hkl[1], sign * g.hkl[2]}};
            const Setting& m = g.measured[static_cast<std::size_t>(k)];
            const Arr1<double, 4> ang{{m[0], g.centre[static_cast<std::size_t>(k)], m[2], m[3]}};
            write_counts(cfg, g, k, intensity, rng, counts);
            double scale = 1.0;
            int status = 0;
            WRITE_REF_STDDATA(LU_EXP, status, ++nref, hkl, 0.0, ang, cfg.npts, cfg.step, scale, 0, 'S',
                              std::span<const long long>(counts));
        }
    }
    close_unit(LU_EXP);
    write_parameters(cfg, par_path);
    if (truth_path.empty()) return data;

    std::ofstream out(truth_path);
    out << format_record(
               "('# zeros 2theta omega chi',3F10.4,'  offset',3F10.4,'  delta-h',F10.4,'  goncon',2F9.2)",
               {cfg.zeros[0], cfg.zeros[1], cfg.zeros[2], cfg.xtaloff[0], cfg.xtaloff[1], cfg.xtaloff[2],
                cfg.delta_h, cfg.goncon1, cfg.goncon2})
        << '\n';
    out << "# group    h   k   l  true 2theta, omega, chi, phi / then per setting: 2theta omega(peak) chi "
           "phi fwhm\n";
    int number = 0;
    for (const ZrefGroup& g : data.groups) {
        out << format_record("(I7,3I4,4F11.4)", {++number, g.hkl[0], g.hkl[1], g.hkl[2], g.truth[0],
                                                 g.truth[1], g.truth[2], g.truth[3]})
            << '\n';
        for (std::size_t k = 0; k < 8; ++k) {
            const Setting& m = g.measured[k];
            out << format_record("(11X,I4,5F11.4)",
                                 {static_cast<int>(k + 1), m[0], m[1], m[2], m[3], g.fwhm[k]})
                << '\n';
        }
    }
    return data;
}

int zref_main(int argc, char** argv) {
    static const char* const usage =
        "usage: tarnivox-simulate zref --out BASE [options]\n"
        "  writes BASE.rfl (standard format, eight settings per reflection), BASE.par, BASE.truth\n"
        "  --seed N  --groups N  --cell a b c alpha beta gamma  --orient rx ry rz  --wave w1 w2 ratio\n"
        "  --zeros z2theta zomega zchi  --offset x y z  --delta-h X  --goncon d1 d2  --omega X\n"
        "  --centring X (sigma of the centred 2theta and chi readings)\n"
        "  --fwhm a b  --eta X  --background X  --intensity X  --npts N  --step X  --title TEXT\n";
    ZrefConfig c;
    std::string base;
    auto num = [&](int& i) {
        if (i + 1 >= argc) throw std::invalid_argument("missing value");
        return std::stod(argv[++i]);
    };
    auto nums = [&](int& i, auto& arr) {
        for (double& v : arr) v = num(i);
    };
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string a = argv[i];
            if (a == "--out" && i + 1 < argc)
                base = argv[++i];
            else if (a == "--title" && i + 1 < argc)
                c.title = argv[++i];
            else if (a == "--seed")
                c.seed = static_cast<std::uint64_t>(num(i));
            else if (a == "--groups")
                c.ngroups = static_cast<int>(num(i));
            else if (a == "--cell")
                nums(i, c.cell);
            else if (a == "--orient")
                nums(i, c.orient);
            else if (a == "--wave") {
                c.wave1 = num(i);
                c.wave2 = num(i);
                c.a2ratio = num(i);
            } else if (a == "--zeros")
                nums(i, c.zeros);
            else if (a == "--offset")
                nums(i, c.xtaloff);
            else if (a == "--delta-h")
                c.delta_h = num(i);
            else if (a == "--goncon") {
                c.goncon1 = num(i);
                c.goncon2 = num(i);
            } else if (a == "--omega")
                c.omega_max = num(i);
            else if (a == "--centring")
                c.centring = num(i);
            else if (a == "--fwhm") {
                c.fwhm_a = num(i);
                c.fwhm_b = num(i);
            } else if (a == "--eta")
                c.eta = num(i);
            else if (a == "--background")
                c.background = num(i);
            else if (a == "--intensity")
                c.intensity = num(i);
            else if (a == "--npts")
                c.npts = static_cast<int>(num(i));
            else if (a == "--step")
                c.step = num(i);
            else
                throw std::invalid_argument(a);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tarnivox-simulate zref: bad argument (%s)\n%s", e.what(), usage);
        return 2;
    }
    // The goniometer constants are distances: the parameter reader takes
    // anything up to 0.1 as missing.
    if (base.empty() || c.ngroups < 1 || c.ngroups > 125 || c.npts < 2 || c.npts > 500 || !(c.step > 0.0) ||
        !(c.goncon1 > 0.1) || !(c.goncon2 > 0.1)) {
        std::fputs(usage, stderr);
        return 2;
    }
    try {
        const ZrefData d = simulate_zref(c, base + ".rfl", base + ".par", base + ".truth");
        std::printf("%zu reflections at eight settings written\n", d.groups.size());
    } catch (const ProgramEnd& e) {
        std::fprintf(stderr, "tarnivox-simulate zref: %s\n", e.message.c_str());
        return 1;
    }
    return 0;
}

}  // namespace tarnivox::sim
