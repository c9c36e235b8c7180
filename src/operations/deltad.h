#pragma once
// The delta-d/d check of the refined cell over the refinement list, logged.

#include <vector>

#include "refine/delta_d.h"

namespace tarnivox {

struct DeltaDResult {
    std::vector<double> tth;    // |2theta| observed of the entries with a d-spacing
    std::vector<double> ratio;  // their delta-d/d
    DeltaDSummary summary;
};

DeltaDResult delta_d_check();

}  // namespace tarnivox
