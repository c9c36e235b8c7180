// The simulator's crystal, reflection list and counts.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>

#include "core/store.h"
#include "fitting/profile.h"
#include "import/cad4.h"
#include "io/layout.h"
#include "refine/corrections.h"
#include "refine/geometry.h"
#include "refine/ub_lsq.h"
#include "sim_plan.h"

namespace tarnivox::sim {
namespace {

constexpr double DEG = 57.29578;

double round_to(double v, double q) { return std::round(v / q) * q; }

// Shift of the omega peak position by the circle zero errors and the
// crystal offset (the offset model converts with the exact 180/pi).
double instrument_shift(const Config& c, const std::array<double, 4>& ang) {
    constexpr double R = 180.0 / 3.14159265358979323846;
    const double w = ang[1] / R, ch = ang[2] / R, ph = ang[3] / R, th = ang[0] / 2.0 / R;
    const double so = std::sin(w), co = std::cos(w), sc = std::sin(ch), cc = std::cos(ch);
    const double sp = std::sin(ph), cp = std::cos(ph);
    const auto& x = c.xtaloff;
    const double v1 = (co * cc * cp - so * sp) * x[0] + (co * cc * sp + so * cp) * x[1] + co * sc * x[2];
    const double v2 = (-so * cc * cp - co * sp) * x[0] + (-so * cc * sp + co * cp) * x[1] - so * sc * x[2];
    const double offset = (v1 * std::cos(th) + v2 * std::sin(th)) / c.goncon1 * R;
    return c.om_zero - c.tth_zero / 2.0 + offset;
}

void make_ub(const Config& cfg, double ub[3][3]) {
    Arr1<double, 7> cell;
    for (int j = 1; j <= 6; ++j) cell(j) = cfg.cell[static_cast<std::size_t>(j - 1)];
    Mat3 b;
    CALCB(cell, b);
    const double a = cfg.orient[0] / DEG, be = cfg.orient[1] / DEG, c = cfg.orient[2] / DEG;
    const double rx[3][3] = {{1, 0, 0}, {0, std::cos(a), -std::sin(a)}, {0, std::sin(a), std::cos(a)}};
    const double ry[3][3] = {{std::cos(be), 0, std::sin(be)}, {0, 1, 0}, {-std::sin(be), 0, std::cos(be)}};
    const double rz[3][3] = {{std::cos(c), -std::sin(c), 0}, {std::sin(c), std::cos(c), 0}, {0, 0, 1}};
    double t[3][3]{}, u[3][3]{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) t[i][j] += rz[i][k] * ry[k][j];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) u[i][j] += t[i][k] * rx[k][j];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            ub[i][j] = 0.0;
            for (int k = 0; k < 3; ++k) ub[i][j] += u[i][k] * b(k + 1, j + 1);
        }
}

// Bisecting setting angles of a reflection, on the grid the coarsest
// instrument field holds (2theta to 0.02 so that theta is exact to 0.01).
// A CAD4 file holds theta to 0.001: a coarser grid there would give every
// reflection of one d-spacing the same 2theta error, a systematic error
// that no instrument makes.
bool setting_angles(const Plan& p, const std::array<int, 3>& hkl, std::array<double, 4>& ang) {
    Vec3 h;
    for (int i = 0; i < 3; ++i) {
        h(i + 1) = 0.0;
        for (int j = 0; j < 3; ++j) h(i + 1) += p.ub[i][j] * hkl[static_cast<std::size_t>(j)];
    }
    G.WAVE1 = p.cfg.wave1;
    G.PARITY.fill(1);
    Angles a;
    int ierr = 0;
    CALCA(h, a, ierr);
    if (ierr != 0) return false;
    const double tth_grid = p.cfg.format == Format::Cad4 ? 0.002 : 0.02;
    ang = {round_to(a(1), tth_grid), 0.0, round_to(a(3), 0.01), round_to(a(4), 0.01)};
    return true;
}

// Angles the Febo reader derives: from the indices and the matrix the file
// carries (with its six decimals), at the fixed wavelength of IH_TO_EULER.
std::array<double, 4> febo_angles(const Plan& p, const std::array<int, 3>& hkl) {
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j)
            G.UB(i, j) = round_to(p.ub[i - 1][j - 1] * p.cfg.wave1, 1e-6) / p.cfg.wave1;
    Indices ih;
    for (int j = 1; j <= 3; ++j) ih(j) = hkl[static_cast<std::size_t>(j - 1)];
    Angles a;
    IH_TO_EULER(ih, a);
    return {a(1), a(2), a(3), a(4)};
}

// Kappa instruments: the reader converts the written kappa settings back
// with its own constants and cut-offs; the program sees those angles.
void as_read_from_kappa(const Config& c, PlannedScan& s) {
    std::array<double, 4>& angles = s.truth.angles;
    const bool kappa_file = c.format == Format::Cad4 || c.format == Format::Xcalibur;
    std::array<double, 4> k{};
    if (!kappa_file || !euler_to_kappa(angles, k)) return;
    const double q = c.format == Format::Cad4 ? 0.001 : 0.0001;
    s.kappa = {round_to(k[0], q), round_to(k[1], q), round_to(k[2], q), round_to(k[3], q)};
    if (c.format == Format::Xcalibur && !c.xcal_newer) return;  // the Euler line gives the angles
    Arr1<double, 4> kap{{s.kappa[0], s.kappa[1], s.kappa[2], s.kappa[3]}};
    Arr1<double, 4> ang;
    int status = 0;
    ANGLE_CONV(kap, ang, status);
    for (int j = 1; j <= 4; ++j) angles[static_cast<std::size_t>(j - 1)] = ang(j);
}

double capacity(Format f) {
    switch (f) {
        case Format::Cad4: return 9999.0;
        case Format::Huber: return 999999.0;
        default: return 5.0e6;
    }
}

// Scale, letter and the instrument's own values of one reflection.
void classify(Plan& p, PlannedScan& s, std::mt19937_64& rng, int index) {
    const Config& c = p.cfg;
    Truth& t = s.truth;
    std::uniform_real_distribution<double> u(0.0, 1.0);
    const double pick = u(rng);
    switch (c.format) {
        case Format::Cad4: {
            const double width = round_to(1.2 + 0.5 * std::tan(t.angles[0] / 2.0 / DEG), 0.001);
            s.width = width;
            t.npts = 96;
            t.step = width / 95.0;
            if (s.standard) {
                s.speed_code = 10;
                t.rflag = 'I';
            } else if (s.weak) {
                s.speed_code = 16;
                t.rflag = 'W';
            } else if (s.attenuated) {
                s.speed_code = -p.cad4_p1;
                t.rflag = 'F';
            } else if (pick < 0.4) {
                s.speed_code = p.cad4_p1;
                t.rflag = 'S';
            } else if (pick < 0.7) {
                s.speed_code = 16;
                t.rflag = 'M';
            } else {
                s.speed_code = 5;
                t.rflag = 'R';
            }
            t.scale = 1000.0 / std::abs(s.speed_code);
            if (s.attenuated) t.scale /= c.atten;
            if (index == 2 && c.nrefl > 5) s.left_out = true;
            break;
        }
        case Format::Stoe: {
            const int per_step = pick < 0.5 ? 1 : 2;
            s.speed_code = per_step * t.npts;  // total counting time, s
            t.scale = (s.attenuated ? c.atten : 1.0) / per_step;
            t.rflag = s.standard ? 'I' : (s.attenuated ? 'F' : 'N');
            break;
        }
        case Format::Huber: {
            // t = 0 on the count line: the reflection line gives 3 s.
            s.speed_code = index == 0 ? 1 : (pick < 0.4 ? 1 : (pick < 0.8 ? 2 : 0));
            const double steptime = s.speed_code != 0 ? s.speed_code : 3.0;
            t.scale = 1.0 / steptime;  // the first reflection counts 1 s per step
            t.rflag = 'N';
            break;
        }
        case Format::Febo: {
            s.speed_code = s.standard ? 100 : (s.attenuated ? -100 : (pick < 0.5 ? 100 : 50));
            t.scale = s.speed_code == 100 ? 1.0 : (s.speed_code == -100 ? c.atten : 2.0);
            t.rflag = s.standard ? 'I' : (s.attenuated ? 'F' : 'N');
            break;
        }
        case Format::Xcalibur: {
            const double scanw = p.xcal_scanw[0] + p.xcal_scanw[1] * std::tan(t.angles[0] / 2.0 / DEG);
            t.step = scanw / t.npts;
            s.line_scale = pick < 0.5 ? 1.0 : 0.5;
            if (s.standard) {
                t.rflag = 'I';
                t.scale = c.xcal_newer ? s.line_scale : scanw / p.xcal_speed / (t.npts * 1.0);
            } else {
                static const char* const codes[] = {"WK", "NL", "ST"};
                static const char letters[] = {'M', 'R', 'S'};
                const int k = static_cast<int>(pick * 3.0) % 3;
                s.class_code = s.weak ? "LT" : (s.attenuated ? "FT" : codes[k]);
                t.rflag = s.weak ? 'W' : (s.attenuated ? 'F' : letters[k]);
                t.scale = s.line_scale * (s.attenuated ? c.atten : 1.0);
            }
            break;
        }
        case Format::Xscans: {
            const double width =
                std::min(9.99, round_to(1.2 + 0.6 * std::tan(t.angles[0] / 2.0 / DEG), 0.01));
            s.width = s.attenuated ? -width : width;
            t.step = width / (t.npts - 1);
            s.speed_code = pick < 0.5 ? 4 : 8;
            t.scale = (s.standard ? 1.0 : s.speed_code) * (s.attenuated ? c.atten : 1.0);
            t.rflag = s.standard ? 'I' : (s.attenuated ? 'F' : 'N');
            break;
        }
        case Format::Standard: {
            static const char letters[] = {'M', 'R', 'S'};
            t.rflag = s.standard ? 'I' : (s.weak ? 'W' : (s.attenuated ? 'F' : letters[index % 3]));
            t.scale = s.attenuated ? c.atten : (pick < 0.5 ? 1.0 : 2.0);
            break;
        }
    }
}

// Poisson counts around the program's pseudo-Voigt doublet, on the step
// angles the program derives for the scan.
void make_counts(const Plan& p, PlannedScan& s, std::mt19937_64& rng) {
    Truth& t = s.truth;
    const Doublet d = make_doublet(p.cfg.wave1, p.cfg.wave2, p.mshift, t.angles[0]);
    const double cap = capacity(p.cfg.format);
    auto mean_at = [&](int i, double intensity) {
        const double x = t.angles[1] - (t.npts / 2) * t.step + (i - 1) * t.step;
        const double par[6] = {t.background, t.fwhm, intensity / t.scale, t.position, t.eta, p.cfg.a2ratio};
        return doublet_model(x, par, d);
    };
    // The count cap bounds the crystal's intensity before its decay and its
    // absorption: both losses then show in strong reflections (the
    // standards) as in weak ones.
    double top = 0.0;
    for (int i = 1; i <= t.npts; ++i) top = std::max(top, mean_at(i, t.intensity));
    if (top > 0.6 * cap) t.intensity *= (0.5 * cap - t.background) / (top - t.background);
    t.intensity *= t.decay * t.transmission;
    t.counts.assign(static_cast<std::size_t>(t.npts), 0);
    for (int i = 1; i <= t.npts; ++i) {
        std::poisson_distribution<long long> poisson(std::max(mean_at(i, t.intensity), 1e-3));
        t.counts[static_cast<std::size_t>(i - 1)] = poisson(rng);
    }
}

std::vector<std::array<int, 3>> candidate_indices(const Plan& p) {
    std::vector<std::array<int, 3>> list;
    // The whole sphere to 2theta 50 degrees: |h| <= 2 a sin(25 deg) / lambda.
    const auto reach = [&p](int axis, int fixed) {
        if (!p.cfg.equivalents) return fixed;
        return static_cast<int>(2.0 * p.cfg.cell[static_cast<std::size_t>(axis)] * std::sin(25.0 / DEG) / p.cfg.wave1) + 1;
    };
    const int hm = reach(0, 5), km = reach(1, 5), lm = reach(2, 6);
    for (int h = -hm; h <= hm; ++h)
        for (int k = -km; k <= km; ++k)
            for (int l = -lm; l <= lm; ++l) {
                if (h == 0 && k == 0 && l == 0) continue;
                std::array<double, 4> a{};
                if (!setting_angles(p, {h, k, l}, a)) continue;
                if (a[0] < 8.0 || a[0] > 50.0 || std::abs(a[2]) > 85.0) continue;
                list.push_back({h, k, l});
            }
    return list;
}

}  // namespace

Plan make_plan(const Config& cfg) {
    Plan p;
    p.cfg = cfg;
    if (p.cfg.format == Format::Cad4) {
        p.cfg.npts = 96;
        if (p.cfg.atten > 1.0) p.cfg.atten = 0.08;  // the CAD4 gives the transmission of its attenuator
    }
    make_ub(p.cfg, p.ub);
    const AbsorbingCrystal crystal = cfg.faces.empty() ? AbsorbingCrystal{}
                                                       : make_absorbing_crystal(cfg.faces, cfg.mu, p.ub,
                                                                                cfg.mc_points, cfg.seed);
    p.mshift = cfg.monodir == 0
                   ? 0.0
                   : cfg.monodir *
                         (std::asin(cfg.wave2 / cfg.wave1 * std::sin(std::abs(cfg.mono2th) / 2.0 / 57.2958)) *
                              57.2958 -
                          cfg.mono2th / 2.0);
    p.step_to_enter = cfg.step;

    std::mt19937_64 rng(cfg.seed);
    std::vector<std::array<int, 3>> cand = candidate_indices(p);
    std::shuffle(cand.begin(), cand.end(), rng);
    const int nstd = std::min(std::max(p.cfg.nstd, 0), 9);
    for (int i = 0; i < nstd && !cand.empty(); ++i) {
        p.standards.push_back(cand.back());
        cand.pop_back();
    }
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::normal_distribution<double> offset(0.0, 1.0);
    std::size_t next = 0;
    int std_seen = 0;
    int nref = cfg.first_number;
    for (int i = 0; i < cfg.nrefl; ++i) {
        PlannedScan s;
        Truth& t = s.truth;
        s.standard = nstd > 0 && cfg.std_interval > 0 && i % cfg.std_interval == 0;
        if (s.standard) {
            const int k = std_seen++ % nstd;
            t.hkl = p.standards[static_cast<std::size_t>(k)];
            t.isctype = k + 1;
        } else {
            if (cand.empty()) break;
            t.hkl = cand[next++ % cand.size()];
        }
        setting_angles(p, t.hkl, t.angles);
        if (cfg.format == Format::Febo) t.angles = febo_angles(p, t.hkl);
        t.angles[0] += cfg.tth_zero;
        as_read_from_kappa(p.cfg, s);
        t.nref = nref++;
        t.npts = cfg.format == Format::Cad4 ? 96 : cfg.npts;
        if (cfg.long_scan == i + 1 && cfg.format != Format::Cad4 && cfg.format != Format::Xscans &&
            cfg.format != Format::Xcalibur) {
            t.npts = 600;
            t.in_data_set = false;
        }
        t.step = cfg.step;
        const double theta = t.angles[0] / 2.0 / DEG;
        t.fwhm = cfg.fwhm_a + cfg.fwhm_b * std::tan(theta);
        t.eta = cfg.eta;
        t.background = cfg.background;
        t.position = t.angles[1] + cfg.position_sd * offset(rng) + instrument_shift(cfg, t.angles);
        const double sl = std::sin(theta) / cfg.wave1;
        const double wilson = std::exp(-2.0 * cfg.wilson_b * sl * sl);
        const double draw = u(rng);
        if (s.standard) {
            t.intensity = 4.0 * cfg.scale_i;
        } else if (draw < cfg.zero_fraction) {
            t.intensity = 0.0;
            s.weak = true;
        } else if (draw < cfg.zero_fraction + cfg.weak_fraction) {
            t.intensity = 0.02 * cfg.scale_i * u(rng);
            s.weak = true;
        } else {
            double draw_i = u(rng);
            if (cfg.equivalents) {
                // The same draw for (h k l), (-h k -l), (-h -k -l), (h -k l).
                const std::array<int, 3>& h = t.hkl;
                std::array<int, 3> key = h;
                for (const std::array<int, 3>& e : {std::array<int, 3>{-h[0], h[1], -h[2]},
                                                    std::array<int, 3>{-h[0], -h[1], -h[2]},
                                                    std::array<int, 3>{h[0], -h[1], h[2]}})
                    key = std::max(key, e);
                std::mt19937_64 same(cfg.seed * 1000003ULL +
                                     static_cast<std::uint64_t>((key[0] + 512) * 1048576LL + (key[1] + 512) * 1024LL + (key[2] + 512)));
                draw_i = std::uniform_real_distribution<double>(0.0, 1.0)(same);
            }
            t.intensity = cfg.scale_i * -std::log(std::max(draw_i, 1e-12)) * wilson;
            s.attenuated = u(rng) < cfg.attenuated_fraction;
        }
        if (cfg.lp) {
            G.IMONO = cfg.imono;
            G.MONO2TH = cfg.mono2th;
            G.MONOANG = 0.0;
            t.intensity /= CLORENZ(t.angles[0]);
        }
        // The crystal's loss by the time this reflection is measured.
        t.decay = decay_level(cfg, cfg.nrefl > 1 ? static_cast<double>(i) / (cfg.nrefl - 1) : 0.0);
        if (!cfg.faces.empty())
            t.transmission = monte_carlo_transmission(crystal, p.ub, t.hkl, t.angles, cfg.wave1);
        classify(p, s, rng, i);
        if (s.left_out) t.in_data_set = false;
        make_counts(p, s, rng);
        p.scans.push_back(std::move(s));
    }
    // Huber: the scale is the first reflection's counting time per step
    // over this one's; Febo numbers standards by their first appearance,
    // which is the order of the plan.
    return p;
}

Result simulate(const Config& cfg, const std::string& data_path, const std::string& par_path,
                const std::string& truth_path) {
    const Plan plan = make_plan(cfg);
    write_data_file(plan, data_path);
    write_parameter_file(plan, par_path);
    if (!truth_path.empty()) write_truth_table(plan, truth_path);
    Result r;
    r.step_to_enter = plan.step_to_enter;
    const std::string letters = "WMRSFIN";
    for (const PlannedScan& s : plan.scans) {
        r.refl.push_back(s.truth);
        if (!s.truth.in_data_set) continue;
        const std::size_t k = letters.find(s.truth.rflag);
        if (k != std::string::npos) r.nclass[k] += 1;
    }
    return r;
}

double decay_level(const Config& cfg, double t) {
    if (cfg.decay == 0.0) return 1.0;
    if (cfg.decay_model == Config::Decay::Exponential) return std::pow(1.0 - cfg.decay, t);
    return 1.0 - cfg.decay * t;
}

bool euler_to_kappa(const std::array<double, 4>& angles, std::array<double, 4>& kappa) {
    constexpr double RAD = 0.017453292;
    const double s = std::sin(angles[2] / 2.0 * RAD) / 0.76604;
    if (std::abs(s) > 1.0) return false;
    const double half_kappa = std::asin(s);
    double r = std::cos(half_kappa) / std::cos(angles[2] / 2.0 * RAD);
    r = std::clamp(r, -1.0, 1.0);
    double delta = std::acos(r) / RAD;
    if (std::sin(half_kappa) < 0) delta = -delta;
    const double theta = angles[0] / 2.0;
    kappa = {theta, angles[3] - delta, angles[1] - delta + theta, 2.0 * half_kappa / RAD};
    return true;
}

std::string encode_count(long long count) {
    static const std::string low = "0123456789`~!@#$%^&*()-_=+|\\[{]};:'\",<.>/?";
    static const std::string high = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    std::string group(1, low[static_cast<std::size_t>(count % 42)]);
    for (long long rest = count / 42; rest > 0; rest /= 52)
        group.insert(group.begin(), high[static_cast<std::size_t>(rest % 52)]);
    return group;
}

std::string extension_of(Format f) {
    switch (f) {
        case Format::Standard: return "rfl";
        case Format::Xcalibur: return "dca";
        case Format::Xscans: return "p4t";
        case Format::Stoe: return "d00";
        case Format::Febo: return "feb";
        default: return "dat";
    }
}

void write_parameter_file(const Plan& p, const std::string& path) {
    const Config& c = p.cfg;
    std::ofstream out(path);
    out << format_record("('PKPAR ',3F10.4)", {c.fwhm_a, c.fwhm_b, c.eta}) << '\n';
    // BACKGROUND is tested in raw counts per step: from none up to well
    // above the simulated level, so that an automatic run on the data set
    // as written passes its scans.
    const double bg_upper = std::max(1.0e5, 100.0 * c.background);
    char upper[32];
    std::snprintf(upper, sizeof upper, "%g", bg_upper);
    out << "FITLIM 0.0 " << (bg_upper == 1.0e5 ? std::string("1.0e5") : std::string(upper))
        << " 0.02 1.0 0.0 1.0e8 0.2 0.2 0.0 1.0 0.4 0.6 0.25\n";
    out << format_record("('ATTEN ',F10.4)", {c.format == Format::Cad4 ? p.cfg.atten : c.atten}) << '\n';
    out << format_record("('WAVEL  2',3F10.6)", {c.wave1, c.wave2, c.a2ratio}) << '\n';
    out << "RFLAGS 1,1,1,1,1,0\nTFLAGS 1,1,1,1,1,0,1\nPARITY 1,1,1,1\n";
    out << format_record("('MONO  ',I5,2F10.4,I5)", {c.imono, c.mono2th, 0.0, c.monodir}) << '\n';
    out << "BACKGR 3 5\n" << format_record("('GONCON ',2F10.3)", {c.goncon1, c.goncon1}) << "\nBLAXES 1,2,3\n";
}

void write_truth_table(const Plan& p, const std::string& path) {
    std::ofstream out(path);
    const bool with_decay = p.cfg.decay != 0.0;
    const bool absorbing = !p.cfg.faces.empty();
    out << "# nref    h   k   l     2theta      omega        chi        phi   position     fwhm    eta"
           "  background   intensity       scale flag std npts     step in"
        << (with_decay ? "     decay" : "") << (absorbing ? "  transmission\n" : "\n");
    for (const PlannedScan& s : p.scans) {
        const Truth& t = s.truth;
        out << format_record("(I6,3I4,5F11.4,F9.4,F7.3,F12.3,F12.3,F12.6,3X,A1,I4,I5,F9.5,I3)",
                             {t.nref, t.hkl[0], t.hkl[1], t.hkl[2], t.angles[0], t.angles[1], t.angles[2],
                              t.angles[3], t.position, t.fwhm, t.eta, t.background, t.intensity, t.scale,
                              std::string(1, t.rflag), t.isctype, t.npts, t.step, t.in_data_set ? 1 : 0});
        // With a decaying crystal the intensity is the one measured, and the
        // last column the factor of the loss: intensity / decay is the
        // intensity of the crystal at the start of the run.
        if (with_decay) out << format_record("(F10.6)", {t.decay});
        // The intensity is the one measured: intensity / transmission is
        // that of a crystal that absorbs nothing.
        if (absorbing) out << format_record("(F14.6)", {t.transmission});
        out << '\n';
    }
}

}  // namespace tarnivox::sim
