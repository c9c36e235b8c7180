#include "import/huber.h"

#include <string>

#include "core/store.h"
#include "import/reader_io.h"
#include "import/step_width.h"
#include "io/layout.h"
#include "io/units.h"

namespace tarnivox {
namespace {

constexpr int COUNTS_PER_LINE = 21;

[[noreturn]] void bad_datafile(int& status) {
    status = READER_READ_ERROR;
    reader_stop("Error reading datafile");
}

// Stores a line's counts from step `first` on; steps beyond the scan
// record are read past.
void store_counts(const Arr1<int, COUNTS_PER_LINE>& c, int first) {
    for (int i = 1; i <= COUNTS_PER_LINE; ++i) {
        const int step = first + i - 1;
        if (step <= MAXSTEPS) G.COUNTS(step) = c(i);
    }
}

// The last column a count line of `n` counts reaches (both kinds of count
// line start with six columns of marker, steps and time, or blanks).
std::size_t count_line_end(int n) {
    return 6 + 6 * static_cast<std::size_t>(n < COUNTS_PER_LINE ? (n > 0 ? n : 0) : COUNTS_PER_LINE);
}

// The reflection line ends with phi in column 47, then the counting time
// in column 93, which only a count line without a time of its own needs.
constexpr std::size_t PHI_END = 47;
constexpr std::size_t TIME_END = 93;

}  // namespace

void READ_HEADER_HUBER(int& status) {
    G.TITLE = "Data from " + std::string(G.INFILE.str().substr(0, 50));
    // The file does not give its omega step width.
    reader_expects("an omega step width (the file does not give it)");
    status = ASK_STEP_WIDTH(G.STEP) ? 0 : READER_READ_ERROR;
}

void READ_SCAN_HUBER(int& status) {
    std::string line;
    reader_expects("a first count line: '*', steps (I3), step time (I2), up to 21 counts (I6)");
    const int st = next_input_line(line, 200);
    if (st == READ_EOF) {
        status = READER_END;
        rewind_unit(LU_INPUT);
        return;
    }
    char marker = ' ';
    int npts = 0, t = 0;
    Arr1<int, COUNTS_PER_LINE> c;
    if (st != READ_OK || line.empty() || line[0] != '*' ||
        read_fixed(line, "(A1,I3,I2,21I6)", {&marker, &npts, &t, c}) != READ_OK)
        bad_datafile(status);
    // A line cut short, or a file that ends inside the block, leaves the
    // reflection without all its counts: it is left out, never read with
    // zeros (or indices 0 0 0) in place of what is missing.
    bool cut = false;
    // A cut line is named where it is met; the reflection is left out
    // once its lines are read.
    auto check_whole = [&](int n) {
        if (cut || reaches_column(line, count_line_end(n))) return;
        reader_expects("a count line reaching column " + std::to_string(count_line_end(n)) + " (it is cut short)");
        reader_fails(READER_NOT_FOUND);
        cut = true;
    };
    check_whole(npts);
    store_counts(c, 1);
    const int further = npts > 0 ? (npts - 1) / COUNTS_PER_LINE : 0;
    for (int j = 1; j <= further; ++j) {
        reader_expects("a further count line of " + std::to_string(npts) + " steps: 6 blanks, up to 21 counts (I6)");
        const int rc = next_input_line(line, 200);
        if (rc == READ_EOF) {
            status = reader_fails(READER_NOT_FOUND);
            return;
        }
        if (rc != READ_OK || read_fixed(line, "(6X,21I6)", {c}) != READ_OK) bad_datafile(status);
        check_whole(npts - COUNTS_PER_LINE * j);
        store_counts(c, COUNTS_PER_LINE * j + 1);
    }

    double line_time = 0.0;
    do {
        reader_expects("the reflection line after the counts: number, type, h k l, four angles, time in columns "
                       "84-93");
        const int rc = next_input_line(line, 200);
        if (rc == READ_EOF) {
            status = reader_fails(READER_NOT_FOUND);
            return;
        }
        if (rc != READ_OK || read_fixed(line, "(A1,I4,I1,3I3,4F8.3,36X,F10.3)",
                                        {&marker, &G.NREF, &G.ISCTYPE, G.IHKL, G.ANGLES, &line_time}) != READ_OK)
            bad_datafile(status);
    } while (marker == '*');
    if (!cut && !reaches_column(line, t != 0 ? PHI_END : TIME_END)) {
        reader_expects(t != 0 ? "a reflection line reaching phi in column 47 (it is cut short)"
                              : "a reflection line reaching its counting time in column 93 (it is cut short)");
        reader_fails(READER_NOT_FOUND);
        cut = true;
    }

    G.STEPTIME = t != 0 ? t : line_time;
    // Without steps, or without a counting time, the scan cannot be put on
    // the common scale; beyond 500 steps it does not fit the scan record.
    if (cut || !steps_fit(npts) || !(G.STEPTIME > 0.0)) {
        if (!steps_fit(npts))
            reader_expects("1 to " + std::to_string(MAXSTEPS) + " steps on the first count line");
        else if (!cut)
            reader_expects("a counting time above zero");
        status = reader_fails(READER_NOT_FOUND);
        return;
    }
    G.NPTS = npts;
    if (G.HUBT0 == 0.0) G.HUBT0 = G.STEPTIME;
    G.SCALE = G.HUBT0 / G.STEPTIME;
    G.SCANW = G.NPTS * G.STEP;
    G.RFLAG = 'N';
    status = 0;
}

}  // namespace tarnivox
