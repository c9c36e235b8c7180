#pragma once

namespace tarnivox {

// The peak-parameter defaults dialog; icancel is 1 when left without storing.
void RUN_PKVALS(int& icancel);

}  // namespace tarnivox
