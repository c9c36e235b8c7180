#pragma once

namespace tarnivox {

void SET_PREPROCESS(int iflag, int iopt);
void RUN_ZREF();
void RUN_DELTAD();

}  // namespace tarnivox
