#include "import/febo.h"

#include <string>

#include "core/messages.h"
#include "core/store.h"
#include "import/reader_io.h"
#include "import/step_width.h"
#include "io/layout.h"
#include "io/units.h"
#include "refine/geometry.h"

namespace tarnivox {
namespace {

constexpr int PER_RECORD = 10;  // counts per record of the scan

bool read_header_lines() {
    std::string line;
    std::string title;
    reader_expects("header line 1: the title from column 3");
    if (next_input_line(line, 200) != READ_OK || read_fixed(line, "(2X,A60)", {&title}) != READ_OK)
        return false;
    G.TITLE = title;
    reader_expects("header line 2");
    if (next_input_line(line, 200) != READ_OK) return false;
    Arr1<double, 6> cell;
    reader_expects("header line 3: the cell, six numbers (6F8.0) from column 5");
    if (next_input_line(line, 200) != READ_OK || read_fixed(line, "(4X,6F8.0)", {cell}) != READ_OK)
        return false;
    for (int j = 1; j <= 6; ++j) G.CELL(j) = cell(j);
    reader_expects("header line 4");
    if (next_input_line(line, 200) != READ_OK) return false;
    for (int i = 1; i <= 3; ++i) {
        Arr1<double, 3> row;
        reader_expects("header line " + std::to_string(4 + i) + ": row " + std::to_string(i) +
                       " of the orientation matrix, three numbers (3F10.0) from column 4");
        if (next_input_line(line, 200) != READ_OK || read_fixed(line, "(3X,3F10.0)", {row}) != READ_OK)
            return false;
        for (int j = 1; j <= 3; ++j) G.UB(i, j) = row(j);
    }
    // The Febo matrix carries the wavelength.
    if (G.WAVE1 == 0.0) {
        reader_expects("a wavelength in the parameter file (WAVEL) to scale the matrix by");
        return false;
    }
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) G.UB(i, j) = G.UB(i, j) / G.WAVE1;
    for (;;) {
        reader_expects("header lines starting with P or V, then the first reflection record (a digit in column 1)");
        if (next_input_line(line, 200) != READ_OK || line.empty()) return false;
        const char c = line[0];
        if (c == 'P' || c == 'V') continue;
        if (c < '0' || c > '9') return false;
        backspace_unit(LU_INPUT);
        return true;
    }
}

constexpr int RECORD_VALUES = 9;  // values of a reflection record

// A reflection record or the end record (its code, a digit, in column 1,
// and its nine values): never a record of counts.
bool is_reflection_record(std::string_view line, int values) {
    return values == RECORD_VALUES && !line.empty() && line[0] >= '0' && line[0] <= '9';
}

// One record of counts: every group of ten starts on a new line, so a
// record with fewer or more values than it should hold was cut short or
// merged with another.  Reading on into the next line would take the next
// reflection's record for counts.  Blank lines are passed over as in
// list-directed input.  A reflection or end record met in place of counts
// is left to be read next: READ_EOF, as if the file ended there.
int read_count_record(std::span<int> out) {
    std::string line;
    for (;;) {
        const int st = next_input_line(line, 10000);
        if (st != READ_OK) return st;
        if (line.find_first_not_of(" \t") != std::string::npos) break;
    }
    // One value more than a record of counts holds tells a longer record;
    // as many as a reflection record holds tell that record.
    Arr1<int, PER_RECORD + 1> values;
    int nread = 0;
    const int st = read_free(line, {values.all()}, &nread);
    if (st == READ_OK && is_reflection_record(line, nread)) {
        backspace_unit(LU_INPUT);
        return READ_EOF;
    }
    if (st != READ_OK || nread != static_cast<int>(out.size())) return READ_ERROR;
    for (int i = 1; i <= nread; ++i) out[static_cast<std::size_t>(i - 1)] = values(i);
    return READ_OK;
}

void scale_from_speed(int s) {
    if (s == 100) {
        G.SCALE = 1.0;
        G.RFLAG = 'N';
    } else if (s == -100) {
        G.SCALE = G.ATTEN;
        G.RFLAG = 'F';
    } else {
        G.SCALE = 100.0 / s;
        G.RFLAG = 'N';
    }
    if (G.ISCTYPE != 0) G.RFLAG = 'I';
}

}  // namespace

void READ_HEADER_FEBO(int& status) {
    G.FEBOCUT = 0;
    reader_expects("an omega step width (the file does not give it)");
    // The file does not give its omega step width.
    if (!ASK_STEP_WIDTH(G.STEP) || !read_header_lines()) {
        status = READER_READ_ERROR;
        return;
    }
    G.NREF = 0;
}

void MATCH_STANDARD(int& status) {
    status = 0;
    const int i = find_standard();
    if (i != 0) {
        G.ISCTYPE = i;
        return;
    }
    if (G.NSTD >= MAXSTD) {
        report_error("Tarnivox", "Too many standards");
        status = 1;
        return;
    }
    G.NSTD += 1;
    for (int j = 1; j <= 3; ++j) G.STDHKL(G.NSTD, j) = G.IHKL(j);
    G.ISCTYPE = G.NSTD;
}

namespace {

bool starts_record(std::string_view line) { return !line.empty() && line[0] >= '0' && line[0] <= '9'; }

// Passes over count records met where a reflection record should stand,
// and over a reflection record written twice (its copy carries the
// counts).  Returns the number of count records passed: the reflection
// they belong to lost its record.  The file is left at the next
// reflection record or at its end.
int orphan_counts_passed() {
    std::string line;
    int passed = 0;
    for (;;) {
        if (next_input_line(line, 10000) != READ_OK) break;
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        if (starts_record(line)) {
            std::string next;
            const bool doubled = next_input_line(next, 10000) == READ_OK && next == line;
            backspace_unit(LU_INPUT);
            if (doubled) continue;
            backspace_unit(LU_INPUT);
            break;
        }
        passed += 1;
    }
    if (passed > 0 && !starts_record(line)) G.FEBOCUT = 1;  // and no end record after them
    // A single record is a count record written twice; more are the
    // counts of a reflection, which keeps its place in the numbering.
    if (passed > 1) G.NREF += 1;
    return passed;
}

}  // namespace

void READ_SCAN_FEBO(int& status) {
    reader_expects("a reflection record: code, h k l, three values, steps, speed (nine whole numbers)");
    if (orphan_counts_passed() > 0) {
        reader_expects("a reflection record before these count records");
        status = reader_fails(READER_NOT_FOUND);
        return;
    }
    reader_expects("a reflection record: code, h k l, three values, steps, speed (nine whole numbers)");
    // code, h, k, l, three values not used, NPTS, speed
    Arr1<int, RECORD_VALUES> rec;
    std::size_t filled = 0;
    status = reader_status(read_free_ints(rec.all(), &filled));
    // The file ends inside the reflection record: the reflection is
    // unreadable, and the next call finds the end of the data.
    if (status == READER_END && filled > 0) status = reader_fails(READER_NOT_FOUND);
    // The data end with the record 0 0 0: a file that ends without it was
    // cut, and what followed is lost.  Said once; the next call ends.
    if (status == READER_END && G.FEBOCUT == 0) {
        G.FEBOCUT = 1;
        reader_expects("the end record 0 0 0 (the file is cut)");
        status = reader_fails(READER_NOT_FOUND);
    }
    if (status != 0) return;
    const int code = rec(1);
    for (int j = 1; j <= 3; ++j) G.IHKL(j) = rec(j + 1);
    const int npts = rec(8);
    const int speed = rec(9);
    if (G.IHKL(1) == 0 && G.IHKL(2) == 0 && G.IHKL(3) == 0) {
        status = READER_END;
        return;
    }
    G.NREF += 1;
    G.ISCTYPE = 0;
    if (code == 6 || code == 7) {
        int full = 0;
        MATCH_STANDARD(full);
        if (full != 0) {
            G.ISCTYPE = 0;
            report_error("Tarnivox",
                         format_record("('Error converting datafile: hkl = ',3I3,' not a standard')",
                                       {G.IHKL(1), G.IHKL(2), G.IHKL(3)}));
        }
    } else if (code != 0) {
        reader_expects("a reflection record with code 0, 6 or 7");
        report_error("Tarnivox",
                     format_record("('Error converting datafile: ICODE=',I1,' iseq =',I5,' hkl=',3I4)",
                                   {code, G.NREF, G.IHKL(1), G.IHKL(2), G.IHKL(3)}));
        status = READER_READ_ERROR;
        return;
    }

    // Counts: ten per record, the last record holding the remainder.  A
    // scan too long for the scan record, or without a speed to scale it
    // by, is read past and left out.
    bool usable = steps_fit(npts) && speed != 0;
    if (npts > 0) {
        for (int first = 1; first <= npts; first += PER_RECORD) {
            const int n = npts - first + 1 < PER_RECORD ? npts - first + 1 : PER_RECORD;
            Arr1<int, PER_RECORD> c;
            reader_expects("a count record of " + std::to_string(n) + " counts (steps " + std::to_string(first) +
                           " to " + std::to_string(first + n - 1) + " of " + std::to_string(npts) + ")");
            const int cst = read_count_record(c.first(n));
            if (cst == READ_EOF) {
                status = reader_fails(READER_NOT_FOUND);
                return;
            }
            if (cst != READ_OK && usable) {
                reader_fails(READER_NOT_FOUND);
                usable = false;
            }
            for (int i = 1; i <= n && first + i - 1 <= MAXSTEPS; ++i) G.COUNTS(first + i - 1) = c(i);
        }
    }
    if (!usable) {
        if (!steps_fit(npts)) reader_expects("1 to 500 steps on the reflection record");
        else if (speed == 0) reader_expects("a speed other than 0 on the reflection record");
        status = reader_fails(READER_NOT_FOUND);
        return;
    }
    G.NPTS = npts;
    scale_from_speed(speed);
    IH_TO_EULER(G.IHKL, G.ANGLES);
    status = 0;
}

}  // namespace tarnivox
