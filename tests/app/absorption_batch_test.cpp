// The numerical absorption correction from end to end: the simulator
// attenuates every scan of a needle and of a plate by a transmission it
// finds by Monte Carlo over the crystal; `tarnivox reduce --absorption
// numerical` with the crystal file the simulator wrote finds the same
// transmissions by quadrature and restores the intensities; the CIF
// carries the correction's items and reads as CIF; a crystal file at fault
// is named with its line.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "core/store.h"
#include "refine/corrections.h"
#include "simulate.h"
#include "support/scratch.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct Written {
    double tth = 0.0, i = 0.0, sigma = 0.0;
    bool rejected = false;
};

// Rfine records by sequence number: 2theta F8.4 at 10, I F11 at 43, sigma
// F7 at 55, sequence and standard F7.0 at 62, status at 72.
std::map<int, Written> read_rfine(const fs::path& path) {
    std::map<int, Written> out;
    for (const std::string& line : test::read_lines(path)) {
        if (line.size() < 79) continue;
        Written w;
        w.tth = std::stod(line.substr(9, 8));
        w.i = std::stod(line.substr(42, 11));
        w.sigma = std::stod(line.substr(54, 7));
        w.rejected = line[71] == 'R';
        out[static_cast<int>(std::lround(std::stod(line.substr(61, 7))) / 10)] = w;
    }
    return out;
}

class AbsorptionBatch : public ::testing::Test {
protected:
    void SetUp() override {
        program_ = fs::path(TARNIVOX_BINARY_DIR) / "tarnivox";
        if (!fs::exists(program_)) GTEST_SKIP() << "the program is not built";
        dir_ = test::make_scratch_dir("tarnivox_absorption_batch");
    }
    void TearDown() override {
        std::error_code ec;
        if (!dir_.empty()) fs::remove_all(dir_, ec);
    }
    int reduce(const std::string& args, std::string& err) const {
        const fs::path e = dir_ / "stderr.txt";
        const std::string cmd =
            "cd '" + dir_.string() + "' && '" + program_.string() +
            "' reduce xtal.dat --format cad4 --par xtal.par --refine --form rfine --quiet " + args +
            " >/dev/null 2>'" + e.string() + "' </dev/null";
        const int raw = std::system(cmd.c_str());
        err = test::read_text(e);
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    fs::path program_, dir_;
};

TEST_F(AbsorptionBatch, NumericalTransmissionMatchesTheSimulatedCrystalAndRestoresTheIntensities) {
    G.IMONO = 1;
    G.MONO2TH = sim::Config{}.mono2th;
    G.MONOANG = 0.0;
    const auto faces = [](std::initializer_list<std::array<double, 4>> list) {
        std::vector<sim::SimFace> v;
        for (const auto& f : list)
            v.push_back({{static_cast<int>(f[0]), static_cast<int>(f[1]), static_cast<int>(f[2])}, f[3]});
        return v;
    };
    const struct {
        const char* name;
        std::vector<sim::SimFace> faces;
        double mu;
    } crystals[] = {
        {"needle",
         faces({{1, 0, 0, .04},
                {-1, 0, 0, .04},
                {0, 1, 0, .04},
                {0, -1, 0, .04},
                {0, 0, 1, .25},
                {0, 0, -1, .25},
                {1, 1, 0, .05}}),
         10.0},
        {"plate",
         faces({{0, 0, 1, .03},
                {0, 0, -1, .03},
                {1, 0, 0, .12},
                {-1, 0, 0, .12},
                {0, 1, 0, .1},
                {0, -1, 0, .1},
                {1, -1, 0, .14}}),
         15.0},
    };
    for (const auto& x : crystals) {
        sim::Config c;
        c.nrefl = 250;
        c.seed = 5;
        c.scale_i = 20000.0;
        c.faces = x.faces;
        c.mu = x.mu;
        c.mc_points = 300000;
        const sim::Result truth =
            sim::simulate(c, (dir_ / "xtal.dat").string(), (dir_ / "xtal.par").string(), "");
        sim::write_crystal_file(c.faces, c.mu, (dir_ / "xtal.cry").string());
        std::string err;
        ASSERT_EQ(reduce("--out plain.int", err), 0) << x.name << err;
        ASSERT_EQ(reduce("--out xtal.int --absorption numerical --crystal xtal.cry --cif --json s.json", err),
                  0)
            << x.name << err;
        const std::map<int, Written> plain = read_rfine(dir_ / "plain.int"),
                                     corrected = read_rfine(dir_ / "xtal.int");
        std::map<int, const sim::Truth*> by_seq;
        for (const sim::Truth& t : truth.refl) by_seq[t.nref] = &t;
        // The program's transmission is the ratio of what it wrote without
        // and with the correction.
        double sum2 = 0.0, worst = 0.0, zsum = 0.0, z2 = 0.0, tmin = 1.0, tmax = 0.0, psum = 0.0, p2 = 0.0;
        int n = 0, nz = 0;
        for (const auto& [seq, w] : corrected) {
            const Written& p = plain.at(seq);
            const sim::Truth& t = *by_seq.at(seq);
            const double a = p.i / w.i;
            tmin = std::min(tmin, a);
            tmax = std::max(tmax, a);
            if (p.i > 200.0) {
                const double e = a / t.transmission - 1.0;
                sum2 += e * e;
                worst = std::max(worst, std::fabs(e));
                ++n;
            }
            if (!w.rejected && t.intensity > 0.0) {
                const double z = (w.i - CLORENZ(w.tth) * t.intensity / t.transmission) / w.sigma;
                zsum += z;
                z2 += z * z;
                ++nz;
                // The same reflection uncorrected against the attenuated truth.
                const double zp = (p.i - CLORENZ(w.tth) * t.intensity) / p.sigma;
                psum += zp;
                p2 += zp * zp;
            }
        }
        ASSERT_GT(n, 80) << x.name;
        ASSERT_GT(nz, 150) << x.name;
        const double rms = std::sqrt(sum2 / n), zmean = zsum / nz, zsd = std::sqrt(z2 / nz - zmean * zmean);
        const double pmean = psum / nz, psd = std::sqrt(p2 / nz - pmean * pmean);
        std::printf(
            "%s: transmission %.3f to %.3f; against the simulation rms %.3f %%, max %.3f %% (%d); "
            "z mean %.3f sd %.3f, of the fit alone %.3f sd %.3f (%d)\n",
            x.name, tmin, tmax, 100.0 * rms, 100.0 * worst, n, zmean, zsd, pmean, psd, nz);
        EXPECT_LT(rms, 0.003) << x.name;
        EXPECT_LT(worst, 0.01) << x.name;
        // Corrected against the crystal's own intensities the errors are
        // those the fit makes of the attenuated ones: the correction adds
        // neither bias nor scatter.
        EXPECT_LT(std::fabs(zmean), 4.0 / std::sqrt(nz)) << x.name;
        EXPECT_NEAR(zmean, pmean, 0.05) << x.name;
        EXPECT_NEAR(zsd / psd, 1.0, 0.05) << x.name;

        const json a = json::parse(test::read_text(dir_ / "s.json"))["runs"][0]["absorption_correction"];
        ASSERT_TRUE(a.is_object()) << x.name;
        EXPECT_EQ(a["method"], "numerical");
        EXPECT_DOUBLE_EQ(a["mu_per_mm"].get<double>(), x.mu);
        EXPECT_NEAR(a["transmission_min"].get<double>(), tmin, 1e-3 * tmin) << x.name;
        EXPECT_NEAR(a["transmission_max"].get<double>(), tmax, 1e-3 * tmax) << x.name;
        const std::string fragment = test::read_text(dir_ / "xtal_tarnivox.cif");
        EXPECT_NE(fragment.find("_exptl_absorpt_correction_type    numerical"), std::string::npos)
            << fragment;
        EXPECT_NE(fragment.find("_exptl_crystal_face_perp_dist"), std::string::npos) << fragment;
        if (std::system("command -v gemmi >/dev/null 2>&1") == 0) {
            const fs::path block = dir_ / "block.cif";
            std::ofstream(block) << "data_xtal\n" << fragment;
            const std::string cmd =
                "gemmi validate '" + block.string() + "' > '" + (dir_ / "gemmi.txt").string() + "' 2>&1";
            EXPECT_EQ(std::system(cmd.c_str()), 0) << test::read_text(dir_ / "gemmi.txt") << fragment;
        }
    }
}

TEST_F(AbsorptionBatch, CrystalFileAtFaultStopsTheRunNamingItsLine) {
    sim::Config c;
    c.nrefl = 60;
    sim::simulate(c, (dir_ / "xtal.dat").string(), (dir_ / "xtal.par").string(), "");
    std::string err;
    // Read before anything runs: a usage error.
    std::ofstream(dir_ / "twice.cry") << "MU 2\nFACE 1 0 0 0.1\n# again\nFACE 1 0 0 0.2\n";
    EXPECT_EQ(reduce("--absorption numerical --crystal twice.cry", err), 2);
    EXPECT_NE(err.find("twice.cry line 4: the face 1 0 0 is listed twice (also line 2)"), std::string::npos)
        << err;
    // Faces that leave the crystal open are found with the orientation.
    std::ofstream(dir_ / "open.cry")
        << "MU 2\nFACE 1 0 0 0.1\nFACE -1 0 0 0.1\nFACE 0 1 0 0.1\nFACE 0 0 1 0.1\n";
    EXPECT_EQ(reduce("--absorption numerical --crystal open.cry", err), 1);
    EXPECT_NE(err.find("open.cry line 5: the faces do not enclose a finite crystal"), std::string::npos)
        << err;
    EXPECT_EQ(reduce("--crystal open.cry", err), 2);
    EXPECT_NE(err.find("--crystal belongs to --absorption"), std::string::npos) << err;
}

}  // namespace
}  // namespace tarnivox
