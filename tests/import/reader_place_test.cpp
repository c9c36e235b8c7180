// A data file that is not as its reader reads it: the message names the
// file, the line and what the reader expected there, before the program's
// own text (kept as it is).  Each format's simulated file is damaged at a
// known line: once so that the import stops, once so that one reflection
// is left out.

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/exitint.h"
#include "core/store.h"
#include "import/convert.h"
#include "import_fixture.h"
#include "io/units.h"

namespace tarnivox::importtest {
namespace {

constexpr char kWarning[] = "Error Reading at least 1 reflection in data file";

struct Outcome {
    std::string ended;  // the fatal message; empty when the import finished
    std::string place;  // the place the end carried
    std::vector<std::string> shown;
};

class ReaderPlace : public ImportTest {
protected:
    // The lines of a simulated file of format f: four reflections of 16
    // steps (CAD4: 96), the first a standard.
    std::vector<std::string> simulated(sim::Format f) {
        sim::Config c;
        c.format = f;
        c.nrefl = 4;
        c.npts = 16;
        c.nstd = 1;
        c.std_interval = 50;
        config_ = c;
        const std::string file = path("clean." + sim::extension_of(f));
        step_ = sim::simulate(c, file, path("clean.par"), "").step_to_enter;
        std::ifstream in(file, std::ios::binary);
        std::vector<std::string> lines;
        for (std::string l; std::getline(in, l);) lines.push_back(l);
        return lines;
    }

    // Imports the lines as a file of format `as`.
    Outcome import_lines(const std::vector<std::string>& lines, sim::Format as) {
        std::string text;
        for (const std::string& l : lines) text += l + "\n";
        file_ = write_file("damaged." + sim::extension_of(as), text);
        const bool asks_step = as == sim::Format::Huber || as == sim::Format::Febo;
        fresh_run(asks_step ? step_answer(step_) : "");
        if (asks_step) preset_step(step_);
        set_instrument(config_);
        G.INFMT = static_cast<int>(as);
        G.INFILE = "damaged";
        G.WORKDIR = dir_.string() + "/";
        Outcome o;
        EXPECT_EQ(open_unit(LU_INPUT, file_, OpenMode::Read), 0);
        int status = 0;
        try {
            CONVERT_FILE(status);
        } catch (const ProgramEnd& e) {
            o.ended = e.message;
            o.place = e.place;
        }
        o.shown = messages();
        return o;
    }

    // The import stops with `text`; the box before it, and the end, name
    // the file, the line and the expectation.
    void expect_stop(const Outcome& o, const std::string& text, int line, const std::string& expected) {
        EXPECT_EQ(o.ended, text);
        const std::string where = "Data file " + file_ + ", line " + std::to_string(line);
        EXPECT_EQ(o.place.rfind(where, 0), 0u) << o.place;
        EXPECT_NE(o.place.find(": expected " + expected), std::string::npos) << o.place;
        bool boxed = false;
        for (const std::string& m : o.shown) boxed = boxed || m == o.place;
        EXPECT_TRUE(boxed) << "no box names the place";
    }

    // The import finishes, leaves one reflection out, and says where the
    // first it left out stands before its warning.
    void expect_left_out(const Outcome& o, int line, const std::string& expected) {
        EXPECT_EQ(o.ended, "");
        ASSERT_GE(o.shown.size(), 2u);
        EXPECT_EQ(o.shown.back(), kWarning);
        const std::string& first = o.shown[o.shown.size() - 2];
        EXPECT_EQ(first.rfind("First reflection left out: Data file " + file_ + ", line " + std::to_string(line) +
                                  ": expected ",
                              0),
                  0u)
            << first;
        EXPECT_NE(first.find(expected), std::string::npos) << first;
        // (A cut reflection line can be counted twice: once for itself,
        // once for its count lines met without it.)
        EXPECT_GE(G.NREFBAD, 1);
        EXPECT_EQ(G.NREFREAD, 3);
    }

    // Line n (1-based) of the file.
    static std::string& at(std::vector<std::string>& lines, std::size_t n) { return lines.at(n - 1); }

    sim::Config config_;
    double step_ = 0.0;
    std::string file_;
};

TEST_F(ReaderPlace, Cad4NamesTheRecordCodeOrTheCutCountLine) {
    std::vector<std::string> clean = simulated(sim::Format::Cad4);
    // Header 1-6, reflection 1 on lines 7-16, reflection 2 on 17-26.
    ASSERT_EQ(at(clean, 18).substr(0, 8), " 2     2");
    auto lines = clean;
    at(lines, 18).replace(0, 2, " 5");
    expect_stop(import_lines(lines, sim::Format::Cad4), "READ ERROR ON SCAN FILE", 18,
                "the angle line of reflection 2: record code 2 in columns 1-2");

    lines = clean;
    at(lines, 21).resize(30);
    expect_left_out(import_lines(lines, sim::Format::Cad4), 21, "reaching column 60");

    // A Huber file read as CAD4: its first line is no CAD4 header.
    const std::vector<std::string> huber = simulated(sim::Format::Huber);
    expect_stop(import_lines(huber, sim::Format::Cad4), "ERROR READING FIRST LINE OF DATAFILE", 1,
                "the first header record: record code 21");
}

TEST_F(ReaderPlace, StoeNamesTheMissingDataLineAndTheCutReflectionLine) {
    std::vector<std::string> clean = simulated(sim::Format::Stoe);
    ASSERT_EQ(at(clean, 5), "DATA");
    auto lines = clean;
    lines.erase(lines.begin() + 4);
    // Without its DATA line the header runs to the end of the file.
    expect_stop(import_lines(lines, sim::Format::Stoe), "Unexpected end of file",
                static_cast<int>(lines.size()) + 1, "header lines (TITL, WAVE, SCAN, STDS) ending with a DATA line");

    lines = clean;
    ASSERT_EQ(at(lines, 9).substr(0, 1), " ");
    at(lines, 9).resize(40);
    expect_left_out(import_lines(lines, sim::Format::Stoe), 9, "a reflection line of 16 values");
}

TEST_F(ReaderPlace, HuberNamesTheCountMarkerAndTheCountingTime) {
    std::vector<std::string> clean = simulated(sim::Format::Huber);
    // Three lines a reflection: counts, standard marker, reflection.
    ASSERT_EQ(at(clean, 4).substr(0, 1), "*");
    auto lines = clean;
    at(lines, 4)[0] = '#';
    expect_stop(import_lines(lines, sim::Format::Huber), "Error reading datafile", 4,
                "a first count line: '*'");

    // A reflection line cut before the counting time its count line does
    // not give (t 0); with a time on the count line it is not needed.
    lines = clean;
    at(lines, 4).replace(4, 2, " 0");
    at(lines, 6).resize(60);
    expect_left_out(import_lines(lines, sim::Format::Huber), 6, "counting time in column 93");
}

TEST_F(ReaderPlace, FeboNamesTheMatrixRowAndTheShortCountRecord) {
    std::vector<std::string> clean = simulated(sim::Format::Febo);
    auto lines = clean;
    at(lines, 5) = "     0.05641x -0.061452 -0.004556";
    expect_stop(import_lines(lines, sim::Format::Febo), "READ ERROR ON HEADER OF SCAN FILE", 5,
                "header line 5: row 1 of the orientation matrix");

    // The first count record of the second reflection loses a count.
    lines = clean;
    ASSERT_EQ(at(lines, 13).substr(0, 1), "0");
    at(lines, 14).resize(at(lines, 14).size() - 8);
    expect_left_out(import_lines(lines, sim::Format::Febo), 14, "a count record of 10 counts (steps 1 to 10 of 16)");
}

TEST_F(ReaderPlace, XcaliburNamesTheLineLetterAndTheCutCountLine) {
    std::vector<std::string> clean = simulated(sim::Format::Xcalibur);
    std::size_t second = 0;  // the second reflection's line
    for (std::size_t i = 1; i <= clean.size() && second == 0; ++i)
        if (at(clean, i).rfind("#    2", 0) == 0) second = i;
    ASSERT_GT(second, 0u);
    auto lines = clean;
    at(lines, second + 1)[0] = 'Q';
    const int z = static_cast<int>(second + 1);
    expect_stop(import_lines(lines, sim::Format::Xcalibur),
                "ERROR READING FILE: EXPECTED Z, GOT Q AT LINE     " + std::to_string(z), z,
                "a line starting with Z");

    lines = clean;
    ASSERT_EQ(at(lines, second + 4).substr(0, 1), "S");
    at(lines, second + 4).resize(30);
    expect_left_out(import_lines(lines, sim::Format::Xcalibur), static_cast<int>(second + 4),
                    "a count line: S and 8 counts (I9), steps 1 to 8 of 16 (it is cut short)");
}

TEST_F(ReaderPlace, XscansNamesTheCheckrLineAndTheCutReflectionLine) {
    std::vector<std::string> clean = simulated(sim::Format::Xscans);
    ASSERT_EQ(at(clean, 4).substr(0, 6), "CHECKR");
    auto lines = clean;
    at(lines, 4).replace(6, 4, "   x");
    expect_stop(import_lines(lines, sim::Format::Xscans), "ERROR READING DATAFILE HEADER", 4,
                "CHECKR: standards (I4)");

    lines = clean;
    ASSERT_EQ(at(lines, 9).substr(0, 7), "      2");
    at(lines, 9).resize(40);
    expect_left_out(import_lines(lines, sim::Format::Xscans), 9, "a reflection line reaching its speed in column 64");
}

TEST_F(ReaderPlace, StandardFileNamesTheUnreadableCountAndTheLostMatrixRow) {
    std::vector<std::string> clean = simulated(sim::Format::Standard);
    ASSERT_EQ(at(clean, 15).substr(0, 1), "S");
    auto lines = clean;
    at(lines, 15).replace(5, 3, "7x2");
    expect_stop(import_lines(lines, sim::Format::Standard), "READ ERROR ON SCAN FILE", 15,
                "count lines of the reflection's 16 steps");

    lines = clean;
    ASSERT_EQ(at(lines, 7).substr(0, 1), "U");
    lines.erase(lines.begin() + 6);
    // The DATA line, now line 9, comes after two rows of the matrix.
    expect_stop(import_lines(lines, sim::Format::Standard), "READ ERROR ON HEADER OF SCAN FILE", 9,
                "all three U lines of the orientation matrix");
}

}  // namespace
}  // namespace tarnivox::importtest
