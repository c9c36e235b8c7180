#include "import/convert.h"

#include <array>
#include <cmath>
#include <string>

#include "core/exitint.h"
#include "core/instrument_ranges.h"
#include "core/messages.h"
#include "core/store.h"
#include "import/cad4.h"
#include "import/febo.h"
#include "import/formats.h"
#include "import/huber.h"
#include "import/reader_io.h"
#include "import/stddata.h"
#include "import/stoe.h"
#include "import/xcalibur.h"
#include "import/xscans.h"
#include "io/layout.h"
#include "io/units.h"
#include "refine/blaxes.h"
#include "refine/geometry.h"
#include "refine/ub_lsq.h"

namespace tarnivox {
namespace {

constexpr std::string_view CLASS_LETTERS = "WMRSFIN";

using Reader = void (*)(int&);
// The scan constants a header gave: empty when plausible, else the value out
// of range.
using ScanConstantsCheck = std::string (*)();

struct ReaderPair {
    Reader header;
    Reader scan;
    ScanConstantsCheck scan_constants = nullptr;
};

// Reader pairs of the instrument formats, by INFMT.
ReaderPair readers_of(int infmt) {
    switch (infmt) {
        case FORMAT_HUBER: return {READ_HEADER_HUBER, READ_SCAN_HUBER};
        case FORMAT_XCALIBUR: return {READ_HEADER_XCAL, READ_SCAN_XCAL, xcalibur_scan_constants_out_of_range};
        case FORMAT_XSCANS: return {READ_HEADER_XSCANS, READ_SCAN_XSCANS};
        case FORMAT_STOE: return {READ_HEADER_STOE, READ_SCAN_STOE, stoe_step_out_of_range};
        case FORMAT_FEBO: return {READ_HEADER_FEBO, READ_SCAN_FEBO};
        case FORMAT_CAD4: return {READ_HEADER_CAD4, READ_SCAN_CAD4};
        default: return {nullptr, nullptr};
    }
}

// The standard scan file named by the input-file choice.
std::string standard_file_path() {
    if (unit_is_open(LU_INPUT)) {
        std::string p = unit_path(LU_INPUT);
        if (!p.empty()) return p;
    }
    std::string dir(G.WORKDIR.str());
    if (!dir.empty() && dir.back() != '/' && dir.back() != '\\') dir += '/';
    return dir + std::string(G.INFILE.str());
}

void derive_cell() {
    OMTOB();
    RECIP_CELL();
}

// The counts of the current scan as whole numbers, truncated toward zero
// (none for a step count the scan record cannot hold).
std::array<long long, MAXSTEPS> whole_counts() {
    std::array<long long, MAXSTEPS> counts{};
    if (!steps_fit(G.NPTS)) return counts;
    for (int i = 1; i <= G.NPTS; ++i) counts[static_cast<std::size_t>(i - 1)] = truncate_count(G.COUNTS(i));
    return counts;
}

// A reflection whose values cannot be written as numbers (a division by a
// zero field of the instrument file, for example), whose values do not fit
// the fields of the scan file (they could not be read back by the fitting
// run), or that carries no scale is of no use.  Indices 0 0 0 are no
// reflection: in a SHELX file they end the data.
bool writable(const std::array<long long, MAXSTEPS>& counts) {
    if (!steps_fit(G.NPTS) || !std::isfinite(G.STEP) || !(G.SCALE > 0.0) || !std::isfinite(G.SCALE))
        return false;
    for (int i = 1; i <= 4; ++i)
        if (!std::isfinite(G.ANGLES(i))) return false;
    if (G.IHKL(1) == 0 && G.IHKL(2) == 0 && G.IHKL(3) == 0) return false;
    return fits_scan_record(G.NREF, G.IHKL, G.ANGLES, G.NPTS, G.STEP, G.SCALE, G.ISCTYPE,
                            std::span<const long long>(counts.data(), static_cast<std::size_t>(G.NPTS)));
}

void write_reflection(const std::array<long long, MAXSTEPS>& counts) {
    G.CMAX = 0.0;
    for (int i = 1; i <= G.NPTS; ++i) {
        if (G.COUNTS(i) > G.CMAX) {
            G.CMAX = G.COUNTS(i);
            G.IMAX = i;
        }
    }
    SUM_SCANTYPES(G.RFLAG);
    int status = 0;
    WRITE_REF_STDDATA(G.LUSCR, status, G.NREF, G.IHKL, 0.0, G.ANGLES, G.NPTS, G.STEP, G.SCALE, G.ISCTYPE,
                      G.RFLAG, std::span<const long long>(counts.data(), static_cast<std::size_t>(G.NPTS)));
    if (status != 0) {
        report_busy(false);
        EXITINT("WRITE ERROR ON SCRATCH FILE");
    }
}

// What an import found: reflections taken into the data set, and those
// left out as unreadable or refused.
struct ImportCount {
    int taken = 0;
    int refused = 0;
};

// The instrument values as they stood before a header was read: what the
// header changed, it supplied.
struct HeaderValues {
    int nwave = G.NWAVE;
    double wave1 = G.WAVE1, wave2 = G.WAVE2, a2ratio = G.A2RATIO, atten = G.ATTEN;
    Arr2<double, 3, 3> ub = G.UB;
};

// The radiation, attenuator and orientation matrix a header supplied must
// lie in their physical range: outside it every intensity of the data set
// would be silently wrong.  The box names the value; false refuses the
// header.
bool header_values_plausible(const HeaderValues& before) {
    std::string failure;
    if (G.NWAVE != before.nwave || G.WAVE1 != before.wave1 || G.WAVE2 != before.wave2 ||
        G.A2RATIO != before.a2ratio)
        // Headers give both lines; the number of lines is the parameter file's.
        failure = wavelengths_out_of_range(G.NWAVE == 1 ? 1 : 2);
    if (failure.empty() && G.ATTEN != before.atten) failure = attenuator_out_of_range();
    if (failure.empty() && !(G.UB == before.ub)) failure = matrix_out_of_range();
    // Scan widths and steps the header gives for every scan: a missing or
    // wild one would put every reflection on a wrong omega scale.
    const ScanConstantsCheck scan_constants = readers_of(G.INFMT).scan_constants;
    if (failure.empty() && scan_constants != nullptr) failure = scan_constants();
    if (failure.empty()) return true;
    // The header as a whole is at fault: the place named is where it ends.
    reader_expects("a header whose values lie in their physical range (" + failure + " does not)");
    report_error("Tarnivox", "Implausible value in data file header: " + failure);
    return false;
}

// Input format 1: the standard scan file is used in place and walked once
// to count its reflections.
ImportCount open_standard_file() {
    const std::string path = standard_file_path();
    close_unit(LU_INPUT);
    close_unit(G.LUSCR);
    if (open_unit(G.LUSCR, path, OpenMode::Read) != 0) EXITINT("READ ERROR ON HEADER OF SCAN FILE");
    int status = 0;
    const HeaderValues before;
    READ_HEADER_STDDATA(G.LUSCR, status);
    if (status != 0 || !header_values_plausible(before)) reader_stop("READ ERROR ON HEADER OF SCAN FILE");
    if (G.UBFLAG == 1) derive_cell();
    report_busy(true);
    SET_SCANCODES_ZERO();
    ImportCount found;
    const Arr1<int, 3> none;
    for (;;) {
        status = -1;
        READ_SCAN_STDDATA(G.LUSCR, 0, 0, none, status);
        if (status == READER_END) break;
        if (status == READER_READ_ERROR) reader_stop("READ ERROR ON SCAN FILE");
        if (status == READER_NOT_FOUND) {
            found.refused += 1;
        } else {
            SUM_SCANTYPES(G.RFLAG);
            found.taken += 1;
        }
    }
    if (orphan_count_lines_met()) found.refused += 1;
    return found;
}

// Input formats 2 to 7: each reflection is read by the format's reader and
// written to a fresh scratch standard scan file.
ImportCount convert_instrument_file() {
    int status = 0;
    READ_HEADER(status);
    if (status != 0) {
        report_busy(false);
        EXITINT_AT("READ ERROR ON HEADER OF SCAN FILE", reader_place());
    }
    G.NREF = 0;
    report_busy(true);
    close_unit(G.LUSCR);
    if (open_unit(G.LUSCR, "", OpenMode::Scratch) != 0) {
        report_busy(false);
        EXITINT("WRITE ERROR ON SCRATCH FILE");
    }
    WRITE_HEADER_STDDATA(G.LUSCR);
    SET_SCANCODES_ZERO();
    const Reader scan = readers_of(G.INFMT).scan;
    ImportCount found;
    for (;;) {
        status = 0;
        scan(status);
        if (status == READER_END) break;
        if (status == READER_READ_ERROR) reader_stop("READ ERROR ON SCAN FILE");
        if (status == READER_NOT_FOUND) {
            found.refused += 1;
            continue;
        }
        const std::array<long long, MAXSTEPS> counts = whole_counts();
        if (!writable(counts)) {
            reader_expects("a reflection with indices, finite angles, a scale above zero and counts that fit "
                           "the scan file");
            reader_fails(READER_NOT_FOUND);
            found.refused += 1;
            continue;
        }
        write_reflection(counts);
        found.taken += 1;
    }
    if (flush_unit(G.LUSCR) != 0) {
        report_busy(false);
        EXITINT("WRITE ERROR ON SCRATCH FILE");
    }
    return found;
}

}  // namespace

void SET_SCANCODES_ZERO() { G.NCLASS.fill(0); }

void SUM_SCANTYPES(char letter) {
    const std::size_t k = CLASS_LETTERS.find(letter);
    if (k != std::string_view::npos) G.NCLASS(static_cast<int>(k) + 1) += 1;
}

void READ_HEADER(int& status) {
    // UBFLAG stays 1 for the rest of the run once a matrix was known; a
    // matrix already moved to the Busing-Levy axes by an earlier import must
    // not be moved again when this file's header supplies none.
    const Arr2<double, 3, 3> ub_before = G.UB;
    const int flag_before = G.UBFLAG;
    const HeaderValues before;
    const Reader header = readers_of(G.INFMT).header;
    if (header != nullptr) header(status);
    if (status == 0 && !header_values_plausible(before)) status = READER_READ_ERROR;
    if (status != 0) {
        // Where the header stopped being what the reader expects, then the
        // program's own notice.
        report_error("Tarnivox", reader_place());
        report_message(MessageKind::Notice, "TARNIVOX", "Error Reading File Header");
        G.INOPEN = 0;
        return;
    }
    if (G.UBFLAG == 1) {
        // A BLAXES that passes the parameter file's sum check but is no
        // signed permutation (1 1 4) cannot move the matrix: say so rather
        // than refine and write with a matrix in the wrong axes unannounced.
        if ((flag_before != 1 || !(G.UB == ub_before)) && UB_TO_BLAXES() != 0)
            report_message(MessageKind::Notice, "TARNIVOX",
                           "BLAXES is not a permutation of 1 2 3: orientation matrix not converted");
        derive_cell();
    }
}

void CONVERT_FILE(int& status) {
    if (input_format(G.INFMT) == nullptr) G.INFMT = FORMAT_STANDARD;
    G.NREFREAD = -1;
    G.NREFBAD = 0;
    clear_reader_failures();
    const ImportCount found = G.INFMT == FORMAT_STANDARD ? open_standard_file() : convert_instrument_file();
    G.NREFREAD = found.taken;
    G.NREFBAD = found.refused;
    // The scan record holds the last reflection a reader met, which may be
    // one it refused (or one with a step count the record cannot hold): it
    // is no reflection of the data set.  The caller reads the first one;
    // after an import that took none, nothing is left to fit or plot.
    static_cast<CurrentScan&>(G) = CurrentScan{};
    static_cast<DerivedScan&>(G) = DerivedScan{};
    report_busy(false);
    if (found.refused > 0) {
        // Where the first reflection left out stands, before the warning:
        // the user can look at that line.
        if (const std::string first = first_failure_place(); !first.empty())
            report_message(MessageKind::Information, "Tarnivox", "First reflection left out: " + first);
        report_message(MessageKind::Notice, "Tarnivox", "Error Reading at least 1 reflection in data file");
    }
    // A file of the wrong format, or one without data, is no success.
    if (found.taken == 0)
        report_message(MessageKind::Notice, "Tarnivox", "No reflection read from data file");
    else if (found.refused == 0)
        report_message(MessageKind::Notice, "TARNIVOX", "Data File read in successfully");
    status = 0;
    G.INOPEN = 1;
}

}  // namespace tarnivox
