#include "import/cad4.h"

#include <cmath>
#include <cstdlib>
#include <string>

#include "core/angles.h"
#include "core/store.h"
#include "import/reader_io.h"
#include "io/layout.h"
#include "io/units.h"

namespace tarnivox {
namespace {

constexpr int CAD4_STEPS = 96;  // 8 count lines of 12 steps
// Last columns (after the margin) of the three record kinds of a reflection.
constexpr std::size_t REFLECTION_LINE_END = 41;
constexpr std::size_t ANGLE_LINE_END = 50;
constexpr std::size_t COUNT_LINE_END = 60;

// The record code of a line (columns m+1, m+2); -1 when unreadable.
int record_code(std::string_view body) {
    int code = 0;
    if (read_fixed(body, "(I2)", {&code}) != READ_OK) return -1;
    return code;
}

std::string without_margin(const std::string& line) {
    const auto m = static_cast<std::size_t>(G.CADMARGIN);
    return m < line.size() ? line.substr(m) : std::string();
}

bool ends_data(const std::string& line) { return line.substr(0, 5).find('$') != std::string::npos; }

void read_standards_block(std::string& line) {
    G.NSTD = 0;
    for (;;) {
        reader_expects("a standard's line (record code 0: h k l in columns 5-13) or the next header record");
        if (next_input_line(line, 80) != READ_OK) reader_stop("Error reading file header");
        const std::string body = without_margin(line);
        if (record_code(body) != 0) return;
        if (G.NSTD >= MAXSTD) reader_stop("More than 10 standards", "at most 10 standards after record 27");
        G.NSTD += 1;
        Arr1<int, 3> hkl;
        if (read_fixed(body, "(4X,3I3)", {hkl}) != READ_OK) reader_stop("Error reading file header");
        for (int j = 1; j <= 3; ++j) G.STDHKL(G.NSTD, j) = hkl(j);
    }
}

// The next line of a reflection; false at the end of the file, or at the
// first line of the next reflection (left to be read next).
bool next_line_of_reflection(std::string& line) {
    if (next_input_line(line, 80) != READ_OK) return false;
    if (record_code(without_margin(line)) != 1) return true;
    backspace_unit(LU_INPUT);
    return false;
}

// Minimum speed of the prescan: the speed code at which a scan of width
// SCANW takes P2 seconds per minute of arc, as the CAD4 chooses it.
int minimum_speed() {
    const double q = G.CADP2 != 0 ? G.SCANW / G.CADP2 / 60.0 : 0.0;
    long long n = truncate_count(q) + 1;
    if (n < 1) n = 1;
    return static_cast<int>(truncate_count(16.48 / static_cast<double>(n)));
}

void classify(const std::string& flags, int v) {
    if (flags[0] == 'I') {
        const int i = find_standard();
        if (i == 0)
            reader_stop("Unidentified Standard Refln",
                        "a reflection flagged I whose indices are a standard of record 27");
        G.ISCTYPE = i;
        G.RFLAG = 'I';
        return;
    }
    G.ISCTYPE = 0;
    if (flags[3] == 'W') {
        G.RFLAG = 'W';
    } else if (v < 0) {
        G.SCALE = G.SCALE / G.ATTEN;
        G.RFLAG = 'F';
    } else if (v == G.CADP1) {
        G.RFLAG = 'S';
    } else if (std::abs(v - minimum_speed()) >= 2) {
        G.RFLAG = 'R';
    } else {
        G.RFLAG = 'M';
    }
}

}  // namespace

void READ_HEADER_CAD4(int& status) {
    std::string line;
    reader_expects("the first header record: record code 21 within columns 1-6");
    if (next_input_line(line, 80) != READ_OK) reader_stop("ERROR READING FIRST LINE OF DATAFILE");
    const std::size_t at = line.find("21");
    if (at == std::string::npos || at > 4) reader_stop("ERROR READING FIRST LINE OF DATAFILE");
    G.CADMARGIN = static_cast<int>(at);
    G.TITLE = columns(line, G.CADMARGIN + 9, G.CADMARGIN + 36);
    // The speed record classifies every reflection: without it (a header
    // that lost its line) each would get a letter by a minimum speed of
    // nothing.
    bool speeds = false;

    int code = 0;
    for (;;) {
        reader_expects("header records (codes 21 to 33) up to the first reflection line (code 1)");
        if (next_input_line(line, 80) != READ_OK) reader_stop("Error reading file header");
        std::string body = without_margin(line);
        code = record_code(body);
        if (code == 27) {
            read_standards_block(line);
            continue;
        }
        if (code == 32) {
            if (read_fixed(body, "(33X,3F9.2)", {&G.WAVE1, &G.WAVE2, &G.ATTEN}) != READ_OK)
                reader_stop("Error reading file header",
                            "record 32: two wavelengths and the attenuator factor (3F9.2 from column 34)");
        } else if (code == 22) {
            if (read_fixed(body, "(48X,I2,I4)", {&G.CADP1, &G.CADP2}) != READ_OK)
                reader_stop("Error reading file header", "record 22: the speeds P1 (I2) and P2 (I4) from column 49");
            speeds = true;
        } else if (code < 21 || code > 33) {
            break;
        }
    }
    if (code != 1)
        reader_stop("Error reading file header", "a header record (codes 21 to 33) or the first reflection line "
                                                 "(code 1 in columns 1-2)");
    if (!speeds) reader_stop("Error reading file header", "the speed record 22 in the header before this line");
    if (standards_repeat()) reader_stop("Error reading file header", "each standard once after record 27");
    backspace_unit(LU_INPUT);
    G.NPTS = CAD4_STEPS;
    for (int i = 1; i <= G.NSTD; ++i) G.STDNPTS(i) = CAD4_STEPS;
    status = 0;
}

void READ_SCAN_CAD4(int& status) {
    std::string line;
    std::string flags;
    int v = 0;
    // Lines passed over on the way to the next reflection: those of a
    // left-out reflection (flag X) are expected; any other (the lines of a
    // reflection whose first line was damaged, a file cut inside a left-out
    // reflection) means a reflection of the file is lost, which is reported
    // as an unreadable one.
    int left_out = -1;      // number of the left-out reflection passed over
    int left_out_code = 0;  // the last of its lines passed
    bool lost = false;
    for (;;) {
        reader_expects("a reflection line: record code 1 in columns 1-2, number, h k l, flags, speed");
        const int rc = next_input_line(line, 80);
        if (rc == READ_ERROR) {
            status = READER_READ_ERROR;
            return;
        }
        if (rc != READ_OK || ends_data(line)) {
            if (rc == READ_EOF && left_out >= 0 && left_out_code < 10) {
                reader_expects("the ten lines of reflection " + std::to_string(left_out) + " before the end");
                lost = true;
            }
            if (lost && rc == READ_OK) backspace_unit(LU_INPUT);  // the end mark is met again
            status = lost ? reader_fails(READER_NOT_FOUND) : READER_END;
            return;
        }
        const std::string body = without_margin(line);
        const int line_code = record_code(body);
        if (line_code != 1) {
            int nref = 0;
            if (line_code >= 2 && line_code <= 10 && read_fixed(body, "(2X,I6)", {&nref}) == READ_OK &&
                nref == left_out)
                left_out_code = line_code;
            else if (line_code != 0 && !lost) {
                reader_expects("a reflection line (code 1) before the lines of a reflection");
                reader_fails(READER_NOT_FOUND);
                lost = true;
            }
            continue;
        }
        if (lost) {
            backspace_unit(LU_INPUT);  // this reflection is read by the next call
            status = READER_NOT_FOUND;
            return;
        }
        int code = 0;
        if (read_fixed(body, "(I2,I6,3I5,1X,A6,7X,I4)", {&code, &G.NREF, G.IHKL, &flags, &v}) != READ_OK) {
            status = READER_READ_ERROR;
            return;
        }
        flags.resize(6, ' ');
        // A line cut before its speed code gives no scale: the reflection
        // is left out, its other lines are passed over by the search.
        if (!reaches_column(body, REFLECTION_LINE_END)) {
            reader_expects("a reflection line reaching its speed code in column 41 (it is cut short)");
            status = reader_fails(READER_NOT_FOUND);
            return;
        }
        if (flags[1] != 'X') break;
        left_out = G.NREF;
        left_out_code = 1;
    }

    // A reflection cut short by the end of the file, or by the first line
    // of the next reflection, cannot be used; the next one is read whole.
    reader_expects("the angle line of reflection " + std::to_string(G.NREF) + ": record code 2 in columns 1-2");
    if (!next_line_of_reflection(line)) {
        status = reader_fails(READER_NOT_FOUND);
        return;
    }
    int code = 0;
    int nref = 0;
    Arr1<double, 4> kappa;
    const std::string angle_line = without_margin(line);
    if (read_fixed(angle_line, "(I2,I6,F8.3,3F9.3,F7.3)", {&code, &nref, kappa, &G.SCANW}) != READ_OK ||
        code != 2 || nref != G.NREF) {
        status = READER_READ_ERROR;
        return;
    }
    bool unreadable = false;
    // A line that cannot be used is named where it is met; the reflection
    // is left out once its lines are read.
    auto refuse = [&unreadable](std::string_view what) {
        if (unreadable) return;
        reader_expects(what);
        reader_fails(READER_NOT_FOUND);
        unreadable = true;
    };
    if (!reaches_column(angle_line, ANGLE_LINE_END))
        refuse("an angle line reaching column 50 (it is cut short)");
    G.STEP = G.SCANW / 95.0;
    G.NPTS = CAD4_STEPS;

    for (int j = 3; j <= 10; ++j) {
        reader_expects("count line " + std::to_string(j - 2) + " of 8 of reflection " + std::to_string(G.NREF) +
                       ": record code " + std::to_string(j) + " in columns 1-2, then twelve counts");
        if (!next_line_of_reflection(line)) {
            status = reader_fails(READER_NOT_FOUND);
            return;
        }
        Arr1<int, 12> c;
        if (read_fixed(without_margin(line), "(I2,I6,4(1X,3I4))", {&code, &nref, c}) != READ_OK) {
            refuse(std::string(G.RDEXPECT.str()) + " (unreadable)");
            continue;
        }
        if (code != j || nref != G.NREF) {
            status = READER_READ_ERROR;
            return;
        }
        // Counts missing from a cut line are no zeros.
        if (!reaches_column(without_margin(line), COUNT_LINE_END)) refuse("a count line reaching column 60 (it is cut short)");
        for (int i = 1; i <= 12; ++i) G.COUNTS(12 * (j - 3) + i) = c(i);
    }
    // A speed code of 0 gives no counting time: the scan cannot be scaled.
    if (unreadable || v == 0) {
        if (!unreadable) refuse("a speed code other than 0 on the reflection line");
        status = READER_NOT_FOUND;
        return;
    }

    ANGLE_CONV(kappa, G.ANGLES, status);
    if (status != 0) return;
    G.STEPTIME = v * G.STEP / 16.48 / 60.0;
    G.SCALE = 1000.0 / std::abs(v);
    classify(flags, v);
    status = 0;
}

void ANGLE_CONV(const Arr1<double, 4>& kappa_angles, Arr1<double, 4>& angles, int& status) {
    constexpr double SIN_KAPPA_AXIS = 0.76604;  // the kappa axis is inclined at 50 degrees
    const double theta = kappa_angles(1);
    const double phik = kappa_angles(2);
    const double omk = kappa_angles(3);
    const double half_kappa = kappa_angles(4) / 2.0 * RAD_PER_DEG;

    const double tth = 2.0 * theta;
    const double chi = 2.0 * std::asin(SIN_KAPPA_AXIS * std::sin(half_kappa)) / RAD_PER_DEG;
    double r = std::cos(half_kappa) / std::cos(chi / 2.0 * RAD_PER_DEG);
    if (!(std::abs(r) <= 1.001)) {
        status = READER_READ_ERROR;
        reader_stop("OVERFLOW IN ANGLE_CONVERT", "kappa angles of a reachable setting on the angle line");
    }
    if (std::abs(r) > 0.999999) r = r > 0 ? 1.0 : -1.0;
    double delta = std::acos(r) / RAD_PER_DEG;
    if (std::sin(half_kappa) < 0) delta = -delta;
    angles(1) = tth;
    angles(2) = delta + omk - tth / 2.0;
    angles(3) = chi;
    angles(4) = delta + phik;
    status = 0;
}

}  // namespace tarnivox
