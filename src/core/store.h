#pragma once
// The one process-wide store of Tarnivox.  Every routine of the program
// reads and writes these fields directly, by the program's own names.
// The data set itself is not held here: it lives in the standard scan file
// on unit LUSCR and only the current reflection is in memory (record 4).
//
// Each record is a plain struct; Store joins them so that a field is
// reached as G.NPTS, G.UB(i, j), G.COUNTS(i).  reset_store() gives a clean
// store (used by tests and at start-up).

#include "core/array.h"
#include "core/text.h"

#include <string>
#include <string_view>

namespace tarnivox {

inline constexpr int MAXSTEPS = 500;    // steps per scan
inline constexpr int MAXSTD = 10;       // standard reflections
inline constexpr int NCLASSES = 7;      // classification letters W M R S F I N
inline constexpr int MAXREFLIST = 1000; // refinement list entries
inline constexpr int TITLE_LEN = 60;
inline constexpr int PATH_LEN = 255;

// A path field (INFILE, OUTFILE, WORKDIR, OUTDIR): held whole, never cut,
// however deep the folder; padded() fills it to PATH_LEN columns when it is
// shorter, and a record that writes it in a narrower column cuts it there.
class Path {
public:
    Path() = default;
    Path(std::string_view s) { assign(s); }  // NOLINT: plain text converts
    Path& operator=(std::string_view s) {
        assign(s);
        return *this;
    }
    std::string_view str() const { return s_; }
    std::string padded() const {
        return s_.size() >= static_cast<std::size_t>(PATH_LEN)
                   ? s_
                   : s_ + std::string(static_cast<std::size_t>(PATH_LEN) - s_.size(), ' ');
    }
    bool blank() const { return s_.empty(); }
    bool operator==(const Path&) const = default;
    bool operator==(std::string_view other) const { return Path(other).s_ == s_; }

private:
    // Trailing blanks are padding, as in the fixed-width fields.
    void assign(std::string_view s) {
        while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
        s_.assign(s);
    }
    std::string s_;
};

// Record 1: data-set header.
struct DataSetHeader {
    FixedText<TITLE_LEN> TITLE;
    Arr1<double, 7> CELL;   // a, b, c (A), alpha, beta, gamma (deg), volume (A^3)
    Arr2<double, 3, 3> UB;  // orientation matrix, Busing-Levy axes, 1/A
    int UBFLAG = 0;         // 1 when UB is known
};

// Record 2: instrument settings from the instrument parameter file.  The
// initial values are the defaults set at the start of every read of it.
struct InstrumentSettings {
    int NWAVE = 0;
    double WAVE1 = 0.0;    // alpha1 wavelength, A
    double WAVE2 = 0.0;    // alpha2 wavelength, A
    double A2RATIO = 0.0;  // I(alpha2)/I(alpha1); 0 when NWAVE is 1
    double ATTEN = 0.0;    // attenuator factor
    int IMONO = 0;         // 1: monochromator present
    double MONO2TH = 0.0;  // monochromator 2theta, deg
    double MONOANG = 0.0;  // dihedral angle monochromator/sample planes, deg
    int MONODIR = 0;       // 0 none, 1 parallel, other anti-parallel
    double MONOSHIFT = 0.0;  // alpha2 dispersion shift of the monochromator, deg
    Arr1<int, 4> PARITY;     // senses of 2theta, omega, chi, phi
    Arr1<int, 3> BLAXES{{1, 2, 3}};
    double GONCON1 = 200.0;
    double GONCON2 = 200.0;
    int IBACK = 3;  // background mode 0..3
    int NBACK = 5;  // end steps of the scan for background mode 3
    Arr1<int, 8> PARSEEN;  // mandatory parameter keywords given by any parameter file of the run
};

// Record 3: standards and classification counters.
struct StandardsAndClasses {
    int NSTD = 0;
    Arr2<int, MAXSTD, 3> STDHKL;
    Arr1<int, MAXSTD> STDNPTS;
    Arr1<int, NCLASSES> NCLASS;  // W, M, R, S, F, I, N
    int NREFREAD = -1;  // reflections the last import took into the data set; -1 before any import
    int NREFBAD = 0;    // reflections the last import left out as unreadable or refused
};

// Record 4: the current scan record, one reflection of the scan file.
struct CurrentScan {
    int NREF = 0;
    Arr1<int, 3> IHKL;
    Arr1<double, 4> ANGLES;  // 2theta, omega (scan centre), chi, phi, deg
    int NPTS = 0;            // 1..MAXSTEPS
    double STEP = 0.0;       // omega step, deg
    double SCALE = 0.0;      // puts the counts on the common intensity scale
    int ISCTYPE = 0;         // standard number 1..10, else 0
    char RFLAG = ' ';        // classification letter
    Arr1<double, MAXSTEPS> COUNTS;
    double STEPTIME = 0.0;   // counting time per step, s (import only)
};

// Record 5: values derived whenever a scan is read.
struct DerivedScan {
    Arr1<double, MAXSTEPS> STEPANG;  // omega of each step
    double CMAX = 0.0;
    int IMAX = 0;
    double SCANW = 0.0;    // (NPTS-1)*STEP
    double A2SHIFT = 0.0;  // omega offset of the alpha2 peak, deg
    double MSHIFT = 0.0;   // copy of MONOSHIFT
    Arr1<double, MAXSTEPS> YCALC;
    char RFLAG_SAVE = ' ';
};

// Record 6: file and run state.
struct FileState {
    int INFMT = 0;  // 1 standard, 2 Huber, 3 Xcalibur, 4 XSCANS, 5 STOE, 6 Febo, 7 CAD4
    Path INFILE;
    Path OUTFILE;
    Path WORKDIR;
    Path OUTDIR;
    int INOPEN = 0;
    int OUTOPEN = 0;
    int LOGOPEN = 0;
    int INTFMT = 0;  // 1 Rfine, 2 Rfine extended, 3 Shelx
    int LUSCR = 25;
    int SKIPWEAK = 0;
    int REJOUT = 1;  // reflections whose fit was rejected: 1 written from summation, 0 left out
    // 1 when a pass over the data set (preprocessing, a run, a background
    // walk) has moved through the scan file since the user last placed it
    // on a reflection (opening the data set, a jump, a step): the reflection
    // in the scan record is then where that pass ended, not the user's choice.
    int WALKED = 0;
};

// Indices k of the six profile parameters in PAR, PARESD, IREF, IFIX,
// ICHK, PARLO and PARHI.
inline constexpr int P_BACKGROUND = 1;
inline constexpr int P_FWHM = 2;
inline constexpr int P_INTENSITY = 3;
inline constexpr int P_POSITION = 4;
inline constexpr int P_ETA = 5;
inline constexpr int P_IRATIO = 6;
// ICHK(7): the RWP test.
inline constexpr int CHK_RWP = 7;

// Record 7: fit-control settings.  k runs over BACKGROUND, FWHM, INTENSITY,
// POSITION, ETA, IRATIO.
struct FitControls {
    Arr1<double, 6> PAR;
    Arr1<double, 6> PARESD;
    Arr1<int, 6> IREF;   // 1 = refine parameter k
    Arr1<int, 6> IFIX;   // 1 = start value from the model
    Arr1<int, 7> ICHK;   // limit tests of k, 7 = RWP test
    Arr1<double, 6> PARLO;
    Arr1<double, 6> PARHI;  // for POSITION: distances below/above setting omega
    double RWPLIM = 0.0;
    double RWP = 0.0;
    double GOF = 0.0;
    double FWHMA = 0.0;  // FWHM = FWHMA + FWHMB*tan|theta|
    double FWHMB = 0.0;
    double ETA0 = 0.0;
    double RATIO0 = 0.0;
    double BGEXPA = 0.0;  // BG = a*exp(-b*2theta) + c, scaled counts
    double BGEXPB = 0.0;
    double BGEXPC = 0.0;
};

// Record 8a: fitting and integration results of the current reflection,
// the background model and the counters of the automatic run.
struct FittingState {
    Arr1<double, 90> BGTAB;  // smoothed background per whole degree of 2theta
    int BGUNBAL = 0;
    double FITI = 0.0;
    double FITSIG = 0.0;
    FixedText<5> FITSTAT;
    double INTI = 0.0;
    double INTSIG = 0.0;
    Arr1<int, 4> LIMS;
    Arr1<int, 12> NFITC;
    int NPASS2 = 0;
    int NSUMW = 0;   // rejected reflections written from summation in the run
    int NREJOM = 0;  // rejected reflections left out of the intensity file in the run
    int FITMODE = 0;
};

// Record 8b: geometry, refinement list, offsets.
struct RefinementState {
    Arr2<double, 3, 3> UBT;
    Arr1<double, 6> RCELL;  // a*, b*, c* (1/A), alpha*, beta*, gamma* (deg)
    Arr2<double, 3, 3> BMAT;
    Arr1<double, 7> CELLESD;
    int NUBREF = 0;
    Arr1<double, MAXREFLIST> TTHREF;
    Arr1<double, MAXREFLIST> OMREF;
    Arr1<double, MAXREFLIST> CHIREF;
    Arr1<double, MAXREFLIST> PHIREF;
    Arr1<double, MAXREFLIST> FWREF;
    Arr1<double, MAXREFLIST> FWSREF;
    Arr1<double, MAXREFLIST> BGREF;
    Arr2<int, MAXREFLIST, 3> IHREF;
    int PREPFLAG = 0;
    // 1: a list already full keeps the strongest entries, the I/sigma
    // threshold rising past the weakest (the batch); 0: the 1001st strong
    // reflection ends preprocessing (the window).
    int PREPRAISE = 0;
    // 1: a reflection fitted with its position held at the UB value has it
    // refined (from that value) when its own counts fix it (the batch's
    // weak-profile runs); 0: the switches alone decide.
    int OWNPOS = 0;
    Arr1<double, 3> XTALOFF;
    double OMZERO = 0.0;
    Arr1<double, 3> XOFFESD;  // esds of XTALOFF and OMZERO from the last UB fit that refined them
    double OMZESD = 0.0;
    int CELLNOESD = 0;  // 1: the cell of the last UB fit is fixed without redundancy and has no esds
    int UBFAIL = 0;     // why the last UB fit was refused (0: it was not)
};

// Record 8c: header values of the instrument readers.
struct ReaderState {
    int NSTDINT = 0;  // standards interval
    Arr1<double, MAXSTD> STDTIME;
    double XSPEED = 0.0;
    Arr1<double, 3> XSCANW;
    int XNSTEP = 0;
    int XNEWFMT = 0;
    int SCANMODE = 0;  // 1 omega scans, 2 theta-2theta scans
    int CADMARGIN = 0, CADP1 = 0, CADP2 = 0, XLINENO = 0; double HUBT0 = 0.0;  // kept between reader calls
    int FEBOCUT = 0;  // 1 once a Febo file that ends without its end record was reported cut
    int XEULER = 0;   // 1 once a reflection of the Xcalibur file gave its Euler angles (E line)
    // The line a reader read last (unit, line number, 1 at the end of the
    // file) and what it expected there; the same for the first reflection
    // it left out.  Messages about a file that is not as expected name them.
    int RDUNIT = 0, RDLINE = -1, RDEOF = 0;
    FixedText<160> RDEXPECT;
    int RDBADLINE = -1, RDBADEOF = 0;
    FixedText<160> RDBADEXP;
};

struct Store : DataSetHeader,
               InstrumentSettings,
               StandardsAndClasses,
               CurrentScan,
               DerivedScan,
               FileState,
               FitControls,
               FittingState,
               RefinementState,
               ReaderState {};

extern Store G;

// A clean store, as at the start of the program.  Program state that lives
// outside the store registers how reset_store() clears it: the cached
// inverse of UB (refine), the cycle count of the last PKLSQ (fitting); the
// message sink returns to recording.  The open units stay open: a test
// that wants them closed calls close_all_units().  A clock fixed by a test
// (io/clock.h) stays fixed until the test returns it, so that a test may
// fix it once and reset the store for each run.  Other state outside the store holds nothing a run
// can see: the work arrays of the least squares and of the background pass
// are filled afresh on every call, the cache of parsed record layouts
// depends only on the layout texts, and the toolkit backend and the
// defaults-file path belong to the program's start-up.
void reset_store();
void register_outside_state_reset(void (*reset)());

}  // namespace tarnivox
