#pragma once
// "Calc FWHM" (334): the FWHM law of the data set from the refinement list.

namespace tarnivox {

void FIT_GAMMA();

}  // namespace tarnivox
