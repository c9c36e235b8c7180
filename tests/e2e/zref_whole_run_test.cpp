// The whole program through the script backend on simulated data: open,
// Preprocess, Calc FWHM, Calc UB on the raw list of eight-setting groups,
// Zref, Calc UB on the rebuilt list; the log is read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "core/exitint.h"
#include "core/store.h"
#include "sim_zref.h"
#include "simulate.h"
#include "support/parameter_files.h"
#include "support/scratch.h"
#include "tarnivox_main.h"
#include "ui/widgets.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;

std::vector<double> numbers_in(const std::string& text) {
    std::vector<double> v;
    std::istringstream in(text);
    for (std::string w; in >> w;) {
        try {
            v.push_back(std::stod(w));
        } catch (...) {
        }
    }
    return v;
}

TEST(ZrefWholeRun, PreprocessCalcFwhmZrefAndCalcUbOnSimulatedGroups) {
    const fs::path dir = test::fresh_run_in_scratch_dir("tarnivox_zref_run");
    sim::ZrefConfig cfg;
    cfg.ngroups = 16;
    cfg.zeros = {0.05, -0.06, 0.12};
    cfg.xtaloff = {0.04, 0.03, -0.05};
    cfg.centring = 0.005;
    cfg.fwhm_a = 0.1;
    cfg.fwhm_b = 0.3;
    sim::simulate_zref(cfg, (dir / "groups.rfl").string(), (dir / "groups.par").string(), "");
    const std::string script =
        "file groups.rfl 1\n"
        "press \"Input Data file Format\" Standard\n"
        "press \"Input Data file Format\" OK\n"
        "browse groups.par\n"
        "press Utilities Preprocess\n"
        "press \"Preprocessing Control\" Go\n"
        "press Utilities \"Calc FWHM\"\n"
        "press \"FWHM values from dataset\" \"Save values\"\n"
        "press Utilities \"Calc UB\"\n"
        "press \"Unit Cell Refinement\" Refine\n"
        "press \"Cell Refinement Results\" Ok\n"
        "press Utilities Zref\n"
        "press Utilities \"Calc UB\"\n"
        "press \"Unit Cell Refinement\" Refine\n"
        "press \"Cell Refinement Results\" Ok\n"
        "close\nanswer yes\n";
    ScriptBackend& backend = test::install_quiet_script(script, dir.string());
    try {
        TARNIVOX_MAIN();
    } catch (const ProgramEnd& e) {
        finish_run(e);
    }
    const std::vector<std::string> shown = test::shown_messages(backend);
    // A scan whose fit fails a limit leaves its group incomplete.
    int stored = 0, groups = 0;
    for (const std::string& m : shown) {
        if (m.find("Reflections stored for fitting") != std::string::npos) stored = std::stoi(m);
        if (m.find("Reflection groups processed by Zref") != std::string::npos) groups = std::stoi(m);
    }
    EXPECT_GE(stored, 124);
    EXPECT_GE(groups, 14);
    // Calc FWHM saved the law of the fitted widths.
    EXPECT_NEAR(G.FWHMA, cfg.fwhm_a, 0.005);
    EXPECT_NEAR(G.FWHMB, cfg.fwhm_b, 0.02);

    std::vector<std::vector<double>> cells, zeros;
    for (const std::string& l : test::read_lines(dir / "groups_Tarnivox.log")) {
        EXPECT_EQ(l.find("nan"), std::string::npos) << l;
        EXPECT_EQ(l.find("NaN"), std::string::npos) << l;
        if (l.rfind("CELL", 0) == 0) cells.push_back(numbers_in(l.substr(4)));
        if (l.find("ZEROES:") != std::string::npos) zeros.push_back(numbers_in(l.substr(l.find(':') + 1)));
    }
    ASSERT_EQ(cells.size(), 2u);
    ASSERT_EQ(zeros.size(), static_cast<std::size_t>(groups));
    // Each group's zeros: 2theta and chi from readings centred to 0.005
    // degrees (0.0018 for the mean of eight), omega from the fitted peaks.
    const double tolerance[3] = {0.008, 0.002, 0.008};
    double mean[3] = {};
    for (const auto& z : zeros) {
        ASSERT_EQ(z.size(), 3u);
        for (std::size_t j = 0; j < 3; ++j) {
            EXPECT_NEAR(z[j], cfg.zeros[j], tolerance[j]);
            mean[j] += z[j] / groups;
        }
    }
    for (std::size_t j = 0; j < 3; ++j) EXPECT_NEAR(mean[j], cfg.zeros[j], tolerance[j] / 3.0);
    auto error = [&](const std::vector<double>& c) {
        double worst = 0.0;
        for (std::size_t j = 0; j < 6; ++j)
            worst = std::max(worst, std::fabs(c[j] - cfg.cell[j]) / (j < 3 ? cfg.cell[j] : 90.0));
        return worst;
    };
    ASSERT_GE(cells[0].size(), 6u);
    ASSERT_GE(cells[1].size(), 6u);
    std::printf("largest relative cell error: raw list %.2e, after Zref %.2e\n", error(cells[0]),
                error(cells[1]));
    EXPECT_LE(error(cells[1]), error(cells[0]));
    test::end_run_in_scratch_dir(dir);
}

// Preprocess and Calc FWHM on ordinary simulated data sets: a and b of the
// simulated width law within 3 esd as the box shows them, and stored.
TEST(FwhmWholeRun, PreprocessThenCalcFwhmRecoversTheWidthLaw) {
    for (int seed = 1; seed <= 3; ++seed) {
        const fs::path dir = test::fresh_run_in_scratch_dir("tarnivox_fwhm_run");
        sim::Config cfg;
        cfg.format = sim::Format::Standard;
        cfg.nrefl = 400;
        cfg.fwhm_a = 0.09;
        cfg.fwhm_b = 0.42;
        cfg.scale_i = 6000.0;
        cfg.seed = static_cast<std::uint64_t>(seed);
        sim::simulate(cfg, (dir / "data.rfl").string(), (dir / "data.par").string(), "");
        test::accept_any_background(dir / "data.par");
        const std::string script =
            "file data.rfl 1\n"
            "press \"Input Data file Format\" Standard\n"
            "press \"Input Data file Format\" OK\n"
            "browse data.par\n"
            "press Utilities Preprocess\n"
            "press \"Preprocessing Control\" Go\n"
            "press Utilities \"Calc FWHM\"\n"
            "press \"FWHM values from dataset\" \"Save values\"\n"
            "close\nanswer yes\n";
        ScriptBackend& backend = test::install_quiet_script(script, dir.string());
        try {
            TARNIVOX_MAIN();
        } catch (const ProgramEnd& e) {
            finish_run(e);
        }
        auto shown = [&](WidSlot s) { return backend.widget(wid(s)).value; };
        const double a = shown(FW_A), b = shown(FW_B), ea = shown(FW_ESDA), eb = shown(FW_ESDB);
        std::printf("%d widths: a = %.5f(%.5f), b = %.5f(%.5f); simulated 0.09, 0.42\n", G.NUBREF, a, ea, b,
                    eb);
        EXPECT_GE(G.NUBREF, 200);
        EXPECT_GT(ea, 0.0);
        EXPECT_GT(eb, 0.0);
        EXPECT_LE(std::fabs(a - cfg.fwhm_a), 3.0 * ea);
        EXPECT_LE(std::fabs(b - cfg.fwhm_b), 3.0 * eb);
        EXPECT_EQ(G.FWHMA, a);
        EXPECT_EQ(G.FWHMB, b);
        test::end_run_in_scratch_dir(dir);
    }
}

}  // namespace
}  // namespace tarnivox
