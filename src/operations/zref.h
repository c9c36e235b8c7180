#pragma once
// Zero points and true setting angles from groups of eight equivalent
// settings in the refinement list; the list is rebuilt from the groups.

#include "operations/operation.h"

namespace tarnivox {

struct ZrefResult {
    int groups = 0;  // groups evaluated; the list now holds one entry each (unchanged when 0)
};

ZrefResult run_zref(Messages& messages);

}  // namespace tarnivox
