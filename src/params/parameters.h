#pragma once

namespace tarnivox {

// Reads the instrument parameter file open on unit 3.
void READ_PARAMETERS();

}  // namespace tarnivox
