#pragma once
// "Create Cif": the CIF fragment of the data set, beside its input file.

#include <string>

#include "operations/operation.h"
#include "output/cif_records.h"

namespace tarnivox {

struct CifResult {
    bool written = false;
    std::string path;     // where it is (or would have been) written
    std::string failure;  // the message that said why not
};

// Writes the fragment to `path`; empty: beside the input file, named after
// it.  The notice "Cif created successfully" or the error goes to `messages`.
// With `figures` (the analysis of the finished run) the fragment also
// gives the decay of the standards, the agreement of equivalents, the
// limits of the data and the reflection totals.
CifResult create_cif(const std::string& path, Messages& messages, const CifFigures* figures = nullptr);

}  // namespace tarnivox
