// Edge cases of the instrument readers and of the import driver.
#include <algorithm>
#include <fstream>
#include <sstream>

#include "core/exitint.h"
#include "core/store.h"
#include "import/cad4.h"
#include "import/convert.h"
#include "import/febo.h"
#include "import/xscans.h"
#include "import_fixture.h"
#include "io/layout.h"
#include "io/units.h"
#include "output/log_file.h"
#include "support/scratch.h"

namespace tarnivox::importtest {
namespace {

using test::read_text;

// The lines of a text, with `keep` deciding which survive.
template <class Keep>
std::string filter_lines(const std::string& text, Keep keep) {
    std::istringstream in(text);
    std::string out, line;
    int n = 0;
    while (std::getline(in, line))
        if (keep(line, ++n)) out += line + "\n";
    return out;
}

// The message of the fatal stop of an import, or "" when it completed.
std::string import_stop(ImportTest& t, const std::string& file, int infmt) {
    G.INFMT = infmt;
    G.INFILE = "case";
    if (open_unit(LU_INPUT, file, OpenMode::Read) != 0) return "cannot open";
    int status = 0;
    try {
        CONVERT_FILE(status);
        if (G.LOGOPEN == 1) WRITE_INPUT(LU_LOG);
    } catch (const ProgramEnd& e) {
        return e.message;
    }
    (void)t;
    return "";
}

std::vector<std::string> scratch_lines() {
    std::vector<std::string> lines;
    rewind_unit(G.LUSCR);
    std::string l;
    while (read_line(G.LUSCR, l) == READ_OK) lines.push_back(l);
    return lines;
}

// ---------------------------------------------------------------- CAD4

TEST(Cad4Angles, KappaZeroGivesChiZeroAndPlainOffsets) {
    Arr1<double, 4> kappa{{10.0, 20.0, 30.0, 0.0}};
    Arr1<double, 4> ang;
    int status = 5;
    ANGLE_CONV(kappa, ang, status);
    EXPECT_EQ(status, 0);
    EXPECT_DOUBLE_EQ(ang(1), 20.0);
    EXPECT_NEAR(ang(2), 20.0, 1e-12);  // omega' - theta
    EXPECT_NEAR(ang(3), 0.0, 1e-12);
    EXPECT_NEAR(ang(4), 20.0, 1e-12);
}

TEST(Cad4Angles, SimulatorKappaSettingsConvertBackToEuler) {
    for (double chi = -95.0; chi <= 95.0; chi += 9.5)
        for (double phi : {-170.0, -20.0, 45.0, 160.0}) {
            const std::array<double, 4> euler{31.4, 0.37, chi, phi};
            std::array<double, 4> k{};
            ASSERT_TRUE(sim::euler_to_kappa(euler, k));
            Arr1<double, 4> kap{{k[0], k[1], k[2], k[3]}};
            Arr1<double, 4> ang;
            int status = 0;
            ANGLE_CONV(kap, ang, status);
            for (int j = 1; j <= 4; ++j) EXPECT_NEAR(ang(j), euler[static_cast<std::size_t>(j - 1)], 1e-6);
        }
}

TEST_F(ImportTest, Cad4FourColumnMarginReadsAsWithoutMargin) {
    sim::Config c;
    c.seed = 5;
    c.nrefl = 12;
    simulate_and_import(c, "plain");
    const auto plain = walk_scan_file();
    c.cad4_margin = 4;
    const sim::Result r = simulate_and_import(c, "margin");
    EXPECT_EQ(read_text(path("margin.dat")).substr(0, 6), "    21");
    const auto margin = walk_scan_file();
    ASSERT_EQ(plain.size(), margin.size());
    for (std::size_t i = 0; i < plain.size(); ++i) {
        EXPECT_EQ(plain[i].counts, margin[i].counts);
        EXPECT_EQ(plain[i].angles, margin[i].angles);
        EXPECT_EQ(plain[i].rflag, margin[i].rflag);
    }
    expect_matches_truth(margin, r, 0.003);
}

TEST_F(ImportTest, Cad4ReflectionFlaggedXIsAbsentAndCountedNowhere) {
    sim::Config c;
    c.seed = 5;
    c.nrefl = 12;
    const sim::Result r = simulate_and_import(c, "x");
    const auto it =
        std::find_if(r.refl.begin(), r.refl.end(), [](const sim::Truth& t) { return !t.in_data_set; });
    ASSERT_NE(it, r.refl.end());
    const auto got = walk_scan_file();
    EXPECT_EQ(got.size(), r.refl.size() - 1);
    for (const Scan& s : got) EXPECT_NE(s.nref, it->nref);
    int total = 0;
    for (int k = 1; k <= 7; ++k) total += G.NCLASS(k);
    EXPECT_EQ(total, static_cast<int>(got.size()));
    EXPECT_EQ(messages().back(), "Data File read in successfully");
}

TEST_F(ImportTest, Cad4AcceptsTenStandardsAndRefusesEleven) {
    sim::Config c;
    c.nrefl = 4;
    c.nstd = 1;
    c.std_interval = 100;
    sim::simulate(c, path("s.dat"), path("s.par"), "");
    const std::string text = read_text(path("s.dat"));
    auto with_standards = [&](int n) {
        std::string extra;
        for (int i = 2; i <= n; ++i) extra += format_record("(4X,3I3)", {i, 0, 0}) + "\n";
        const std::size_t at = text.find("\n28");
        return text.substr(0, at + 1) + extra + text.substr(at + 1);
    };
    set_instrument(c);
    EXPECT_EQ(import_stop(*this, write_file("ten.dat", with_standards(10)), 7), "");
    EXPECT_EQ(G.NSTD, 10);
    EXPECT_EQ(G.STDHKL(10, 1), 10);
    EXPECT_EQ(G.STDNPTS(10), 96);
    EXPECT_EQ(import_stop(*this, write_file("eleven.dat", with_standards(11)), 7), "More than 10 standards");
}

TEST_F(ImportTest, Cad4HeaderFaultsStopTheRun) {
    EXPECT_EQ(import_stop(*this, write_file("a.dat", "      21 title\n"), 7),
              "ERROR READING FIRST LINE OF DATAFILE");
    EXPECT_EQ(import_stop(*this, write_file("b.dat", ""), 7), "ERROR READING FIRST LINE OF DATAFILE");
    EXPECT_EQ(import_stop(*this, write_file("c.dat", "21 title\n22\n 5     1\n"), 7),
              "Error reading file header");
}

// ---------------------------------------------------------------- STOE

const char* const STOE_HEAD = "TITL stoe case\nWAVE   1.0  0.70930 0.71359\nSCAN 0.8 0.5 0.02\nDATA\n";

TEST_F(ImportTest, StoeCountsFollowSingleBlanksAndTheFirstValueIsDropped) {
    G.ATTEN = 10.0;
    const std::string file = write_file(
        "a.d00",
        std::string(STOE_HEAD) +
            "   1   2   3   1 0.5 0.2  0  0     6  1  1.0  0   20.000   12.000   30.000   40.000\n"
            "P3 5 120 7\n"
            "   0   0   0\n"
            "   4   5   6   1 0.5 0.2  0  0     6  0  1.0  0   20.000   12.000   30.000   40.000\nP9 1 2\n");
    EXPECT_EQ(import_stop(*this, file, 5), "");
    const auto got = walk_scan_file();
    ASSERT_EQ(got.size(), 1u);  // 0 0 0 ends the data even with more after it
    EXPECT_EQ(got[0].counts, (std::vector<long long>{5, 120, 7}));
    EXPECT_EQ(got[0].rflag, 'F');
    EXPECT_NEAR(got[0].scale, 10.0 / 2.0, 1e-9);  // attenuator over 6 s / 3 steps
    EXPECT_NEAR(got[0].angles[1], 2.0, 1e-9);     // 12 - 20/2
    EXPECT_NEAR(got[0].step, 0.02, 1e-9);
}

TEST_F(ImportTest, StoeFortyStepScanHasFortyOneValues) {
    sim::Config c;
    c.format = sim::Format::Stoe;
    c.nrefl = 3;
    c.npts = 40;
    simulate_and_import(c, "s");
    const std::string text = read_text(path("s.d00"));
    EXPECT_NE(text.find("\nP40 "), std::string::npos);
    for (const Scan& s : walk_scan_file()) EXPECT_EQ(s.npts, 40);
}

TEST_F(ImportTest, StoeUnlistedStandardStopsTheRun) {
    const std::string file = write_file(
        "a.d00",
        std::string("STDS 1 100.0 1 1 1\n") + STOE_HEAD +
            "   1   2   3  40 0.5 0.2  0  0     6  0  1.0  0   20.000   12.000   30.000   40.000\nP9 5 6\n");
    EXPECT_EQ(import_stop(*this, file, 5), "Unidentified Standard Refln");
    EXPECT_EQ(import_stop(*this, write_file("b.d00", "TITL no data line\n"), 5), "Unexpected end of file");
}

// ------------------------------------------------- scans beyond 500 steps

TEST_F(ImportTest, ScanLongerThanFiveHundredStepsIsLeftOutAndReported) {
    for (sim::Format f : {sim::Format::Stoe, sim::Format::Huber, sim::Format::Febo}) {
        sim::Config c;
        c.format = f;
        c.nrefl = 6;
        c.long_scan = 4;
        const sim::Result r = simulate_and_import(c, "long");
        SCOPED_TRACE(static_cast<int>(f));
        ASSERT_EQ(r.refl[3].npts, 600);
        expect_matches_truth(walk_scan_file(), r, 0.0006);
        EXPECT_EQ(messages().back(), "Error Reading at least 1 reflection in data file");
    }
}

// ---------------------------------------------------------------- Huber

std::string huber_block(int nref, int npts, int t, double line_time) {
    std::string s = "*" + format_int(npts, 3) + format_int(t, 2);
    for (int i = 1; i <= 21; ++i) s += format_int(i <= npts ? 100 + i : 0, 6);
    s += "\n";
    for (int j = 1; j <= (npts - 1) / 21; ++j) {
        s += "      ";
        for (int i = 1; i <= 21; ++i) s += format_int(21 * j + i <= npts ? 100 + 21 * j + i : 0, 6);
        s += "\n";
    }
    return s +
           format_record("(A1,I4,I1,3I3,4F8.3,36X,F10.3)",
                         {" ", nref, 0, 1, 2, 3, 20.0, 0.0, 10.0, 5.0, line_time}) +
           "\n";
}

TEST_F(ImportTest, HuberScaleIsTheFirstCountingTimeOfTheRunOverThisOne) {
    fresh_run("command 672\ncommand 672\n");
    preset_step(0.04);
    const std::string first = write_file("a.dat", huber_block(1, 21, 2, 0.0) + huber_block(2, 22, 0, 4.0));
    EXPECT_EQ(import_stop(*this, first, 2), "");
    auto got = walk_scan_file();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].npts, 21);
    EXPECT_EQ(got[1].npts, 22);
    EXPECT_EQ(got[1].counts.back(), 122);  // the second count line holds one count
    EXPECT_DOUBLE_EQ(got[0].scale, 1.0);
    EXPECT_DOUBLE_EQ(got[1].scale, 0.5);
    EXPECT_DOUBLE_EQ(got[0].step, 0.04);
    EXPECT_EQ(got[0].rflag, 'N');
    EXPECT_EQ(std::string(G.TITLE.str()), "Data from case");
    // A second file of the same run keeps the first file's counting time.
    const std::string second = write_file("b.dat", huber_block(1, 5, 1, 0.0));
    EXPECT_EQ(import_stop(*this, second, 2), "");
    got = walk_scan_file();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_DOUBLE_EQ(got[0].scale, 2.0);
}

TEST_F(ImportTest, HuberBlockWithoutStarStopsTheRun) {
    fresh_run("command 672\n");
    EXPECT_EQ(import_stop(*this, write_file("a.dat", " 21 1   100\n"), 2), "Error reading datafile");
}

// ---------------------------------------------------------------- Febo

std::string febo_file(const std::vector<std::string>& records) {
    std::string s = "  febo case\n\n    7.0     8.0     9.0    90.0    90.0    90.0\n\n";
    s +=
        "      0.1       0.0       0.0\n      0.0       0.1       0.0\n      0.0       0.0       0.1\nP\nV\n";
    for (const auto& r : records) s += r + "\n";
    return s;
}

TEST_F(ImportTest, FeboNumbersStandardsByFirstAppearanceAcrossImports) {
    fresh_run("command 672\ncommand 672\n");
    G.WAVE1 = 0.7;
    G.ATTEN = 8.0;
    const std::string counts3 = "1 2 3";
    const std::string a = write_file(
        "a.feb",
        febo_file({"6 1 0 0 0 0 0 3 100", counts3, "0 2 0 0 0 0 0 3 50", counts3, "7 0 1 0 0 0 0 3 -100",
                   counts3, "6 1 0 0 0 0 0 3 100", counts3, "0 0 0 0 0 0 0 0 0"}));
    EXPECT_EQ(import_stop(*this, a, 6), "");
    auto got = walk_scan_file();
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].isctype, 1);
    EXPECT_EQ(got[2].isctype, 2);
    EXPECT_EQ(got[3].isctype, 1);
    EXPECT_EQ(got[2].rflag, 'I');
    EXPECT_DOUBLE_EQ(got[2].scale, 8.0);  // s = -100: attenuated, still a standard
    EXPECT_DOUBLE_EQ(got[1].scale, 2.0);  // s = 50
    EXPECT_EQ(got[1].rflag, 'N');
    // A later import of the same run appends new standards to the table.
    std::string counts25 = "1 2 3 4 5 6 7 8 9 10\n11 12 13 14 15 16 17 18 19 20\n21 22 23 24 25";
    const std::string b =
        write_file("b.feb", febo_file({"6 0 0 3 0 0 0 25 100", counts25, "6 0 1 0 0 0 0 3 100", counts3}));
    EXPECT_EQ(import_stop(*this, b, 6), "");
    got = walk_scan_file();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].isctype, 3);
    EXPECT_EQ(got[1].isctype, 2);
    EXPECT_EQ(got[0].npts, 25);
    EXPECT_EQ(got[0].counts[24], 25);
}

TEST_F(ImportTest, FeboEleventhStandardIsImportedAsOrdinary) {
    fresh_run("command 672\n");
    G.WAVE1 = 0.7;
    G.NSTD = 10;
    for (int i = 1; i <= 10; ++i) G.STDHKL(i, 1) = 10 + i;
    const std::string a = write_file("a.feb", febo_file({"6 1 0 0 0 0 0 3 100", "1 2 3"}));
    EXPECT_EQ(import_stop(*this, a, 6), "");
    const auto got = walk_scan_file();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].isctype, 0);
    EXPECT_EQ(got[0].rflag, 'N');
    const auto m = messages();
    EXPECT_NE(std::find(m.begin(), m.end(), "Too many standards"), m.end());
    EXPECT_NE(std::find(m.begin(), m.end(), "Error converting datafile: hkl =   1  0  0 not a standard"),
              m.end());
}

TEST_F(ImportTest, FeboUnknownCodeStopsTheImport) {
    fresh_run("command 672\n");
    G.WAVE1 = 0.7;
    const std::string a = write_file("a.feb", febo_file({"3 1 0 0 0 0 0 3 100", "1 2 3"}));
    EXPECT_EQ(import_stop(*this, a, 6), "READ ERROR ON SCAN FILE");
    const auto m = messages();
    EXPECT_NE(
        std::find(m.begin(), m.end(), "Error converting datafile: ICODE=3 iseq =    1 hkl=   1   0   0"),
        m.end());
}

// ---------------------------------------------------------------- Xcalibur

TEST_F(ImportTest, XcaliburOlderLayoutReadsSixColumnNumbersAfter9999) {
    sim::Config c;
    c.format = sim::Format::Xcalibur;
    c.xcal_newer = false;
    c.first_number = 9995;
    c.nrefl = 14;
    const sim::Result r = simulate_and_import(c, "old");
    EXPECT_NE(read_text(path("old.dca")).find("\nR 10005"), std::string::npos);
    const auto got = walk_scan_file();
    expect_matches_truth(got, r, 0.002);
    EXPECT_EQ(got[10].nref, 10005);
    EXPECT_EQ(got[10].rflag, 'I');
}

TEST_F(ImportTest, XcaliburMissingZLineNamesTheExpectedCharacter) {
    sim::Config c;
    c.format = sim::Format::Xcalibur;
    c.xcal_newer = false;
    c.nrefl = 3;
    sim::simulate(c, path("a.dca"), path("a.par"), "");
    int zlines = 0;
    const std::string cut = filter_lines(
        read_text(path("a.dca")), [&](const std::string& l, int) { return !(l[0] == 'Z' && ++zlines == 2); });
    set_instrument(c);
    const std::string stop = import_stop(*this, write_file("b.dca", cut), 3);
    EXPECT_EQ(stop.substr(0, 39), "ERROR READING FILE: EXPECTED Z, GOT E A");
}

TEST_F(ImportTest, XcaliburWithoutStandardsListStopsAtAStandard) {
    sim::Config c;
    c.format = sim::Format::Xcalibur;
    c.nrefl = 3;
    sim::simulate(c, path("a.dca"), path("a.par"), "");
    const std::string cut = filter_lines(read_text(path("a.dca")), [](const std::string& l, int) {
        return l.rfind("P rr", 0) != 0 && l.rfind("P   ", 0) != 0;
    });
    set_instrument(c);
    EXPECT_EQ(import_stop(*this, write_file("b.dca", cut), 3), "Unidentified Standard Refln");
    EXPECT_EQ(G.NSTD, 0);
}

// ---------------------------------------------------------------- XSCANS

TEST(XscansCode, GroupsDecodeToTheirCounts) {
    EXPECT_EQ(IHIBIT("B") + ILOWBIT('5'), 47);
    EXPECT_EQ(IHIBIT("Ba") + ILOWBIT('0'), 3276);
    EXPECT_EQ(ILOWBIT('?'), 41);
    EXPECT_EQ(ILOWBIT('`'), 10);
    EXPECT_EQ(ILOWBIT('A'), 0);
    EXPECT_EQ(ILOWBIT(static_cast<char>(200)), 0);
    for (long long v : {0LL, 5LL, 41LL, 42LL, 47LL, 3276LL, 99999999LL, 123456789012LL}) {
        const std::string g = sim::encode_count(v);
        EXPECT_EQ(IHIBIT(std::string_view(g).substr(0, g.size() - 1)) + ILOWBIT(g.back()), v) << g;
    }
}

TEST_F(ImportTest, XscansReflectionDecodesAcrossBlanksAndLineBreaks) {
    G.ATTEN = 3.0;
    const std::string file = write_file(
        "a.p4t",
        "TITLE xscans case\nSOURCE                  0.70930   0.71359\nCHECKR   0     0" +
            std::string(22, ' ') + "  5\nDATA THETA 2THETA SCAN THETA-TWOTHETA\n" +
            format_record("(1X,I6,3I4,4F8.2,F5.2,F8.2)", {7, 1, 2, 3, 30.0, 20.0, 40.0, 10.0, -1.2, 4.0}) +
            "\nB 5 Ba\n0 5 0 0\n");
    EXPECT_EQ(import_stop(*this, file, 4), "");
    EXPECT_EQ(G.SCANMODE, 2);
    const auto got = walk_scan_file();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].counts, (std::vector<long long>{47, 3276, 5, 0, 0}));
    EXPECT_NEAR(got[0].angles[1], 5.0, 1e-9);
    EXPECT_NEAR(got[0].angles[2], 10.0, 1e-9);
    EXPECT_NEAR(got[0].angles[3], 40.0, 1e-9);
    EXPECT_NEAR(got[0].step, 1.2 / 4, 1e-9);
    EXPECT_NEAR(got[0].scale, 12.0, 1e-9);
    EXPECT_EQ(got[0].rflag, 'F');
}

TEST_F(ImportTest, XscansCountsOutsideTheCodeLeaveTheReflectionOut) {
    const std::string head = "CHECKR   0     0" + std::string(22, ' ') + "  3\nDATA\n";
    const std::string line =
        format_record("(1X,I6,3I4,4F8.2,F5.2,F8.2)", {1, 1, 0, 0, 10.0, 5.0, 0.0, 0.0, 1.0, 1.0});
    const std::string file = write_file("a.p4t", head + line + "\n1 2 \x01" + "3\n" + line + "\n4 5 6\n");
    EXPECT_EQ(import_stop(*this, file, 4), "");
    EXPECT_EQ(walk_scan_file().size(), 1u);
    EXPECT_EQ(messages().back(), "Error Reading at least 1 reflection in data file");
}

// ---------------------------------------------------------------- driver

TEST_F(ImportTest, ImportingTheSameFileTwiceGivesIdenticalScratchFiles) {
    sim::Config c;
    c.format = sim::Format::Xscans;
    c.nrefl = 10;
    simulate_and_import(c, "twice");
    const auto first = scratch_lines();
    open_unit(LU_INPUT, path("twice.p4t"), OpenMode::Read);
    int status = 0;
    CONVERT_FILE(status);
    EXPECT_EQ(scratch_lines(), first);
    EXPECT_GT(first.size(), 20u);
}

TEST_F(ImportTest, FileWithoutReflectionsGivesHeaderOnlyAndTotalZero) {
    G.LOGOPEN = 1;
    open_unit(LU_LOG, path("log.txt"), OpenMode::Replace, true);
    EXPECT_EQ(import_stop(*this, write_file("a.p4t", "TITLE empty\nDATA\n"), 4), "");
    EXPECT_TRUE(walk_scan_file().empty());
    EXPECT_EQ(scratch_lines().back(), "DATA");
    EXPECT_EQ(messages().back(), "No reflection read from data file");
    close_unit(LU_LOG);
    const std::string log = read_text(path("log.txt"));
    EXPECT_NE(log.find("      TOTAL NUMBER OF REFLECTIONS:                0"), std::string::npos) << log;
    EXPECT_NE(log.find("  WEAK REFLECTIONS NOT RESCANNED:"), std::string::npos);
}

TEST_F(ImportTest, SummaryTakesTheShortFormWhenLetterNIsPresent) {
    G.INFILE = "a_long_file_name_of_more_than_twenty.rfl";
    SET_SCANCODES_ZERO();
    for (char l : {'N', 'N', 'I', 'n', ' ', 'W', 'Q'}) SUM_SCANTYPES(l);
    open_unit(LU_LOG, path("log.txt"), OpenMode::Replace, true);
    WRITE_INPUT(LU_LOG);
    close_unit(LU_LOG);
    const std::string expected =
        "\n\n      REFLECTIONS AS CLASSIFIED IN INPUT FILE: a_long_file_name_of_\n"
        "       NORMAL REFLECTIONS:              2\n"
        "       STANDARDS:                       1\n\n"
        "       TOTAL NUMBER OF REFLECTIONS:     4\n";
    EXPECT_EQ(read_text(path("log.txt")), expected);
}

}  // namespace
}  // namespace tarnivox::importtest
