#include "import/stoe.h"

#include <cmath>
#include <string>

#include "core/exitint.h"
#include "core/store.h"
#include "import/reader_io.h"
#include "io/layout.h"
#include "io/units.h"

namespace tarnivox {
namespace {

constexpr int STANDARD_TYPE = 40;  // type code of an intensity-control reflection

void read_standards(std::string_view values) {
    int n = 0;
    if (read_free(values, {&n}) != READ_OK || n < 0) EXITINT("Error reading file header");
    if (n > MAXSTD) EXITINT("More than 10 standards");
    double unused = 0.0;
    Arr1<int, 3 * MAXSTD> hkl;
    int nread = 0;
    if (read_free(values, {&n, &unused, hkl.first(3 * n)}, &nread) != READ_OK || nread < 2 + 3 * n)
        EXITINT("Error reading file header");
    G.NSTD = n;
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= 3; ++j) G.STDHKL(i, j) = hkl(3 * (i - 1) + j);
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

}  // namespace

void READ_HEADER_STOE(int& status) {
    std::string line;
    for (;;) {
        const int st = next_input_line(line, 80);
        if (st == READ_EOF) EXITINT("Unexpected end of file");
        if (st != READ_OK) EXITINT("Error reading file header");
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
                EXITINT("Error reading file header");
        } else if (line.find("SCAN") != std::string::npos) {
            int nread = 0;
            if (read_free(values, {&G.XSCANW(1), &G.XSCANW(2), &G.STEP}, &nread) != READ_OK || nread < 3)
                EXITINT("Error reading file header");
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
    for (;;) {
        if (next_input_line(line, 100) != READ_OK) {
            status = cut_line ? READER_NOT_FOUND : READER_END;
            return;
        }
        cut_line = false;
        if (line.empty() || line[0] != ' ') continue;
        if (line.find_first_not_of(' ') == std::string::npos) {
            cut_line = true;
            continue;
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
            status = READER_NOT_FOUND;
            return;
        }
        break;
    }
    G.NREF += 1;
    G.ISCTYPE = 0;
    if (type == STANDARD_TYPE) {
        G.ISCTYPE = find_standard();
        if (G.ISCTYPE == 0) EXITINT("Unidentified Standard Refln");
        G.RFLAG = 'I';
    }

    // The first value of the count lines is not a step count.
    long long nvalues = 0;
    for (;;) {
        const int st = next_input_line(line, 100);
        if (st != READ_OK) {
            // The file ends inside the reflection: unreadable, and the next
            // call finds the end of the data.
            status = READER_NOT_FOUND;
            return;
        }
        if (line.empty() || line[0] != 'P') break;
        int col = 2;
        for (;;) {
            double value = 0.0;
            int nread = 0;
            if (read_free(from_column(line, col), {&value}, &nread) != READ_OK || nread < 1) break;
            nvalues += 1;
            if (nvalues >= 2 && nvalues <= MAXSTEPS + 1) G.COUNTS(static_cast<int>(nvalues - 1)) = value;
            col += digits_of(value) + 1;
        }
    }
    backspace_unit(LU_INPUT);

    // A scan without steps, with more steps than a scan record holds, or
    // without counting time cannot be put on the common scale.
    if (!steps_fit(nvalues - 1) || total_time <= 0) {
        status = READER_NOT_FOUND;
        return;
    }
    G.NPTS = static_cast<int>(nvalues - 1);
    G.STEPTIME = static_cast<double>(total_time) / G.NPTS;
    G.SCALE = attenuator != 0 ? G.ATTEN / G.STEPTIME : 1.0 / G.STEPTIME;
    if (G.ISCTYPE == 0) G.RFLAG = attenuator != 0 ? 'F' : 'N';
    G.ANGLES(2) = G.ANGLES(2) - 0.5 * G.ANGLES(1);
    status = 0;
}

}  // namespace tarnivox
