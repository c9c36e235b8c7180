#pragma once
// A small data set on the standard scan file and the main window, for the
// tests of the automatic and manual fitting runs: n reflections numbered
// 1..n with indices (r, 0, 1), a clear single-line peak each, one output
// file in the Rfine form and a log file.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/exitint.h"
#include "core/store.h"
#include "import/stddata.h"
#include "io/units.h"
#include "support/scan_file.h"
#include "support/scratch.h"
#include "ui/graphics.h"
#include "toolkit/script/script_backend.h"
#include "ui/widgets.h"

namespace tarnivox::fitloop {

namespace fs = std::filesystem;

inline std::vector<std::string> lines_of(const fs::path& p) { return test::read_lines(p); }

class FitLoop : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = test::make_scratch_dir("tarnivox_fitloop");
        close_all_units();
        reset_store();
    }
    void TearDown() override {
        close_all_units();
        fs::remove_all(dir_);
    }

    // Writes the data set, builds the window, opens output and log, and
    // reads the first reflection, as after "Open data file".
    void prepare(int n, const std::string& script) {
        backend_ = &test::open_headless_window(script, dir_.string());
        write_data_set(n);
        G.NWAVE = 1;
        G.WAVE1 = 0.71073;
        G.IREF = Arr1<int, 6>{{1, 1, 1, 1, 1, 0}};
        G.PAR = Arr1<double, 6>{{0.0, 0.08, 0.0, 0.0, 0.3, 0.0}};
        G.RWPLIM = 1.0;
        G.FWHMA = 0.08;
        G.ETA0 = 0.3;
        ASSERT_EQ(open_unit(LU_OUTPUT, path("out.int"), OpenMode::Replace), 0);
        G.OUTOPEN = 1;
        G.OUTFILE = "out.int";
        G.INTFMT = 1;
        ASSERT_EQ(open_unit(LU_LOG, path("run.log"), OpenMode::Replace, true), 0);
        G.LOGOPEN = 1;
        int status = 0;
        SKIP_HEADER_STDDATA(G.LUSCR, status);
        const Arr1<int, 3> none;
        status = 0;
        READ_SCAN_STDDATA(G.LUSCR, 0, 0, none, status);
    }

    void write_data_set(int n) {
        ASSERT_EQ(open_unit(LU_SCAN, path("data.rfl"), OpenMode::Replace), 0);
        G.TITLE = "fit loop";
        WRITE_HEADER_STDDATA(LU_SCAN);
        for (int r = 1; r <= n; ++r) {
            std::vector<long long> counts(41);
            for (int i = 0; i < 41; ++i) {
                const double d = (i - 20) * 0.02 / 0.08;
                counts[static_cast<std::size_t>(i)] =
                    10 + std::llround(100.0 * r * std::exp(-2.7725887 * d * d));
            }
            const Arr1<int, 3> hkl{{r, 0, 1}};
            const Arr1<double, 4> angles{{10.0 + r, 0.0, 20.0, 30.0}};
            ASSERT_EQ(test::write_scan_record(LU_SCAN, r, hkl, angles, counts), 0);
        }
        close_unit(LU_SCAN);
        ASSERT_EQ(open_unit(LU_SCAN, path("data.rfl"), OpenMode::Read), 0);
    }

    // Runs a fitting command; true when it returned, false when the run ended.
    template <class F>
    bool run(F command) {
        try {
            command();
            return true;
        } catch (const ProgramEnd&) {
            return false;
        }
    }

    // Reflection numbers of the Rfine records written so far.
    std::vector<int> written_numbers() {
        flush_unit(LU_OUTPUT);
        std::vector<int> out;
        for (const std::string& l : lines_of(path("out.int")))
            out.push_back(static_cast<int>(std::stod(l.substr(61, 7))) / 10);
        return out;
    }
    std::vector<std::string> written_lines() {
        flush_unit(LU_OUTPUT);
        return lines_of(path("out.int"));
    }
    std::vector<std::string> log_lines() {
        flush_unit(LU_LOG);
        return lines_of(path("run.log"));
    }
    bool log_has(const std::string& text) {
        const auto lines = log_lines();
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string& l) { return l.find(text) != std::string::npos; });
    }
    int status_of_panel(int item) const { return backend_->widget(wid(PANEL(item))).status; }
    std::vector<std::string> messages() const { return test::shown_messages(*backend_); }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    fs::path dir_;
    ScriptBackend* backend_ = nullptr;
};

inline std::vector<int> range(int from, int to) {
    std::vector<int> v;
    for (int i = from; i <= to; ++i) v.push_back(i);
    return v;
}

}  // namespace tarnivox::fitloop
