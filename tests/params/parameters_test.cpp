// Reading the instrument parameter file.

#include "params/parameters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/exitint.h"
#include "core/messages.h"
#include "core/store.h"
#include "io/units.h"
#include "support/scratch.h"
#include "toolkit/script/script_backend.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;

// The eight mandatory keywords; POSITION limits are distances from the
// setting omega, so both are positive.
const std::string kMandatory =
    "PKPAR  0.1 0.02 0.5\n"
    "FITLIM -1.0 1.0 0.05 0.5 0.0 1.0e6 0.2 0.2 0.0 1.0 0.4 0.6 0.25\n"
    "ATTEN  12.5\n"
    "WAVEL  2 0.709300 0.713590 0.500000\n"
    "RFLAGS 1,1,1,1,1,0\n"
    "TFLAGS 1,1,1,1,1,0,1\n"
    "PARITY 1,-1,1,1\n"
    "MONO      1   12.1600    0.0000    1\n";

class ParametersTest : public ::testing::Test {
protected:
    void SetUp() override {
        reset_store();
        close_all_units();
        test::install_quiet_script();
        dir_ = test::make_scratch_dir("tarnivox_par");
    }
    void TearDown() override {
        close_all_units();
        fs::remove_all(dir_);
    }
    // Opens the text as the parameter file on unit 3 and reads it.
    void read_file(const std::string& text) {
        const std::string path = (dir_ / "inst.par").string();
        std::ofstream(path, std::ios::binary) << text;
        ASSERT_EQ(open_unit(LU_PARAM, path, OpenMode::Read), 0);
        READ_PARAMETERS();
    }
    // The fatal message of reading the text, empty when it was accepted.
    std::string fatal_message(const std::string& text) {
        try {
            read_file(text);
        } catch (const ProgramEnd& end) {
            return end.message;
        }
        return {};
    }
    // The error boxes the parameter file reported (no window: recorded).
    std::vector<Message> errors() {
        std::vector<Message> out;
        for (const Message& m : recorded_messages())
            if (m.kind == MessageKind::Error) out.push_back(m);
        return out;
    }
    fs::path dir_;
};

TEST_F(ParametersTest, MandatoryKeywordsAloneAreAcceptedWithDefaultsForTheRest) {
    G.IFIX.fill(1);
    G.IBACK = 0;
    G.GONCON1 = 5.0;
    read_file(kMandatory);
    EXPECT_DOUBLE_EQ(G.FWHMA, 0.1);
    EXPECT_DOUBLE_EQ(G.ETA0, 0.5);
    EXPECT_DOUBLE_EQ(G.PARLO(3), 0.0);
    EXPECT_DOUBLE_EQ(G.PARHI(3), 1.0e6);
    EXPECT_DOUBLE_EQ(G.PARLO(4), 0.2);
    EXPECT_DOUBLE_EQ(G.PARHI(6), 0.6);
    EXPECT_DOUBLE_EQ(G.RWPLIM, 0.25);
    EXPECT_DOUBLE_EQ(G.ATTEN, 12.5);
    EXPECT_EQ(G.NWAVE, 2);
    EXPECT_DOUBLE_EQ(G.A2RATIO, 0.5);
    EXPECT_DOUBLE_EQ(G.RATIO0, 0.5);
    EXPECT_EQ(G.IREF, (Arr1<int, 6>{{1, 1, 1, 1, 1, 0}}));
    EXPECT_EQ(G.ICHK, (Arr1<int, 7>{{1, 1, 1, 1, 1, 0, 1}}));
    EXPECT_EQ(G.PARITY, (Arr1<int, 4>{{1, -1, 1, 1}}));
    EXPECT_EQ(G.IMONO, 1);
    EXPECT_DOUBLE_EQ(G.MONO2TH, 12.16);
    EXPECT_EQ(G.BLAXES, (Arr1<int, 3>{{1, 2, 3}}));
    EXPECT_DOUBLE_EQ(G.GONCON1, 200.0);
    EXPECT_EQ(G.IBACK, 3);
    EXPECT_EQ(G.NBACK, 5);
    EXPECT_EQ(G.IFIX, (Arr1<int, 6>{}));
    // The peak starting values go into the current profile parameters.
    EXPECT_DOUBLE_EQ(G.PAR(2), 0.1);
    EXPECT_DOUBLE_EQ(G.PAR(5), 0.5);
    EXPECT_DOUBLE_EQ(G.PAR(6), 0.5);
}

TEST_F(ParametersTest, KeywordsAreCaseInsensitiveOnSixColumnsAndLaterLinesWin) {
    read_file("pkpar  0.3 0.04 0.7\n" + kMandatory +
              "Atten  3.0\n"
              "mono      0   10.0    0.0    0\n"
              "PKPAR0.9 0.9 0.9\n"        // "PKPAR0" is no keyword: column 6 must be blank
              "ATTEN\n"                   // no values: the earlier one stays
              "WAVEL  1 1.5406 1.5444\n"  // ratio missing: kept, then zero for one line
              "comment lines are any other word 1 2 3\n"
              "\n"
              "      5 5 5\n");
    EXPECT_DOUBLE_EQ(G.FWHMA, 0.1);
    EXPECT_DOUBLE_EQ(G.ATTEN, 3.0);
    EXPECT_EQ(G.IMONO, 0);
    EXPECT_EQ(G.NWAVE, 1);
    EXPECT_DOUBLE_EQ(G.WAVE1, 1.5406);
    EXPECT_DOUBLE_EQ(G.A2RATIO, 0.0);
    EXPECT_DOUBLE_EQ(G.RATIO0, 0.0);
    EXPECT_DOUBLE_EQ(G.PAR(6), 0.0);
}

TEST_F(ParametersTest, OneWavelengthComponentZeroesTheRatio) {
    read_file(kMandatory + "WAVEL  1 0.7093 0.71359 0.5\n");
    EXPECT_DOUBLE_EQ(G.A2RATIO, 0.0);
    EXPECT_DOUBLE_EQ(G.RATIO0, 0.0);
}

TEST_F(ParametersTest, OptionalKeywordsAndTheGoniometerRule) {
    read_file(kMandatory + "BACKGR 2 100.0 0.05 3.0\nGONCON 0.1 150.0\nBLAXES -1,2,3\n");
    EXPECT_EQ(G.IBACK, 2);
    EXPECT_DOUBLE_EQ(G.BGEXPA, 100.0);
    EXPECT_DOUBLE_EQ(G.BGEXPC, 3.0);
    EXPECT_DOUBLE_EQ(G.GONCON1, 200.0);  // not above 0.1
    EXPECT_DOUBLE_EQ(G.GONCON2, 150.0);
    EXPECT_EQ(G.BLAXES, (Arr1<int, 3>{{-1, 2, 3}}));
    read_file(kMandatory + "BACKGR 3 7\n");
    EXPECT_EQ(G.IBACK, 3);
    EXPECT_EQ(G.NBACK, 7);
    read_file(kMandatory + "BACKGR 0\n");
    EXPECT_EQ(G.IBACK, 0);
    EXPECT_TRUE(errors().empty());
}

TEST_F(ParametersTest, AxisCheckTestsOnlyTheSumOfAbsoluteValues) {
    for (const std::string axes : {"3 2 1", "-1 2 3", "1 1 4"}) {
        read_file(kMandatory + "BLAXES " + axes + "\n");
        EXPECT_NE(G.BLAXES, (Arr1<int, 3>{{1, 2, 3}})) << axes;
    }
    EXPECT_TRUE(errors().empty());
    read_file(kMandatory + "BLAXES 1 2 2\n");
    EXPECT_EQ(G.BLAXES, (Arr1<int, 3>{{1, 2, 3}}));
    const auto e = errors();
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].title, "Tarnivox");
    EXPECT_EQ(e[0].text, "ERROR IN PAR FILE, ILLEGAL BLAXES, \t\t\t\t\tSET to Busing-Levy");
}

TEST_F(ParametersTest, PresenceMarksLastTheWholeRun) {
    read_file(kMandatory);
    // A second file without MONO keeps the first file's monochromator.
    std::string second = kMandatory.substr(0, kMandatory.find("MONO"));
    read_file(second);
    EXPECT_EQ(G.IMONO, 1);
    EXPECT_DOUBLE_EQ(G.MONO2TH, 12.16);
    // In a fresh run the same file is missing a keyword.
    reset_store();
    EXPECT_EQ(fatal_message(second), "MISSING DATA FROM PARAMETER FILE");
}

TEST_F(ParametersTest, MonochromatorShiftTakesTheSignOfTheDispersionDirection) {
    read_file(kMandatory + "MONO      1   12.1600    0.0000    1\n");
    const double parallel = G.MONOSHIFT;
    const double expect = std::asin(0.713590 / 0.709300 * std::sin(6.08 / 57.2958)) * 57.2958 - 6.08;
    EXPECT_NEAR(parallel, expect, 1e-12);
    EXPECT_GT(parallel, 0.0);
    read_file(kMandatory + "MONO      1   12.1600    0.0000   -1\n");
    EXPECT_DOUBLE_EQ(G.MONOSHIFT, -parallel);
    read_file(kMandatory + "MONO      1   12.1600    0.0000    0\n");
    EXPECT_EQ(G.MONOSHIFT, 0.0);
    // A wavelength that gives no real angle is refused where it is read,
    // before any shift could come out NaN.
    EXPECT_EQ(fatal_message(kMandatory + "WAVEL  2 0.0 0.7 0.5\nMONO      1 12.16 0.0 1\n"),
              "ILLEGAL VALUE IN PARAMETER FILE: WAVEL alpha1 wavelength 0");
}

TEST_F(ParametersTest, LogEchoesEveryLineBetweenTheBanners) {
    const std::string log = (dir_ / "run.log").string();
    ASSERT_EQ(open_unit(LU_LOG, log, OpenMode::Append, true), 0);
    G.LOGOPEN = 1;
    read_file("# instrument\n\n" + kMandatory);
    flush_unit(LU_LOG);
    const std::vector<std::string> l = test::read_lines(log);
    ASSERT_EQ(l.size(), 2u + 8u + 4u);
    EXPECT_EQ(l[0], "# instrument" + std::string(68, ' '));
    EXPECT_EQ(l[1], std::string(80, ' '));
    EXPECT_EQ(l[2], ("PKPAR  0.1 0.02 0.5" + std::string(80, ' ')).substr(0, 80));
    EXPECT_EQ(l[10], "");
    EXPECT_EQ(l[11], "****************END OF PARAMETER FILE***************");
    EXPECT_EQ(l[12], "");
    EXPECT_EQ(l[13], "");
}

TEST_F(ParametersTest, LinesAreCutAtColumnEighty) {
    // The ratio starts in column 79: only "0." of "0.75" is read.
    std::string wavel = "WAVEL  2 0.7093 0.71359";
    wavel += std::string(78 - wavel.size(), ' ') + "0.75";
    ASSERT_EQ(wavel.size(), 82u);
    read_file(kMandatory + wavel + "\n");
    EXPECT_DOUBLE_EQ(G.A2RATIO, 0.0);
}

TEST_F(ParametersTest, BadFilesStopTheRun) {
    const std::string unreadable = "ERROR READING PARAMETER FILE";
    const std::string missing = "MISSING DATA FROM PARAMETER FILE";
    EXPECT_EQ(fatal_message(kMandatory + "ATTEN  twelve\n"), unreadable);
    EXPECT_EQ(fatal_message(kMandatory + "RFLAGS 1 1 x\n"), unreadable);
    EXPECT_EQ(fatal_message(kMandatory + "BLAXES 1 2 z\n"), unreadable);
    EXPECT_EQ(fatal_message(kMandatory + "BACKGR 2 1.0 0.5\n"), unreadable);  // c missing
    EXPECT_EQ(fatal_message(kMandatory + "BACKGR 3\n"), unreadable);
    EXPECT_EQ(fatal_message(kMandatory + "BACKGR 3 0\n"), unreadable);
    EXPECT_EQ(fatal_message(kMandatory + "BACKGR 9\n"), unreadable);
    EXPECT_EQ(fatal_message(kMandatory + "BACKGR\n"), unreadable);
    EXPECT_EQ(fatal_message(kMandatory + "GONCON 200.0\n"), unreadable);
    EXPECT_EQ(fatal_message(kMandatory + "GONCON abc 1\n"), unreadable);
    reset_store();  // a fresh run: no keyword given yet
    EXPECT_EQ(fatal_message(""), missing);
    std::string binary;
    for (int i = 0; i < 4096; ++i) binary.push_back(static_cast<char>((i * 131 + 7) % 256));
    EXPECT_EQ(fatal_message(binary), missing);
    EXPECT_EQ(fatal_message(kMandatory.substr(kMandatory.find('\n') + 1)), missing);
}

// The fatal message stays as it is; before it the user is told which
// keyword to add.
TEST_F(ParametersTest, MissingKeywordIsNamedBeforeTheRunStops) {
    std::size_t start = 0;
    for (const char* keyword : {"PKPAR", "FITLIM", "ATTEN", "WAVEL", "RFLAGS", "TFLAGS", "PARITY", "MONO"}) {
        const std::size_t end = kMandatory.find('\n', start) + 1;
        const std::string without = kMandatory.substr(0, start) + kMandatory.substr(end);
        start = end;
        reset_store();
        clear_recorded_messages();
        EXPECT_EQ(fatal_message(without), "MISSING DATA FROM PARAMETER FILE") << keyword;
        ASSERT_FALSE(recorded_messages().empty()) << keyword;
        EXPECT_NE(recorded_messages().back().text.find(std::string("has no ") + keyword + " line"),
                  std::string::npos)
            << recorded_messages().back().text;
    }
}

// Values outside their physical range would pass as silently wrong numbers
// (a negative wavelength puts every Lp factor off, an inverted FITLIM
// rejects every reflection): the run stops naming the keyword and value.
TEST_F(ParametersTest, ImplausibleValuesStopTheRunNamingKeywordAndValue) {
    const std::string illegal = "ILLEGAL VALUE IN PARAMETER FILE: ";
    const struct {
        const char* line;
        const char* named;
    } cases[] = {
        {"WAVEL  2 0.709300 1.0E11 0.5", "WAVEL alpha2 wavelength 1E+11"},
        {"WAVEL  2 0.0 0.0 0.5", "WAVEL alpha1 wavelength 0"},
        {"WAVEL  2 -0.7093 -0.71359 0.5", "WAVEL alpha1 wavelength -0.7093"},
        {"WAVEL  3 0.7093 0.71359 0.5", "WAVEL number of wavelengths 3"},
        {"WAVEL  2 0.7093 0.71359 1.5", "WAVEL alpha2/alpha1 ratio 1.5"},
        {"MONO 9", "MONO monochromator switch 9"},
        {"MONO      1  400.0 0.0 0", "MONO monochromator 2theta 400"},
        {"MONO      1   12.16 0.0 2", "MONO dispersion direction 2"},
        {"PARITY 0,5,-7", "PARITY axis sense 0"},
        {"FITLIM 1.0 -1.0 0.05 0.5 0.0 1.0e6 0.2 0.2 0.0 1.0 0.4 0.6 0.25", "FITLIM lower limit above its upper limit 1"},
        {"FITLIM 0.0 1.0e5 0.05 0.5 0.0 1.0e6 -0.3 0.2 0.0 1.0 0.4 0.6 0.25", "FITLIM position window below zero width -0.1"},
        {"FITLIM 0.0 1.0e5 0.02", "FITLIM values given, 13 needed: 3"},
        {"FITLIM 0.0 1.0e5 0.05 0.5 0.0 1.0e6 0.2 0.2 0.0 1.0 0.4 0.6 0.0", "FITLIM Rwp limit 0"},
        {"PKPAR  -0.1 0.02 0.5", "PKPAR FWHM coefficient a -0.1"},
        {"PKPAR  0.1 -0.02 0.5", "PKPAR FWHM coefficient b -0.02"},
        {"PKPAR  0.1 0.02 1.5", "PKPAR eta 1.5"},
        {"ATTEN  -2.0", "ATTEN attenuator factor -2"},
        {"RFLAGS 1,1,2,1,1,0", "RFLAGS switch 2"},
        {"TFLAGS 1,1,1,1,1,0,-1", "TFLAGS switch -1"},
        {"BACKGR 3 400", "BACKGR background steps 400"},
    };
    for (const auto& c : cases) EXPECT_EQ(fatal_message(kMandatory + c.line + "\n"), illegal + c.named) << c.line;
    // The file as the examples and the simulator write it is accepted.
    EXPECT_EQ(fatal_message(kMandatory + "WAVEL  1 1.5406 0.0 0.0\nFITLIM 0.0 1.0e5 0.02 1.0 0.0 1.0e8 0.2 0.2 0.0 1.0 0.4 0.6 0.25\n"), "");
}

// An editor's byte-order mark before the first keyword is no part of it.
TEST_F(ParametersTest, ByteOrderMarkBeforeTheFirstKeywordIsAccepted) {
    EXPECT_EQ(fatal_message("\xEF\xBB\xBF" + kMandatory), "");
    EXPECT_DOUBLE_EQ(G.FWHMA, 0.1);
    EXPECT_DOUBLE_EQ(G.ETA0, 0.5);
}

}  // namespace
}  // namespace tarnivox

namespace tarnivox {
namespace {

// Every fatal message of the parameter file keeps its text; a box before
// it, and the end of the run, name the file, the line and the keyword
// (for a keyword that is missing: the file and the keyword).
TEST_F(ParametersTest, FatalMessagesNameTheFileTheLineAndTheKeyword) {
    const std::string file = (dir_ / "inst.par").string();
    const struct {
        std::string text;
        std::string message;
        std::string place;
    } cases[] = {
        {kMandatory + "ATTEN  twelve\n", "ERROR READING PARAMETER FILE",
         "line 9, keyword ATTEN: expected one number: the attenuator factor"},
        {"# comment\n" + kMandatory + "BACKGR 9\n", "ERROR READING PARAMETER FILE",
         "line 10, keyword BACKGR: expected the background mode 0 to 3"},
        {"RFLAGS 1 1 x\n" + kMandatory, "ERROR READING PARAMETER FILE",
         "line 1, keyword RFLAGS: expected six switches, 0 or 1"},
        {kMandatory + "WAVEL  2 -0.7093 -0.71359 0.5\n", "ILLEGAL VALUE IN PARAMETER FILE: WAVEL alpha1 wavelength -0.7093",
         "line 9, keyword WAVEL: alpha1 wavelength -0.7093 is out of range"},
        {kMandatory + "\nPKPAR  0.1 0.02 1.5\n", "ILLEGAL VALUE IN PARAMETER FILE: PKPAR eta 1.5",
         "line 10, keyword PKPAR: eta 1.5 is out of range; expected three numbers"},
        {kMandatory + "mono 9\n", "ILLEGAL VALUE IN PARAMETER FILE: MONO monochromator switch 9",
         "line 9, keyword MONO: monochromator switch 9 is out of range"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.place);
        clear_recorded_messages();
        std::ofstream(file, std::ios::binary) << c.text;
        ASSERT_EQ(open_unit(LU_PARAM, file, OpenMode::Read), 0);
        std::string message, place;
        try {
            READ_PARAMETERS();
        } catch (const ProgramEnd& end) {
            message = end.message;
            place = end.place;
        }
        EXPECT_EQ(message, c.message);
        EXPECT_EQ(place.rfind("Parameter file " + file + ", " + c.place, 0), 0u) << place;
        const auto e = errors();
        ASSERT_FALSE(e.empty());
        EXPECT_EQ(e.back().text, place);
    }
    // A keyword no file of the run gave has no line: the box names the
    // file and the keyword to add.
    reset_store();
    clear_recorded_messages();
    std::ofstream(file, std::ios::binary) << kMandatory.substr(0, kMandatory.find("MONO"));
    ASSERT_EQ(open_unit(LU_PARAM, file, OpenMode::Read), 0);
    try {
        READ_PARAMETERS();
        ADD_FAILURE() << "a file without MONO was taken";
    } catch (const ProgramEnd& end) {
        EXPECT_EQ(end.message, "MISSING DATA FROM PARAMETER FILE");
        EXPECT_EQ(end.place.rfind("The instrument parameter file " + file + " has no MONO line", 0), 0u) << end.place;
    }
}

}  // namespace
}  // namespace tarnivox
