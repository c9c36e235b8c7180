// tarnivox-simulate: command line of the data simulator (see the README).
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <string>

#include "core/exitint.h"
#include "sim_zref.h"
#include "simulate.h"

namespace {

using tarnivox::sim::Config;
using tarnivox::sim::Format;

const char* const USAGE =
    "usage: tarnivox-simulate --format NAME --out BASE [options]\n"
    "       tarnivox-simulate zref --out BASE [options] (eight settings per reflection)\n"
    "  NAME: standard, huber, xcalibur, xcalibur-old, xscans, stoe, febo, cad4\n"
    "  writes BASE.<ext> (data), BASE.par (instrument parameters), BASE.truth\n"
    "  --seed N  --nrefl N  --npts N  --step X  --nstd N  --std-interval N\n"
    "  --cell a b c alpha beta gamma  --wave w1 w2 ratio  --fwhm a b  --eta X\n"
    "  --background X  --intensity X  --atten X  --monodir N  --first N\n"
    "  --zero-fraction X  --weak-fraction X (reflections with no and with little intensity)\n"
    "  --cad4-margin N  --title TEXT\n"
    "  --variants (every optional or variable element of the layout in a random pattern)\n"
    "  --decay F [linear|exponential] (fraction of the intensity lost by the last reflection)\n"
    "  --wilson-b B (temperature factor, A^2; default 2)  --lp (counts carry the Lp factor)\n"
    "  --equivalents (2/m equivalents share their intensity; the whole sphere to 2theta 50)\n"
    "  --tth-zero X  --om-zero X  --offsets x y z  --goncon X\n"
    "  --face h k l d (repeated: an absorbing crystal, d in mm; writes BASE.cry)  --mu X (mm^-1)\n"
    "  --mc-points N (Monte Carlo points of the transmission; default 200000)\n";

bool format_of(const std::string& name, Config& c) {
    static const struct {
        const char* name;
        Format f;
    } names[] = {{"standard", Format::Standard}, {"huber", Format::Huber},
                 {"xcalibur", Format::Xcalibur}, {"xcalibur-old", Format::Xcalibur},
                 {"xscans", Format::Xscans},     {"stoe", Format::Stoe},
                 {"febo", Format::Febo},         {"cad4", Format::Cad4}};
    for (const auto& n : names)
        if (name == n.name) {
            c.format = n.f;
            c.xcal_newer = name != "xcalibur-old";
            return true;
        }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--help") {
        std::printf("tarnivox-simulate: writes simulated omega step-scan data sets with known answers.\n\n%s",
                    USAGE);
        return 0;
    }
    if (argc == 2 && std::string(argv[1]) == "--version") {
        std::printf("tarnivox-simulate 3.53\n");
        return 0;
    }
    // "zref": reflections at eight equivalent settings for the zero-point refinement.
    if (argc > 1 && std::string(argv[1]) == "zref") return tarnivox::sim::zref_main(argc - 1, argv + 1);
    Config c;
    std::string base;
    bool have_format = false;
    auto num = [&](int& i) {
        if (i + 1 >= argc) throw std::invalid_argument("missing value");
        return std::stod(argv[++i]);
    };
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string a = argv[i];
            if (a == "--format" && i + 1 < argc)
                have_format = format_of(argv[++i], c);
            else if (a == "--out" && i + 1 < argc)
                base = argv[++i];
            else if (a == "--title" && i + 1 < argc)
                c.title = argv[++i];
            else if (a == "--seed")
                c.seed = static_cast<std::uint64_t>(num(i));
            else if (a == "--nrefl")
                c.nrefl = static_cast<int>(num(i));
            else if (a == "--npts")
                c.npts = static_cast<int>(num(i));
            else if (a == "--step")
                c.step = num(i);
            else if (a == "--nstd")
                c.nstd = static_cast<int>(num(i));
            else if (a == "--std-interval")
                c.std_interval = static_cast<int>(num(i));
            else if (a == "--cell")
                for (double& v : c.cell) v = num(i);
            else if (a == "--wave") {
                c.wave1 = num(i);
                c.wave2 = num(i);
                c.a2ratio = num(i);
            } else if (a == "--fwhm") {
                c.fwhm_a = num(i);
                c.fwhm_b = num(i);
            } else if (a == "--eta")
                c.eta = num(i);
            else if (a == "--background")
                c.background = num(i);
            else if (a == "--intensity")
                c.scale_i = num(i);
            else if (a == "--zero-fraction")
                c.zero_fraction = num(i);
            else if (a == "--weak-fraction")
                c.weak_fraction = num(i);
            else if (a == "--atten")
                c.atten = num(i);
            else if (a == "--monodir")
                c.monodir = static_cast<int>(num(i));
            else if (a == "--first")
                c.first_number = static_cast<int>(num(i));
            else if (a == "--tth-zero")
                c.tth_zero = num(i);
            else if (a == "--om-zero")
                c.om_zero = num(i);
            else if (a == "--offsets")
                for (double& v : c.xtaloff) v = num(i);
            else if (a == "--goncon")
                c.goncon1 = num(i);
            else if (a == "--wilson-b")
                c.wilson_b = num(i);
            else if (a == "--lp")
                c.lp = true;
            else if (a == "--variants")
                c.variants = true;
            else if (a == "--equivalents")
                c.equivalents = true;
            else if (a == "--decay") {
                c.decay = num(i);
                if (i + 1 < argc && (std::string(argv[i + 1]) == "linear" || std::string(argv[i + 1]) == "exponential"))
                    c.decay_model = std::string(argv[++i]) == "linear" ? Config::Decay::Linear
                                                                        : Config::Decay::Exponential;
            } else if (a == "--face") {
                tarnivox::sim::SimFace f;
                for (int& v : f.hkl) v = static_cast<int>(num(i));
                f.d = num(i);
                c.faces.push_back(f);
            } else if (a == "--mu")
                c.mu = num(i);
            else if (a == "--mc-points")
                c.mc_points = static_cast<int>(num(i));
            else if (a == "--cad4-margin")
                c.cad4_margin = static_cast<int>(num(i));
            else
                throw std::invalid_argument(a);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tarnivox-simulate: bad argument (%s)\n%s", e.what(), USAGE);
        return 2;
    }
    if (!have_format || base.empty() || c.nrefl < 1 || c.npts < 2 || c.cad4_margin < 0 || c.cad4_margin > 4 ||
        !(c.zero_fraction >= 0.0) || !(c.weak_fraction >= 0.0) || c.zero_fraction + c.weak_fraction > 1.0 ||
        !(c.goncon1 > 0.0) || !(c.decay >= 0.0 && c.decay < 1.0) || (!c.faces.empty() && !(c.mu > 0.0)) ||
        c.mc_points < 1) {
        std::fputs(USAGE, stderr);
        return 2;
    }
    try {
        const auto r = tarnivox::sim::simulate(c, base + "." + tarnivox::sim::extension_of(c.format),
                                               base + ".par", base + ".truth");
        if (!c.faces.empty()) tarnivox::sim::write_crystal_file(c.faces, c.mu, base + ".cry");
        std::printf("%zu reflections written; step size to enter: %.4f\n", r.refl.size(), r.step_to_enter);
    } catch (const tarnivox::ProgramEnd& e) {
        std::fprintf(stderr, "tarnivox-simulate: %s\n", e.message.c_str());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tarnivox-simulate: %s\n", e.what());
        return 1;
    }
    return 0;
}
