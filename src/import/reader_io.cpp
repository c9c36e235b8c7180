#include "import/reader_io.h"

#include <cmath>

#include "core/exitint.h"
#include "core/messages.h"
#include "core/store.h"
#include "io/layout.h"
#include "io/units.h"

namespace tarnivox {

namespace {

std::string place_of(int unit, int line, bool at_eof, std::string_view expected) {
    std::string where = unit_is_open(unit) ? unit_path(unit) : std::string();
    if (where.empty()) where = unit == LU_INPUT ? std::string(G.INFILE.str()) : std::string("(scratch scan file)");
    std::string text = "Data file " + where;
    if (line > 0) text += ", line " + std::to_string(line) + (at_eof ? " (end of file)" : "");
    if (!expected.empty()) text += ": expected " + std::string(expected);
    return text;
}

}  // namespace

void reader_expects(std::string_view what) { G.RDEXPECT = what; }

void note_line_read(int unit) {
    G.RDUNIT = unit;
    G.RDLINE = unit_line_number(unit);
    G.RDEOF = unit_at_end_of_file(unit) ? 1 : 0;
}

std::string reader_place() {
    return place_of(G.RDUNIT == 0 ? LU_INPUT : G.RDUNIT, G.RDLINE, G.RDEOF == 1, G.RDEXPECT.str());
}

void reader_stop(std::string_view text, std::string_view expected) {
    reader_expects(expected);
    reader_stop(text);
}

void reader_stop(std::string_view text) {
    const std::string place = reader_place();
    report_busy(false);
    report_error("Tarnivox", place);
    EXITINT_AT(text, place);
}

int reader_fails(int status) {
    if (G.RDBADLINE < 0 && G.RDBADEXP.blank()) {
        G.RDBADLINE = G.RDLINE;
        G.RDBADEOF = G.RDEOF;
        G.RDBADEXP = G.RDEXPECT.str().empty() ? std::string_view("a readable reflection") : G.RDEXPECT.str();
    }
    return status;
}

void clear_reader_failures() {
    G.RDBADLINE = -1;
    G.RDBADEOF = 0;
    G.RDBADEXP = "";
    G.RDEXPECT = "";
    G.RDLINE = -1;
    G.RDEOF = 0;
}

std::string first_failure_place() {
    if (G.RDBADEXP.blank()) return {};
    return place_of(G.RDUNIT == 0 ? LU_INPUT : G.RDUNIT, G.RDBADLINE, G.RDBADEOF == 1, G.RDBADEXP.str());
}

int next_input_line(std::string& line, std::size_t width) {
    const int st = read_line(LU_INPUT, line);
    note_line_read(LU_INPUT);
    if (st != READ_OK) {
        line.clear();
        return st;
    }
    if (line.size() > width) line.resize(width);
    return READ_OK;
}

int read_free_ints(std::span<int> out, std::size_t* filled) {
    std::size_t got = 0;
    std::string line;
    int st = READ_OK;
    while (got < out.size()) {
        st = next_input_line(line, 10000);
        if (st != READ_OK) break;
        int nread = 0;
        if (read_free(line, {out.subspan(got)}, &nread) != READ_OK) {
            st = READ_ERROR;
            break;
        }
        got += static_cast<std::size_t>(nread);
    }
    if (filled != nullptr) *filled = got;
    return st;
}

std::string columns(std::string_view line, int from, int to) {
    std::string out;
    for (int c = from; c <= to; ++c) {
        const auto i = static_cast<std::size_t>(c - 1);
        out.push_back(c >= 1 && i < line.size() ? line[i] : ' ');
    }
    return out;
}

std::string_view from_column(std::string_view line, int from) {
    const auto i = static_cast<std::size_t>(from - 1);
    if (from < 1 || i >= line.size()) return {};
    return line.substr(i);
}

std::string upper_case(std::string_view text) {
    std::string s(text);
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return s;
}

int find_standard() {
    const int n = G.NSTD < 0 ? 0 : (G.NSTD > MAXSTD ? MAXSTD : G.NSTD);
    for (int i = 1; i <= n; ++i)
        if (G.STDHKL(i, 1) == G.IHKL(1) && G.STDHKL(i, 2) == G.IHKL(2) && G.STDHKL(i, 3) == G.IHKL(3))
            return i;
    return 0;
}

bool standards_repeat() {
    const int n = G.NSTD < 0 ? 0 : (G.NSTD > MAXSTD ? MAXSTD : G.NSTD);
    for (int i = 2; i <= n; ++i)
        for (int k = 1; k < i; ++k)
            if (G.STDHKL(i, 1) == G.STDHKL(k, 1) && G.STDHKL(i, 2) == G.STDHKL(k, 2) &&
                G.STDHKL(i, 3) == G.STDHKL(k, 3))
                return true;
    return false;
}

long long truncate_count(double value) {
    constexpr double LIMIT = 9.0e18;
    if (std::isnan(value)) return 0;
    if (value >= LIMIT) return static_cast<long long>(LIMIT);
    if (value <= -LIMIT) return -static_cast<long long>(LIMIT);
    return static_cast<long long>(value);
}

bool reaches_column(std::string_view line, std::size_t last) { return line.size() >= last; }

bool steps_fit(long long npts) { return npts >= 1 && npts <= MAXSTEPS; }

int reader_status(int read_status) {
    if (read_status == READ_OK) return 0;
    return read_status == READ_EOF ? READER_END : READER_READ_ERROR;
}

}  // namespace tarnivox
