#include "import/xscans.h"

#include <array>
#include <string>

#include "core/exitint.h"
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

bool starts_with(const std::string& line, std::string_view key) {
    return line.compare(0, key.size(), key) == 0;
}

void read_checkr(const std::string& line) {
    int nstd = 0;
    if (read_fixed(line, "(6X,I4,I6,22X,I3)", {&nstd, &G.NSTDINT, &G.NPTS}) != READ_OK || nstd < 0)
        EXITINT("ERROR READING DATAFILE HEADER");
    if (nstd > MAXSTD) EXITINT("More than 10 standards");
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
        const int st = next_input_line(line, 120);
        if (st == READ_EOF) EXITINT("UNEXPECTED EOF IN DATAFILE HEADER");
        if (st != READ_OK) EXITINT("ERROR READING DATAFILE HEADER");
        line.resize(120, ' ');
        if (starts_with(line, "CHECKR")) {
            read_checkr(line);
        } else if (starts_with(line, "SOURCE")) {
            if (read_fixed(line, "(24X,F7.5,3X,F7.5)", {&G.WAVE1, &G.WAVE2}) != READ_OK)
                EXITINT("ERROR READING DATAFILE HEADER");
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

void DECODE_DATA(int& status) {
    status = 0;
    int n = 0;
    std::string pending;
    bool corrupt = false;
    std::string line;
    do {
        if (next_input_line(line, 80) != READ_OK) {
            status = READER_NOT_FOUND;
            return;
        }
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
            if (n <= MAXSTEPS) G.COUNTS(n) = static_cast<double>(IHIBIT(pending) + low);
            pending.clear();
        }
    } while (n < G.NPTS);
    if (corrupt) status = READER_NOT_FOUND;
}

void READ_SCAN_XSCANS(int& status) {
    status = 0;
    std::string line;
    for (;;) {
        status = reader_status(next_input_line(line, 120));
        if (status != 0) return;
        // A blank line carries no reflection.
        if (line.find_first_not_of(' ') == std::string::npos) continue;
        if (columns(line, 1, 2) == "  ") break;
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
    G.ISCTYPE = 0;
    if (seq < 0) {
        G.ISCTYPE = find_standard();
        if (G.ISCTYPE == 0) EXITINT("Unidentified Standard Refln");
    }
    DECODE_DATA(status);
    if (status == READER_NOT_FOUND) return;
    // The step needs at least two steps; the scan record holds at most 500.
    if (G.NPTS < 2 || G.NPTS > MAXSTEPS) {
        status = READER_NOT_FOUND;
        return;
    }
    // The scan speed puts an ordinary reflection on the common scale; without
    // a positive one its intensity would come out as zero or negative.
    if (G.ISCTYPE == 0 && !(speed > 0.0)) {
        status = READER_NOT_FOUND;
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
