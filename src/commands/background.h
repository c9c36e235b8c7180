#pragma once
// "Calc Background" (333): the background models of the data set from the
// end steps of every scan, then the background options dialog.

namespace tarnivox {

void PROCESS_BACKGROUND();

}  // namespace tarnivox
