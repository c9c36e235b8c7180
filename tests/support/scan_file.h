#pragma once
// Reflections written to a standard scan file for tests that need a data
// set on disk: the program's own writer, with the step and scale that the
// tests' scans share.

#include <span>

#include "core/array.h"

namespace tarnivox::test {

// One reflection of counts.size() steps of 0.02 deg at unit scale on the
// standard scan file open on `lu`; the writer's status (0: written).
int write_scan_record(int lu, int nref, const Arr1<int, 3>& hkl, const Arr1<double, 4>& angles,
                      std::span<const long long> counts, char flag = 'N', int isctype = 0);

}  // namespace tarnivox::test
