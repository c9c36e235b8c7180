#pragma once
// The peak-width law FWHM = A + B tan|theta| learnt from the widths that
// preprocessing refined for the reflections of the refinement list.

#include "operations/operation.h"

namespace tarnivox {

struct FwhmLawResult {
    bool found = false;  // a law was fitted (false: A and B are 0)
    double a = 0.0, b = 0.0;
    double esd_a = 0.0, esd_b = 0.0;
    int used = 0;             // widths with an esd
    int fitted = 0;           // widths the law was fitted to
    bool all_widths = false;  // too few reliable widths: every width with an esd was used
};

// Fits the law and logs it, with its messages; the store's law is untouched.
// Needs a refinement list (an error message and nothing found without one).
FwhmLawResult fit_fwhm_law(Messages& messages);
// Makes a law the one the fits use (FWHMA, FWHMB), as "Save values" does.
void store_fwhm_law(double a, double b);
// "Save values" of the FWHM box: the law as the user leaves it (fitted or
// edited) becomes the one the fits use, and the log says so.
void save_fwhm_law(double a, double b);
// Fits the law and stores it when one was found.
FwhmLawResult learn_fwhm_law(Messages& messages);

}  // namespace tarnivox
