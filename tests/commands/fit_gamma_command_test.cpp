// "Calc FWHM" on the headless window: the box shows the fitted width law,
// "Save values" stores the fields as the user left them, "Quit" stores
// nothing (the law of a simulated data set: tests/e2e/zref_whole_run_test).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>

#include "commands/fit_gamma.h"
#include "core/exitint.h"
#include "core/store.h"
#include "io/units.h"
#include "support/scratch.h"
#include "ui/widgets.h"
#include "ui/window_state.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;

class FitGammaCommand : public ::testing::Test {
protected:
    void SetUp() override { dir_ = test::fresh_run_in_scratch_dir("tarnivox_fwhm"); }
    void TearDown() override { test::end_run_in_scratch_dir(dir_); }

    ScriptBackend& window(const std::string& script) {
        backend_ = &test::open_headless_window(script, dir_.string());
        return *backend_;
    }
    double field(WidSlot s) const { return backend_->widget(wid(s)).value; }

    // Widths on the law 0.1 + 0.3 tan|theta| with small esds.
    static void widths_on_a_line() {
        G.PREPFLAG = 1;
        G.NUBREF = 6;
        for (int i = 1; i <= 6; ++i) {
            G.TTHREF(i) = (i % 2 == 0 ? -1.0 : 1.0) * 10.0 * i;
            G.FWREF(i) = 0.1 + 0.3 * std::tan(5.0 * i * M_PI / 180.0);
            G.FWSREF(i) = 0.002;
        }
    }

    fs::path dir_;
    ScriptBackend* backend_ = nullptr;
};

TEST_F(FitGammaCommand, WithoutPreprocessingSaysSoAndShowsNoBox) {
    window("");
    G.FWHMA = 0.5;
    FIT_GAMMA();
    EXPECT_EQ(test::shown_messages(*backend_), std::vector<std::string>{"Run PreProcess first"});
    EXPECT_FALSE(backend_->widget(wid(DLG_FWHM)).shown);
    EXPECT_EQ(G.FWHMA, 0.5);
}

TEST_F(FitGammaCommand, SaveStoresTheFieldsAsEditedAndQuitStoresNothing) {
    window(
        "command 333\npress \"FWHM values from dataset\" \"Save values\"\n"
        "set \"FWHM values from dataset\" \"FWHM a\" 0.125\n"
        "press \"FWHM values from dataset\" \"Save values\"\n"
        "press \"FWHM values from dataset\" Quit\n");
    widths_on_a_line();
    ASSERT_EQ(open_unit(LU_LOG, (dir_ / "run.log").string(), OpenMode::Replace, true), 0);
    G.LOGOPEN = 1;
    G.FWHMA = G.FWHMB = -1.0;
    FIT_GAMMA();  // another command first is ignored; saved as shown
    EXPECT_NEAR(field(FW_A), 0.1, 1e-9);
    EXPECT_NEAR(field(FW_B), 0.3, 1e-9);
    EXPECT_GT(field(FW_ESDA), 0.0);
    EXPECT_GT(field(FW_ESDB), 0.0);
    EXPECT_NEAR(G.FWHMA, 0.1, 1e-9);
    EXPECT_NEAR(G.FWHMB, 0.3, 1e-9);
    EXPECT_FALSE(backend_->widget(wid(DLG_FWHM)).shown);
    EXPECT_EQ(backend_->active_window(), WS.MAINWIN);

    FIT_GAMMA();  // a edited in the box
    EXPECT_EQ(G.FWHMA, 0.125);
    EXPECT_NEAR(G.FWHMB, 0.3, 1e-9);
    // The log holds the law the fits use from now on, as saved.
    flush_unit(LU_LOG);
    const auto logged = test::read_lines(dir_ / "run.log");
    EXPECT_NE(
        std::find(logged.begin(), logged.end(), "FWHM LAW SAVED FOR THE FITS:   A =   0.1250   B =   0.3000"),
        logged.end());

    G.FWHMA = G.FWHMB = 7.0;
    FIT_GAMMA();  // Quit
    EXPECT_EQ(G.FWHMA, 7.0);
    EXPECT_EQ(G.FWHMB, 7.0);
    EXPECT_TRUE(test::shown_messages(*backend_).empty());
}

TEST_F(FitGammaCommand, WidthsWithoutEsdsOrAtOneAngleGiveFourZeros) {
    window(
        "press \"FWHM values from dataset\" \"Save values\"\n"
        "press \"FWHM values from dataset\" \"Save values\"\n"
        "close\n");
    widths_on_a_line();
    for (int i = 1; i <= 6; ++i) G.FWSREF(i) = 0.0;
    G.FWHMA = G.FWHMB = 1.0;
    FIT_GAMMA();
    for (WidSlot s : {FW_A, FW_B, FW_ESDA, FW_ESDB}) EXPECT_EQ(field(s), 0.0);
    EXPECT_EQ(G.FWHMA, 0.0);
    EXPECT_EQ(G.FWHMB, 0.0);
    EXPECT_TRUE(test::shown_messages(*backend_).empty());

    // One reflection with an esd: no line, and the user is told why.
    G.FWSREF(3) = 0.01;
    FIT_GAMMA();
    EXPECT_EQ(test::shown_messages(*backend_),
              std::vector<std::string>{"All refined widths lie at one 2theta: no FWHM law can be fitted"});
    for (WidSlot s : {FW_A, FW_B, FW_ESDA, FW_ESDB}) EXPECT_EQ(field(s), 0.0);

    // The main window closed while the box waits ends the run.
    EXPECT_THROW(FIT_GAMMA(), ProgramEnd);
}

}  // namespace
}  // namespace tarnivox
