#pragma once
// Start values PAR(1..6) of the profile fit for the current scan:
// BACKGROUND, FWHM, INTENSITY, POSITION, ETA and IRATIO, from the scan,
// the peak-parameter defaults, the background model and the orientation
// matrix, as the fit-control switches choose.

namespace tarnivox {

// Values typed into the fit-control dialog, used for the parameters whose
// defaults are not chosen (FWHM, ETA, IRATIO).
struct TypedStartValues {
    double fwhm = 0.0;
    double eta = 0.0;
    double ratio = 0.0;
};

// Start values under the switches IFIX and IREF.  typed is null when no
// dialog holds values: those parameters then keep what PAR holds.
void set_start_values(const TypedStartValues* typed);

// Start values from the defaults alone (the "Default values" button).
void set_default_start_values();

}  // namespace tarnivox
