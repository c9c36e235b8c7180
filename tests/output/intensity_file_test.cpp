#include "output/intensity_file.h"
#include "refine/corrections.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/exitint.h"
#include "core/messages.h"
#include "io/layout.h"
#include "output/output_test_files.h"
#include "support/geometry_builder.h"
#include "support/profile_scans.h"

namespace tarnivox {
namespace {

using testing_output::lines_of;
using testing_output::OutputFiles;

TEST(DynamicFt, ChoosesDecimalsThatFillTheField) {
    struct Case {
        double v;
        int w;
        int ndec;
        int ierr;
        const char* printed;
    } cases[] = {
        {123.4, 7, 3, 0, "123.400"},  {0.5, 7, 5, 0, "0.50000"},     {-5.0, 7, 4, 0, "-5.0000"},
        {12345678.0, 7, 0, 1, ""},    {12345678.0, 11, 2, 0, "12345678.00"},
        {999998.5, 7, 0, 0, "999999."},
        // Rounding up to the next power of ten still fits thanks to the offset.
        {9.99996, 7, 4, 0, "10.0000"},
        // A small negative value is counted without a sign column; the
        // written field drops its leading zero to make room.
        {-0.00037, 7, 5, 0, "-.00037"},   {-0.001, 7, 4, 0, "-0.0010"},
        {-123456.0, 7, 0, 1, ""},
        // Rounding that gains an integer digit the offset does not foresee
        // gives up a decimal instead of filling the field with asterisks.
        {99999.96, 7, 0, 0, "100000."},  {-9.99996, 7, 3, 0, "-10.000"},  {-99.9996, 7, 2, 0, "-100.00"},
        {99999999.996, 11, 1, 0, "100000000.0"},
    };
    for (const Case& c : cases) {
        int ndec = -9, ierr = -9;
        DYNAMIC_FT(c.w, c.v, ndec, ierr);
        EXPECT_EQ(ierr, c.ierr) << c.v;
        if (c.ierr == 0) {
            EXPECT_EQ(ndec, c.ndec) << c.v;
            EXPECT_EQ(format_fixed(c.v, c.w, ndec), c.printed) << c.v;
        }
    }
    int ndec = 0, ierr = 0;
    DYNAMIC_FT(7, std::numeric_limits<double>::quiet_NaN(), ndec, ierr);
    EXPECT_EQ(ierr, 1);
    DYNAMIC_FT(11, std::numeric_limits<double>::infinity(), ndec, ierr);
    EXPECT_EQ(ierr, 1);
}

TEST(Wrap, BringsAnglesIntoTheHalfOpenCircle) {
    const double in[] = {190.0, -180.0, 180.0, -540.0, 725.0, -179.5};
    const double out[] = {-170.0, 180.0, 180.0, 180.0, 5.0, -179.5};
    for (int i = 0; i < 6; ++i) {
        double a = in[i];
        WRAP(a);
        EXPECT_DOUBLE_EQ(a, out[i]) << in[i];
    }
}

TEST(Clorenz, FactorWithAndWithoutMonochromator) {
    reset_store();
    G.IMONO = 0;
    EXPECT_NEAR(CLORENZ(90.0), 2.0, 1e-9);
    EXPECT_NEAR(CLORENZ(-90.0), 2.0, 1e-9);
    const double t = 40.0 * 0.017453292;
    EXPECT_NEAR(CLORENZ(40.0), 2.0 * std::sin(t) / (1.0 + std::cos(t) * std::cos(t)), 1e-9);
    // With the monochromator in the sample's diffraction plane the factor
    // reduces to (1 + cos^2 2thm) sin 2th / (1 + cos^2 2thm cos^2 2th); the
    // parallel or anti-parallel setting does not enter.
    G.IMONO = 1;
    G.MONO2TH = 26.6;
    G.MONOANG = 0.0;
    const double cm = std::pow(std::cos(26.6 * 0.017453292), 2);
    const double want = (1.0 + cm) * std::sin(t) / (1.0 + cm * std::cos(t) * std::cos(t));
    G.MONODIR = 1;
    EXPECT_NEAR(CLORENZ(40.0), want, 1e-9);
    G.MONODIR = 2;
    EXPECT_NEAR(CLORENZ(40.0), want, 1e-9);
    // Perpendicular planes: polarisation by the monochromator acts on the
    // other component.
    G.MONOANG = 90.0;
    EXPECT_NEAR(CLORENZ(40.0), (1.0 + cm) * std::sin(t) / (std::cos(t) * std::cos(t) + cm), 1e-9);
}

// A fitted reflection at 2theta 90 without monochromator: the factor is 2.
void fitted_reflection() {
    G.OUTOPEN = 1;
    G.IMONO = 0;
    G.NREF = 12;
    G.IHKL = Arr1<int, 3>{{1, -2, 3}};
    G.ANGLES = Arr1<double, 4>{{90.0, 1.5, 190.0, -180.0}};
    G.FITI = 61.7;
    G.FITSIG = 3.2;
    G.ISCTYPE = 0;
    G.RFLAG_SAVE = 'S';
    G.FITSTAT = "F 1";
    G.PAR = Arr1<double, 6>{{10.0, 0.2, 300.0, 1200.0, 0.5, 0.5}};
    G.PARESD = Arr1<double, 6>{{1.0, 0.01, 20.0, 0.002, 0.05, 0.0}};
    G.RWP = 7.25;
    G.GOF = 1.1;
    G.SCALE = 1.0;
    G.STEP = 0.02;
    G.INTSIG = 4.5;
}

class IntensityFile : public OutputFiles {
protected:
    void open_output() { ASSERT_EQ(open_unit(LU_OUTPUT, path("out.int"), OpenMode::Replace), 0); }
    std::vector<std::string> written() { return lines_of(path("out.int")); }
};

TEST_F(IntensityFile, RfineRecordKeepsSettingOmegaWhenFitGaveNoPosition) {
    open_output();
    fitted_reflection();
    G.INTFMT = 1;
    WRITE_INT();
    // chi and phi of the scan record are wrapped in place.
    EXPECT_DOUBLE_EQ(G.ANGLES(3), -170.0);
    EXPECT_DOUBLE_EQ(G.ANGLES(4), 180.0);
    G.PAR(4) = 1.62;
    G.ISCTYPE = 2;
    WRITE_INT();
    const auto lines = written();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "  1 -2  3 90.0000  1.5000-170.000 180.000 123.4000000 6.40000   120.  SF 1    0");
    EXPECT_EQ(lines[1], "  1 -2  3 90.0000  1.6200-170.000 180.000 123.4000000 6.40000   122.  SF 1    0");
}

TEST_F(IntensityFile, RfineExtendedAddsFactorsParametersAndSigmas) {
    open_output();
    fitted_reflection();
    G.INTFMT = 2;
    WRITE_INT();
    const auto lines = written();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].substr(lines[0].size() - 3), "  3");
    EXPECT_EQ(lines[1], "FACTORS       7.2500    1.1000    1.0000    0.0200");
    // Parameters are written as fitted, without the Lorentz-polarisation factor.
    EXPECT_EQ(lines[2],
              "PARAMETERS   10.0000    0.2000  300.0000 1200.0000    0.5000    0.5000");
    EXPECT_EQ(lines[3], "SIGMAS        1.0000    0.0100   20.0000    0.0020    0.0500    0.0000    4.5000");
}

TEST_F(IntensityFile, ShelxRecordWithoutOrientationMatrix) {
    open_output();
    fitted_reflection();
    G.INTFMT = 3;
    WRITE_INT();
    // An esd too wide for F7 is written as 999999 rather than losing the
    // reflection.
    G.FITSIG = 600000.0;
    WRITE_INT();
    const auto lines = written();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "   1  -2   3 123.400 6.40000   1");
    EXPECT_EQ(lines[1], "   1  -2   3 123.400 999999.   1");
}

TEST_F(IntensityFile, OverflowingIntensityIsReportedAndSkipped) {
    clear_recorded_messages();
    open_output();
    fitted_reflection();
    for (int fmt = 1; fmt <= 3; ++fmt) {
        G.INTFMT = fmt;
        // 12345678 cannot be written in F7 in any form; F11 takes it, but
        // not ten integer digits.
        G.FITI = fmt == 3 ? 12345678.0 : 6.0e9;
        WRITE_INT();
    }
    // The Rfine forms also refuse an esd too wide for F7.
    G.INTFMT = 1;
    G.FITI = 10.0;
    G.FITSIG = 6000000.0;
    WRITE_INT();
    // A fit that left no number is never written either.
    G.INTFMT = 3;
    G.FITI = std::numeric_limits<double>::quiet_NaN();
    WRITE_INT();
    EXPECT_TRUE(written().empty());
    ASSERT_EQ(recorded_messages().size(), 5u);
    for (const Message& e : recorded_messages()) {
        EXPECT_EQ(e.kind, MessageKind::Error);
        EXPECT_EQ(e.title, "Tarnivox");
        EXPECT_EQ(e.text, "Output format exceeded, reflection   12 not written");
    }
}

TEST_F(IntensityFile, NothingWrittenWithoutOutputFile) {
    open_output();
    fitted_reflection();
    G.OUTOPEN = 0;
    G.INTFMT = 1;
    WRITE_INT();
    EXPECT_TRUE(written().empty());
    EXPECT_DOUBLE_EQ(G.ANGLES(3), 190.0);
}

TEST_F(IntensityFile, WriteErrorEndsTheRun) {
    fitted_reflection();
    G.INTFMT = 1;
    close_unit(LU_OUTPUT);  // OUTOPEN says open, but the unit cannot take the record
    try {
        WRITE_INT();
        FAIL() << "no stop";
    } catch (const ProgramEnd& e) {
        EXPECT_EQ(e.message, "ERROR WRITING INTEGRATED DATA FILE");
    }
}

TEST_F(IntensityFile, FullDiskEndsTheRun) {
    if (open_unit(LU_OUTPUT, "/dev/full", OpenMode::Replace) != 0) GTEST_SKIP() << "no /dev/full";
    fitted_reflection();
    G.INTFMT = 3;
    EXPECT_THROW(WRITE_INT(), ProgramEnd);
}

TEST_F(IntensityFile, EveryRecordIsOnDiskWhenWriteIntReturns) {
    open_output();
    fitted_reflection();
    G.INTFMT = 2;
    WRITE_INT();
    // Read while the unit is still open: nothing may wait in a buffer.
    EXPECT_EQ(written().size(), 4u);
}

TEST(DirectionCosines, BeamsAtZeroSettingsAreSymmetricAboutTheScatteringVector) {
    Arr1<double, 4> ang{{30.0, 0.0, 0.0, 0.0}};
    Arr1<double, 6> dc;
    CALC_DIRNCOSINES(ang, dc);
    const double th = 15.0 * 0.017453292;
    EXPECT_NEAR(dc(1), std::sin(th), 1e-9);
    EXPECT_NEAR(dc(2), -std::cos(th), 1e-9);
    EXPECT_NEAR(dc(3), 0.0, 1e-12);
    EXPECT_NEAR(dc(4), std::sin(th), 1e-9);
    EXPECT_NEAR(dc(5), std::cos(th), 1e-9);
    EXPECT_NEAR(dc(6), 0.0, 1e-12);
}

// For a reflection in diffracting position the reversed incident beam plus
// the diffracted beam is lambda times the scattering vector UB.h, so each
// pair of SHELX cosines adds up to lambda (UBt UB h)_i / |a*_i|.
TEST(DirectionCosines, ShelxPairsAddUpToTheScatteringVector) {
    reset_store();
    testdata::GeometryOptions opt;
    opt.cell = {7.1, 9.3, 11.2, 90.0, 104.0, 90.0};
    opt.rx = 23.0;
    opt.ry = -41.0;
    opt.rz = 117.0;
    const auto ub = testdata::ub_matrix(opt.cell, opt.rx, opt.ry, opt.rz);
    G.UB = ub;
    for (int i = 1; i <= 3; ++i) {
        double len = 0.0;
        for (int j = 1; j <= 3; ++j) {
            G.UBT(i, j) = ub(j, i);
            len += ub(j, i) * ub(j, i);
        }
        G.RCELL(i) = std::sqrt(len);
    }
    const int hkl[][3] = {{1, 2, 3}, {-2, 0, 5}, {3, -1, -4}};
    const double omegas[] = {0.0, 2.5, -4.0};
    for (const auto& h : hkl) {
        for (double om : omegas) {
            Arr1<double, 4> ang;
            ASSERT_TRUE(testdata::setting_angles(ub, h[0], h[1], h[2], opt.wave, om, opt.parity, ang));
            Arr1<double, 6> dc, dcs;
            CALC_DIRNCOSINES(ang, dc);
            DC_TOSHELX(dc, dcs);
            for (int i = 1; i <= 3; ++i) {
                double g = 0.0;  // (UBt UB h)_i
                for (int j = 1; j <= 3; ++j)
                    for (int k = 1; k <= 3; ++k) g += ub(k, i) * ub(k, j) * h[j - 1];
                EXPECT_NEAR(dcs(2 * i - 1) + dcs(2 * i), opt.wave * g / G.RCELL(i), 1e-6)
                    << h[0] << h[1] << h[2] << " omega " << om;
            }
        }
    }
}

TEST_F(IntensityFile, ShelxRecordCarriesDirectionCosinesWithOrientationMatrix) {
    open_output();
    fitted_reflection();
    G.INTFMT = 3;
    G.UBFLAG = 1;
    for (int i = 1; i <= 3; ++i) {
        G.UB(i, i) = 0.1;
        G.UBT(i, i) = 0.1;
        G.RCELL(i) = 0.1;
    }
    G.ANGLES = Arr1<double, 4>{{90.0, 0.0, 0.0, 0.0}};
    WRITE_INT();
    const auto lines = written();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "   1  -2   3 123.400 6.40000   1 0.70711 0.70711-0.70711 0.70711 0.00000 0.00000");
}

// A huge angle (1E+20 from a damaged file) is wrapped by remainder at once;
// adding 360 to it would change nothing and never end.
TEST(Wrap, HugeAnglesWrapByRemainder) {
    for (const double big : {1.0e20, -1.0e20, 3.6e17 + 190.0, 1.0e300}) {
        double a = big;
        WRAP(a);
        EXPECT_GT(a, -180.0) << big;
        EXPECT_LE(a, 180.0) << big;
        EXPECT_DOUBLE_EQ(a, std::remainder(big, 360.0) == -180.0 ? 180.0 : std::remainder(big, 360.0)) << big;
    }
}

// What a refinement program must never read as data is never written, in
// any form: indices 0 0 0 (they end a SHELX file) and an esd that is zero,
// negative or not a number (it would give infinite or no weight).
TEST_F(IntensityFile, OriginAndRecordsWithoutValidEsdAreNeverWritten) {
    clear_recorded_messages();
    open_output();
    struct Case {
        Arr1<int, 3> hkl;
        double sigma;
        const char* message;
    } cases[] = {
        {Arr1<int, 3>{{0, 0, 0}}, 3.2, "Indices 0 0 0, reflection   12 not written"},
        {Arr1<int, 3>{{1, 2, 3}}, 0.0, "No valid esd, reflection   12 not written"},
        {Arr1<int, 3>{{1, 2, 3}}, -1.0, "No valid esd, reflection   12 not written"},
        {Arr1<int, 3>{{1, 2, 3}}, std::numeric_limits<double>::quiet_NaN(), "No valid esd, reflection   12 not written"},
        {Arr1<int, 3>{{1, 2, 3}}, std::numeric_limits<double>::infinity(), "No valid esd, reflection   12 not written"},
    };
    std::size_t shown = 0;
    for (int fmt = 1; fmt <= 3; ++fmt) {
        for (const Case& c : cases) {
            fitted_reflection();
            G.INTFMT = fmt;
            G.IHKL = c.hkl;
            G.FITSIG = c.sigma;
            WRITE_INT();
            ASSERT_EQ(recorded_messages().size(), ++shown);
            EXPECT_EQ(recorded_messages().back().text, c.message) << fmt;
        }
    }
    EXPECT_TRUE(written().empty());
}

// A scan whose fit was rejected, with a runaway POSITION and the values a
// rejected fit leaves (0 with an esd of 1): 2theta 90 without monochromator
// (factor 2), noise-free counts of a known alpha1 intensity on the expected
// profile of the instrument settings.
void rejected_reflection(double intensity, double tth = 90.0, double omega = 1.5, double peak = 1.5) {
    fitted_reflection();
    test::SimScan sim;
    sim.tth = tth;
    sim.omega = omega;
    sim.npts = 96;
    sim.step = 0.01;
    sim.truth = Arr1<double, 6>{{10.0, 0.2, intensity, peak, 0.5, 0.5}};
    test::load_simulated_scan(sim, nullptr);
    G.FWHMA = 0.2;
    G.FWHMB = 0.0;
    G.ETA0 = 0.5;
    G.A2RATIO = 0.5;
    G.SCALE = 2.0;
    G.FITI = 0.0;
    G.FITSIG = 1.0;
    G.FITSTAT = "RE1";
    G.PAR(P_POSITION) = -150.0;
}

TEST_F(IntensityFile, RejectedFitIsWrittenWithItsExpectedPeaksSumInEveryForm) {
    open_output();
    G.NSUMW = 0;
    for (int fmt = 1; fmt <= 3; ++fmt) {
        rejected_reflection(50.0);
        G.INTFMT = fmt;
        WRITE_INT();
    }
    // The sum over the expected peak, put on the scale of the fitted alpha1
    // intensity, times SCALE and the factor 2; the setting omega for the
    // runaway POSITION; the status as the fit left it.
    const auto lines = written();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0].substr(0, 42), "  1 -2  3 90.0000  1.5000-170.000 180.000 ");
    EXPECT_NEAR(std::stod(lines[0].substr(42, 11)), 200.0, 1e-4);
    EXPECT_GT(std::stod(lines[0].substr(54, 7)), 0.5);
    EXPECT_EQ(lines[0].substr(70), "SRE1    0");
    // The extended form keeps the esd of the fit's own summation.
    EXPECT_EQ(lines[4].substr(lines[4].size() - 10), "    4.5000");
    EXPECT_NEAR(std::stod(lines[5].substr(13, 7)), 200.0, 1e-3);
    EXPECT_EQ(G.NSUMW, 3);

    // Left out when asked, and counted.
    G.REJOUT = 0;
    G.NREJOM = 0;
    rejected_reflection(50.0);
    WRITE_INT();
    EXPECT_EQ(written().size(), 6u);
    EXPECT_EQ(G.NREJOM, 1);
    EXPECT_EQ(G.NSUMW, 3);
}

// With the orientation matrix known, a rejected record's cosines are those
// of the crystal where the matrix puts the peak, whatever the fit left.
TEST_F(IntensityFile, RejectedFitsCosinesAreThoseOfTheExpectedPeak) {
    open_output();
    testdata::GeometryOptions opt;
    const auto ub = testdata::ub_matrix(opt.cell, opt.rx, opt.ry, opt.rz);
    Arr1<double, 4> ang;
    ASSERT_TRUE(testdata::setting_angles(ub, 1, -2, 3, opt.wave, 0.0, opt.parity, ang));
    // The scan was set 0.3 degrees off the peak.
    rejected_reflection(50.0, ang(1), 0.3, 0.0);
    G.ANGLES = ang;
    G.ANGLES(2) = 0.3;
    G.UB = ub;
    G.UBFLAG = 1;
    G.WAVE1 = opt.wave;
    for (int i = 1; i <= 4; ++i) G.PARITY(i) = opt.parity[static_cast<std::size_t>(i - 1)];
    for (int i = 1; i <= 3; ++i) {
        double len = 0.0;
        for (int j = 1; j <= 3; ++j) {
            G.UBT(i, j) = ub(j, i);
            len += ub(j, i) * ub(j, i);
        }
        G.RCELL(i) = std::sqrt(len);
    }
    G.INTFMT = 3;
    WRITE_INT();
    const auto lines = written();
    ASSERT_EQ(lines.size(), 1u);
    Arr1<double, 6> dc, dcs;
    CALC_DIRNCOSINES(ang, dc);
    DC_TOSHELX(dc, dcs);
    for (int j = 1; j <= 6; ++j)
        EXPECT_NEAR(std::stod(lines[0].substr(32 + 8 * static_cast<std::size_t>(j - 1), 8)), dcs(j), 2e-5)
            << j;
}

// A value too wide for its field gives up decimals in the same columns and
// never turns into asterisks; an esd whose text would read zero takes the
// decimal the leading zero leaves room for, or is refused.
TEST_F(IntensityFile, NumbersTooWideForTheirFieldsKeepTheirColumns) {
    clear_recorded_messages();
    open_output();
    fitted_reflection();
    G.INTFMT = 2;
    G.NREF = 123456;  // identifier 1234562: no point left in F7.0
    G.ISCTYPE = 2;
    G.GOF = 123456.789;
    G.PAR(P_ETA) = -81.25;
    G.PARESD(P_ETA) = 3.0e7;
    G.ANGLES(1) = -120.0;
    WRITE_INT();
    fitted_reflection();
    G.INTFMT = 3;
    G.FITSIG = 0.000002;  // 0.000004 after the factor: .000004 in F7
    WRITE_INT();
    G.FITSIG = 0.0000002;  // reads zero even so: refused
    WRITE_INT();
    const auto lines = written();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].find('*'), std::string::npos) << lines[0];
    EXPECT_EQ(lines[0].substr(0, 9 + 8), "  1 -2  3-120.000");
    EXPECT_EQ(lines[0].substr(61, 7), "1234562");
    EXPECT_EQ(lines[1], "FACTORS       7.2500 123456.79    1.0000    0.0200");
    EXPECT_EQ(lines[2], "PARAMETERS   10.0000    0.2000  300.0000 1200.0000  -81.2500    0.5000");
    EXPECT_EQ(lines[3].substr(50, 20), " 30000000.    0.0000");
    EXPECT_EQ(lines[4], "   1  -2   3 123.400 .000004   1");
    ASSERT_EQ(recorded_messages().size(), 1u);
    EXPECT_EQ(recorded_messages()[0].text, "No valid esd, reflection   12 not written");
}

}  // namespace
}  // namespace tarnivox
