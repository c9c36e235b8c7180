#pragma once
// "Auto profile fit" (322): every reflection of the standard scan file is fitted
// and written while the user watches.

namespace tarnivox {

void START_AUTO_FIT();

}  // namespace tarnivox
