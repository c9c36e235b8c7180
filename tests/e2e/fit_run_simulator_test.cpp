// The simulator's engine and writers, built into the end-to-end test
// program so that the fitting runs are checked against its truth.
#include "../../tools/sim_engine.cpp"   // NOLINT(bugprone-suspicious-include)
#include "../../tools/sim_writers.cpp"  // NOLINT(bugprone-suspicious-include)
