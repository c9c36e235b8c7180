#pragma once
// "Calc FWHM" (command 334): the width law from the preprocessed widths.

namespace tarnivox {

// Fits FWHM = a + b tan|theta| to the widths of the refinement list, shows
// a, b and their esds in the "FWHM values from dataset" box and, on "Save
// values", stores the a and b fields (as the user may have edited them) in
// FWHMA and FWHMB.
void FIT_GAMMA();

}  // namespace tarnivox
