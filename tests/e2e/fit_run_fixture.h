#pragma once
// Whole runs of the program through the script backend on simulated data:
// open the data set and its parameter file, open an output file, then run
// a fitting command; the written files are read back for the checks.

#include <gtest/gtest.h>

#include <cmath>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/exitint.h"
#include "core/store.h"
#include "io/units.h"
#include "output/intensity_file.h"
#include "refine/corrections.h"
#include "params/defaults.h"
#include "sim_plan.h"
#include "simulate.h"
#include "support/scratch.h"
#include "tarnivox_main.h"
#include "toolkit/script/script_backend.h"

namespace tarnivox::fitrun {

namespace fs = std::filesystem;

struct FormatCase {
    sim::Format format;
    const char* label;  // radio button of "Input Data file Format"
};

inline const FormatCase kFormats[] = {
    {sim::Format::Standard, "Standard"}, {sim::Format::Huber, "Old Single"}, {sim::Format::Xcalibur, "Xcalibur"},
    {sim::Format::Xscans, "Xscans"},     {sim::Format::Stoe, "Stoe"},       {sim::Format::Febo, "Phillips Febo"},
    {sim::Format::Cad4, "Enraf CAD4"},
};

inline const char* const kOutputForms[] = {"Rfine", "Rfine extended", "Shelx hkl"};

// One reflection record of the intensity file, in any form.
struct Written {
    int h = 0, k = 0, l = 0;
    double tth = 0.0;
    double omega = 0.0;    // Rfine forms only: the fitted POSITION, or the setting when there is none
    double intensity = 0.0, sigma = 0.0;
    int nref = 0;          // Rfine forms only
    std::string status;    // Rfine forms only, six characters
    double dcs[6] = {};    // SHELX with direction cosines
    bool has_dc = false;
};

inline std::vector<std::string> lines_of(const fs::path& p) { return test::read_lines(p); }

inline double num(const std::string& line, std::size_t at, std::size_t width) {
    return std::stod(line.substr(at, width));
}

// Reads the intensity file of form intfmt (1, 2, 3).
inline std::vector<Written> read_intensity_file(const fs::path& p, int intfmt) {
    std::vector<Written> out;
    const auto lines = lines_of(p);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& s = lines[i];
        Written w;
        if (intfmt == 3) {
            w.h = static_cast<int>(num(s, 0, 4));
            w.k = static_cast<int>(num(s, 4, 4));
            w.l = static_cast<int>(num(s, 8, 4));
            w.intensity = num(s, 13, 7);
            w.sigma = num(s, 21, 7);
            if (s.size() >= 80) {
                w.has_dc = true;
                for (int j = 0; j < 6; ++j) w.dcs[j] = num(s, 32 + 8 * static_cast<std::size_t>(j), 8);
            }
        } else {
            w.h = static_cast<int>(num(s, 0, 3));
            w.k = static_cast<int>(num(s, 3, 3));
            w.l = static_cast<int>(num(s, 6, 3));
            w.tth = num(s, 9, 8);
            // A rejected fit may leave a POSITION too wide for F8.4 (asterisks).
            try {
                w.omega = num(s, 17, 8);
            } catch (const std::exception&) {
                w.omega = std::nan("");
            }
            w.intensity = num(s, 42, 11);
            w.sigma = num(s, 54, 7);
            w.nref = static_cast<int>(num(s, 61, 7)) / 10;
            w.status = s.substr(70, 6);
            if (intfmt == 2) i += 3;  // FACTORS, PARAMETERS, SIGMAS
        }
        out.push_back(w);
    }
    return out;
}

// The direction cosines of SHELX records agree with those of the true
// orientation to 1e-4, for the setting angles of each reflection (`want`,
// in file order) with omega at the output omega of the record (`omegas`,
// the fitted peak: the cosines describe the crystal where it diffracts).
inline void expect_direction_cosines_of_true_geometry(const std::vector<Written>& shelx,
                                                      const std::vector<const sim::Truth*>& want,
                                                      const sim::Plan& plan, const std::vector<double>& omegas) {
    for (std::size_t i = 0; i < shelx.size() && i < want.size() && i < omegas.size(); ++i) {
        ASSERT_TRUE(shelx[i].has_dc) << i;
        Arr1<double, 4> ang;
        for (int j = 1; j <= 4; ++j) ang(j) = want[i]->angles[static_cast<std::size_t>(j - 1)];
        ang(2) = omegas[i];
        Arr1<double, 6> dc;
        CALC_DIRNCOSINES(ang, dc);
        for (int a = 0; a < 3; ++a) {
            double len = 0.0, u = 0.0, v = 0.0;
            for (int j = 0; j < 3; ++j) {
                len += plan.ub[j][a] * plan.ub[j][a];
                u += plan.ub[j][a] * dc(j + 1);
                v += plan.ub[j][a] * dc(j + 4);
            }
            EXPECT_NEAR(shelx[i].dcs[2 * a], u / std::sqrt(len), 1e-4) << "reflection " << i << " axis " << a;
            EXPECT_NEAR(shelx[i].dcs[2 * a + 1], v / std::sqrt(len), 1e-4) << "reflection " << i << " axis " << a;
        }
    }
}

class FitRun : public ::testing::Test {
protected:
    void SetUp() override { dir_ = test::fresh_run_in_scratch_dir("tarnivox_fitrun"); }
    void TearDown() override { test::end_run_in_scratch_dir(dir_); }

    // Simulates the data set "data" and returns its truth.
    sim::Result simulate(const sim::Config& c) {
        cfg_ = c;
        EXPECT_DOUBLE_EQ(c.step, 0.02) << "the step-size box is answered with its preset 0.02";
        data_name_ = "data." + sim::extension_of(c.format);
        const sim::Result r = sim::simulate(c, (dir_ / data_name_).string(), (dir_ / "data.par").string(),
                                            (dir_ / "data.truth").string());
        // The parameter file is used as the simulator wrote it.
        return r;
    }

    // The script lines that open the data set, its parameter file and an
    // output file out.txt of the given form (1..3).
    std::string opening(const char* format_label, double step_answer, int intfmt) const {
        std::string s = "file " + data_name_ + "\n";
        s += std::string("toggle \"Input Data file Format\" \"") + format_label + "\" on\n";
        s += "press \"Input Data file Format\" OK\n";
        s += "browse data.par\n";
        // The step-size box shares its title with the wait box, so its
        // button is fired by number; the field keeps its 0.02 degrees.
        if (step_answer > 0.0) s += "command 672\n";
        if (intfmt > 0) {
            s += "command 314\nfile out.txt 3\n";
            s += std::string("toggle \"Output Format\" \"") + kOutputForms[intfmt - 1] + "\" on\n";
            s += "press \"Output Format\" \"Save + Exit\"\n";
        }
        return s;
    }

    // Runs the program on a script; the run ends by the window's close
    // control and its confirmation.  Returns the message of the end.
    std::string run(const std::string& script) {
        backend_ = &test::install_quiet_script(script + "close\nanswer yes\n", dir_.string());
        std::string message = "<no end>";
        try {
            TARNIVOX_MAIN();
        } catch (const ProgramEnd& e) {
            message = e.message;
            finish_run(e);
        }
        return message;
    }

    std::vector<std::string> messages() const { return test::shown_messages(*backend_); }

    fs::path dir_;
    sim::Config cfg_;
    std::string data_name_;
    ScriptBackend* backend_ = nullptr;
};

}  // namespace tarnivox::fitrun
