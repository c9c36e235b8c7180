#pragma once
// Merging figures for a Laue class: equivalents are brought to one
// asymmetric unit of reciprocal space with gemmi's symmetry tables (the
// same ASU choices as CCP4 and cctbx), then R(int), R(sigma), redundancy
// and completeness out to the data's resolution.

#include <array>
#include <string>

#include "report/report_input.h"

namespace tarnivox::report {

struct MergeStats {
    bool ok = false;
    std::string message;  // why there are no figures
    std::string group;    // the group used, Hermann-Mauguin symbol
    std::string laue;     // its Laue class
    bool space_group = false;  // a space group was given: its absences are left out
    int n_absent = 0;     // accepted observations the space group extinguishes
    int n_obs = 0;        // accepted observations merged
    int n_unique = 0;     // unique reflections among them
    int n_gt = 0;         // unique reflections with <I> > 2 sigma(<I>)
    double redundancy = NONE;
    // R(int) = sum |I - <I>| / sum I over the observations of reflections
    // measured more than once; R(sigma) = sum sigma(<I>) / sum <I> over all
    // unique reflections, <I> the mean of the equivalents.
    double rint = NONE, rsigma = NONE;
    double d_min = NONE;         // Angstrom
    int n_possible = 0;          // unique reflections to d_min (needs the cell)
    double completeness = NONE;  // %
};

// The space group whose operations define the equivalents of `symbol`: a
// Laue class ("-1", "2/m", "mmm", "4/m", "4/mmm", "-3", "-3m1", "-31m",
// "6/m", "6/mmm", "m-3", "m-3m"; "-3m" means "-3m1"; blanks and case
// ignored) stands for its
// primitive centrosymmetric group; any other symbol is looked up as a
// space group (its centring then also removes absent reflections from the
// possible ones).  Its Hermann-Mauguin symbol, empty when unknown.
std::string merging_group(const std::string& symbol);

// The Hermann-Mauguin symbol of a space group given by its name (any
// spelling gemmi knows, "P21/c", "P 1 21/c 1") or its number (1-230);
// empty when unknown.
std::string space_group_symbol(const std::string& given);

// The Laue class of a Laue class or space-group symbol ("2/m" for
// "P 1 21/c 1"); empty when unknown.
std::string laue_class_of(const std::string& symbol);

// Empty when a cell (a, b, c in Angstrom, angles in degrees) can have the
// symmetry of the Laue class or space group `symbol`: every rotation of the
// class carries its metric into itself within the tolerance of a refined
// cell; else the reason it cannot.
std::string cell_symmetry_conflict(const std::array<double, 6>& cell, const std::string& symbol);

// The Laue class implied by the crystal system of the constrained cell
// refinement (monoclinic-b, monoclinic-c, orthorhombic, tetragonal,
// hexagonal, cubic): the lowest class of that lattice, so that no two
// reflections are merged that the true class might keep apart (4/m, not
// 4/mmm; -3 for the hexagonal lattice; m-3, not m-3m).  Empty when unknown.
std::string laue_for_crystal_system(const std::string& system);

MergeStats merge_statistics(const ReportInput& in);

}  // namespace tarnivox::report
