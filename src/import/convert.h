#pragma once

namespace tarnivox {

// Imports the input data file into the standard scan file on LUSCR.
void CONVERT_FILE(int& status);

}  // namespace tarnivox
