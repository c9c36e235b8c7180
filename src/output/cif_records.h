#pragma once
// The CIF fragment of a data set: standards, the refined cell with its
// esds, measurement conditions, the orientation matrix and the reflection
// count, for merging into the CIF of the structure.  It has no data_ block
// header and no loop.

#include <string>
#include <string_view>

namespace tarnivox {

// The file name of the fragment for the input file name `infile` (no
// folder): the name up to its first '.' with "_tarnivox.cif", cut at 80
// characters; "_tarnivox.cif" alone for a name without a '.'.
std::string cif_file_name(std::string_view infile);

// Where "Create Cif" writes: the fragment's name beside the input file.
std::string cif_path();

// The reflections of the data set: the count of letters W, M, R, S and F,
// or of N when those are all 0 (a data set never classified).
int cif_reflection_count();

// The lines of the fragment, as written to the file.
std::string cif_fragment_text();

// Writes the fragment from the store to `path`, replacing an older one only
// when the new one is whole.  0; 1 the file could not be created; 2 it
// could not be written.
int write_cif_fragment(const std::string& path);

}  // namespace tarnivox
