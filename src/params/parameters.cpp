// The instrument parameter file: keyword lines describing the
// diffractometer (wavelengths, attenuator, monochromator, axis senses and
// conventions) and the defaults of the profile fit.  Keywords sit in
// columns 1-6 (case-insensitive), their values in free form after them.

#include "params/parameters.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "core/angles.h"
#include "core/exitint.h"
#include "core/instrument_ranges.h"
#include "core/messages.h"
#include "core/store.h"
#include "io/layout.h"
#include "io/units.h"

namespace tarnivox {
namespace {

constexpr std::size_t kLineWidth = 80;
constexpr std::size_t kKeyWidth = 6;
constexpr int kProfileParameters = 6;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Mandatory keywords, in the order the presence check reports them.
enum Mandatory { PKPAR = 1, FITLIM, ATTEN, WAVEL, RFLAGS, TFLAGS, PARITY, MONO, NMANDATORY = MONO };

// What the line of each keyword holds, for the message about a line that
// does not hold it.
std::string_view values_of(std::string_view keyword) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 11> table = {{
        {"PKPAR", "three numbers: FWHM coefficients a and b, and eta"},
        {"FITLIM", "13 numbers: lower and upper limits of the six profile parameters, then the Rwp limit"},
        {"ATTEN", "one number: the attenuator factor"},
        {"WAVEL", "four numbers: the number of lines (1 or 2), lambda alpha1, lambda alpha2, alpha2/alpha1 ratio"},
        {"RFLAGS", "six switches, 0 or 1"},
        {"TFLAGS", "seven switches, 0 or 1"},
        {"PARITY", "four axis senses, 1 or -1"},
        {"MONO", "four numbers: switch 0 or 1, monochromator 2theta, dihedral angle, dispersion direction"},
        {"BACKGR", "the background mode 0 to 3; mode 2 with its three coefficients, mode 3 with its number of "
                   "end steps (1 or more)"},
        {"GONCON", "two numbers"},
        {"BLAXES", "three whole numbers, a signed permutation of 1 2 3"},
    }};
    for (const auto& [key, what] : table)
        if (key == keyword) return what;
    return "a keyword line";
}

// The file, the line being read and its keyword.
// `ahead` is 1 for a line that could not be read at all (the unit has not
// counted it).
std::string place(std::string_view keyword, int ahead = 0) {
    std::string text = "Parameter file " + unit_path(LU_PARAM);
    if (const int line = unit_line_number(LU_PARAM); line >= 0 && line + ahead > 0)
        text += ", line " + std::to_string(line + ahead);
    if (!keyword.empty()) text += ", keyword " + std::string(keyword);
    return text;
}

// A fatal message about the line being read: a box naming the file, the
// line and the keyword comes first, the message itself is kept as it is.
[[noreturn]] void stop_at_line(std::string_view keyword, const std::string& text, const std::string& detail,
                               int ahead = 0) {
    const std::string where = place(keyword, ahead) + ": " + detail;
    report_error("Tarnivox", where);
    EXITINT_AT(text, where);
}

[[noreturn]] void unreadable(std::string_view keyword) {
    stop_at_line(keyword, "ERROR READING PARAMETER FILE", "expected " + std::string(values_of(keyword)));
}

// Values missing at the end of the line keep what they held.
void read_values(std::string_view keyword, std::string_view values, std::initializer_list<InItem> items) {
    if (read_free(values, items) != READ_OK) unreadable(keyword);
}

// The background and goniometer lines must give every value they need.
void read_all_values(std::string_view keyword, std::string_view values, std::initializer_list<InItem> items) {
    int nread = 0;
    if (read_free(values, items, &nread) != READ_OK || nread < static_cast<int>(items.size()))
        unreadable(keyword);
}

// A value outside the range the instrument can have would pass as a
// silently wrong number (a negative wavelength puts every Lp factor off):
// the run stops and names the keyword and the value.
[[noreturn]] void implausible(std::string_view keyword, std::string_view what, double value) {
    const std::string named = std::string(keyword) + " " + value_text(what, value);
    stop_at_line(keyword, "ILLEGAL VALUE IN PARAMETER FILE: " + named,
                 value_text(what, value) + " is out of range; expected " + std::string(values_of(keyword)));
}

void require(bool ok, std::string_view keyword, std::string_view what, double value) {
    if (!ok) implausible(keyword, what, value);
}

bool within(double v, double lo, double hi) { return v >= lo && v <= hi; }

// The first mandatory keyword no parameter file of the run has given: the
// user is told which line to add before the run ends.
[[noreturn]] void missing(int k) {
    static constexpr std::array<std::string_view, NMANDATORY> names = {"PKPAR",  "FITLIM", "ATTEN",  "WAVEL",
                                                                       "RFLAGS", "TFLAGS", "PARITY", "MONO"};
    const std::string keyword(names.at(static_cast<std::size_t>(k - 1)));
    const std::string where = "The instrument parameter file " + unit_path(LU_PARAM) + " has no " + keyword +
                              " line: add one (tarnivox template-par writes a commented file to copy it from).";
    report_error("Tarnivox", where);
    EXITINT_AT("MISSING DATA FROM PARAMETER FILE", where);
}

void check_peak_start() {
    require(G.FWHMA > 0.0 && std::isfinite(G.FWHMA), "PKPAR", "FWHM coefficient a", G.FWHMA);
    require(G.FWHMB >= 0.0 && std::isfinite(G.FWHMB), "PKPAR", "FWHM coefficient b", G.FWHMB);
    require(within(G.ETA0, 0.0, 1.0), "PKPAR", "eta", G.ETA0);
}

void check_limits(int nread) {
    if (nread < 2 * kProfileParameters + 1) implausible("FITLIM", "values given, 13 needed:", nread);
    for (int k = 1; k <= kProfileParameters; ++k) {
        require(std::isfinite(G.PARLO(k)), "FITLIM", "lower limit", G.PARLO(k));
        require(std::isfinite(G.PARHI(k)), "FITLIM", "upper limit", G.PARHI(k));
        // POSITION limits are distances below and above the setting omega.
        if (k == 4)
            require(G.PARLO(k) + G.PARHI(k) >= 0.0, "FITLIM", "position window below zero width",
                    G.PARLO(k) + G.PARHI(k));
        else
            require(G.PARLO(k) <= G.PARHI(k), "FITLIM", "lower limit above its upper limit", G.PARLO(k));
    }
    require(G.RWPLIM > 0.0 && std::isfinite(G.RWPLIM), "FITLIM", "Rwp limit", G.RWPLIM);
}

// A failed range check of the shared instrument ranges stops the run.
void require_in_range(std::string_view keyword, const std::string& failure) {
    if (!failure.empty())
        stop_at_line(keyword, "ILLEGAL VALUE IN PARAMETER FILE: " + std::string(keyword) + " " + failure,
                     failure + " is out of range");
}

void check_switches(std::string_view keyword, std::span<const int> flags) {
    for (const int f : flags) require(f == 0 || f == 1, keyword, "switch", f);
}

void check_monochromator() {
    require(G.IMONO == 0 || G.IMONO == 1, "MONO", "monochromator switch", G.IMONO);
    require(within(G.MONO2TH, -180.0, 180.0), "MONO", "monochromator 2theta", G.MONO2TH);
    require(within(G.MONOANG, -360.0, 360.0), "MONO", "dihedral angle", G.MONOANG);
    require(G.MONODIR >= -1 && G.MONODIR <= 1, "MONO", "dispersion direction", G.MONODIR);
}

void read_background(std::string_view values) {
    int mode = 0;
    read_all_values("BACKGR", values, {&mode});
    // Only the four background modes exist; another number would select no
    // model (and no switch of the background dialog).
    if (mode < 0 || mode > 3) unreadable("BACKGR");
    G.IBACK = mode;
    if (mode == 2) {
        read_all_values("BACKGR", values, {&mode, &G.BGEXPA, &G.BGEXPB, &G.BGEXPC});
        for (const double v : {G.BGEXPA, G.BGEXPB, G.BGEXPC})
            require(std::isfinite(v), "BACKGR", "background model coefficient", v);
    }
    if (mode == 3) {
        int nback = 0;
        read_all_values("BACKGR", values, {&mode, &nback});
        if (nback < 1) unreadable("BACKGR");  // the background needs at least one end step
        // Both ends of the longest scan the record holds.
        require(nback <= MAXSTEPS / 2, "BACKGR", "background steps", nback);
        G.NBACK = nback;
    }
}

// Reads the values of one keyword line; false when the keyword is not one
// of the file's (the line is then a comment).
bool read_keyword(std::string_view key, std::string_view values) {
    auto mark = [](Mandatory m) { G.PARSEEN(m) = 1; };
    if (key == "PKPAR ") {
        read_values("PKPAR", values, {&G.FWHMA, &G.FWHMB, &G.ETA0});
        check_peak_start();
        mark(PKPAR);
    } else if (key == "FITLIM") {
        int nread = 0;
        if (read_free(values,
                      {&G.PARLO(1), &G.PARHI(1), &G.PARLO(2), &G.PARHI(2), &G.PARLO(3), &G.PARHI(3), &G.PARLO(4),
                       &G.PARHI(4), &G.PARLO(5), &G.PARHI(5), &G.PARLO(6), &G.PARHI(6), &G.RWPLIM},
                      &nread) != READ_OK)
            unreadable("FITLIM");
        check_limits(nread);
        mark(FITLIM);
    } else if (key == "ATTEN ") {
        read_values("ATTEN", values, {&G.ATTEN});
        require_in_range("ATTEN", attenuator_out_of_range());
        mark(ATTEN);
    } else if (key == "WAVEL ") {
        read_values("WAVEL", values, {&G.NWAVE, &G.WAVE1, &G.WAVE2, &G.A2RATIO});
        if (G.NWAVE == 1) G.A2RATIO = 0.0;  // one line only: no alpha2 peak
        require_in_range("WAVEL", radiation_out_of_range());
        G.RATIO0 = G.A2RATIO;
        mark(WAVEL);
    } else if (key == "RFLAGS") {
        read_values("RFLAGS", values, {G.IREF});
        check_switches("RFLAGS", std::as_const(G.IREF).all());
        mark(RFLAGS);
    } else if (key == "TFLAGS") {
        read_values("TFLAGS", values, {G.ICHK});
        check_switches("TFLAGS", std::as_const(G.ICHK).all());
        mark(TFLAGS);
    } else if (key == "PARITY") {
        read_values("PARITY", values, {G.PARITY});
        for (const int p : std::as_const(G.PARITY).all()) require(p == 1 || p == -1, "PARITY", "axis sense", p);
        mark(PARITY);
    } else if (key.substr(0, 4) == "MONO") {
        read_values("MONO", values, {&G.IMONO, &G.MONO2TH, &G.MONOANG, &G.MONODIR});
        check_monochromator();
        mark(MONO);
    } else if (key == "BACKGR") {
        read_background(values);
    } else if (key == "GONCON") {
        read_all_values("GONCON", values, {&G.GONCON1, &G.GONCON2});
    } else if (key == "BLAXES") {
        read_values("BLAXES", values, {G.BLAXES});
    } else {
        return false;
    }
    return true;
}

// Only the Busing-Levy axis sum is checked: a permutation of 1 2 3 with
// any signs sums to 6 in absolute value (so does 1 1 4).
void check_axes() {
    if (std::abs(G.BLAXES(1)) + std::abs(G.BLAXES(2)) + std::abs(G.BLAXES(3)) == 6) return;
    report_error("Tarnivox", "ERROR IN PAR FILE, ILLEGAL BLAXES, \t\t\t\t\tSET to Busing-Levy");
    G.BLAXES = Arr1<int, 3>{{1, 2, 3}};
}

// The alpha2 line leaves the monochromator at a slightly different angle:
// the omega shift of the alpha2 peak that the monochromator adds, with the
// sign of the dispersion direction.
double monochromator_shift() {
    if (G.MONODIR == 0) return 0.0;
    if (!(G.WAVE1 > 0.0)) return 0.0;  // no wavelength ratio to work with
    const double s = G.WAVE2 / G.WAVE1 * std::sin(std::fabs(G.MONO2TH) / 2.0 / RAD);
    if (!(std::fabs(s) <= 1.0)) return 0.0;
    return G.MONODIR * (std::asin(s) * RAD - G.MONO2TH / 2.0);
}

}  // namespace

void READ_PARAMETERS() {
    G.BLAXES = Arr1<int, 3>{{1, 2, 3}};
    G.GONCON1 = 200.0;
    G.GONCON2 = 200.0;
    G.IBACK = 3;
    G.NBACK = 5;
    G.IFIX.fill(0);

    rewind_unit(LU_PARAM);
    bool first_line = true;
    for (;;) {
        std::string line;
        const int rc = read_line(LU_PARAM, line);
        if (rc == READ_EOF) break;
        if (rc != READ_OK)
            stop_at_line("", "ERROR READING PARAMETER FILE",
                         "expected a text line of at most " + std::to_string(MAX_RECORD_LENGTH) + " characters",
                         1);
        // A byte-order mark written by an editor before the first keyword.
        if (first_line && line.rfind(kByteOrderMark, 0) == 0) line.erase(0, kByteOrderMark.size());
        first_line = false;
        if (line.size() > kLineWidth) line.resize(kLineWidth);
        if (G.LOGOPEN == 1) write_record(LU_LOG, "(1X,A80)", {line});

        std::string key = line.substr(0, kKeyWidth);
        key.resize(kKeyWidth, ' ');
        for (char& c : key)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (key.find_first_not_of(' ') == std::string::npos) continue;
        std::size_t first_value = kKeyWidth;
        // MONO is recognised on four columns: a number typed right after
        // it ("MONO 9") is a value, not part of the keyword to be dropped.
        if (key.substr(0, 4) == "MONO" && key.find_first_not_of(" +-.0123456789", 4) == std::string::npos)
            first_value = 4;
        const std::string_view values =
            line.size() > first_value ? std::string_view(line).substr(first_value) : std::string_view();
        read_keyword(key, values);
    }

    check_axes();
    if (!(G.GONCON1 > 0.1) || !std::isfinite(G.GONCON1)) G.GONCON1 = 200.0;
    if (!(G.GONCON2 > 0.1) || !std::isfinite(G.GONCON2)) G.GONCON2 = 200.0;
    // A keyword given by an earlier parameter file of the run still counts.
    for (int k = 1; k <= NMANDATORY; ++k)
        if (G.PARSEEN(k) == 0) missing(k);

    G.MONOSHIFT = monochromator_shift();
    G.PAR(P_FWHM) = G.FWHMA;
    G.PAR(P_ETA) = G.ETA0;
    G.PAR(P_IRATIO) = G.RATIO0;
    if (G.LOGOPEN == 1)
        write_record(LU_LOG, "(/,' ****************END OF PARAMETER FILE***************',/,/)");
}

}  // namespace tarnivox
