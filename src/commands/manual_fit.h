#pragma once
// "Manual profile fit" (321): the user walks through the reflections and
// decides which go to the intensity file.

namespace tarnivox {

void START_MANUAL_FIT();

}  // namespace tarnivox
