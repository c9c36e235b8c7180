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

}  // namespace tarnivox
