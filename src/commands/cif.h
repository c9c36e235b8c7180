#pragma once
// "Create Cif" (318): the CIF fragment of the run.

namespace tarnivox {

void CREATE_CIF_TARNIVOX();

}  // namespace tarnivox
