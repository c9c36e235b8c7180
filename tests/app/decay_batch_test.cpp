// The decay of the crystal from end to end: the simulator loses a known
// fraction of every intensity over the run, `tarnivox reduce` fits it from
// the standards, flags it, and with --decay-correct rewrites the intensity
// file so that the standards are flat and the intensities unbiased against
// the simulated truth.  A crystal that does not decay is not flagged.  The
// Wilson plot and the CIF's figures of a simulated crystal with a known B
// agree with the simulation.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "core/store.h"
#include "refine/corrections.h"
#include "report/analyses.h"
#include "simulate.h"
#include "support/scratch.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// One reflection record of an Rfine intensity file.
struct IntRecord {
    int seq = 0, standard = 0;
    std::array<int, 3> hkl{};
    double tth = 0.0, i = 0.0, sigma = 0.0;
    bool rejected = false;
};

// 3I3,2F8.4,2F8.3,1X,F11.d,1X,F7.d,F7.0,2X,6A1,I3
std::vector<IntRecord> read_rfine(const fs::path& path) {
    std::vector<IntRecord> out;
    for (const std::string& line : test::read_lines(path)) {
        if (line.size() < 79) continue;
        IntRecord r;
        r.hkl = {std::stoi(line.substr(0, 3)), std::stoi(line.substr(3, 3)), std::stoi(line.substr(6, 3))};
        r.tth = std::stod(line.substr(9, 8));
        r.i = std::stod(line.substr(42, 11));
        r.sigma = std::stod(line.substr(54, 7));
        const long id = std::lround(std::stod(line.substr(61, 7)));
        r.seq = static_cast<int>(id / 10);
        r.standard = static_cast<int>(id % 10);
        r.rejected = line[71] == 'R';
        out.push_back(r);
    }
    return out;
}

class DecayBatch : public ::testing::Test {
protected:
    void SetUp() override {
        program_ = fs::path(TARNIVOX_BINARY_DIR) / "tarnivox";
        if (!fs::exists(program_)) GTEST_SKIP() << "the program is not built";
        dir_ = test::make_scratch_dir("tarnivox_decay_batch");
    }
    void TearDown() override {
        std::error_code ec;
        if (!dir_.empty()) fs::remove_all(dir_, ec);
    }
    static sim::Config crystal(std::uint64_t seed, double decay, sim::Config::Decay model) {
        sim::Config c;
        c.format = sim::Format::Cad4;
        c.nrefl = 2000;
        c.std_interval = 50;
        c.seed = seed;
        c.decay = decay;
        c.decay_model = model;
        return c;
    }
    sim::Result simulate(const sim::Config& c) const {
        return sim::simulate(c, (dir_ / ("xtal." + sim::extension_of(c.format))).string(), (dir_ / "xtal.par").string(),
                             "");
    }
    // Exit status of `tarnivox reduce DATA ... ARGS`, its standard error in err.
    int reduce(const std::string& args, std::string& err, const std::string& data = "xtal.dat --format cad4") const {
        const fs::path e = dir_ / "stderr.txt";
        const std::string cmd = "cd '" + dir_.string() + "' && '" + program_.string() + "' reduce " + data +
                                " --par xtal.par --quiet " + args + " >/dev/null 2>'" +
                                e.string() + "' </dev/null";
        const int raw = std::system(cmd.c_str());
        err = test::read_text(e);
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    json summary() const { return json::parse(test::read_text(dir_ / "s.json"))["runs"][0]; }

    fs::path program_;
    fs::path dir_;
};

TEST_F(DecayBatch, KnownDecayIsFoundFlaggedAndCorrectedToFlatStandardsAndUnbiasedIntensities) {
    // The reciprocal Lorentz-polarisation factor of the simulated
    // instrument: the written intensity is it times the simulated one.
    G.IMONO = 1;
    G.MONO2TH = sim::Config{}.mono2th;
    G.MONOANG = 0.0;
    const double lost = 0.08;
    const struct {
        std::uint64_t seed;
        sim::Config::Decay model;
    } runs[] = {{1, sim::Config::Decay::Linear},
                {2, sim::Config::Decay::Linear},
                {3, sim::Config::Decay::Linear},
                {4, sim::Config::Decay::Exponential}};
    for (const auto& run : runs) {
        const std::string label = "seed " + std::to_string(run.seed);
        const sim::Config cfg = crystal(run.seed, lost, run.model);
        const sim::Result truth = simulate(cfg);
        // The simulator's loss: none at the first reflection, `lost` at the last.
        ASSERT_EQ(truth.refl.size(), 2000u);
        EXPECT_DOUBLE_EQ(truth.refl.front().decay, 1.0);
        EXPECT_NEAR(truth.refl.back().decay, 1.0 - lost, 1e-12);
        const double mid = run.model == sim::Config::Decay::Linear ? 1.0 - lost * 999.0 / 1999.0
                                                                     : std::pow(1.0 - lost, 999.0 / 1999.0);
        EXPECT_NEAR(truth.refl[999].decay, mid, 1e-12) << label;

        std::string err;
        ASSERT_EQ(reduce("--form rfine --decay-correct --json s.json --log run.log", err), 0) << label << err;
        const json d = summary()["decay_correction"];
        ASSERT_TRUE(d.is_object()) << label;
        const double fitted = d["decay_percent"].get<double>(), esd = d["decay_esd_percent"].get<double>();
        EXPECT_LT(std::fabs(fitted - 100.0 * lost), 3.0 * esd) << label << ": " << fitted << " +- " << esd;
        EXPECT_TRUE(d["decay_flagged"].get<bool>()) << label;
        EXPECT_DOUBLE_EQ(d["factor_min"].get<double>(), 1.0) << label;
        EXPECT_NEAR(d["factor_max"].get<double>(), 1.0 / (1.0 - fitted / 100.0), 1e-9) << label;
        EXPECT_EQ(d["reflections_dropped"].get<int>(), 0) << label;
        EXPECT_NE(test::read_text(dir_ / "run.log").find("DECAY CORRECTION FROM THE STANDARDS"), std::string::npos);

        // The standards of the rewritten file, fitted again: flat within their esds.
        const std::vector<IntRecord> written = read_rfine(dir_ / "xtal.int");
        EXPECT_EQ(static_cast<int>(written.size()), d["reflections_rescaled"].get<int>()) << label;
        std::vector<report::ReportReflection> refl;
        for (const IntRecord& w : written) {
            report::ReportReflection r;
            r.seq = w.seq;
            r.hkl = w.hkl;
            r.standard = w.standard;
            r.tth = w.tth;
            r.i = w.i;
            r.sigma = w.sigma;
            r.outcome = w.rejected ? report::Outcome::Summation : report::Outcome::Passed;
            refl.push_back(r);
        }
        const report::StandardsAnalysis again = report::analyse_standards(refl);
        ASSERT_TRUE(again.overall.ok) << label;
        EXPECT_LT(std::fabs(again.overall.decay_pct), 3.0 * again.overall.esd_pct)
            << label << ": after the correction " << again.overall.decay_pct << " +- " << again.overall.esd_pct;
        EXPECT_FALSE(again.overall.flagged) << label;

        // Every corrected intensity against the crystal's intensity at the
        // start of the run: the ratio has no trend over the run (before the
        // correction it falls by `lost`).
        std::map<int, const sim::Truth*> by_seq;
        for (const sim::Truth& t : truth.refl) by_seq[t.nref] = &t;
        std::vector<double> t_run, ratio, weight;
        for (const IntRecord& w : written) {
            const sim::Truth& t = *by_seq.at(w.seq);
            if (w.rejected || !(w.i > 20.0 * w.sigma) || t.intensity <= 0.0) continue;
            const double expected = CLORENZ(w.tth) * t.intensity / t.decay;
            t_run.push_back((w.seq - 1) / 1999.0);
            ratio.push_back(w.i / expected);
            weight.push_back(std::pow(expected / w.sigma, 2));
        }
        ASSERT_GT(ratio.size(), 200u) << label;
        const report::LineFit line = report::fit_line(t_run, ratio, weight);
        ASSERT_TRUE(line.ok);
        // What trend is left is the error of the decay the standards gave
        // (1 - lost t) / (1 - fitted t) ~ 1 + (fitted - lost) t: unbiased
        // within the esd of the correction, and exactly that error beyond it.
        const double left = fitted / 100.0 - lost;
        EXPECT_LT(std::fabs(line.b), 3.0 * std::hypot(line.b_esd, esd / 100.0))
            << label << ": slope " << line.b << " +- " << line.b_esd;
        EXPECT_LT(std::fabs(line.b - left), 3.0 * line.b_esd) << label << ": slope " << line.b << ", expected " << left;
        EXPECT_NEAR(line.a, 1.0, 0.03) << label;
        std::printf("%s: decay %.2f +- %.2f %%; after correction %.2f +- %.2f %%; I/I(true) = %.4f + %.4f(%.4f) t\n",
                    label.c_str(), fitted, esd, again.overall.decay_pct, again.overall.esd_pct, line.a, line.b,
                    line.b_esd);
    }
}

TEST_F(DecayBatch, CrystalWithoutDecayIsNotFlaggedAndTheEsdIsHonest) {
    int flags = 0;
    double sum_pull2 = 0.0;
    const int seeds = 6;
    for (int seed = 11; seed < 11 + seeds; ++seed) {
        simulate(crystal(static_cast<std::uint64_t>(seed), 0.0, sim::Config::Decay::Linear));
        std::string err;
        ASSERT_EQ(reduce("--report r.html --json s.json", err), 0) << err;
        const json r = summary()["report"];
        const double pull = r["decay_percent"].get<double>() / r["decay_esd_percent"].get<double>();
        sum_pull2 += pull * pull;
        flags += r["decay_flagged"].get<bool>() ? 1 : 0;
    }
    // A flag beyond 3 esd comes by chance in fewer than 1 run of 300.
    EXPECT_EQ(flags, 0);
    const double rms = std::sqrt(sum_pull2 / seeds);
    EXPECT_LT(rms, 2.0);
    std::printf("no decay, %d seeds: %d flagged, rms decay/esd %.2f\n", seeds, flags, rms);
}

TEST_F(DecayBatch, DecayCorrectionIsRefusedWithoutStandardsAndTakesTheClassifiedOnes) {
    sim::Config c = crystal(5, 0.0, sim::Config::Decay::Linear);
    c.nrefl = 60;
    c.nstd = 0;
    simulate(c);
    std::string err;
    EXPECT_EQ(reduce("--decay-correct --json s.json", err), 1) << err;
    EXPECT_NE(err.find("--decay-correct: no standard reflections in the data set"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(dir_ / "xtal.hkl"));
    EXPECT_TRUE(summary()["decay_correction"].is_null());
    // A standard data file lists no standards in its header; its standards
    // are the reflections classified I, and they are enough.
    c.format = sim::Format::Standard;
    c.nrefl = 200;
    c.nstd = 3;
    c.std_interval = 20;
    c.decay = 0.1;
    simulate(c);
    ASSERT_EQ(reduce("--decay-correct --json s.json", err, "xtal.rfl --format standard"), 0) << err;
    const json d = summary()["decay_correction"];
    EXPECT_LT(std::fabs(d["decay_percent"].get<double>() - 10.0), 3.0 * d["decay_esd_percent"].get<double>());
    // The Laue class is for the merging figures of the report or the CIF.
    EXPECT_EQ(reduce("--laue 2/m", err), 2);
    EXPECT_NE(err.find("--laue belongs to --report or --cif"), std::string::npos) << err;
}

// The correction is made whole or not at all, before the fitted file takes
// its name: a loss no straight line describes (an exponential loss to 5 %)
// and standards measured once each are refused with their reason whole,
// status 1, and the earlier file stays under the final name; a correction
// that is made logs its factors as numbers.
TEST_F(DecayBatch, DecayCorrectionIsAllOrNothingAndTheNameHoldsTheEarlierFile) {
    const std::string earlier = "   1   2   3  100.00    1.00   1\n";
    sim::Config steep = crystal(7, 0.95, sim::Config::Decay::Exponential);
    steep.nrefl = 400;
    sim::Config once = crystal(8, 0.1, sim::Config::Decay::Linear);
    once.nrefl = 400;
    once.std_interval = 1000;  // each standard measured once, at the start
    const struct {
        sim::Config cfg;
        std::string says;
    } refused[] = {{steep, "a linear decay cannot describe such a loss; " + (dir_ / "xtal.hkl").string() +
                               " is left as it was"},
                   {once, "each needs two measurements or more"}};
    for (const auto& c : refused) {
        simulate(c.cfg);
        std::ofstream(dir_ / "xtal.hkl") << earlier;
        std::string err;
        EXPECT_EQ(reduce("--decay-correct --cif --json s.json", err), 1) << err;
        EXPECT_NE(err.find("stopped: --decay-correct: "), std::string::npos) << err;
        EXPECT_NE(err.find(c.says), std::string::npos) << err;
        EXPECT_EQ(test::read_text(dir_ / "xtal.hkl"), earlier);
        const json run = summary();
        EXPECT_FALSE(run["complete"].get<bool>());
        EXPECT_TRUE(run["decay_correction"].is_null());
        EXPECT_EQ(run["outputs"]["intensities"], (dir_ / "xtal.hkl.partial").string());
    }
    simulate(crystal(9, 0.3, sim::Config::Decay::Linear));
    std::string err;
    ASSERT_EQ(reduce("--decay-correct --log run.log", err), 0) << err;
    const std::string log = test::read_text(dir_ / "run.log");
    const std::size_t at = log.find("DECAY CORRECTION FROM THE STANDARDS");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(log.find('*', at), std::string::npos) << log.substr(at);
    EXPECT_FALSE(fs::exists(dir_ / "xtal.hkl.partial"));
    // An absorption correction before it rewrites the SHELX records the
    // decay correction then has to find again, rounded to their fields.
    ASSERT_EQ(reduce("--decay-correct --absorption sphere --radius 0.2 --mu 4", err), 0) << err;
    EXPECT_FALSE(fs::exists(dir_ / "xtal.hkl.partial"));
}

// (h k l) of the asymmetric unit of 2/m (b unique) that stands for its
// equivalents (h k l), (-h -k -l), (-h k -l), (h -k l).
std::array<int, 3> asu_2m(const std::array<int, 3>& h) {
    std::array<int, 3> key = h;
    for (const std::array<int, 3>& e : {std::array<int, 3>{-h[0], -h[1], -h[2]}, std::array<int, 3>{-h[0], h[1], -h[2]},
                                        std::array<int, 3>{h[0], -h[1], h[2]}})
        key = std::max(key, e);
    return key;
}

TEST_F(DecayBatch, WilsonPlotAndCifFiguresMatchTheSimulatedCrystal) {
    // Wilson-distributed intensities (B = 2 A^2, <I> = 2000 at s = 0) whose
    // counts carry the Lorentz-polarisation factor, no weak or empty ones.
    sim::Config c = crystal(3, 0.0, sim::Config::Decay::Linear);
    c.lp = true;
    c.weak_fraction = 0.0;
    c.zero_fraction = 0.0;
    const sim::Result truth = simulate(c);
    std::string err;
    ASSERT_EQ(reduce("--form rfine --refine --cif --laue 2/m --report r.html --json s.json", err), 0) << err;
    const json run = summary();
    const json r = run["report"];
    EXPECT_NEAR(r["wilson_b"].get<double>(), c.wilson_b, 0.1 * c.wilson_b);
    EXPECT_NEAR(r["wilson_scale"].get<double>(), c.scale_i, 0.1 * c.scale_i);

    // The fragment: a real CIF parser reads it as a data block.
    const fs::path cif = dir_ / "xtal_tarnivox.cif";
    const std::string fragment = test::read_text(cif);
    if (std::system("command -v gemmi >/dev/null 2>&1") == 0) {
        const fs::path block = dir_ / "block.cif";
        std::ofstream(block) << "data_xtal\n" << fragment;
        const std::string cmd = "gemmi validate '" + block.string() + "' > '" + (dir_ / "gemmi.txt").string() + "' 2>&1";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << test::read_text(dir_ / "gemmi.txt") << fragment;
    }
    std::map<std::string, std::string> items;
    for (const std::string& line : test::read_lines(cif)) {
        if (line.empty() || line[0] != '_') continue;
        const std::size_t blank = line.find(' ');
        if (blank == std::string::npos) continue;
        const std::size_t value = line.find_first_not_of(' ', blank);
        items[line.substr(0, blank)] = value == std::string::npos ? "" : line.substr(value);
    }
    // The limits and totals, counted here from what the simulator measured
    // and the file holds.
    std::array<int, 3> lo{99, 99, 99}, hi{-99, -99, -99};
    double tth_min = 180.0, tth_max = 0.0;
    for (const sim::Truth& t : truth.refl) {
        if (!t.in_data_set) continue;
        for (std::size_t j = 0; j < 3; ++j) {
            lo[j] = std::min(lo[j], t.hkl[j]);
            hi[j] = std::max(hi[j], t.hkl[j]);
        }
        tth_min = std::min(tth_min, t.angles[0]);
        tth_max = std::max(tth_max, t.angles[0]);
    }
    const char* axes[] = {"h", "k", "l"};
    for (std::size_t j = 0; j < 3; ++j) {
        EXPECT_EQ(items[std::string("_diffrn_reflns_limit_") + axes[j] + "_min"], std::to_string(lo[j]));
        EXPECT_EQ(items[std::string("_diffrn_reflns_limit_") + axes[j] + "_max"], std::to_string(hi[j]));
    }
    EXPECT_NEAR(std::stod(items["_diffrn_reflns_theta_min"]), tth_min / 2.0, 0.0006);
    EXPECT_NEAR(std::stod(items["_diffrn_reflns_theta_max"]), tth_max / 2.0, 0.0006);
    std::set<std::array<int, 3>> unique;
    for (const IntRecord& w : read_rfine(dir_ / "xtal.int"))
        if (!w.rejected) unique.insert(asu_2m(w.hkl));
    EXPECT_EQ(items["_reflns_number_total"], std::to_string(unique.size()));

    // Completeness to the data's resolution, counted here: every 2/m-unique
    // reflection of the refined cell out to the highest sin(theta)/lambda of
    // the accepted reflections, and how many of them were measured.
    const json cell = run["refined"]["cell"];
    const double a = cell["a"]["value"], b = cell["b"]["value"], cc = cell["c"]["value"];
    const double rad = std::acos(-1.0) / 180.0;
    const double ca = std::cos(double(cell["alpha"]["value"]) * rad), cb = std::cos(double(cell["beta"]["value"]) * rad),
                 cg = std::cos(double(cell["gamma"]["value"]) * rad);
    const double g[3][3] = {{a * a, a * b * cg, a * cc * cb}, {a * b * cg, b * b, b * cc * ca}, {a * cc * cb, b * cc * ca, cc * cc}};
    const double det = g[0][0] * (g[1][1] * g[2][2] - g[1][2] * g[2][1]) - g[0][1] * (g[1][0] * g[2][2] - g[1][2] * g[2][0]) +
                       g[0][2] * (g[1][0] * g[2][1] - g[1][1] * g[2][0]);
    double gi[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            gi[j][i] = (g[(i + 1) % 3][(j + 1) % 3] * g[(i + 2) % 3][(j + 2) % 3] -
                        g[(i + 1) % 3][(j + 2) % 3] * g[(i + 2) % 3][(j + 1) % 3]) /
                       det;
    const auto stol = [&gi](const std::array<int, 3>& h) {
        double q = 0.0;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) q += h[static_cast<std::size_t>(i)] * gi[i][j] * h[static_cast<std::size_t>(j)];
        return 0.5 * std::sqrt(q);
    };
    double smax = 0.0;
    for (const auto& h : unique) smax = std::max(smax, stol(h));
    std::set<std::array<int, 3>> possible;
    for (int h = -15; h <= 15; ++h)
        for (int k = -15; k <= 15; ++k)
            for (int l = -15; l <= 15; ++l)
                if ((h != 0 || k != 0 || l != 0) && stol({h, k, l}) <= smax * (1.0 + 1e-9)) possible.insert(asu_2m({h, k, l}));
    ASSERT_LT(2.0 * smax * std::max({a, b, cc}), 15.0);
    EXPECT_NEAR(r["completeness_percent"].get<double>(), 100.0 * unique.size() / possible.size(), 1e-9)
        << unique.size() << " of " << possible.size();
    const int gt = std::stoi(items["_reflns_number_gt"]);
    EXPECT_GT(gt, 0);
    EXPECT_LE(gt, static_cast<int>(unique.size()));
    EXPECT_EQ(items["_reflns_threshold_expression"], "'I > 2\\s(I)'");
    EXPECT_TRUE(items.count("_diffrn_reflns_av_R_equivalents"));
    EXPECT_TRUE(items.count("_diffrn_reflns_av_sigmaI/netI"));
    // A crystal that does not decay: a decay near 0, with its esd.
    const std::string decay = items["_diffrn_standards_decay_%"];
    EXPECT_NE(decay.find('('), std::string::npos) << decay;
    EXPECT_LT(std::fabs(std::stod(decay) - r["decay_percent"].get<double>()), 0.5) << decay;
}

}  // namespace
}  // namespace tarnivox
