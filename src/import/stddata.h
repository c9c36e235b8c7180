#pragma once
// The standard scan file: the working copy of every data set (unit LUSCR)
// and the ".rfl" standard data files.  A ten-line header (title, cell,
// orientation matrix, attenuator factor, DATA) is followed by one group per
// reflection: an 'R' line and its 'S' count lines of ten counts each.

#include <span>

#include "core/array.h"
#include "import/reader_status.h"

namespace tarnivox {

// Largest count an eight-column count field holds.
inline constexpr long long MAX_STD_COUNT = 99999999;

// Writes the ten header lines from TITLE, CELL, UB and ATTEN.
void WRITE_HEADER_STDDATA(int unit);

// true when a reflection can be written as a group of the standard scan
// file and read back: every value fits its field (an index of -12345, an
// angle of 1E20 or a scale beyond F10.5 would be written as asterisks).
bool fits_scan_record(int nref, const Arr1<int, 3>& hkl, const Arr1<double, 4>& angles, int npts, double step,
                      double scale, int isctype, std::span<const long long> counts);

// Writes one reflection group.  counts holds at least npts counts (npts
// 1..500).  When the largest count does not fit eight columns, every count
// is divided by the smallest whole factor that makes it fit and scale is
// multiplied by it (the caller's scale is updated).  status 0, or 1 on a
// write error, 2 (nothing written) when a value does not fit its field
// (see fits_scan_record).
void WRITE_REF_STDDATA(int unit, int& status, int nref, const Arr1<int, 3>& hkl, double spare,
                       const Arr1<double, 4>& angles, int npts, double step, double& scale, int isctype,
                       char rflag, std::span<const long long> counts);

// True when a forward walk since the last SKIP_HEADER_STDDATA (or header
// read) passed over count lines that had no reflection line: a reflection
// of the file was lost.
bool orphan_count_lines_met();

// Rewinds the standard scan file and reads to just past its DATA line.
// status READER_READ_ERROR (11) on a read error, READER_END (12) at end
// of file, otherwise unchanged.
void SKIP_HEADER_STDDATA(int unit, int& status);

// Reads the header into TITLE, UB and UBFLAG.  status 0, or 1 when the
// file ends (or cannot be read) before its DATA line.
void READ_HEADER_STDDATA(int unit, int& status);

// Reads one reflection into the current scan record (mode 0 next,
// -1 previous, 1 by number, 2 by indices).  status -1 on entry: no "End of
// File" box.  Out: 0 read, 11 read error, 12 end of file, 13 not found.
void READ_SCAN_STDDATA(int unit, int mode, int nref, const Arr1<int, 3>& hkl, int& status);

// The derived per-scan values (STEPANG, CMAX, IMAX, SCANW, A2SHIFT, MSHIFT,
// YCALC cleared, RFLAG_SAVE) from the current scan record, as every read
// of a scan computes them.
void derive_scan_values();

}  // namespace tarnivox
