#include "import/stoe.h"

#include <cmath>
#include <string>

#include "core/instrument_ranges.h"
#include "core/store.h"
#include "import/reader_io.h"
#include "io/layout.h"
#include "io/units.h"

namespace tarnivox {
namespace {

constexpr int STANDARD_TYPE = 40;  // type code of an intensity-control reflection
// An omega step of a step scan is a small fraction of its width: beyond 2
// degrees the SCAN line is not a step width.
constexpr double MAX_STEP_WIDTH = 2.0;

void read_standards(std::string_view values) {
    int n = 0;
    reader_expects("STDS: the number of standards, a value, then h k l of each standard");
    if (read_free(values, {&n}) != READ_OK || n < 0) reader_stop("Error reading file header");
    if (n > MAXSTD) reader_stop("More than 10 standards", "at most 10 standards on the STDS line");
    double unused = 0.0;
    Arr1<int, 3 * MAXSTD> hkl;
    int nread = 0;
    if (read_free(values, {&n, &unused, hkl.first(3 * n)}, &nread) != READ_OK || nread < 2 + 3 * n)
        reader_stop("Error reading file header");
    G.NSTD = n;
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= 3; ++j) G.STDHKL(i, j) = hkl(3 * (i - 1) + j);
    if (standards_repeat()) reader_stop("Error reading file header", "each standard once on the STDS line");
}

// The number of digits of a count's whole part (at least one): the count
// lines give no separators beyond one blank, so this is how far the next
// count starts.
int digits_of(double value) {
    double whole = std::trunc(std::abs(value));
    int n = 0;
    while (whole >= 1.0) {
        whole /= 10.0;
        n += 1;
    }
    return n < 1 ? 1 : n;
}

// The values of the count lines of one reflection: how many there are,
// the first of each line, and how many each line holds.
struct ScanValues {
    static constexpr int MAX_LINES = 2 * MAXSTEPS;
    long long count = 0;
    int lines = 0;
    double first_value = -1.0;
    Arr1<double, MAX_LINES> line_first;
    Arr1<long long, MAX_LINES> line_count;

    // One count line: from column 2, one number at a time, each read from
    // the column after the previous one's digits and its separator.  The
    // counts go to COUNTS when `store`.
    void add_line(std::string_view line, bool store) {
        long long on_line = 0;
        double first = -1.0;
        int col = 2;
        for (;;) {
            double value = 0.0;
            int nread = 0;
            if (read_free(from_column(line, col), {&value}, &nread) != READ_OK || nread < 1) break;
            if (on_line == 0) first = value;
            on_line += 1;
            count += 1;
            if (count == 1) first_value = value;
            if (store && count >= 2 && count <= MAXSTEPS + 1) G.COUNTS(static_cast<int>(count - 1)) = value;
            col += digits_of(value) + 1;
        }
        lines += 1;
        if (lines <= MAX_LINES) {
            line_first(lines) = first;
            line_count(lines) = on_line;
        }
    }

    // The step count the first value declares; -1 when it is no whole
    // number of steps.
    long long declared_steps() const {
        if (!(first_value >= 0.0) || first_value > 1.0e6 || first_value != std::trunc(first_value)) return -1;
        return static_cast<long long>(first_value);
    }

    // When the first lines hold exactly the declared scan and the lines
    // after them hold a whole scan of their own (its first value declaring
    // the counts that follow it), the number of those later lines; else 0.
    int lines_after_whole_scan(long long npts) const {
        if (npts < 0 || lines > MAX_LINES) return 0;
        long long seen = 0;
        for (int k = 1; k < lines; ++k) {
            seen += line_count(k);
            if (seen != npts + 1) continue;
            const long long rest = count - seen;
            const double declared = line_first(k + 1);
            if (rest >= 2 && declared == static_cast<double>(rest - 1)) return lines - k;
            return 0;
        }
        return 0;
    }
};

// A reflection of the file that cannot be read whole: it keeps its place
// in the numbering, so that the reflections after it keep theirs.
int lost_reflection() {
    G.NREF += 1;
    return reader_fails(READER_NOT_FOUND);
}

// Count lines without a reflection line: a whole scan is a reflection
// whose line was lost (it keeps its number); pieces of a scan are lines
// moved or written twice, reported without a number of their own.
int lost_counts(const ScanValues& v) {
    reader_expects("a reflection line (blank in column 1) before these count lines");
    reader_fails(READER_NOT_FOUND);
    if (v.declared_steps() >= 1 && v.count == v.declared_steps() + 1) return lost_reflection();
    return READER_NOT_FOUND;
}

}  // namespace

void READ_HEADER_STOE(int& status) {
    std::string line;
    // The step width is the header's own: a file without a SCAN line must
    // not take that of a file read before it (0 is refused by the import).
    G.STEP = 0.0;
    for (;;) {
        reader_expects("header lines (TITL, WAVE, SCAN, STDS) ending with a DATA line");
        const int st = next_input_line(line, 80);
        if (st == READ_EOF) reader_stop("Unexpected end of file");
        if (st != READ_OK) reader_stop("Error reading file header");
        line = upper_case(columns(line, 1, 6)) + std::string(from_column(line, 7));
        if (columns(line, 1, 4) == "    ") continue;
        const std::string_view values = from_column(line, 5);
        if (line.find("TITL") != std::string::npos) {
            std::string title;
            read_fixed(line, "(4X,A60)", {&title});
            G.TITLE = title;
        } else if (line.find("WAVE") != std::string::npos) {
            double unused = 0.0;
            int nread = 0;
            if (read_free(values, {&unused, &G.WAVE1, &G.WAVE2}, &nread) != READ_OK || nread < 3)
                reader_stop("Error reading file header", "WAVE: three numbers (a value, lambda alpha1, lambda alpha2)");
        } else if (line.find("SCAN") != std::string::npos) {
            int nread = 0;
            if (read_free(values, {&G.XSCANW(1), &G.XSCANW(2), &G.STEP}, &nread) != READ_OK || nread < 3)
                reader_stop("Error reading file header", "SCAN: three numbers (scan width a, b, omega step)");
        } else if (line.find("DATA") != std::string::npos) {
            G.NREF = 0;
            status = 0;
            return;
        } else if (line.find("STDS") != std::string::npos) {
            read_standards(values);
        }
    }
}

void READ_SCAN_STOE(int& status) {
    std::string line;
    int type = 0, ignored_i = 0, attenuator = 0, total_time = 0;
    double ignored_r = 0.0;
    // A line of blanks met last before the end of the file is a reflection
    // line cut after its leading blanks: the file ended inside a reflection.
    bool cut_line = false;
    // Count lines met before a reflection line: a reflection lost its own
    // line (when they hold a whole scan), or count lines were moved.
    ScanValues orphans;
    for (;;) {
        reader_expects("a reflection line: a blank in column 1, h k l, type, then 16 values in all");
        const int rc = next_input_line(line, 100);
        if (rc == READ_ERROR) {
            status = READER_READ_ERROR;
            return;
        }
        if (rc != READ_OK) {
            status = orphans.lines > 0 ? lost_counts(orphans) : cut_line ? lost_reflection() : READER_END;
            return;
        }
        cut_line = false;
        if (!line.empty() && line[0] == 'P') orphans.add_line(line, false);
        if (line.empty() || line[0] != ' ') continue;
        if (line.find_first_not_of(' ') == std::string::npos) {
            cut_line = true;
            continue;
        }
        if (orphans.lines > 0) {
            backspace_unit(LU_INPUT);  // this reflection is read by the next call
            status = lost_counts(orphans);
            return;
        }
        int nread = 0;
        G.IHKL.fill(-1);
        const int st = read_free(from_column(line, 2),
                                 {G.IHKL, &type, &ignored_r, &ignored_r, &ignored_i, &ignored_i, &total_time,
                                  &attenuator, &ignored_r, &ignored_i, G.ANGLES},
                                 &nread);
        // The closing line holds the indices 0 0 0 and nothing more.
        if (nread >= 3 && G.IHKL(1) == 0 && G.IHKL(2) == 0 && G.IHKL(3) == 0) {
            status = READER_END;
            return;
        }
        if (st != READ_OK) {
            status = READER_READ_ERROR;
            return;
        }
        // A line cut short (the file ends inside it, or it was broken in
        // two) lacks angles: the reflection is left out, its count lines
        // are passed over by the search for the next reflection line.
        if (nread < 16) {
            reader_expects("a reflection line of 16 values (it is cut short)");
            status = lost_reflection();
            return;
        }
        // A reflection line written twice: the copy carries the counts.
        std::string next;
        if (next_input_line(next, 100) == READ_OK && next == line) {
            backspace_unit(LU_INPUT);
            continue;
        }
        backspace_unit(LU_INPUT);
        break;
    }
    G.NREF += 1;
    G.ISCTYPE = 0;
    if (type == STANDARD_TYPE) {
        G.ISCTYPE = find_standard();
        if (G.ISCTYPE == 0)
            reader_stop("Unidentified Standard Refln", "a type 40 reflection whose indices are a standard of STDS");
        G.RFLAG = 'I';
    }

    // The first value of the count lines is the number of steps the
    // instrument measured; the counts follow it.
    ScanValues v;
    int rc = READ_OK;
    reader_expects("count lines starting with P: the step count, then the counts");
    while ((rc = next_input_line(line, 100)) == READ_OK && !line.empty() && line[0] == 'P')
        v.add_line(line, true);
    if (rc == READ_ERROR) {
        status = READER_READ_ERROR;
        return;
    }
    if (rc == READ_EOF) {
        // The data end with their closing line: a file that ends inside the
        // count lines was cut, perhaps inside a count (which no count of the
        // steps can tell).  The next call finds the end of the data.
        reader_expects("the next reflection line or the closing 0 0 0 line after the count lines");
        status = reader_fails(READER_NOT_FOUND);
        return;
    }
    backspace_unit(LU_INPUT);

    // The counts read must be the steps declared.  More of them may be the
    // count lines of the next reflection, whose own line was lost: they
    // are left to be reported by the next call when they form a whole
    // scan of their own.  Any other mismatch is a lost, doubled or moved
    // count line: the counts cannot be trusted.
    const long long npts = v.declared_steps();
    if (npts < 0 || v.count != npts + 1) {
        const int lines_after = v.lines_after_whole_scan(npts);
        if (lines_after == 0) {
            reader_expects("count lines holding the " + std::to_string(npts < 0 ? 0 : npts) +
                           " counts their first value declares");
            status = reader_fails(READER_NOT_FOUND);
            return;
        }
        for (int i = 0; i < lines_after; ++i) backspace_unit(LU_INPUT);
    }
    // A scan without steps, with more steps than a scan record holds, or
    // without counting time cannot be put on the common scale.
    if (!steps_fit(npts) || total_time <= 0) {
        reader_expects(total_time <= 0 ? "a counting time above zero on the reflection line"
                                        : "1 to 500 steps declared by the count lines");
        status = reader_fails(READER_NOT_FOUND);
        return;
    }
    G.NPTS = static_cast<int>(npts);
    G.STEPTIME = static_cast<double>(total_time) / G.NPTS;
    G.SCALE = attenuator != 0 ? G.ATTEN / G.STEPTIME : 1.0 / G.STEPTIME;
    if (G.ISCTYPE == 0) G.RFLAG = attenuator != 0 ? 'F' : 'N';
    G.ANGLES(2) = G.ANGLES(2) - 0.5 * G.ANGLES(1);
    status = 0;
}

std::string stoe_step_out_of_range() {
    if (!(G.STEP > 0.0 && G.STEP <= MAX_STEP_WIDTH)) return value_text("step width", G.STEP);
    return "";
}

}  // namespace tarnivox
