#pragma once
// The CIF fragment of a data set ("Create Cif"): standards, the refined
// cell with its esds, measurement conditions, the orientation matrix and
// the reflection count, for merging into the CIF of the structure.  It has
// no data_ block header and no loop.

#include <string>
#include <string_view>

namespace tarnivox {

// Writes <input name up to its first '.'>_tarnivox.cif beside the input
// file, replacing an older one, from the store alone; then the notice
// "Cif created successfully".  A file that cannot be created or written
// gets an error box instead of the notice.
void CREATE_CIF_TARNIVOX();

// The file name of the fragment for the input file name `infile` (no
// folder): the name up to its first '.' with "_tarnivox.cif", cut at 80
// characters; "_tarnivox.cif" alone for a name without a '.'.
std::string cif_file_name(std::string_view infile);

// The reflections of the data set: the count of letters W, M, R, S and F,
// or of N when those are all 0 (a data set never classified).
int cif_reflection_count();

// The lines of the fragment, as written to the file.
std::string cif_fragment_text();

}  // namespace tarnivox
