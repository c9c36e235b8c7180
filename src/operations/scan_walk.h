#pragma once
// Walking the reflections of the standard scan file (unit LUSCR), shared by
// the fitting runs and the passes over the whole data set.

#include <functional>

#include "core/array.h"
#include "operations/operation.h"

namespace tarnivox {

// Reads one reflection into the scan record (READ_SCAN_STDDATA's modes:
// 0 next, -1 previous, 1 by number, 2 by indices); quiet: no "End of
// File" box.  The reader's status: 0, 11 read error, 12 end of file,
// 13 not found.
int read_reflection(int mode, int nref, const Arr1<int, 3>& hkl, bool quiet);

// End of file and a read error end a walk; anything else leaves a
// reflection in the record.
bool ends_walk(int status);

// True when the scan record holds a reflection (a data set with no
// reflections leaves it empty).
bool have_reflection();

// True when a data set has been opened and its standard scan file is
// there to walk (none before the first import, none after one that failed).
bool data_set_open();

// The text shown when a command needs a data set and none is open.
inline constexpr const char* NO_DATA_SET_TEXT =
    "No data set is open: open one with File > Open data file, then choose the command again.";

// data_set_open(); when none is, `messages` are told what to do.
bool data_set_to_walk(Messages& messages);

// A pass over the whole file from its first reflection, without boxes:
// visit is called for every reflection with a usable step count and
// returns false to stop the pass.  The file is rewound afterwards.
void walk_reflections(const std::function<bool()>& visit);

}  // namespace tarnivox
