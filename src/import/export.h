#pragma once
// Taking data out of the program: the profile of the current scan as
// comma-separated text, and the data set as a new standard data file.

namespace tarnivox {

// Appends the current reflection's profile (step omega, observed and
// calculated counts) to a chosen scan export file.
void EXPORT_SCAN();
// Copies the data set on LUSCR into a new standard data file (".rfl") with
// the current title, cell, orientation matrix and attenuator factor.
void CONVERT_TO_STD();
// The copy itself, onto the standard data file already open on unit
// LU_NEWSTD; the unit is closed and the notice of the outcome shown.
// True when the whole data set was written.
inline constexpr int LU_NEWSTD = 26;
bool COPY_TO_STD();

}  // namespace tarnivox
