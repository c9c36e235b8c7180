#pragma once
// The simulator's plan of a data set: every reflection with the values the
// instrument file carries, shared by the format writers.

#include <random>
#include <string>
#include <vector>

#include "simulate.h"

namespace tarnivox::sim {

struct PlannedScan {
    Truth truth;
    bool standard = false;
    bool weak = false;
    bool attenuated = false;
    bool left_out = false;          // flagged X in a CAD4 file
    int speed_code = 0;             // CAD4 v, Febo s, Huber t, STOE T, XSCANS speed
    std::string class_code;         // Xcalibur "LT", "WK", "NL", "ST", "FT"
    double line_scale = 1.0;        // Xcalibur scale field
    double width = 0.0;             // scan width of the file (XSCANS, CAD4)
    std::array<double, 4> kappa{};  // theta, phi', omega', kappa as written (CAD4, Xcalibur)
};

struct Plan {
    Config cfg;
    double ub[3][3]{};  // orientation matrix, 1/A
    std::vector<std::array<int, 3>> standards;
    std::vector<PlannedScan> scans;
    double mshift = 0.0;
    int cad4_p1 = 20, cad4_p2 = 10;
    double xcal_speed = 1.0;
    std::array<double, 3> xcal_scanw{1.2, 0.5, 1.0};
    double step_to_enter = 0.0;
};

Plan make_plan(const Config& cfg);
void write_data_file(const Plan& plan, const std::string& path);
void write_parameter_file(const Plan& plan, const std::string& path);
void write_truth_table(const Plan& plan, const std::string& path);

}  // namespace tarnivox::sim
