#pragma once
// "Create Cif" in the window: the fragment beside the input file, and the
// notice or error of the outcome in its box.

#include "output/cif_records.h"

namespace tarnivox {

// Writes <input name up to its first '.'>_tarnivox.cif beside the input
// file, replacing an older one; then the notice "Cif created successfully".
// A file that cannot be created or written gets an error box instead.
void CREATE_CIF_TARNIVOX();

}  // namespace tarnivox
