#pragma once
// Zero points and true setting angles from groups of eight equivalent
// settings in the refinement list; the list is rebuilt from the groups.

#include <array>
#include <vector>

#include "operations/operation.h"

namespace tarnivox {

// One evaluated group of eight settings.
struct ZrefGroup {
    std::array<int, 3> hkl{};
    std::array<double, 4> true_angles{};  // 2theta, omega, chi, phi
    std::array<double, 3> zeros{};        // of 2theta, omega, chi
    std::array<double, 3> offset{};       // crystal offset, units of GONCON1
    double delta_h = 0.0;
};

struct ZrefResult {
    int groups = 0;  // groups evaluated; the list now holds one entry each (unchanged when 0)
    std::vector<ZrefGroup> evaluated;
};

ZrefResult run_zref(Messages& messages);

}  // namespace tarnivox
