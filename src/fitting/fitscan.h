#pragma once
// The judged fit of the current scan: profile fit, limit tests, refit,
// peak limits and integration, status characters; and the two-pass
// wrapper with the counters of the automatic run.

namespace tarnivox {

// ipass 0: pass 1; 1: pass 2 (POSITION held fixed).  ierr: error flag of
// the integration, 0 when it ran.
void FITSCAN(int ipass, int& ierr);
// Both passes for the current scan, from the fit controls and start values
// in the store (the commands read the fit-control dialog into it first).
void FIT_REFLECTION();

// Counts the outcome of a pass-1 FITSCAN: NFITC(1) when the scan was
// fitted, else the counter of its rejection letter (a letter outside
// REJECTION_LETTERS is not counted).  True when it was fitted.
bool count_fit_outcome();

// Peak position predicted by the orientation matrix for the current
// reflection: the best-indexing omega plus the omega shift of the crystal
// offsets.  `fallback` is kept when no omega indexes the reflection.
double omega_from_ub(double fallback);

// The rejection letters in the order of the fit-summary lines; letter p
// is counted in NFITC(p + 1).
inline constexpr char REJECTION_LETTERS[] = "ECDBIPWRFS";

}  // namespace tarnivox
