#include "fitting/fitscan.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "core/store.h"
#include "fitting/integrate.h"
#include "fitting/pklsq.h"
#include "fitting/profile.h"
#include "refine/geometry.h"
#include "refine/offsets.h"

namespace tarnivox {

namespace {

// The shape tests of IRATIO and FWHM judge only reflections with I/sigma(I)
// at least this large; weaker peaks cannot fix their shape.
constexpr double MIN_I_OVER_SIGMA = 6.0;

// FITSTAT is five characters; positions count from 1, as the status
// letters of the log and the intensity file are numbered.
void set_stat(int pos, char c) {
    std::string s = G.FITSTAT.padded();
    s[static_cast<std::size_t>(pos - 1)] = c;
    G.FITSTAT = s;
}

char stat(int pos) { return G.FITSTAT.padded()[static_cast<std::size_t>(pos - 1)]; }

void reject(char reason) {
    set_stat(1, 'R');
    set_stat(2, reason);
}

bool outside(double v, double lo, double hi) { return v < lo || v > hi; }

// Every fit of the scan holds eta within the limits of its test when that
// test is on: an eta far outside them is no pseudo-Voigt the scan can
// support, and a fit that lets it run away trades it against the
// intensity and its esd (a weak or medium peak then passes with a biased
// intensity and an inflated esd).
void profile_fit(ParArray& par, const Arr1<int, 6>& flags, ScanArray& ycalc, ParArray& esd, int& icode) {
    const Arr1<double, 2> wave{{G.WAVE1, G.WAVE2}};
    const EtaLimits eta_limits{G.ICHK(P_ETA) == 1, G.PARLO(P_ETA), G.PARHI(P_ETA)};
    PKLSQ(G.STEPANG, G.COUNTS, G.NPTS, wave, G.MSHIFT, G.ANGLES(1), par, flags, ycalc, esd, G.RWP, G.GOF,
          icode, eta_limits);
}

// The shape test fit on a copy of PAR: BACKGROUND held, INTENSITY and IRATIO
// free, ETA free when it is refined, and FWHM and POSITION free only when
// the doublet is resolved (separation beyond the width), since otherwise
// they cannot be told apart from IRATIO.
void test_fit(ParArray& copy) {
    Arr1<int, 6> flags{};
    flags(P_INTENSITY) = 1;
    flags(P_IRATIO) = 1;
    if (G.IREF(P_ETA) == 1) flags(P_ETA) = 1;
    if (std::fabs(G.A2SHIFT + G.MSHIFT) > G.PAR(P_FWHM)) {
        flags(P_FWHM) = 1;
        flags(P_POSITION) = 1;
    }
    static ScanArray scratch;
    ParArray esd{};
    int icode = 0;
    profile_fit(copy, flags, scratch, esd, icode);
}

bool position_within_limits() {
    if (G.ICHK(P_POSITION) == 1 && G.IREF(P_POSITION) == 1) {
        // POSITION limits are distances from the setting omega; for a
        // negative 2theta the scan runs the other way round.
        const double om = G.ANGLES(2);
        const double lo = G.ANGLES(1) > 0.0 ? om - G.PARLO(P_POSITION) : om - G.PARHI(P_POSITION);
        const double hi = G.ANGLES(1) > 0.0 ? om + G.PARHI(P_POSITION) : om + G.PARLO(P_POSITION);
        if (outside(G.PAR(P_POSITION), lo, hi)) {
            reject('P');
            return false;
        }
    }
    return true;
}

bool outside_own_limits(int k, const ParArray& p) { return outside(p(k), G.PARLO(k), G.PARHI(k)); }

// The first tests of both judgements, in their order: the background,
// the intensity and eta.  The fit holds eta within its limits, so an eta
// outside them is a fit that could not be held there (limits given the
// wrong way round): whatever the reflection's I/sigma, its intensity rests
// on a profile outside the limits, and it is rejected.  strong tells the
// caller whether the other shape tests apply.
bool passes_level_tests(bool& strong) {
    const ParArray& p = G.PAR;
    strong = false;
    if (G.ICHK(P_BACKGROUND) == 1 && G.IREF(P_BACKGROUND) == 1 && outside_own_limits(P_BACKGROUND, p)) {
        reject('B');
        return false;
    }
    if (G.ICHK(P_INTENSITY) == 1 && p(P_INTENSITY) < G.PARLO(P_INTENSITY)) {
        reject('I');
        return false;
    }
    strong = MIN_I_OVER_SIGMA * G.PARESD(P_INTENSITY) <= p(P_INTENSITY);
    if (G.ICHK(P_ETA) == 1 && G.IREF(P_ETA) == 1 && outside_own_limits(P_ETA, p)) {
        reject('S');
        return false;
    }
    return true;
}

// Rejects by the ordered limit tests; true when the reflection passed them.
bool passes_tests() {
    bool strong = false;
    if (!passes_level_tests(strong)) return false;
    if (strong && (G.ICHK(P_IRATIO) == 1 || G.ICHK(P_FWHM) == 1)) {
        ParArray copy = G.PAR;
        test_fit(copy);
        if (G.ICHK(P_IRATIO) == 1 && outside_own_limits(P_IRATIO, copy)) {
            reject('R');
            return false;
        }
        if (G.ICHK(P_FWHM) == 1 && outside_own_limits(P_FWHM, copy)) {
            reject('W');
            return false;
        }
    }
    return position_within_limits();
}

char code_letter(int icode) { return icode == 1 ? 'E' : icode == 2 ? 'C' : 'D'; }

// An esd of 0 would give the reflection infinite weight in the structure
// refinement, so a refined parameter without a finite, positive esd is a
// failed least squares; IRATIO of a single line has none to give.  The
// refit is judged so too: it starts from values that passed, but a weak
// scan can carry it far (an eta of -400, every esd 0).
bool fit_has_esds(const Arr1<int, 6>& flags) {
    for (int k = P_BACKGROUND; k <= P_IRATIO; ++k) {
        if (flags(k) != 1 || (k == P_IRATIO && G.NWAVE != 2)) continue;
        if (!std::isfinite(G.PAR(k)) || !(G.PARESD(k) > 0.0) || !std::isfinite(G.PARESD(k))) return false;
    }
    return true;
}

// The refit's own parameters against the limits, with the switches and the
// strength rule of the first judgement.  The shape limits apply to FWHM and
// IRATIO as refined here (no test fit: the refit's RWP and GOF are kept).
bool refit_within_limits() {
    bool strong = false;
    if (!passes_level_tests(strong)) return false;
    if (!strong) return true;
    if (G.ICHK(P_IRATIO) == 1 && G.IREF(P_IRATIO) == 1 && outside_own_limits(P_IRATIO, G.PAR)) {
        reject('R');
        return false;
    }
    if (G.ICHK(P_FWHM) == 1 && G.IREF(P_FWHM) == 1 && outside_own_limits(P_FWHM, G.PAR)) {
        reject('W');
        return false;
    }
    return true;
}

// Peak limits where the calculated profile rises 1 % above the background.
void set_peak_limits() {
    const int n = G.NPTS;
    const double t = 1.01 * G.PAR(P_BACKGROUND);
    int i = 1;
    while (i <= n && !(G.YCALC(i) > t)) ++i;
    int j = n;
    while (j >= 1 && !(G.YCALC(j) > t)) --j;
    G.LIMS(1) = 1;
    G.LIMS(2) = i - 1;
    G.LIMS(3) = j + 1;
    G.LIMS(4) = n;
    if (G.LIMS(3) <= G.LIMS(2)) G.LIMS(3) = G.LIMS(2) + 1;
}

void scale_results() {
    G.FITI *= G.SCALE;
    G.INTI *= G.SCALE;
    G.FITSIG *= G.SCALE;
    G.INTSIG *= G.SCALE;
}

// Net counts over their esd in the steps within one FWHM of the expected
// alpha1 and alpha2 peaks (position and width of the start values), the
// background the mean of the other steps: how well the scan's own counts
// measure the peak, before any fit.
double net_i_over_sigma() {
    const int n = G.NPTS;
    if (n < 1 || n > MAXSTEPS) return 0.0;
    const double p1 = G.PAR(P_POSITION), fwhm = std::fabs(G.PAR(P_FWHM));
    const double p2 = p1 + make_doublet(G.WAVE1, G.WAVE2, G.MSHIFT, G.ANGLES(1)).shift;
    int first = 0, last = 0;
    if (!steps_within(std::min(p1, p2) - fwhm, std::max(p1, p2) + fwhm, first, last)) return 0.0;
    if (n - (last - first + 1) < 2) return 0.0;
    const NetSum sum = net_over_background(first, last);
    return sum.variance > 0.0 ? sum.net / std::sqrt(sum.variance) : 0.0;
}

// A held position misses the small scatter of real peaks about the UB
// omega, and a strong peak loses intensity by it; a weak one cannot fix
// its position and keeps it held.  Where the store asks for it, a
// reflection held at the UB omega whose net counts reach this many esds
// has its position refined from there.
constexpr double OWN_POSITION_I_OVER_SIGMA = 30.0;

bool fixes_own_position() {
    return G.OWNPOS == 1 && G.IREF(P_POSITION) != 1 && G.IFIX(P_POSITION) == 1 && G.UBFLAG == 1 &&
           net_i_over_sigma() >= OWN_POSITION_I_OVER_SIGMA;
}

}  // namespace

double omega_from_ub(double fallback) {
    double om = fallback;
    CALOMEGA(G.ANGLES, G.IHKL, om);
    Arr1<double, 3> aoff{};
    CALC_ANGOFF(G.ANGLES, aoff);
    return om + aoff(2);
}

void FITSCAN(int ipass, int& ierr) {
    G.FITI = 0.0;
    G.INTI = 0.0;
    G.FITSIG = 1.0;
    G.INTSIG = 1.0;
    G.FITSTAT = "";
    if (G.BGUNBAL == 1) set_stat(4, 'U');
    ierr = 0;

    Arr1<int, 6> flags = G.IREF;
    if (ipass == 1) flags(P_POSITION) = 0;
    int icode = 0;
    profile_fit(G.PAR, flags, G.YCALC, G.PARESD, icode);
    if (icode != 0 || !fit_has_esds(flags)) {
        reject(icode != 0 ? code_letter(icode) : 'E');
        return;
    }

    bool refit = true;
    if (G.RWP > G.RWPLIM && G.ICHK(CHK_RWP) == 1 && G.BGUNBAL == 0) {
        // A poor fit is still integrated, so that its intensities are known.
        reject('F');
        refit = false;
    } else if (!passes_tests()) {
        return;
    }
    if (refit) {
        profile_fit(G.PAR, flags, G.YCALC, G.PARESD, icode);
        if (icode != 0 || !fit_has_esds(flags)) {
            reject(icode != 0 ? code_letter(icode) : 'E');
            return;
        }
        if (!refit_within_limits() || !position_within_limits()) return;
        set_stat(1, 'F');
        set_stat(2, ' ');
    }

    G.FITI = G.PAR(P_INTENSITY);
    G.FITSIG = G.PARESD(P_INTENSITY);
    set_peak_limits();
    INTEGRATE(ierr);
    scale_results();
}

bool count_fit_outcome() {
    if (stat(1) != 'R') {
        G.NFITC(1) += 1;
        return true;
    }
    const char* hit = std::strchr(REJECTION_LETTERS, stat(2));
    if (hit != nullptr && *hit != '\0') G.NFITC(static_cast<int>(hit - REJECTION_LETTERS) + 2) += 1;
    return false;
}

void FIT_REFLECTION() {
    // Position refined for this reflection alone; a pass 1 that fails
    // falls back to pass 2 with it held at the UB omega.
    struct OwnPosition {
        const int held = G.IREF(P_POSITION);
        const bool on = fixes_own_position();
        OwnPosition() {
            if (on) G.IREF(P_POSITION) = 1;
        }
        ~OwnPosition() { G.IREF(P_POSITION) = held; }
    } own_position;
    const bool pass2 = G.IFIX(P_POSITION) == 1 && G.IREF(P_POSITION) == 1 && G.UBFLAG == 1;
    // Pass 2 starts again from the start values of pass 1.
    const ParArray start = G.PAR;
    int ierr = 0;
    FITSCAN(0, ierr);
    set_stat(3, '1');
    if (count_fit_outcome() || !pass2) return;
    G.NPASS2 += 1;
    G.PAR = start;
    if (G.UBFLAG == 1) G.PAR(P_POSITION) = omega_from_ub(G.PAR(P_POSITION));
    FITSCAN(1, ierr);
    set_stat(3, '2');
    if (stat(1) != 'R') G.NFITC(12) += 1;
}

}  // namespace tarnivox
