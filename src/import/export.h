#pragma once
// Taking data out of the program: the profile of the current scan as
// comma-separated text, and the data set as a new standard data file.

#include <string>

namespace tarnivox {

// Appends the current reflection's profile (step omega, observed and
// calculated counts) to the scan export file `path`.  0, or 1 when the
// file cannot be opened.
int EXPORT_SCAN(const std::string& path);
// The same onto the export file already open on LU_EXPORT, then closed.
void WRITE_SCAN_EXPORT();

// Copies the data set on LUSCR into a new standard data file (".rfl") with
// the current title, cell, orientation matrix and attenuator factor, onto
// the file already open on unit LU_NEWSTD; the unit is closed and the
// notice of the outcome shown.  True when the whole data set was written.
inline constexpr int LU_NEWSTD = 26;
bool COPY_TO_STD();

}  // namespace tarnivox
