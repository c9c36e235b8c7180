#include "import/xcalibur.h"

#include <cmath>
#include <string>

#include "core/angles.h"
#include "core/instrument_ranges.h"
#include "core/store.h"
#include "import/cad4.h"
#include "import/reader_io.h"
#include "io/layout.h"
#include "io/units.h"

namespace tarnivox {
namespace {

constexpr int COUNTS_PER_LINE = 8;
constexpr double MAX_SCAN_WIDTH = 10.0;  // degrees
// Last columns of the records of a reflection: the reflection line with
// its count scale (without it, in the older layout's standard lines), the
// angle lines, and a count line of n counts (1 + 9n).
constexpr std::size_t SCALED_LINE_END = 69;
constexpr std::size_t UNSCALED_LINE_END = 39;
constexpr std::size_t ANGLE_LINE_END = 41;
constexpr std::size_t COUNT_FIELD = 9;

[[noreturn]] void header_error(std::string_view expected) { reader_stop("ERROR READING DATAFILE HEADER", expected); }
[[noreturn]] void header_eof() { reader_stop("UNEXPECTED EOF IN DATAFILE HEADER"); }
[[noreturn]] void header_eof(std::string_view expected) {
    reader_stop("UNEXPECTED EOF IN DATAFILE HEADER", expected);
}

// A reflection of the file left out: the place of the first is kept.
int left_out(std::string_view expected) {
    reader_expects(expected);
    return reader_fails(READER_NOT_FOUND);
}

// A line cut before its last field, named where it is met; the reflection
// is left out once its lines are read.
void mark_cut(bool& cut, std::string_view expected) {
    if (!cut) left_out(expected);
    cut = true;
}

char first_char(const std::string& line) { return line.empty() ? ' ' : line[0]; }

// A header line that must be there: the end of the file inside the header
// ends the run.
std::string header_line(char expected) {
    std::string line;
    bool end = false;
    GET_LINE(line, expected, end);
    if (end) header_eof();
    return line;
}

// Free-format values of a parameter line; too few of them is the end of the
// value list, a value that is not a number a read error.
void read_header_values(std::string_view text, std::initializer_list<InItem> items, int needed) {
    int nread = 0;
    const std::string expected = std::to_string(needed) + " numbers on this parameter line";
    if (read_free(text, items, &nread) != READ_OK) header_error(expected);
    if (nread < needed) header_eof(expected);
}

void read_standards(std::string_view values) {
    int nstd = 0;
    read_header_values(values, {&nstd}, 1);
    if (nstd < 0) header_error("a number of standards of 0 or more on the rr line");
    if (nstd > MAXSTD) reader_stop("More than 10 standards", "at most 10 standards on the rr line");
    G.NSTD = nstd;
    if (nstd == 0) return;
    int steps = G.XNSTEP;
    if (G.XNEWFMT == 0)
        read_header_values(values, {&G.NSTD, &G.NSTDINT, &steps}, 3);
    else
        read_header_values(values, {&G.NSTD, &G.NSTDINT}, 2);
    if (G.NSTD != nstd) header_error("the same number of standards twice on the rr line");
    for (int i = 1; i <= nstd; ++i) {
        const std::string expected = "standard " + std::to_string(i) + " of " + std::to_string(nstd) +
                                     ": a P line with its h k l (3I4) from column " +
                                     (G.XNEWFMT == 0 ? "33 and its time" : "28");
        reader_expects(expected);
        const std::string line = header_line('P');
        Arr1<int, 3> hkl;
        if (G.XNEWFMT == 0) {
            if (read_fixed(line, "(32X,3I4,5X,F6.2)", {hkl, &G.STDTIME(i)}) != READ_OK) header_error(expected);
        } else {
            if (read_fixed(line, "(27X,3I4)", {hkl}) != READ_OK) header_error(expected);
        }
        for (int j = 1; j <= 3; ++j) G.STDHKL(i, j) = hkl(j);
        G.STDNPTS(i) = steps;
    }
    if (standards_repeat()) header_error("each standard once after the rr line");
}

void read_parameter_line(const std::string& line) {
    std::size_t at = line.find("sc s");
    if (at != std::string::npos) {
        if (read_fixed(from_column(line, static_cast<int>(at) + 5), "(F9.0)", {&G.XSPEED}) != READ_OK)
            header_error("the scan speed (F9.0) after 'sc s'");
        const std::size_t w = line.find("sc w");
        if (w == std::string::npos) header_error("'sc w' and the scan width after the scan speed");
        if (read_fixed(from_column(line, static_cast<int>(w) + 6), "(2F7.0,F9.0)", {G.XSCANW}) != READ_OK)
            header_error("the scan width a, b and the 2theta scale (2F7.0,F9.0) after 'sc w'");
        return;
    }
    if ((at = line.find("mo s")) != std::string::npos) {
        if (read_fixed(from_column(line, static_cast<int>(at) + 9), "(I5)", {&G.XNSTEP}) != READ_OK)
            header_error("the number of steps (I5) after 'mo s'");
        return;
    }
    if ((at = line.find("wl")) != std::string::npos) {
        read_header_values(from_column(line, static_cast<int>(at) + 3), {&G.WAVE1, &G.WAVE2}, 2);
        G.A2RATIO = 0.5;
        G.NWAVE = 2;
        return;
    }
    if ((at = line.find("rr")) != std::string::npos)
        read_standards(from_column(line, static_cast<int>(at) + 3));
}

void read_matrix(const std::string& first) {
    std::string line = first;
    for (int i = 1; i <= 3; ++i) {
        const std::string expected =
            "row " + std::to_string(i) + " of the orientation matrix: a U line with three numbers (3F12.0)";
        reader_expects(expected);
        if (i > 1) line = header_line('U');
        Arr1<double, 3> row;
        if (read_fixed(line, "(1X,3F12.0)", {row}) != READ_OK) header_error(expected);
        for (int j = 1; j <= 3; ++j) G.UB(i, j) = row(j);
    }
    // The matrix of the file carries the wavelength, given on the wl line.
    if (G.WAVE1 == 0.0) header_error("a wl line giving the wavelength before the matrix");
    G.UBFLAG = 1;
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) G.UB(i, j) = G.UB(i, j) / G.WAVE1;
}

// The class code of the prescan gives the classification letter.
void classify(const std::string& code) {
    if (code == "LT") {
        G.RFLAG = 'W';
    } else if (code == "WK") {
        G.RFLAG = 'M';
    } else if (code == "NL") {
        G.RFLAG = 'R';
    } else if (code == "ST") {
        G.RFLAG = 'S';
    } else if (code == "FT") {
        G.RFLAG = 'F';
        G.SCALE = G.SCALE * G.ATTEN;
    }
}

// A line of the reflection that must be there; false at the end of file.
bool scan_line(std::string& line, char expected) {
    bool end = false;
    GET_LINE(line, expected, end);
    return !end;
}

}  // namespace

void GET_LINE(std::string& line, char expected, bool& end) {
    end = false;
    const int st = next_input_line(line, 80);
    // The line of the file, as the unit counts it: lines read again after
    // a step back are the same lines (a count of the reads ran ahead of
    // the file by one for every step back).  A line too long to be read
    // is the one after the last read.
    const int at = unit_line_number(LU_INPUT);
    G.XLINENO = at < 0 ? G.XLINENO + 1 : st == READ_ERROR ? at + 1 : at;
    if (st == READ_EOF) {
        end = true;
        return;
    }
    if (st != READ_OK) reader_stop(format_record("('ERROR READING FILE AT LINE ',I6)", {G.XLINENO}));
    if (expected != ' ' && first_char(line) != expected)
        reader_stop(format_record("('ERROR READING FILE: EXPECTED ',A1,', GOT ',A1,' AT LINE ',I6)",
                                  {std::string(1, expected), std::string(1, first_char(line)), G.XLINENO}),
                    std::string("a line starting with ") + expected);
}

void READ_HEADER_XCAL(int& status) {
    status = 0;
    G.TITLE = "";
    G.XNEWFMT = 0;
    // A header without its scan constants must not take those of a file
    // read before it: a missing "sc s" line leaves a width of 0, which the
    // import refuses.
    G.XSPEED = 0.0;
    G.XSCANW.fill(0.0);
    G.XNSTEP = 0;
    for (;;) {
        reader_expects("header lines (C, P, U) up to the first reflection line ('#' or 'R')");
        const std::string line = header_line(' ');
        const char c = first_char(line);
        // A kappa-angle line ends the header too: the first reflection lost
        // its own line, and the scan reader reports it.
        if (c == 'R' || c == '#' || c == 'Z') {
            backspace_unit(LU_INPUT);
            return;
        }
        if (c == 'C' && line.find("Version") != std::string::npos) {
            G.XNEWFMT = 1;
        } else if (c == 'P') {
            read_parameter_line(line);
        } else if (c == 'U') {
            read_matrix(line);
        }
    }
}

namespace {

// The parts of one reflection, in file order.  Each returns 0 when it read
// its part, else the reader status of the reflection.

// Finds the reflection line ('#', or 'R' for a standard).  Angle or count
// lines met before it belong to a reflection whose own line was lost: it
// is reported as unreadable, and its next line is read by the next call.
int find_reflection_line(std::string& line) {
    bool lost = false;
    constexpr std::string_view expected = "a reflection line ('#', or 'R' for a standard) before Z, E and S lines";
    do {
        reader_expects("a reflection line starting with '#' (or 'R' for a standard)");
        if (!scan_line(line, ' ')) return lost ? READER_NOT_FOUND : READER_END;
        const char c = first_char(line);
        if ((c == 'Z' || c == 'E' || c == 'S') && !lost) {
            left_out(expected);
            lost = true;
        }
    } while (first_char(line) != '#' && first_char(line) != 'R');
    if (lost) {
        backspace_unit(LU_INPUT);  // this reflection is read by the next call
        return READER_NOT_FOUND;
    }
    return 0;
}

// Sequence number, indices, reflection code and (with it) the count scale.
int read_reflection_line(const std::string& line, bool standard, std::string& code) {
    int seq = 0;
    double unused = 0.0;
    int rst = READ_OK;
    if (!standard || G.XNEWFMT == 1)
        rst =
            read_fixed(line, "(1X,I5,3X,3I5,F10.0,3X,A2,24X,F6.4)", {&seq, G.IHKL, &unused, &code, &G.SCALE});
    else if (G.NREF < 9999)
        rst = read_fixed(line, "(1X,I5,3X,3I5,F10.0,3X,A2)", {&seq, G.IHKL, &unused, &code});
    else
        rst = read_fixed(line, "(1X,I6,3X,3I5,F10.0,3X,A2)", {&seq, G.IHKL, &unused, &code});
    if (rst != READ_OK) return READER_READ_ERROR;
    G.NREF = seq < 0 ? -seq : seq;
    return 0;
}

// The setting angles: the kappa line 'Z', then the Euler line 'E' when
// there is one, else the kappa angles converted.  `cut` is set when a line
// ends before its last field.
int read_angles(std::string& line, bool& euler, bool& cut) {
    Arr1<double, 4> z;
    reader_expects("the first kappa-angle line: Z and four numbers (4F10.0)");
    if (!scan_line(line, 'Z')) return left_out("the first kappa-angle line (Z) of the reflection");
    if (!reaches_column(line, ANGLE_LINE_END)) mark_cut(cut, "a Z line reaching column 41 (it is cut short)");
    if (read_fixed(line, "(1X,4F10.0)", {z}) != READ_OK) return READER_READ_ERROR;
    z(2) = z(2) / 2.0;
    reader_expects("the second kappa-angle line (Z), then an E line or the first count line");
    if (!scan_line(line, 'Z') || !scan_line(line, ' '))
        return left_out("the second kappa-angle line (Z) and the line after it");
    // The Euler line is optional reflection by reflection, in either
    // layout: without it the kappa angles give the setting.
    euler = first_char(line) == 'E';
    if (euler) {
        reader_expects("an Euler-angle line: E and four numbers (4F10.0)");
        if (!reaches_column(line, ANGLE_LINE_END)) mark_cut(cut, "an E line reaching column 41 (it is cut short)");
        if (read_fixed(line, "(1X,4F10.0)", {&G.ANGLES(2), &G.ANGLES(1), &G.ANGLES(3), &G.ANGLES(4)}) !=
            READ_OK)
            return READER_READ_ERROR;
    } else {
        Arr1<double, 4> kappa;
        kappa(1) = z(2);
        kappa(2) = z(4);
        kappa(3) = z(1);
        kappa(4) = z(3);
        int cst = 0;
        ANGLE_CONV(kappa, G.ANGLES, cst);
        if (cst != 0) return cst;
        G.ANGLES(2) = G.ANGLES(2) + G.ANGLES(1) / 2.0;
        backspace_unit(LU_INPUT);
    }
    if (!scan_line(line, ' ')) return left_out("the count lines (S) of the reflection");
    if (first_char(line) == 'S') backspace_unit(LU_INPUT);
    return 0;
}

// The scan type and its number of steps; `istd` is the standard's number.
int scan_steps(bool standard, int& istd) {
    istd = 0;
    if (standard) {
        istd = find_standard();
        if (istd == 0)
            reader_stop("Unidentified Standard Refln", "a standard line (R) whose indices are a standard of the rr line");
        G.ISCTYPE = istd;
        G.NPTS = G.STDNPTS(istd);
    } else {
        G.ISCTYPE = 0;
        G.NPTS = G.XNSTEP;
    }
    // A scan longer than the scan record holds is left out; its count
    // lines are passed over by the search for the next reflection.
    return steps_fit(G.NPTS) ? 0 : left_out("1 to 500 steps per scan ('mo s' or the rr line)");
}

// The count lines 'S', eight counts a line.  A line that cannot be read
// makes the reflection unreadable once all its lines are passed.
int read_counts(std::string& line, bool& cut) {
    bool unreadable = false;
    for (int first = 1; first <= G.NPTS; first += COUNTS_PER_LINE) {
        const int n = G.NPTS - first + 1 < COUNTS_PER_LINE ? G.NPTS - first + 1 : COUNTS_PER_LINE;
        const std::string expected = "a count line: S and " + std::to_string(n) + " counts (I9), steps " +
                                     std::to_string(first) + " to " + std::to_string(first + n - 1) + " of " +
                                     std::to_string(G.NPTS);
        reader_expects(expected);
        if (!scan_line(line, 'S')) return left_out(expected);
        if (!reaches_column(line, 1 + COUNT_FIELD * static_cast<std::size_t>(n)))
            mark_cut(cut, expected + " (it is cut short)");
        // A line of more counts than are left stands in another's place.
        const std::string_view beyond = from_column(line, 2 + static_cast<int>(COUNT_FIELD) * n);
        if (beyond.find_first_not_of(' ') != std::string_view::npos) mark_cut(unreadable, expected + " and no more");
        Arr1<int, COUNTS_PER_LINE> c;
        if (read_fixed(line, "(1X,8I9)", {c.first(n)}) != READ_OK) {
            mark_cut(unreadable, expected);
            continue;
        }
        for (int i = 1; i <= n; ++i) G.COUNTS(first + i - 1) = c(i);
    }
    // Count lines beyond the scan's steps (a line written twice): which
    // of them is the extra one cannot be told, and they are passed over
    // with the reflection.  The next reflection starts with its own line.
    while (scan_line(line, ' ')) {
        if (first_char(line) != 'S') {
            backspace_unit(LU_INPUT);
            break;
        }
        mark_cut(unreadable, "the next reflection line after the scan's " + std::to_string(G.NPTS) + " counts");
    }
    return unreadable ? READER_NOT_FOUND : 0;
}

// Scan width, step, step time and count scale, and omega at the scan's
// start, from the scan constants of the header.
int scan_geometry(bool standard, bool euler, int istd) {
    const bool older = G.XNEWFMT == 0;
    if (older && std::abs(G.XSCANW(3) - 1.0) > 0.00001) {
        // 2theta of the file is on another wavelength scale; a value that
        // cannot be brought back leaves the reflection out.
        const double s = G.XSCANW(3) != 0.0 ? std::sin(G.ANGLES(1) / 2.0 / DEGRAD) / G.XSCANW(3) : 2.0;
        if (std::abs(s) > 1.0) return left_out("a 2theta that the header's 2theta scale can bring back");
        G.ANGLES(1) = 2.0 * std::asin(s) * DEGRAD;
    }
    G.SCANW = G.XSCANW(1) + G.XSCANW(2) * std::tan(G.ANGLES(1) / 2.0 / DEGRAD);
    G.STEP = G.SCANW / G.NPTS;
    if (older && standard) {
        const double d = G.XSPEED * G.NPTS * G.STDTIME(istd);
        if (d == 0.0) return left_out("a scan speed and standard counting time other than 0");
        G.STEPTIME = G.STDTIME(istd);
        G.SCALE = G.SCANW / d;
    } else {
        const double d = G.XSPEED * G.SCALE;
        G.STEPTIME = d != 0.0 ? (G.SCANW / d) / G.NPTS : 0.0;
    }
    if (older && euler)
        G.ANGLES(2) = G.ANGLES(2) - G.ANGLES(1) / 2.0 - G.SCANW / 2.0;
    else
        G.ANGLES(2) = G.ANGLES(2) - G.ANGLES(1) / 2.0;
    return 0;
}

}  // namespace

std::string xcalibur_scan_constants_out_of_range() {
    // The steps of a normal scan ("mo s"): none leaves no scan to read.
    if (G.XNSTEP < 1) return value_text("number of steps", G.XNSTEP);
    // Omega scan widths of a four-circle step scan lie well inside 10
    // degrees; the width grows with theta (a + b tan theta, b not negative).
    if (!(G.XSCANW(1) > 0.0 && G.XSCANW(1) <= MAX_SCAN_WIDTH)) return value_text("scan width", G.XSCANW(1));
    if (!(G.XSCANW(2) >= 0.0 && G.XSCANW(2) <= MAX_SCAN_WIDTH))
        return value_text("scan width tan(theta) term", G.XSCANW(2));
    return "";
}

void READ_SCAN_XCAL(int& status) {
    std::string line;
    status = find_reflection_line(line);
    if (status != 0) return;
    const bool standard = first_char(line) == 'R';
    std::string code;
    status = read_reflection_line(line, standard, code);
    if (status != 0) return;
    // From here on the end of the file falls inside the reflection: it is
    // unreadable (READER_NOT_FOUND), and the next call finds the end of
    // the data.
    bool cut = false;
    if (const std::size_t end = !standard || G.XNEWFMT == 1 ? SCALED_LINE_END : UNSCALED_LINE_END;
        !reaches_column(line, end))
        mark_cut(cut, "a reflection line reaching column " + std::to_string(end) + " (it is cut short)");
    bool euler = false;
    status = read_angles(line, euler, cut);
    if (status != 0) return;
    int istd = 0;
    status = scan_steps(standard, istd);
    if (status != 0) return;
    status = read_counts(line, cut);
    if (status != 0) return;
    if (cut) {
        status = READER_NOT_FOUND;
        return;
    }
    if (standard)
        G.RFLAG = 'I';
    else
        classify(code);
    status = scan_geometry(standard, euler, istd);
}

}  // namespace tarnivox
