#pragma once
// Refinement of the orientation matrix and the cell from the refinement
// list, with the omega zero point, the crystal offsets, or a cell
// constrained to a crystal system, and its record in the log.

#include <array>
#include <string>

#include "operations/operation.h"

namespace tarnivox {

struct RefineCellRequest {
    bool offsets = false;     // refine the crystal offsets
    bool omega_zero = false;  // refine the omega zero point
    // 0 none; 1..6 as the "Crystal system" list: monoclinic (b-unique),
    // monoclinic (c-unique), orthorhombic, tetragonal, hexagonal, cubic.
    int crystal_system = 0;
};

struct RefineCellResult {
    bool refined = false;
    int failure = 0;                           // UB_FIT_* when not refined
    std::string failure_text;                  // the log's words for it
    int reflections = 0;                       // list entries used
    std::array<double, 7> cell{}, cell_esd{};  // a, b, c, alpha, beta, gamma, volume
    bool cell_has_esd = false;                 // false: the reflections fix the cell without redundancy
    bool omega_zero_refined = false;
    double omega_zero = 0.0, omega_zero_esd = 0.0;
    bool offsets_refined = false;
    std::array<double, 3> offsets{}, offsets_esd{};
};

// Why a refinement failed or was refused (UBFAIL).
inline constexpr int UB_FIT_SINGULAR = 1;           // the least squares are singular
inline constexpr int UB_FIT_NO_REDUNDANCY = 2;      // no observation to spare
inline constexpr int UB_FIT_SHIFT_FAILED = 3;       // zero point or offsets not refinable
inline constexpr int UB_FIT_WRONG_SYMMETRY = 4;     // the data lack the chosen symmetry
inline constexpr int UB_FIT_CONSTRAINTS_UNMET = 5;  // the cell does not meet its constraints
inline constexpr int UB_FIT_TOO_FEW = 6;            // fewer than 3 list entries
// The log's text for a UBFAIL reason; empty for 0.
const char* ub_fit_failure_text(int reason);

// Refines from the refinement list and logs the result.  A refinement that
// fails or is refused leaves UB, the cell with its esds, OMZERO and XTALOFF
// as they were, sets UBFAIL and says why (in the result, the log and an
// error message).
RefineCellResult refine_cell(const RefineCellRequest& request, Messages& messages);

}  // namespace tarnivox
