#pragma once
// Shared steps of the import tests: a scratch folder, a headless window
// with every dialog, a simulated data set imported through CONVERT_FILE,
// and the standard scan file walked back into plain records.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "simulate.h"
#include "core/array.h"

namespace tarnivox::importtest {

struct Scan {
    int nref = 0;
    std::array<int, 3> hkl{};
    std::array<double, 4> angles{};
    int npts = 0;
    double step = 0.0, scale = 0.0;
    int isctype = 0;
    char rflag = ' ';
    std::vector<long long> counts;
};

class ImportTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    // A clean store and a headless window; `script` answers its dialogs.
    void fresh_run(const std::string& script = "");
    // Radiation and attenuator as the instrument parameter file gives them.
    void set_instrument(const sim::Config& c);
    // Opens a data file on unit 1 and imports it with format infmt.
    void import_file(const std::string& file, int infmt);
    // Simulates a data set of `c`, then imports it.  Returns the truth.
    sim::Result simulate_and_import(const sim::Config& c, const std::string& base);
    // Writes text to a file of the scratch folder; returns its path.
    std::string write_file(const std::string& name, const std::string& text) const;
    // Every reflection of the standard scan file on LUSCR, from the start.
    std::vector<Scan> walk_scan_file() const;
    // Messages shown by the import, in order.
    std::vector<std::string> messages() const;
    // The script line that closes the step-size dialog, and the value the
    // user typed into it.
    static std::string step_answer(double step);
    static void preset_step(double step);

    std::filesystem::path dir_;
};

// Compares the walked data set with the truth of the reflections the
// reader keeps; angle_tol is the precision of the format's angle fields.
void expect_matches_truth(const std::vector<Scan>& got, const sim::Result& truth, double angle_tol);

}  // namespace tarnivox::importtest
