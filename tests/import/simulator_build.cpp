// The simulator's engine and writers, built into this test program so that
// the import tests make their data with the project's own simulator.
#include "../../tools/sim_engine.cpp"    // NOLINT(bugprone-suspicious-include)
#include "../../tools/sim_writers.cpp"   // NOLINT(bugprone-suspicious-include)
