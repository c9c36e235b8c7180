// The standard scan file: writing the header and the reflection groups,
// and walking the data set one reflection at a time into the current scan
// record.  The file position is the only cursor: after a reflection has
// been read it stands just after its last count line.

#include "import/stddata.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <utility>

#include "core/angles.h"
#include "core/messages.h"
#include "core/store.h"
#include "import/reader_io.h"
#include "io/layout.h"
#include "io/units.h"

namespace tarnivox {
namespace {

constexpr std::size_t kHeaderWidth = 120;  // header and data lines are read as 120 characters
constexpr int kCountsPerLine = 10;
constexpr std::size_t kCountField = 8;
// The reflection line reaches ISCTYPE in column 97 (the flag after it may
// be a blank that an editor dropped).
constexpr std::size_t kReflectionLineEnd = 97;

// A walk backwards that never meets the DATA line (a file that was never
// positioned past its header) gives up after this many lines instead of
// turning round at the start of the file for ever.
constexpr long kMaxBackwardLines = 20000000;

// Count lines met while looking for a reflection line since the data were
// last positioned at their start.
bool g_orphan_counts = false;

// Header lines are compared in upper case: codes above 96 lose 32, which
// upper-cases a-z.
std::string upper_cased(std::string line) {
    for (char& c : line) {
        const auto u = static_cast<unsigned char>(c);
        if (u > 96 && u < 128) c = static_cast<char>(u - 32);
    }
    return line;
}

// Reads the next line cut to 120 characters; READ_OK, READ_EOF or READ_ERROR.
int read_line120(int unit, std::string& line) {
    const int rc = read_line(unit, line);
    note_line_read(unit);
    if (line.size() > kHeaderWidth) line.resize(kHeaderWidth);
    return rc;
}

// The fields of one reflection line.
struct ReflectionLine {
    int nref = 0;
    Arr1<int, 3> hkl;
    Arr1<double, 4> angles;
    int npts = 0;
    double step = 0.0;
    double scale = 0.0;
    int isctype = 0;
    char rflag = ' ';
};

// Reads a reflection line (its leading 'R' skipped).  A step count the
// current scan record cannot hold is as unreadable as a bad number.
// The layouts of a reflection group, ('R',I6,3I4,5F10.4,I4,2F10.5,I4,A1)
// and ('S',10I8) re-used for each ten counts.  Every reflection of a run
// is written and read once or more, so both go field by field through the
// fixed-column fields of io/layout (the same text and values as the layout
// interpreter gives); the interpreter reads a line whose fields are in a
// form those do not take.
constexpr std::string_view kReflectionFields = "(I6,3I4,5F10.4,I4,2F10.5,I4,A1)";
constexpr std::string_view kCountFields = "(1X,10I8)";

// Columns of the reflection line after its 'R': the widths of
// kReflectionFields, then the flag.
constexpr std::size_t kNrefCol = 0, kHklCol = 6, kAngleCol = 18, kNptsCol = 68, kStepCol = 72, kScaleCol = 82,
                      kTypeCol = 92, kFlagCol = 96;

bool read_plain_fields(std::string_view f, ReflectionLine& r, double& spare) {
    auto field = [&](std::size_t col, std::size_t w) { return f.substr(col, w); };
    if (!read_int_field(field(kNrefCol, 6), r.nref)) return false;
    for (int k = 1; k <= 3; ++k)
        if (!read_int_field(field(kHklCol + 4 * static_cast<std::size_t>(k - 1), 4), r.hkl(k))) return false;
    if (!read_fixed_field(field(kAngleCol, 10), spare)) return false;
    for (int k = 1; k <= 4; ++k)
        if (!read_fixed_field(field(kAngleCol + 10 * static_cast<std::size_t>(k), 10), r.angles(k)))
            return false;
    if (!read_int_field(field(kNptsCol, 4), r.npts) || !read_fixed_field(field(kStepCol, 10), r.step) ||
        !read_fixed_field(field(kScaleCol, 10), r.scale) || !read_int_field(field(kTypeCol, 4), r.isctype))
        return false;
    r.rflag = f.size() > kFlagCol ? f[kFlagCol] : ' ';
    return true;
}

// Reads a reflection line (its leading 'R' skipped).  A step count the
// current scan record cannot hold is as unreadable as a bad number.
bool parse_reflection_line(std::string_view line, ReflectionLine& r) {
    double spare = 0.0;  // always 0.0000 in the file; not used
    r.rflag = ' ';
    // A line cut short would read its missing fields as zeros.
    if (line.size() < kReflectionLineEnd) return false;
    const std::string_view fields = line.substr(1);
    if (!read_plain_fields(fields, r, spare)) {
        r.rflag = ' ';
        if (read_fixed(fields, kReflectionFields,
                       {&r.nref, r.hkl, &spare, r.angles, &r.npts, &r.step, &r.scale, &r.isctype,
                        &r.rflag}) != READ_OK)
            return false;
    }
    return r.npts >= 1 && r.npts <= MAXSTEPS;
}

// Reads the count lines of a reflection of npts steps.  A line starting
// with 'R' where counts are expected, a short file or an unreadable count
// is a read error.
bool read_count_lines(int unit, int npts, Arr1<int, MAXSTEPS>& counts) {
    std::span<int> all = counts.first(npts);
    std::string line;
    for (int first = 0; first < npts; first += kCountsPerLine) {
        if (read_line120(unit, line) != READ_OK) return false;
        if (!line.empty() && (line.front() == 'R' || line.front() == 'r')) return false;
        const int n = npts - first < kCountsPerLine ? npts - first : kCountsPerLine;
        // Counts missing from a cut line are no zeros.
        if (line.size() < 1 + kCountField * static_cast<std::size_t>(n)) return false;
        // Nor does a line hold more counts than are left: it would stand in
        // another line's place.
        if (line.find_first_not_of(' ', 1 + kCountField * static_cast<std::size_t>(n)) != std::string::npos)
            return false;
        const std::span<int> these =
            all.subspan(static_cast<std::size_t>(first), static_cast<std::size_t>(n));
        bool plain = true;
        for (std::size_t k = 0; plain && k < these.size(); ++k)
            plain = read_int_field(std::string_view(line).substr(1 + kCountField * k, kCountField), these[k]);
        if (!plain && read_fixed(line, kCountFields, {these}) != READ_OK) return false;
    }
    return true;
}

// A scan whose last count line is full may be followed by a count line of
// its own written twice, or by the counts of a reflection whose line was
// lost: which of them is no longer known, so its counts cannot be
// trusted.  (After a partial last line the next count line can only
// belong to another reflection: the walk reports it.)  The file position
// is left where it was.
bool more_full_count_lines(int unit, int npts) {
    if (npts % kCountsPerLine != 0) return false;
    std::string line;
    const int rc = read_line120(unit, line);
    backspace_unit(unit);
    return rc == READ_OK && !line.empty() && line.front() == 'S';
}

// The alpha2 peak's omega offset from the alpha1 peak at this 2theta;
// 0 when the wavelengths do not give a real angle (no parameter file yet).
double alpha2_shift(double two_theta) {
    if (!(G.WAVE1 > 0.0)) return 0.0;
    const double s = G.WAVE2 / G.WAVE1 * std::sin(two_theta / 2.0 / DEGRAD);
    if (!(std::fabs(s) <= 1.0)) return 0.0;
    return std::asin(s) * DEGRAD - two_theta / 2.0;
}

// Puts a completely read reflection into the current scan record and
// derives the per-scan values from it.
void store_reflection(const ReflectionLine& r, const Arr1<int, MAXSTEPS>& counts) {
    G.NREF = r.nref;
    G.IHKL = r.hkl;
    G.ANGLES = r.angles;
    G.NPTS = r.npts;
    G.STEP = r.step;
    G.SCALE = r.scale;
    G.ISCTYPE = r.isctype;
    G.RFLAG = r.rflag;
    for (int i = 1; i <= G.NPTS; ++i) G.COUNTS(i) = counts(i);
    derive_scan_values();
}

}  // namespace

void derive_scan_values() {
    // The scan is centred on the setting omega: step NPTS/2 + 1 sits on it.
    for (int i = 1; i <= G.NPTS; ++i) G.STEPANG(i) = G.ANGLES(2) - (G.NPTS / 2) * G.STEP + (i - 1) * G.STEP;
    G.CMAX = 0.0;
    G.IMAX = 1;  // a scan of no positive count still points at a real step
    for (int i = 1; i <= G.NPTS; ++i) {
        if (G.COUNTS(i) > G.CMAX) {
            G.CMAX = G.COUNTS(i);
            G.IMAX = i;
        }
    }
    G.A2SHIFT = alpha2_shift(G.ANGLES(1));
    G.MSHIFT = G.MONOSHIFT;
    G.SCANW = (G.NPTS - 1) * G.STEP;
    G.YCALC.fill(0.0);
    G.RFLAG_SAVE = G.RFLAG;
}

namespace {

bool begins_with_data(const std::string& line) { return upper_cased(line.substr(0, 4)) == "DATA"; }

// Mode -1: walks back from the current reflection to the one before it and
// leaves the file just before that reflection's line (or just after DATA).
// false: the walk could not be made (read error or no DATA line).
bool position_before_previous(int unit) {
    // The walk looks first at the line before the one just read, so it
    // would pass over a DATA line standing right before the position (a
    // data set without reflections) and walk up through the header.
    {
        backspace_unit(unit);
        std::string line;
        if (read_line120(unit, line) != READ_OK) return false;
        if (begins_with_data(line)) return true;
    }
    int r_lines = 0;
    for (long walked = 0; walked < kMaxBackwardLines; ++walked) {
        backspace_unit(unit);
        backspace_unit(unit);
        std::string line;
        if (read_line120(unit, line) != READ_OK) return false;
        if (begins_with_data(line)) return true;  // the first reflection is next
        if (line.empty() || line.front() != 'R') continue;
        if (++r_lines < 2) continue;  // the current reflection's own line
        if (G.SKIPWEAK != 0) {
            ReflectionLine r;
            if (!parse_reflection_line(line, r)) return false;
            if (r.rflag == 'W') continue;
        }
        backspace_unit(unit);
        return true;
    }
    return false;
}

}  // namespace

void WRITE_HEADER_STDDATA(int unit) {
    write_record(unit, "('H')");
    write_record(unit, "('T ',A60)", {G.TITLE.padded()});
    write_record(unit, "('H',6F10.4)", {std::as_const(G.CELL).first(6)});
    write_record(unit, "('H')");
    write_record(unit, "('H')");
    for (int i = 1; i <= 3; ++i) write_record(unit, "('U',3F12.7)", {std::as_const(G.UB).row(i)});
    write_record(unit, "('A',F10.6)", {G.ATTEN});
    write_record(unit, "('DATA')");
}

namespace {

// The records of one reflection group as they would be written, the scale
// carrying the divisor that brings the counts into their eight columns.
// false when a value does not fit its field: it would be written as
// asterisks, which no reader can take back.
bool format_group(int nref, const Arr1<int, 3>& hkl, double spare, const Arr1<double, 4>& angles, int npts,
                  double step, double& scale, int isctype, char rflag, std::span<const long long> counts,
                  std::string& reflection_line, std::string& count_lines) {
    if (npts < 1 || npts > MAXSTEPS || static_cast<std::size_t>(npts) > counts.size()) return false;

    long long largest = 0;
    for (int i = 0; i < npts; ++i)
        if (counts[static_cast<std::size_t>(i)] > largest) largest = counts[static_cast<std::size_t>(i)];
    // The smallest whole divisor that brings the largest count into eight
    // columns; the scale factor carries it so that intensities stay on scale.
    const long long divisor = largest > MAX_STD_COUNT ? largest / (MAX_STD_COUNT + 1) + 1 : 1;
    if (divisor > 1) scale *= static_cast<double>(divisor);
    Arr1<int, MAXSTEPS> written;
    for (int i = 1; i <= npts; ++i) {
        long long c = counts[static_cast<std::size_t>(i - 1)] / divisor;
        if (c < -9999999) c = -9999999 - 1;  // below the field's range
        written(i) = static_cast<int>(c);
    }

    reflection_line.clear();
    reflection_line.push_back('R');
    append_int(reflection_line, nref, 6);
    for (int k = 1; k <= 3; ++k) append_int(reflection_line, hkl(k), 4);
    append_fixed(reflection_line, spare, 10, 4);
    for (int k = 1; k <= 4; ++k) append_fixed(reflection_line, angles(k), 10, 4);
    append_int(reflection_line, npts, 4);
    append_fixed(reflection_line, step, 10, 5);
    append_fixed(reflection_line, scale, 10, 5);
    append_int(reflection_line, isctype, 4);
    reflection_line.push_back(rflag);
    // One 'S' line for each ten counts.
    count_lines.clear();
    for (int i = 1; i <= npts; ++i) {
        if ((i - 1) % kCountsPerLine == 0) {
            if (i > 1) count_lines.push_back('\n');
            count_lines.push_back('S');
        }
        append_int(count_lines, written(i), static_cast<int>(kCountField));
    }
    const std::string_view numbers = std::string_view(reflection_line).substr(0, reflection_line.size() - 1);
    return numbers.find('*') == std::string_view::npos && count_lines.find('*') == std::string::npos;
}

}  // namespace

bool fits_scan_record(int nref, const Arr1<int, 3>& hkl, const Arr1<double, 4>& angles, int npts, double step,
                      double scale, int isctype, std::span<const long long> counts) {
    std::string reflection_line, count_lines;
    return format_group(nref, hkl, 0.0, angles, npts, step, scale, isctype, ' ', counts, reflection_line,
                        count_lines);
}

void WRITE_REF_STDDATA(int unit, int& status, int nref, const Arr1<int, 3>& hkl, double spare,
                       const Arr1<double, 4>& angles, int npts, double step, double& scale, int isctype,
                       char rflag, std::span<const long long> counts) {
    status = 1;
    if (npts < 1 || npts > MAXSTEPS || static_cast<std::size_t>(npts) > counts.size()) return;
    double scaled = scale;
    std::string reflection_line, count_lines;
    if (!format_group(nref, hkl, spare, angles, npts, step, scaled, isctype, rflag, counts, reflection_line,
                      count_lines)) {
        status = 2;
        return;
    }
    scale = scaled;
    // The group goes to the file whole or not at all.
    reflection_line.push_back('\n');
    reflection_line += count_lines;
    if (write_lines(unit, reflection_line) != 0) return;
    status = 0;
}

bool orphan_count_lines_met() { return g_orphan_counts; }

void SKIP_HEADER_STDDATA(int unit, int& status) {
    g_orphan_counts = false;
    rewind_unit(unit);
    for (;;) {
        std::string line;
        const int rc = read_line(unit, line);
        if (rc == READ_EOF) {
            status = READER_END;
            return;
        }
        if (rc != READ_OK) {
            status = READER_READ_ERROR;
            return;
        }
        if (begins_with_data(line)) return;
    }
}

void READ_HEADER_STDDATA(int unit, int& status) {
    status = 0;
    g_orphan_counts = false;
    int k = 0;  // U lines met
    // The rows are gathered apart and taken at the DATA line: U lines of
    // zeros (a data set written before its orientation was known) must not
    // wipe a matrix that an earlier import or refinement of the run gave.
    Arr2<double, 3, 3> ub = G.UB;
    bool third_row_read = false;
    bool nonzero_value = false;
    reader_expects("header lines (H, T, U, A) ending with a DATA line");
    for (;;) {
        std::string line;
        if (read_line120(unit, line) != READ_OK) {
            status = 1;
            return;
        }
        line = upper_cased(line);
        if (begins_with_data(line)) {
            // The matrix has three U lines: with one of them lost, a row of
            // the matrix would be missing.  (A row written twice leaves a
            // singular matrix, which the import refuses.)
            if (k == 1 || k == 2) {
                reader_expects("all three U lines of the orientation matrix before the DATA line");
                status = 1;
                return;
            }
            if (nonzero_value) {
                G.UB = ub;
                if (third_row_read) G.UBFLAG = 1;
            }
            return;
        }
        if (line.empty()) continue;
        if (line.front() == 'U') {
            ++k;
            // UB has three rows; further U lines have nowhere to go.
            if (k > 3) continue;
            Arr1<double, 3> row;
            for (int j = 1; j <= 3; ++j) row(j) = ub(k, j);
            int nread = 0;
            if (read_free(std::string_view(line).substr(1, 99), {row}, &nread) != READ_OK) continue;
            for (int j = 1; j <= nread; ++j)
                if (row(j) != 0.0) nonzero_value = true;
            for (int j = 1; j <= 3; ++j) ub(k, j) = row(j);
            if (nread == 3 && k == 3) third_row_read = true;
        } else if (line.front() == 'T') {
            std::string title;
            read_fixed(std::string_view(line).substr(1, 99), "(A60)", {&title});
            G.TITLE = title;
        }
    }
}

void READ_SCAN_STDDATA(int unit, int mode, int nref, const Arr1<int, 3>& hkl, int& status) {
    const bool quiet = status == -1;
    status = 0;
    const bool search = mode == 1 || mode == 2;
    const int wanted = nref < 0 ? 1 : nref;

    if (search) {
        int st = 0;
        SKIP_HEADER_STDDATA(unit, st);
        if (st != 0) {
            status = st;
            return;
        }
        backspace_unit(unit);
    } else if (mode == -1) {
        if (G.NREF == 1) return;
        if (!position_before_previous(unit)) {
            status = READER_READ_ERROR;
            return;
        }
    }

    for (;;) {
        std::string line;
        reader_expects("a reflection line: R, then (I6,3I4,5F10.4,I4,2F10.5,I4,A1)");
        const int rc = read_line120(unit, line);
        if (rc == READ_EOF) {
            report_busy(false);
            if (search) {
                report_message(MessageKind::Information, "TARNIVOX", "Reflection not found");
                status = READER_NOT_FOUND;
            } else {
                if (!quiet) report_message(MessageKind::Information, "TARNIVOX", "End of File");
                status = READER_END;
            }
            // One step back over the end of file: a further forward step
            // meets it again, a backward step finds the last reflection.
            backspace_unit(unit);
            return;
        }
        if (rc != READ_OK) {
            status = READER_READ_ERROR;
            return;
        }
        if (line.empty() || line.front() != 'R') {
            // Count lines without their reflection line: a reflection of
            // the file is lost.
            if (!line.empty() && line.front() == 'S' && !g_orphan_counts) {
                reader_expects("a reflection line (R) before these count lines (S)");
                reader_fails(READER_NOT_FOUND);
                g_orphan_counts = true;
            }
            continue;
        }

        ReflectionLine r;
        if (!parse_reflection_line(line, r)) {
            status = READER_READ_ERROR;
            return;
        }
        if (mode == 1 && r.nref != wanted) continue;
        if (mode == 2 && !(r.hkl == hkl)) continue;

        Arr1<int, MAXSTEPS> counts;
        reader_expects("count lines of the reflection's " + std::to_string(r.npts) +
                       " steps: S, then up to ten counts (I8) a line, the last holding the rest");
        if (!read_count_lines(unit, r.npts, counts)) {
            status = READER_READ_ERROR;
            return;
        }
        if (more_full_count_lines(unit, r.npts)) {
            reader_expects("the next reflection line (R) after the reflection's full last count line");
            status = READER_READ_ERROR;
            return;
        }
        if (mode == 0 && G.SKIPWEAK == 1 && r.rflag == 'W') continue;
        store_reflection(r, counts);
        return;
    }
}

}  // namespace tarnivox
