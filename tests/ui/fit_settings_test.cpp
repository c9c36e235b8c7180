#include "ui/fit_settings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>

#include "core/store.h"
#include "io/units.h"
#include "support/profile_scans.h"
#include "toolkit/script/script_backend.h"
#include "toolkit/toolkit.h"
#include "ui/widgets.h"

namespace tarnivox {
namespace {

double field(WidSlot s) { return GMENQVALUESETTING(wid(s)); }
int status(WidSlot s) { return script_backend()->widget(wid(s)).status; }

class FitSettings : public ::testing::Test {
protected:
    void SetUp() override {
        reset_store();
        test::make_fit_dialogs();
        test::load_counts({12, 14, 30, 90, 50, 20, 16}, 1.0, 0.02, 60.0);
        G.FWHMA = 0.1;
        G.FWHMB = 0.02;
        G.ETA0 = 0.45;
        G.A2RATIO = 0.5;
    }
};

TEST_F(FitSettings, StartValuesFromTheModelOptions) {
    test::set_dialog_flags({1, 0, 1, 1, 0, 0}, {0, 1, 0, 0, 1, 1});
    SET_FIT_PARAMETERS();
    EXPECT_NEAR(G.PAR(2), 0.111547, 1e-6);  // 0.1 + 0.02 tan 30
    EXPECT_EQ(G.PAR(1), 14.0);              // mean of the end steps
    EXPECT_NEAR(G.PAR(3), (90.0 - 14.0) * G.PAR(2), 1e-12);
    EXPECT_NEAR(G.PAR(4), G.STEPANG(4), 1e-12);
    EXPECT_EQ(G.PAR(5), 0.45);
    EXPECT_EQ(G.PAR(6), 0.5);
    EXPECT_NEAR(field(FC_INPUT(2)), 0.111547, 1e-6);
}

TEST_F(FitSettings, TypedValuesWhenNoModelOption) {
    test::set_dialog_flags({1, 1, 1, 1, 1, 0}, {0, 0, 0, 0, 0, 0});
    GMSETVALUESETTING_REAL(wid(FC_INPUT(2)), 0.3);
    GMSETVALUESETTING_REAL(wid(FC_INPUT(5)), 0.7);
    GMSETVALUESETTING_REAL(wid(FC_INPUT(6)), 0.4);
    SET_FIT_PARAMETERS();
    EXPECT_EQ(G.PAR(2), 0.3);
    EXPECT_EQ(G.PAR(5), 0.7);
    EXPECT_EQ(G.PAR(6), 0.4);
}

TEST_F(FitSettings, RefinedPositionAlwaysStartsAtTheLargestCount) {
    G.UBFLAG = 1;
    test::set_dialog_flags({1, 1, 1, 1, 1, 0}, {0, 0, 0, 1, 0, 0});
    SET_FIT_PARAMETERS();
    EXPECT_NEAR(G.PAR(4), G.STEPANG(G.IMAX), 1e-12);
}

TEST_F(FitSettings, ScanWithoutMaximumStartsAtItsCentre) {
    test::load_counts({0, 0, 0, 0, 0}, 2.0, 0.02, 60.0);
    G.IMAX = 0;
    test::set_dialog_flags({1, 1, 1, 1, 1, 0}, {0, 0, 0, 0, 0, 0});
    SET_FIT_PARAMETERS();
    EXPECT_NEAR(G.PAR(4), 2.0, 1e-12);
}

TEST_F(FitSettings, BackgroundFromTheChosenMode) {
    G.IBACK = 3;
    G.NBACK = 2;
    test::set_dialog_flags({1, 1, 1, 1, 1, 0}, {1, 0, 0, 0, 0, 0});
    SET_FIT_PARAMETERS();
    EXPECT_EQ(G.PAR(1), (12.0 + 14.0 + 20.0 + 16.0) / 4.0);
}

TEST_F(FitSettings, LimitFieldsFollowTheirSwitches) {
    G.ICHK = Arr1<int, 7>{{1, 0, 1, 0, 0, 0, 1}};
    G.PARLO(1) = -5.0;
    G.PARHI(1) = 5.0;
    G.PARLO(2) = 0.01;
    G.PARHI(2) = 0.5;
    G.RWPLIM = 0.25;
    WRITE_FIT_PARAMETERS();
    EXPECT_EQ(status(FC_LOWER(1)), 1);
    EXPECT_EQ(status(FC_LOWER(2)), 0);
    EXPECT_EQ(status(FC_UPPER(2)), 0);
    EXPECT_EQ(status(FC_UPPER(7)), 1);
    EXPECT_EQ(field(FC_UPPER(7)), 0.25);
    // A disabled pair is not read back: the stored limits stay.
    GMSETVALUESETTING_REAL(wid(FC_LOWER(2)), 9.0);
    GMSETVALUESETTING_REAL(wid(FC_LOWER(1)), -7.0);
    GMSETVALUESETTING_REAL(wid(FC_UPPER(7)), 0.3);
    READ_FIT_PARAMETERS();
    EXPECT_EQ(G.PARLO(2), 0.01);
    EXPECT_EQ(G.PARLO(1), -7.0);
    EXPECT_EQ(G.RWPLIM, 0.3);
    EXPECT_EQ(G.ICHK, (Arr1<int, 7>{{1, 0, 1, 0, 0, 0, 1}}));
}

TEST_F(FitSettings, RefinedValuesAndFlagsShown) {
    G.PAR(3) = 123.0;
    G.PARESD(3) = 4.0;
    G.RWP = 0.07;
    G.RFLAG_SAVE = 'S';
    G.FITSTAT = "RP1U";
    WRITE_REFINED_PARAMETERS();
    EXPECT_EQ(field(FC_REFINED(3)), 123.0);
    EXPECT_EQ(field(FC_ESD(3)), 4.0);
    EXPECT_EQ(field(FC_REFINED(7)), 0.07);
    EXPECT_EQ(GMENQTEXTSETTING(wid(FC_FLAGS)), "SRP1U ");
}

TEST_F(FitSettings, DefaultsRecomputeFromTheModel) {
    const std::string path = ::testing::TempDir() + "fit_settings_defaults.par";
    {
        std::ofstream f(path);
        f << "PKPAR  0.1 0.02 0.45\n"
             "FITLIM -1.0 1.0 0.05 0.5 0.0 1.0e6 -0.2 0.2 0.0 1.0 0.4 0.6 0.25\n"
             "ATTEN  12.5\n"
             "WAVEL  2 0.709300 0.713590 0.480000\n"
             "RFLAGS 1,1,1,1,1,0\n"
             "TFLAGS 1,1,1,1,1,0,1\n"
             "PARITY 1,1,1,1\n"
             "MONO      1   12.1600    0.0000    0\n";
    }
    ASSERT_EQ(open_unit(LU_PARAM, path, OpenMode::Read), 0);
    SET_DEFAULT_PARAMETERS();
    close_unit(LU_PARAM);
    EXPECT_NEAR(G.PAR(2), 0.111547, 1e-6);
    EXPECT_NEAR(G.PAR(3), 90.0 * G.PAR(2), 1e-12);  // background not subtracted
    EXPECT_EQ(G.PAR(5), 0.45);
    EXPECT_EQ(G.PAR(6), 0.48);
}

TEST_F(FitSettings, PeakDefaultsDialogStoresOrCancels) {
    test::make_fit_dialogs(
        "set \"Peak parameter default values\" a 0.2\n"
        "set \"Peak parameter default values\" Iratio 0.005\n"
        "set \"Peak parameter default values\" Wave2 0.9\n"
        "command 777\n"
        "press \"Peak parameter default values\" \"Save + Exit\"\n"
        "press \"Peak parameter default values\" Quit\n"
        "close\n");
    G.NWAVE = 2;
    G.WAVE1 = 0.7093;
    G.WAVE2 = 0.71359;
    int icancel = -1;
    RUN_PKVALS(icancel);
    EXPECT_EQ(icancel, 0);
    EXPECT_EQ(G.FWHMA, 0.2);
    EXPECT_EQ(G.A2RATIO, 0.005);
    EXPECT_EQ(G.WAVE2, 0.71359);  // ratio 0.01 or less keeps the stored alpha2
    G.FWHMA = 0.3;
    RUN_PKVALS(icancel);
    EXPECT_EQ(icancel, 1);
    EXPECT_EQ(G.FWHMA, 0.3);
    // Closing the window leaves the box unstored.
    RUN_PKVALS(icancel);
    EXPECT_EQ(icancel, 1);
}

TEST_F(FitSettings, BackgroundValuesByMode) {
    G.IBACK = 3;
    G.NBACK = 4;
    WRITE_BGVALS();
    EXPECT_EQ(status(BG_NSTEP), 1);
    EXPECT_EQ(status(BG_A), 0);
    EXPECT_EQ(GMENQTOGGLESWITCH(wid(BG_RADIO(3))), 1);
    EXPECT_EQ(GMENQTOGGLESWITCH(wid(BG_RADIO(0))), 0);
    GMSETVALUESETTING_REAL(wid(BG_NSTEP), 6.7);
    READ_BGVALS();
    EXPECT_EQ(G.NBACK, 6);
    G.IBACK = 2;
    WRITE_BGVALS();
    EXPECT_EQ(status(BG_A), 1);
    EXPECT_EQ(status(BG_C), 1);
    EXPECT_EQ(status(BG_NSTEP), -1);
    GMSETVALUESETTING_REAL(wid(BG_B), 0.03);
    READ_BGVALS();
    EXPECT_EQ(G.BGEXPB, 0.03);
    EXPECT_EQ(G.NBACK, 6);
}

}  // namespace
}  // namespace tarnivox
