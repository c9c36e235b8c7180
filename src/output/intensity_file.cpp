#include "output/intensity_file.h"

#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "core/angles.h"
#include "core/exitint.h"
#include "core/messages.h"
#include "core/store.h"
#include "fitting/integrate.h"
#include "io/layout.h"
#include "io/units.h"
#include "output/formats.h"
#include "refine/corrections.h"

namespace tarnivox {
namespace {

// The record layouts carry the decimals chosen for the intensity ({1}) and
// its esd ({2}); everything else is fixed.
constexpr std::string_view SHELX_LAYOUT = "(3I4,1X,F7.{1},1X,F7.{2},'   1')";
constexpr std::string_view SHELX_DC_LAYOUT = "(3I4,1X,F7.{1},1X,F7.{2},'   1',6F8.5)";
constexpr std::string_view RFINE_LAYOUT = "(3I3,2F8.4,2F8.3,1X,F11.{1},1X,F7.{2},F7.0,2X,6A1,I3)";
constexpr std::string_view RFINE_EXTRA_LAYOUT =
    "('FACTORS   ',4(1X,F9.4),/,'PARAMETERS',6(1X,F9.4),/,'SIGMAS    ',7(1X,F9.4))";
constexpr std::string_view OVERFLOW_LAYOUT = "('Output format exceeded, reflection',I5,' not written')";
constexpr std::string_view WRITE_ERROR = "ERROR WRITING INTEGRATED DATA FILE";

std::string with_decimals(std::string_view layout, int d1, int d2) {
    std::string s(layout);
    const auto put = [&s](std::string_view key, int d) {
        const auto at = s.find(key);
        if (at != std::string::npos) s.replace(at, key.size(), std::to_string(d));
    };
    put("{1}", d1);
    put("{2}", d2);
    return s;
}

constexpr std::string_view ORIGIN_LAYOUT = "('Indices 0 0 0, reflection',I5,' not written')";
constexpr std::string_view NO_ESD_LAYOUT = "('No valid esd, reflection',I5,' not written')";

void report_overflow() { report_error("Tarnivox", overflow_text(G.NREF)); }
void report_no_esd() { report_error("Tarnivox", format_record_fit(NO_ESD_LAYOUT, {G.NREF})); }

// What a refinement program must never read as data: indices 0 0 0 end the
// data of a SHELX file (every reflection after them would be lost), and an
// esd of 0 gives a reflection infinite weight.  The text of the message
// when the reflection is refused, empty when it may be written.
std::string refusal(double fsig) {
    if (G.IHKL(1) == 0 && G.IHKL(2) == 0 && G.IHKL(3) == 0) return format_record_fit(ORIGIN_LAYOUT, {G.NREF});
    if (!(fsig > 0.0) || !std::isfinite(fsig)) return format_record_fit(NO_ESD_LAYOUT, {G.NREF});
    return "";
}

// The records of one reflection are formatted completely, then written
// together: a failed write (a full disk) leaves the file ending with the
// last whole reflection and ends the run.
void write_reflection(const std::string& text) {
    if (write_lines(LU_OUTPUT, text) != 0 || flush_unit(LU_OUTPUT) != 0) EXITINT(WRITE_ERROR);
}

// Status characters of the Rfine record: the classification letter and
// the five fit-status characters.
std::string status_text() {
    std::string st(1, G.RFLAG_SAVE);
    st += G.FITSTAT.padded();
    return st;
}

// The direction cosines can only be given when the reciprocal cell has
// been derived from UB.
bool reciprocal_axes_known() { return G.RCELL(1) > 0.0 && G.RCELL(2) > 0.0 && G.RCELL(3) > 0.0; }

std::string rfine_records(double fi, double fsig, double omega, int d1, int d2) {
    const std::string st = status_text();
    const int form = G.INTFMT == INTFMT_RFINE_EXTENDED ? 3 : 0;
    // Every number reads back in its columns: a value too wide for its
    // field gives up decimals rather than turning into asterisks (the
    // identifier of a reflection numbered beyond 99,999 loses its point).
    std::string text =
        format_record_fit(with_decimals(RFINE_LAYOUT, d1, d2),
                          {G.IHKL, G.ANGLES(1), omega, G.ANGLES(3), G.ANGLES(4), fi, fsig,
                           static_cast<double>(G.NREF) * 10.0 + G.ISCTYPE, st.substr(0, 1), st.substr(1, 1),
                           st.substr(2, 1), st.substr(3, 1), st.substr(4, 1), st.substr(5, 1), form});
    if (G.INTFMT == INTFMT_RFINE_EXTENDED && !text.empty()) {
        const std::string extra =
            format_record_fit(RFINE_EXTRA_LAYOUT, {G.RWP, G.GOF, G.SCALE, G.STEP, G.PAR, G.PARESD, G.INTSIG});
        text = extra.empty() ? std::string() : text + '\n' + extra;
    }
    return text;
}

// True when a number written in a field reads as zero.
bool reads_zero(const std::string& field) { return field.find_first_of("123456789") == std::string::npos; }

// Decimals for the esd in a field w wide, chosen as for the intensity; an
// esd whose text would read zero takes the decimal that dropping the
// leading zero gives room for.  -1 when it would still read zero: such an
// esd gives the reflection infinite weight and is never written.
int esd_decimals(int w, double fsig, int d) {
    if (!reads_zero(format_fixed(fsig, w, d))) return d;
    if (d + 1 < w && !reads_zero(format_fixed(fsig, w, d + 1))) return d + 1;
    return -1;
}

std::string shelx_record(double fi, double fsig, double omega, int d1, int d2) {
    if (G.UBFLAG == 1 && reciprocal_axes_known()) {
        // The beams at the peak: the output angles, with the fitted
        // POSITION (or where the peak is expected) for omega, not the
        // setting the scan was centred on.
        Arr1<double, 4> at_peak = G.ANGLES;
        at_peak(2) = omega;
        Arr1<double, 6> dc;
        Arr1<double, 6> dcs;
        CALC_DIRNCOSINES(at_peak, dc);
        DC_TOSHELX(dc, dcs);
        return format_record_fit(with_decimals(SHELX_DC_LAYOUT, d1, d2), {G.IHKL, fi, fsig, dcs});
    }
    return format_record_fit(with_decimals(SHELX_LAYOUT, d1, d2), {G.IHKL, fi, fsig});
}

bool fit_was_rejected() { return G.FITSTAT.padded()[0] == 'R'; }

}  // namespace

void DYNAMIC_FT(int w, double value, int& ndec, int& ierr) {
    ierr = 0;
    ndec = 0;
    // A value that is not a number has no printed form at all.
    if (!std::isfinite(value)) {
        ierr = 1;
        return;
    }
    // The small offset makes a value that rounds up to the next power of
    // ten get its extra integer digit.
    double a = value + 0.001;
    double largest = 0.0;
    bool sign = false;
    if (a > 0.0) {
        largest = std::pow(10.0, w - 1) - 1.0;
    } else {
        largest = std::pow(10.0, w - 2) - 1.0;
        sign = true;
        a = std::fabs(a);
    }
    if (a > largest) ierr = 1;
    int n = 1;
    do {
        a /= 10.0;
        ++n;
    } while (a > 1.0);
    if (sign) ++n;
    ndec = w - n;
    if (ndec < 0) ierr = 1;
    if (ierr == 1) return;
    // The offset only covers rounding at three or more decimals, and it
    // works against a negative value: 99999.96 in F7.1 or -9.99996 in F7.4
    // round to one integer digit more than counted.  That digit takes the
    // place of the last decimal, so the record never holds asterisks.
    if (format_fixed(value, w, ndec).find('*') != std::string::npos) {
        if (ndec > 0) --ndec;
        if (format_fixed(value, w, ndec).find('*') != std::string::npos) ierr = 1;
    }
}

RecordFit record_decimals(bool shelx, double fi, double& fsig, int& d1, int& d2) {
    int ierr = 0;
    int ierr2 = 0;
    if (shelx) {
        DYNAMIC_FT(7, fi, d1, ierr);
        if (ierr == 1) return RecordFit::Overflow;
        DYNAMIC_FT(7, fsig, d2, ierr2);
        if (ierr2 == 1) {
            // An esd too wide for its field marks the reflection as
            // unusable rather than losing it.
            fsig = SHELX_NO_ESD;
            d2 = 0;
        }
    } else {
        DYNAMIC_FT(11, fi, d1, ierr);
        DYNAMIC_FT(7, fsig, d2, ierr2);
        if (ierr == 1 || ierr2 == 1) return RecordFit::Overflow;
    }
    d2 = esd_decimals(7, fsig, d2);
    return d2 < 0 ? RecordFit::NoEsd : RecordFit::Fits;
}

std::string shelx_record_layout(int d1, int d2) { return with_decimals(SHELX_LAYOUT, d1, d2); }
std::string rfine_record_layout(int d1, int d2) { return with_decimals(RFINE_LAYOUT, d1, d2); }

std::string overflow_text(int nref) { return format_record_fit(OVERFLOW_LAYOUT, {nref}); }

void WRITE_INT() { write_int(fit_was_rejected()); }

void write_int(bool fit_rejected) {
    if (G.OUTOPEN == 0) return;
    if (fit_rejected && G.REJOUT == 0) {
        G.NREJOM += 1;
        return;
    }
    double intensity = G.FITI;
    double sigma = G.FITSIG;
    // The fitted POSITION only for a fit that passed; 999 or more is the
    // mark of a fit that gave no position.
    double omega = std::fabs(G.PAR(P_POSITION)) < 999.0 ? G.PAR(P_POSITION) : G.ANGLES(2);
    if (fit_rejected) {
        // A rejected fit leaves no intensity to trust (0 with an esd of 1
        // would read as a measured zero): the summation over the expected
        // peak takes its place, and the omega where that peak is expected
        // stands for the runaway POSITION.
        ExpectedSum e;
        if (INTEGRATE_EXPECTED(e) != 0) return report_no_esd();
        intensity = e.intensity;
        sigma = e.sigma;
        omega = e.omega;
    }
    const double f = CLORENZ(G.ANGLES(1));
    const double fi = f * intensity;
    const double fsig = f * sigma;
    if (const std::string why = refusal(fsig); !why.empty()) return report_error("Tarnivox", why);
    WRAP(G.ANGLES(3));
    WRAP(G.ANGLES(4));

    int d1 = 0;
    int d2 = 0;
    double written_sigma = fsig;
    switch (record_decimals(G.INTFMT == INTFMT_SHELX, fi, written_sigma, d1, d2)) {
        case RecordFit::Overflow: return report_overflow();
        case RecordFit::NoEsd: return report_no_esd();
        case RecordFit::Fits: break;
    }
    const std::string record = G.INTFMT == INTFMT_SHELX ? shelx_record(fi, written_sigma, omega, d1, d2)
                                                         : rfine_records(fi, fsig, omega, d1, d2);
    // A value that no form of its field holds refuses the record.
    if (record.empty()) return report_overflow();
    write_reflection(record);
    if (fit_rejected) G.NSUMW += 1;
}

}  // namespace tarnivox
