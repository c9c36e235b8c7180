#pragma once
// Instrument parameter files of simulated data sets, adjusted as a
// crystallographer would for a run.

#include <filesystem>

namespace tarnivox::test {

// Background limits (FITLIM) that a scan with a real background passes.
void accept_any_background(const std::filesystem::path& par);

}  // namespace tarnivox::test
