#pragma once
// Normal equations of the report's small fits (decay, straight lines).

#include <vector>

namespace tarnivox::report {

// Solves N x = rhs for the symmetric n x n matrix N (row-major): rhs
// receives x and N its inverse.  false when N is singular.
bool solve_normal_equations(std::vector<double>& N, std::vector<double>& rhs, int n);

}  // namespace tarnivox::report
