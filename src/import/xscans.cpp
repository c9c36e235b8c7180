#include "import/xscans.h"

#include <algorithm>
#include <array>
#include <string>

#include "core/store.h"
#include "import/reader_io.h"
#include "io/layout.h"
#include "io/units.h"

namespace tarnivox {
namespace {

constexpr int MAX_HIGH_DIGITS = 10;

// Characters of the low digits 10..41, after "0".."9".
constexpr std::string_view LOW_SYMBOLS = "`~!@#$%^&*()-_=+|\\[{]};:'\",<.>/?";

constexpr std::array<int, 128> make_lowtab() {
    std::array<int, 128> t{};
    for (int d = 0; d <= 9; ++d) t[static_cast<std::size_t>('0' + d)] = d;
    for (std::size_t i = 0; i < LOW_SYMBOLS.size(); ++i)
        t[static_cast<unsigned char>(LOW_SYMBOLS[i])] = 10 + static_cast<int>(i);
    return t;
}
constexpr std::array<int, 128> LOWTAB = make_lowtab();

bool is_high_digit(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

int high_value(char c) { return c >= 'a' ? c - 'a' + 26 : c - 'A'; }

// The reflection line ends with the scan speed in column 64.
constexpr std::size_t REFLECTION_LINE_END = 64;

// A reflection line met where counts are expected (the counts of the scan
// before it were cut short): two blanks, then numbers whose decimal points
// stand where the angle fields put them.  Encoded counts never read so.
bool is_reflection_line(const std::string& line) {
    if (columns(line, 1, 2) != "  " || !reaches_column(line, REFLECTION_LINE_END)) return false;
    for (const int point : {25, 33, 41, 49})
        if (line[static_cast<std::size_t>(point - 1)] != '.') return false;
    int seq = 0;
    Arr1<int, 3> hkl;
    Arr1<double, 6> values;
    return read_fixed(line, "(1X,I6,3I4,4F8.2,F5.2,F8.2)", {&seq, hkl, values}) == READ_OK;
}

// A line of encoded counts met where a reflection line was expected: the
// reflection line before it was lost (cut to blanks, or deleted), and its
// counts would be passed over in silence.  Every character is a digit of
// the code and the last one closes a count.
bool is_count_line(const std::string& line) {
    const std::size_t last = line.find_last_not_of(' ');
    if (last == std::string::npos || columns(line, 1, 2) == "  ") return false;
    for (const char c : line)
        if (c != ' ' && ILOWBIT(c) == 0 && c != '0' && !is_high_digit(c)) return false;
    return ILOWBIT(line[last]) != 0 || line[last] == '0';
}

bool starts_with(const std::string& line, std::string_view key) {
    return line.compare(0, key.size(), key) == 0;
}

void read_checkr(const std::string& line) {
    int nstd = 0;
    if (read_fixed(line, "(6X,I4,I6,22X,I3)", {&nstd, &G.NSTDINT, &G.NPTS}) != READ_OK || nstd < 0)
        reader_stop("ERROR READING DATAFILE HEADER",
                    "CHECKR: standards (I4), interval (I6) and steps (I3 in columns 39-41)");
    if (nstd > MAXSTD) reader_stop("More than 10 standards", "at most 10 standards on the CHECKR line");
    G.NSTD = nstd;
    for (int i = 1; i <= G.NSTD; ++i) G.STDNPTS(i) = G.NPTS;
}

void read_checkn(const std::string& line) {
    int n = 0;
    Arr1<int, 3> hkl;
    // A standard number outside the table cannot be registered.
    if (read_fixed(line, "(6X,I6,3I4)", {&n, hkl}) != READ_OK || n < 1 || n > MAXSTD) return;
    for (int j = 1; j <= 3; ++j) G.STDHKL(n, j) = hkl(j);
}

}  // namespace

int ILOWBIT(char c) {
    const auto code = static_cast<unsigned char>(c);
    return code >= 1 && code <= 127 ? LOWTAB[code] : 0;
}

long long IHIBIT(std::string_view digits) {
    long long weight = 42;
    long long value = 0;
    for (std::size_t i = digits.size(); i-- > 0;) {
        value += high_value(digits[i]) * weight;
        weight *= 52;
    }
    return value;
}

void READ_HEADER_XSCANS(int& status) {
    status = 0;
    std::string line;
    for (;;) {
        reader_expects("header lines (CHECKR, SOURCE, CHECKN, DETECT, TITLE) ending with a DATA line");
        const int st = next_input_line(line, 120);
        if (st == READ_EOF) reader_stop("UNEXPECTED EOF IN DATAFILE HEADER");
        if (st != READ_OK) reader_stop("ERROR READING DATAFILE HEADER");
        line.resize(120, ' ');
        if (starts_with(line, "CHECKR")) {
            read_checkr(line);
        } else if (starts_with(line, "SOURCE")) {
            if (read_fixed(line, "(24X,F7.5,3X,F7.5)", {&G.WAVE1, &G.WAVE2}) != READ_OK)
                reader_stop("ERROR READING DATAFILE HEADER", "SOURCE: two wavelengths (F7.5 in columns 25-31 and 35-41)");
            G.A2RATIO = 0.5;
            G.NWAVE = 2;
        } else if (starts_with(line, "CHECKN")) {
            read_checkn(line);
        } else if (starts_with(line, "DETECT")) {
            read_fixed(line, "(46X,F6.3)", {&G.ATTEN});
        } else if (starts_with(line, "TITLE")) {
            std::string title;
            read_fixed(line, "(6X,A60)", {&title});
            G.TITLE = title;
        } else if (starts_with(line, "DATA")) {
            G.SCANMODE = line.find("THETA-TWOTHETA") != std::string::npos ? 2 : 1;
            return;
        }
    }
}

namespace {

// The groups of count lines: counts closed, high digits pending, and
// whether a character outside the code (or too many high digits) met.
struct GroupReader {
    int n = 0;
    std::string pending;
    bool corrupt = false;

    // Reads one line's groups; the counts go to COUNTS when `store`.
    void feed(const std::string& line, bool store) {
        for (const char c : line) {
            if (c == ' ') continue;
            const int low = ILOWBIT(c);
            if (low == 0 && c != '0') {
                // Characters outside the code, or more high digits than a
                // count can have, spoil the scan.
                if (!is_high_digit(c) || pending.size() >= MAX_HIGH_DIGITS)
                    corrupt = true;
                else
                    pending.push_back(c);
                continue;
            }
            n += 1;
            if (store && n <= MAXSTEPS) G.COUNTS(n) = static_cast<double>(IHIBIT(pending) + low);
            pending.clear();
        }
    }
};

// Count lines after a scan that ended with its last group: the lines of a
// whole scan of their own belong to a reflection whose line was lost, and
// are left for the next call to report.  Anything else (a count line
// written twice or moved, more groups than the scan has) puts this scan's
// counts in doubt.  true when this scan is whole.
bool scan_ends_cleanly() {
    GroupReader after;
    int lines = 0;
    std::string line;
    while (next_input_line(line, 80) == READ_OK && !is_reflection_line(line) && columns(line, 1, 2) != "  ") {
        after.feed(line, false);
        lines += 1;
    }
    backspace_unit(LU_INPUT);  // the reflection line, or the end of the file
    if (lines == 0) return true;
    if (after.corrupt || after.n != G.NPTS || !after.pending.empty()) return false;
    for (int i = 0; i < lines; ++i) backspace_unit(LU_INPUT);
    return true;
}

// A reflection line followed at once by the next one: when more than one
// scan's counts follow the next, its line and this one's counts were
// exchanged, and that reflection cannot be told its counts either: it is
// passed over with this one.  Otherwise the file is left at its line.
void pass_exchanged_reflection() {
    std::string line;
    if (next_input_line(line, 80) != READ_OK) {
        backspace_unit(LU_INPUT);
        return;
    }
    GroupReader after;
    int lines = 0;
    while (next_input_line(line, 80) == READ_OK && !is_reflection_line(line) && columns(line, 1, 2) != "  ") {
        after.feed(line, false);
        lines += 1;
    }
    backspace_unit(LU_INPUT);  // the reflection line after them, or the end of the file
    if (after.n > G.NPTS) return;
    for (int i = 0; i <= lines; ++i) backspace_unit(LU_INPUT);
}

}  // namespace

void DECODE_DATA(int& status) {
    status = 0;
    GroupReader groups;
    std::string line;
    // The groups fill every count line of a scan to within one group of
    // the longest; only the last line may be shorter.  A short one before
    // it is the last line of a scan moved up.
    std::size_t longest = 0;
    std::size_t shortest_before_last = MAX_RECORD_LENGTH;
    const std::string expected = "count lines coding the scan's " + std::to_string(G.NPTS) + " counts";
    reader_expects(expected);
    do {
        if (next_input_line(line, 80) != READ_OK) {
            status = reader_fails(READER_NOT_FOUND);
            return;
        }
        if (is_reflection_line(line)) {
            status = reader_fails(READER_NOT_FOUND);
            backspace_unit(LU_INPUT);
            if (groups.n == 0 && groups.pending.empty()) pass_exchanged_reflection();
            return;
        }
        const std::size_t length = line.find_last_not_of(' ') + 1;
        longest = std::max(longest, length);
        groups.feed(line, true);
        if (groups.n < G.NPTS) shortest_before_last = std::min(shortest_before_last, length);
    } while (groups.n < G.NPTS);
    if (shortest_before_last != MAX_RECORD_LENGTH && shortest_before_last + MAX_HIGH_DIGITS + 1 < longest)
        groups.corrupt = true;
    // The scan's groups end with its last count: more groups, or high
    // digits left over, tell count lines out of order.
    if (groups.corrupt || groups.n != G.NPTS || !groups.pending.empty()) {
        reader_expects(expected + ", in the code's characters, lines full but the last");
        status = reader_fails(READER_NOT_FOUND);
    } else if (!scan_ends_cleanly()) {
        reader_expects("the next reflection line after the scan's " + std::to_string(G.NPTS) + " counts");
        status = reader_fails(READER_NOT_FOUND);
    }
}

void READ_SCAN_XSCANS(int& status) {
    status = 0;
    std::string line;
    bool orphan_counts = false;
    // A line of blanks met last before the end of the file is a reflection
    // line cut after its leading blanks: the file ended inside a reflection.
    bool cut_line = false;
    constexpr std::string_view expected =
        "a reflection line: two blanks, then number, h k l, four angles, width and speed "
        "(1X,I6,3I4,4F8.2,F5.2,F8.2)";
    for (;;) {
        reader_expects(expected);
        status = reader_status(next_input_line(line, 120));
        if (status == READER_END && (orphan_counts || cut_line)) status = reader_fails(READER_NOT_FOUND);
        if (status != 0) return;
        cut_line = false;
        // A blank line carries no reflection.
        if (line.find_first_not_of(' ') == std::string::npos) {
            cut_line = line.size() >= 2;
            continue;
        }
        if (columns(line, 1, 2) == "  ") break;
        if (is_count_line(line) && !orphan_counts) {
            reader_expects("a reflection line before these count lines");
            reader_fails(READER_NOT_FOUND);
            orphan_counts = true;
        }
    }
    if (orphan_counts) {
        // The lost reflection is reported; this one is read by the next call.
        backspace_unit(LU_INPUT);
        status = READER_NOT_FOUND;
        return;
    }
    int seq = 0;
    double omega = 0.0, width = 0.0, speed = 0.0;
    if (read_fixed(line, "(1X,I6,3I4,4F8.2,F5.2,F8.2)",
                   {&seq, G.IHKL, &G.ANGLES(1), &omega, &G.ANGLES(4), &G.ANGLES(3), &width, &speed}) !=
        READ_OK) {
        status = READER_READ_ERROR;
        return;
    }
    G.NREF = seq < 0 ? -seq : seq;
    // A line cut before its speed gives no scale: the reflection is left
    // out, its count lines are passed over by the search.
    if (!reaches_column(line, REFLECTION_LINE_END)) {
        reader_expects("a reflection line reaching its speed in column " + std::to_string(REFLECTION_LINE_END) +
                       " (it is cut short)");
        status = reader_fails(READER_NOT_FOUND);
        return;
    }
    G.ISCTYPE = 0;
    if (seq < 0) {
        G.ISCTYPE = find_standard();
        if (G.ISCTYPE == 0)
            reader_stop("Unidentified Standard Refln", "a standard (negative number) whose indices are on a CHECKN line");
    }
    DECODE_DATA(status);
    if (status == READER_NOT_FOUND) return;
    // The step needs at least two steps; the scan record holds at most 500.
    if (G.NPTS < 2 || G.NPTS > MAXSTEPS) {
        reader_expects("2 to 500 steps per scan on the CHECKR line");
        status = reader_fails(READER_NOT_FOUND);
        return;
    }
    // The scan speed puts an ordinary reflection on the common scale; without
    // a positive one its intensity would come out as zero or negative.
    if (G.ISCTYPE == 0 && !(speed > 0.0)) {
        reader_expects("a scan speed above zero on the reflection line");
        status = reader_fails(READER_NOT_FOUND);
        return;
    }
    G.SCANW = width < 0 ? -width : width;
    G.STEP = G.SCANW / (G.NPTS - 1);
    G.SCALE = G.ISCTYPE != 0 ? 1.0 : speed;
    G.STEPTIME = speed != 0.0 ? (60.0 / speed) / G.NPTS : 0.0;
    G.ANGLES(2) = omega - G.ANGLES(1) / 2.0;
    if (width < 0) {
        G.SCALE = G.SCALE * G.ATTEN;
        G.RFLAG = 'F';
    } else {
        G.RFLAG = 'N';
    }
    if (G.ISCTYPE != 0) G.RFLAG = 'I';
}

}  // namespace tarnivox
